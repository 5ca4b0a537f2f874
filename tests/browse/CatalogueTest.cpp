#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "BrowseErrors.h"
#include "Catalogue.h"
#include "FieldString.h"
#include "RegistryNames.h"
#include "ScratchRegistry.h"

using namespace kvr::browse;

namespace {

std::vector<int> SapTypes(const DeviceTypeFields& f) { return {f.sapTypes.begin(), f.sapTypes.begin() + f.sapTypeCount}; }
std::vector<int> Sockets(const DeviceTypeFields& f) { return {f.sockets.begin(), f.sockets.begin() + f.socketCount}; }

struct FieldCase {
    const char* what;
    std::string data;
    std::vector<int> sapTypes;
    std::vector<int> sockets;
    std::string code;
    int access;
    int hardware;
};

const FieldCase kFieldCases[] = {
    {"two hex types, lower-case code, comment", "type=0x10,0x20/code=ab # old model", {16, 32}, {}, "AB", 0, 0},
    {"all fields", "TYPE = 0x479 0x47A / SOCKET=0x4004-0x4005 / CODE=ord9 / ACCESS=1 / HARDWARE=9",
     {0x479, 0x47A}, {0x4004, 0x4005}, "ORD9", 1, 9},
    // A hyphen separates items, so a field value cannot carry a minus sign.
    {"decimal, hyphen, trailing junk", "HARDWARE=-5/ACCESS=12abc;7", {}, {}, "", 12, 5},
    {"type list ends at the first zero", "TYPE=1,0,3", {1}, {}, "", 0, 0},
    {"at most eight types", "TYPE=1,2,3,4,5,6,7,8,9,10", {1, 2, 3, 4, 5, 6, 7, 8}, {}, "", 0, 0},
    {"at most two sockets", "SOCKET=0x1 0x2 0x3", {}, {1, 2}, "", 0, 0},
    {"long code is cut to seven", "CODE=ABCDEFGHIJKL", {}, {}, "ABCDEFG", 0, 0},
    {"keyword without = has no value", "TYPE 0x10/CODE=AB", {}, {}, "AB", 0, 0},
    {"comment hides later fields", "CODE=AB # TYPE=5", {}, {}, "AB", 0, 0},
    {"empty", "", {}, {}, "", 0, 0},
    {"leading separators are skipped", "TYPE=  ,;,0x10", {16}, {}, "", 0, 0},
    {"hex stops at a non-digit; bare 0x is zero", "TYPE=0x1G,0x/SOCKET=0X", {1}, {0}, "", 0, 0},
    {"huge numbers saturate", "HARDWARE=99999999999999999999999/TYPE=0xFFFFFFFFFFFFFF",
     {INT_MAX}, {}, "", 0, INT_MAX},
    {"text after a NUL is not read", std::string("CODE=AB\0TYPE=5", 14), {}, {}, "AB", 0, 0},
    {"value ends at the string's end", "HARDWARE=", {}, {}, "", 0, 0},
    {"first occurrence of a keyword counts", "CODE=X1/CODE=X2", {}, {}, "X1", 0, 0},
};

TEST(FieldStringTest, ParsesCatalogueValues) {
    for (const FieldCase& c : kFieldCases) {
        SCOPED_TRACE(c.what);
        const DeviceTypeFields f = ParseFieldString(c.data);
        EXPECT_EQ(SapTypes(f), c.sapTypes);
        EXPECT_EQ(Sockets(f), c.sockets);
        EXPECT_STREQ(f.code, c.code.c_str());
        EXPECT_EQ(f.access, c.access);
        EXPECT_EQ(f.hardwareType, c.hardware);
    }
}

// Random and truncated strings must keep every count and text in its field;
// the parser gets views without a terminator so any overread shows up.
TEST(FieldStringTest, HostileStringsStayInBounds) {
    std::mt19937 random(7);
    const std::string alphabet = "TYPESOCKETCODEACCESSHARDWARE=/#,- ;\t0x123456789ABCDEFabcdef\xff";
    std::vector<std::string> inputs = {"TYPE=", "TYPE", "=", "0X", "-", "/", "#", "CODE=/", "TYPE=0x"};
    for (int i = 0; i < 2000; ++i) {
        std::string s(random() % 200, '\0');
        for (char& ch : s) ch = alphabet[random() % alphabet.size()];
        inputs.push_back(s);
    }
    for (const std::string& input : inputs) {
        for (std::size_t cut = 0; cut <= input.size(); cut += 1 + input.size() / 8) {
            const std::vector<char> exact(input.begin(), input.begin() + cut);
            const DeviceTypeFields f = ParseFieldString(std::string_view(exact.data(), exact.size()));
            ASSERT_LE(f.sapTypeCount, kMaxSapTypes) << input;
            ASSERT_LE(f.socketCount, kMaxSockets) << input;
            ASSERT_LE(std::char_traits<char>::length(f.code), kCodeChars) << input;
            for (std::size_t k = 0; k < f.sapTypeCount; ++k) ASSERT_NE(f.sapTypes[k], 0) << input;
        }
    }
}

struct OrderCase {
    const char* text;
    LookupOrder order;  // deviceFile, proprietary, dns
};

const OrderCase kOrderCases[] = {
    {"DNS, DeviceFile", {2, 0, 1}},
    {"", {1, 2, 3}},
    {"dns DNS", {0, 0, 1}},
    {"Proprietary;DNS;DeviceFile", {3, 1, 2}},
    {"proprietary/devicefile-dns", {2, 1, 3}},
    {"DNSX Device File", {0, 0, 0}},
    {"DeviceFile,DeviceFile,\tPROPRIETARY", {1, 2, 0}},
    {" , ", {0, 0, 0}},
};

TEST(FieldStringTest, ParsesLookupMethods) {
    for (const OrderCase& c : kOrderCases) {
        SCOPED_TRACE(c.text);
        const LookupOrder order = ParseLookupMethods(c.text);
        EXPECT_EQ(order.deviceFile, c.order.deviceFile);
        EXPECT_EQ(order.proprietary, c.order.proprietary);
        EXPECT_EQ(order.dns, c.order.dns);
    }
}

TEST(FieldStringTest, ReadsNumberItems) {
    EXPECT_EQ(ParseNumberItem("-42"), -42);
    EXPECT_EQ(ParseNumberItem("-99999999999999999999"), INT_MIN);
    EXPECT_EQ(ParseNumberItem("0x7fffffff"), INT_MAX);
    EXPECT_EQ(ParseNumberItem("-"), 0);
    EXPECT_EQ(ParseNumberItem(""), 0);
}

TEST(FieldStringTest, ReadsSubkeyNumbers) {
    EXPECT_EQ(ParseDecimalName(" 12"), 12);
    EXPECT_EQ(ParseDecimalName("+8x"), 8);
    EXPECT_EQ(ParseDecimalName("\t-3"), -3);
    EXPECT_EQ(ParseDecimalName("nine"), 0);
    EXPECT_EQ(ParseDecimalName("123456789012345"), INT_MAX);
}

// Writes under the redirected HKEY_LOCAL_MACHINE with the narrow calls the
// library reads with, so exact byte contents can be set.
void SetRaw(const std::string& key, const char* name, DWORD type, const void* data, DWORD size) {
    ASSERT_TRUE(ScratchRegistry::SetRaw(key, name, type, data, size)) << key << " " << name;
}

void SetText(const std::string& key, const char* name, const std::string& text) {
    ASSERT_TRUE(ScratchRegistry::SetString(key, name, text)) << key << " " << name;
}

void CreateKeyA(const std::string& key) { ASSERT_TRUE(ScratchRegistry::Open(key)) << key; }

// Imports a REGEDIT4 file's HKEY_LOCAL_MACHINE keys and string values into
// the redirected hive, as the installer's import would.
void ImportRegFile(const char* path) {
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file) << path;
    std::string line;
    std::getline(file, line);
    ASSERT_EQ(line.substr(0, 8), "REGEDIT4");
    const std::string root = "HKEY_LOCAL_MACHINE\\";
    std::string key;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            ASSERT_EQ(line.back(), ']') << line;
            key = line.substr(1, line.size() - 2);
            ASSERT_EQ(key.substr(0, root.size()), root) << line;
            key = key.substr(root.size());
            CreateKeyA(key);
            continue;
        }
        ASSERT_EQ(line[0], '"') << line;
        std::vector<std::string> parts(1);
        bool quoted = false;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (c == '"') quoted = !quoted;
            else if (quoted && c == '\\' && i + 1 < line.size()) parts.back() += line[++i];
            else if (quoted) parts.back() += c;
            else if (c == '=') parts.emplace_back();
        }
        ASSERT_EQ(parts.size(), 2u) << line;
        SetText(key, parts[0].c_str(), parts[1]);
    }
}

const std::string kLookup = reg::kLookupKeyA;
const std::string kServers = reg::kServersKeyA;

class CatalogueRegistryTest : public ::testing::Test {
protected:
    ScratchRegistry m_scratch;
    Catalogue m_catalogue;
};

TEST_F(CatalogueRegistryTest, MissingLookupKeyLoadsEmpty) {
    EXPECT_EQ(m_catalogue.Load(), kHlpOk);
    EXPECT_TRUE(m_catalogue.Entries().empty());
    EXPECT_TRUE(m_catalogue.HardwareTypes().empty());
    EXPECT_FALSE(m_catalogue.IsManufacturerCode('Q'));
}

TEST_F(CatalogueRegistryTest, LookupKeyWithoutEntriesFailsAndLeavesNothing) {
    SetText(kLookup + "\\ManufacturerCodes", "Ordeon", "Q");
    SetText(kLookup + "\\HardwareTypes\\9", "Name", "ORD9");
    EXPECT_EQ(m_catalogue.Load(), kHlpRegistryFailure);
    EXPECT_TRUE(m_catalogue.Entries().empty());
    EXPECT_TRUE(m_catalogue.HardwareTypes().empty());
    EXPECT_FALSE(m_catalogue.IsManufacturerCode('Q'));
}

TEST_F(CatalogueRegistryTest, InstalledCatalogueLoadsAndAnswersLookups) {
    ImportRegFile(KVR_CATALOGUE_REG);
    ASSERT_EQ(m_catalogue.Load(), kHlpOk);
    EXPECT_EQ(m_catalogue.Entries().size(), 4u);

    const DeviceTypeEntry* rack = m_catalogue.FindByName("ordeon RACK 9");
    ASSERT_NE(rack, nullptr);
    EXPECT_EQ(SapTypes(rack->fields), (std::vector<int>{0x479, 0x47A}));
    EXPECT_EQ(Sockets(rack->fields), (std::vector<int>{0x4004, 0x4005}));
    EXPECT_EQ(rack->fields.hardwareType, 9);
    EXPECT_EQ(rack->fields.access, 1);

    EXPECT_EQ(m_catalogue.FindByCode("ord9"), rack);
    EXPECT_EQ(m_catalogue.FindByHardwareType(9), rack);
    EXPECT_EQ(m_catalogue.FindBySapType(0x47A), rack);
    ASSERT_NE(m_catalogue.FindBySapType(0x01CE), nullptr);
    EXPECT_STREQ(m_catalogue.FindBySapType(0x01CE)->fields.code, "ORH");
    ASSERT_NE(m_catalogue.FindBySapType(0x04A1), nullptr);
    EXPECT_STREQ(m_catalogue.FindBySapType(0x04A1)->name, "Veltra Dial Server");
    EXPECT_EQ(m_catalogue.FindByName("Ordeon"), nullptr);
    EXPECT_EQ(m_catalogue.FindBySapType(0x1234), nullptr);
    EXPECT_EQ(m_catalogue.FindByHardwareType(0), nullptr);

    EXPECT_EQ(m_catalogue.HardwareTypeForFilter("*"), -1);
    EXPECT_EQ(m_catalogue.HardwareTypeForFilter("*ORD2"), -1);
    EXPECT_EQ(m_catalogue.HardwareTypeForFilter("ord2"), 2);
    EXPECT_EQ(m_catalogue.HardwareTypeForFilter("NOPE"), -1);

    const char* name = nullptr;
    EXPECT_EQ(m_catalogue.HardwareTypeName(9, &name), kHlpOk);
    EXPECT_STREQ(name, "ORD9");
    EXPECT_EQ(m_catalogue.HardwareTypeName(77, &name), kHlpNoHardwareTypeName);

    EXPECT_TRUE(m_catalogue.IsManufacturerCode('Q'));
    EXPECT_TRUE(m_catalogue.IsManufacturerCode('V'));
    EXPECT_FALSE(m_catalogue.IsManufacturerCode('X'));
    EXPECT_FALSE(m_catalogue.IsManufacturerCode('\0'));

    m_catalogue.Release();
    EXPECT_TRUE(m_catalogue.Entries().empty());
    EXPECT_EQ(m_catalogue.FindByCode("ORD9"), nullptr);
    EXPECT_FALSE(m_catalogue.IsManufacturerCode('Q'));
}

// Stored texts longer than their fields are cut, and one long value does not
// hide the values enumerated after it.
TEST_F(CatalogueRegistryTest, OverlongTextsAreCutAndDoNotEndTheList) {
    const std::string longName = "  \t" + std::string(60, 'N');
    SetText(kLookup, longName.c_str(), "CODE=LONG1");
    SetText(kLookup, "Padded", std::string(300, ' ') + "/CODE=PAD/HARDWARE=4");
    SetText(kLookup, "After", "CODE=LAST");
    SetText(kLookup + "\\HardwareTypes\\4", "Name", std::string(60, 'H'));
    SetText(kLookup + "\\HardwareTypes\\ -3", "Name", "minus three");
    CreateKeyA(kLookup + "\\HardwareTypes\\5");  // no display name

    ASSERT_EQ(m_catalogue.Load(), kHlpOk);
    ASSERT_EQ(m_catalogue.Entries().size(), 3u);
    const DeviceTypeEntry* cut = m_catalogue.FindByCode("LONG1");
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(std::string(cut->name), std::string(kEntryNameChars, 'N'));
    ASSERT_NE(m_catalogue.FindByCode("PAD"), nullptr);
    EXPECT_EQ(m_catalogue.FindByCode("PAD")->fields.hardwareType, 4);
    EXPECT_NE(m_catalogue.FindByCode("LAST"), nullptr);

    const char* name = nullptr;
    ASSERT_EQ(m_catalogue.HardwareTypeName(4, &name), kHlpOk);
    EXPECT_EQ(std::string(name), std::string(kHardwareNameChars, 'H'));
    ASSERT_EQ(m_catalogue.HardwareTypeName(-3, &name), kHlpOk);
    EXPECT_STREQ(name, "minus three");
    ASSERT_EQ(m_catalogue.HardwareTypeName(5, &name), kHlpOk);
    EXPECT_STREQ(name, "");
}

TEST_F(CatalogueRegistryTest, ManufacturerCodesStopAtFifteen) {
    SetText(kLookup, "Any", "CODE=A");
    for (char c = 'A'; c < 'A' + 20; ++c) SetText(kLookup + "\\ManufacturerCodes", std::string(1, c).c_str(), std::string(1, c));
    ASSERT_EQ(m_catalogue.Load(), kHlpOk);
    int passing = 0;
    for (char c = 'A'; c < 'A' + 20; ++c) passing += m_catalogue.IsManufacturerCode(c) ? 1 : 0;
    EXPECT_EQ(passing, 15);
}

TEST_F(CatalogueRegistryTest, ReloadReplacesRatherThanAppends) {
    SetText(kLookup, "One", "CODE=ONE");
    SetText(kLookup + "\\HardwareTypes\\1", "Name", "first");
    ASSERT_EQ(m_catalogue.Load(), kHlpOk);
    ASSERT_EQ(m_catalogue.Load(), kHlpOk);
    EXPECT_EQ(m_catalogue.Entries().size(), 1u);
    EXPECT_EQ(m_catalogue.HardwareTypes().size(), 1u);
}

TEST_F(CatalogueRegistryTest, LookupOrderFromTheRegistry) {
    EXPECT_EQ(ReadLookupOrder(), (LookupOrder{1, 2, 3}));  // no Servers key
    CreateKeyA(kServers);
    EXPECT_EQ(ReadLookupOrder(), (LookupOrder{1, 2, 3}));  // no value
    SetText(kServers, reg::kIpLookupMethodsA, "");
    EXPECT_EQ(ReadLookupOrder(), (LookupOrder{1, 2, 3}));
    SetText(kServers, reg::kIpLookupMethodsA, "DNS, DeviceFile");
    EXPECT_EQ(ReadLookupOrder(), (LookupOrder{2, 0, 1}));
    SetText(kServers, reg::kIpLookupMethodsA, std::string(300, ' ') + "DNS");
    EXPECT_EQ(ReadLookupOrder(), (LookupOrder{1, 2, 3}));  // too long to read
}

TEST_F(CatalogueRegistryTest, DeviceFileMustExistAndFit) {
    char buffer[32];
    EXPECT_EQ(ReadDeviceFile(buffer, sizeof(buffer)), kHlpRegistryFailure);  // no Servers key
    CreateKeyA(kServers);
    EXPECT_EQ(ReadDeviceFile(buffer, sizeof(buffer)), kHlpRegistryFailure);  // no value

    const std::string fits(31, 'f');
    SetText(kServers, reg::kDeviceFileA, fits);
    ASSERT_EQ(ReadDeviceFile(buffer, sizeof(buffer)), kHlpOk);
    EXPECT_EQ(std::string(buffer), fits);

    SetText(kServers, reg::kDeviceFileA, "C:\\Quelt\\devices\\all-servers.dev");
    EXPECT_EQ(ReadDeviceFile(buffer, sizeof(buffer)), kHlpRegistryFailure);
    EXPECT_STREQ(buffer, "");
    char large[256];
    ASSERT_EQ(ReadDeviceFile(large, sizeof(large)), kHlpOk);
    EXPECT_STREQ(large, "C:\\Quelt\\devices\\all-servers.dev");

    // Text stored without its NUL that fills the buffer exactly does not fit.
    SetRaw(kServers, reg::kDeviceFileA, REG_SZ, std::string(32, 'x').data(), 32);
    EXPECT_EQ(ReadDeviceFile(buffer, sizeof(buffer)), kHlpRegistryFailure);
    SetRaw(kServers, reg::kDeviceFileA, REG_SZ, "abc", 3);
    ASSERT_EQ(ReadDeviceFile(buffer, sizeof(buffer)), kHlpOk);
    EXPECT_STREQ(buffer, "abc");

    const DWORD number = 5;
    SetRaw(kServers, reg::kDeviceFileA, REG_DWORD, &number, sizeof(number));
    EXPECT_EQ(ReadDeviceFile(large, sizeof(large)), kHlpRegistryFailure);
    EXPECT_EQ(ReadDeviceFile(nullptr, 0), kHlpRegistryFailure);
}

}  // namespace
