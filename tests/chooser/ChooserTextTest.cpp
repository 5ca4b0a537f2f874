// The Chooser's text forms and small rules, each a table of cases: the
// redirection text, device addresses and versions, what the user typed in
// Add IP Device, the device file's section, the old settings file, the
// work-area fit, the IPX usability rule, the error texts and device equality.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "ChooserRes.h"
#include "DeviceDialogs.h"
#include "DeviceFileWriter.h"
#include "DeviceList.h"
#include "DeviceText.h"
#include "ErrorTexts.h"
#include "OldProfile.h"
#include "RedirectionText.h"
#include "WindowPosition.h"

namespace kvr {
namespace {

TEST(RedirectionTextTest, FirstColonEndsTheServerAndLastBeginsTheGroup) {
    struct Case {
        const wchar_t* text;
        std::vector<RedirectionElement> expected;
    };
    const Case cases[] = {
        {L"A:T1:G1,B::", {{L"A", L"T1", L"G1"}, {L"B", L"", L""}}},
        {L"A:Hub:Mk 2:G", {{L"A", L"Hub:Mk 2", L"G"}}},
        {L"A:T,,B:T:G", {{L"A", L"", L"T"}}},  // parsing stops at the first empty element
        {L"", {}},
        {L"Lone", {{L"Lone", L"", L""}}},
        {L"A:G", {{L"A", L"", L"G"}}},
    };
    for (const Case& c : cases) {
        const auto parsed = ParseRedirectionText(c.text, 25);
        ASSERT_EQ(c.expected.size(), parsed.size()) << c.text;
        for (std::size_t i = 0; i < parsed.size(); ++i) {
            EXPECT_EQ(c.expected[i].server, parsed[i].server) << c.text;
            EXPECT_EQ(c.expected[i].type, parsed[i].type) << c.text;
            EXPECT_EQ(c.expected[i].group, parsed[i].group) << c.text;
        }
    }
    EXPECT_EQ(2u, ParseRedirectionText(L"a::,b::,c::", 2).size());
    EXPECT_EQ(L"A:T:G", FormatRedirectionElement({L"A", L"T", L"G"}, true));
    EXPECT_EQ(L",B::", FormatRedirectionElement({L"B", L"", L""}, false));
}

DeviceRecord Record(std::uint16_t transport, std::initializer_list<std::uint8_t> address, const char* name = "D",
                    const char* type = "T") {
    DeviceRecord record{};
    record.transport = transport;
    std::memcpy(record.address, address.begin(), address.size());
    std::strcpy(record.name, name);
    std::strcpy(record.typeText, type);
    return record;
}

TEST(DeviceTextTest, AddressesAndVersionsAsPeopleReadThem) {
    EXPECT_EQ(L"192.168.1.10", FormatDeviceAddress(Record(2, {2, 0, 6, 13, 192, 168, 1, 10})));
    const DeviceRecord ipx = Record(6, {0, 0, 0x12, 0x34, 0x56, 0x78, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x0F, 0x90});
    EXPECT_EQ(L"12345678:A1B2C3D4E5F6:900F", FormatDeviceAddress(ipx)) << "socket in the computer's own order";

    struct Case {
        std::uint8_t bytes[5];
        const wchar_t* expected;
    };
    const Case cases[] = {
        {{4, 5, 0, 0x80, 0}, L"4.5"},    {{4, 5, 0, 0x60, 3}, L"4.5b3"}, {{4, 5, 1, 0x80, 9}, L"4.5.1"},
        {{4, 5, 1, 0x10, 2}, L"4.5.1u2"}, {{4, 0, 0, 0x55, 1}, L"4.0?1"}, {{250, 1, 2, 0x90, 7}, L"250.1.2p7"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, FormatDeviceVersion(c.bytes));

    EXPECT_EQ(3, PortGroupKind(L"Command_Shell"));
    EXPECT_EQ(4, PortGroupKind(L"All_Ports"));
    EXPECT_EQ(1, PortGroupKind(L"all_ports")) << "exact names only";
}

TEST(DeviceTextTest, FieldsAreCutWithTheirTerminator) {
    char field[8];
    std::memset(field, 'x', sizeof field);
    SetFieldText(field, L"longer than the field");
    EXPECT_STREQ("longer ", field);
    char exact[4] = {'a', 'b', 'c', 'd'};  // no terminator stored
    EXPECT_EQ(L"abcd", FieldText(exact));
}

TEST(AddIpDeviceTest, TypedTextIsAnAddressANameOrInvalid) {
    using Kind = DeviceTarget::Kind;
    struct Case {
        std::wstring typed;
        Kind kind;
        std::uint8_t address[4];
    };
    const Case cases[] = {
        {L"10.1.2.3", Kind::Address, {10, 1, 2, 3}},
        {L"0.0.0.0", Kind::Address, {0, 0, 0, 0}},
        {L"255.255.255.255", Kind::Address, {255, 255, 255, 255}},
        {L"10.1.2", Kind::HostName, {}},
        {L"10.1.2.3.4", Kind::HostName, {}},
        {L"host-1", Kind::HostName, {}},
        {L"localhost", Kind::HostName, {}},
        {L"10.1.2.300", Kind::Invalid, {}},
        {L"1.2.3.", Kind::Invalid, {}},
        {L".1.2.3", Kind::Invalid, {}},
        {L"1..2.3", Kind::Invalid, {}},
        {L"4294967297.1.1.1", Kind::Invalid, {}},
        {L"0001.2.3.4", Kind::Invalid, {}},
    };
    for (const Case& c : cases) {
        const DeviceTarget target = ClassifyDeviceTarget(c.typed);
        EXPECT_EQ(c.kind, target.kind) << std::string(c.typed.begin(), c.typed.end());
        if (c.kind == Kind::Address) {
            EXPECT_EQ(0, std::memcmp(c.address, target.address, 4));
        }
        if (c.kind == Kind::HostName) {
            EXPECT_EQ(c.typed, target.hostName);
        }
    }
    // Only the first 64 characters count.
    const DeviceTarget longName = ClassifyDeviceTarget(std::wstring(64, L'h') + L"10.1.2.3");
    EXPECT_EQ(std::wstring(64, L'h'), longName.hostName);
}

TEST(DeviceFileTest, SectionNameAndEntries) {
    DeviceDetailRecord device{};
    device.device = Record(2, {2, 0, 6, 13, 192, 168, 1, 10}, "Harbor", "Rack Unit");
    const std::uint8_t version[4] = {4, 5, 8, 0x80};
    std::memcpy(device.version, version, 4);
    device.capability = 8;
    EXPECT_EQ(L"00000A01A8C0", DeviceSectionName(device.device));
    const auto entries = DeviceSectionEntries(device);
    const std::vector<std::pair<std::wstring, std::wstring>> expected = {
        {L"Name", L"Harbor"}, {L"IPAddress", L"192.168.1.10"}, {L"IPHostname", L""},
        {L"Type", L"Rack Unit"}, {L"Version", L"4.5.8 8"}};
    EXPECT_EQ(expected, entries);
    device.version[3] = 'b';
    device.capability = 0xFF;
    EXPECT_EQ(L"4.5.8b-1", DeviceSectionEntries(device).back().second) << "signed bytes, printable character";
}

TEST(OldProfileTest, ReadsLikeTheProfileCalls) {
    const std::string file =
        "; comment\r\n[Other]\r\nUsername=not this\r\n"
        "[ comm ]\r\n  Username  =  \"quoted name\"  \r\nNarrate=12abc\r\nCOM1Redir=-4\r\nempty=\r\n"
        "username=second\r\n[COMM]\r\nTransport=ignored: only the first section counts\r\n";
    const ProfileSection comm = ProfileSection::Parse(file, "COMM");
    EXPECT_EQ("quoted name", comm.Text("USERNAME", 254));
    EXPECT_EQ("quot", comm.Text("Username", 4));
    EXPECT_EQ("", comm.Text("Transport", 254, ""));
    EXPECT_EQ("dflt", comm.Text("Missing", 254, "dflt"));
    EXPECT_EQ(12, comm.Integer("Narrate", 30583));
    EXPECT_EQ(0, comm.Integer("COM1Redir", 30583)) << "no number is 0";
    EXPECT_EQ(0, comm.Integer("empty", 30583));
    EXPECT_EQ(30583, comm.Integer("COM2Redir", 30583));
    EXPECT_TRUE(comm.Has("empty"));
    EXPECT_FALSE(ProfileSection::Parse("Username=x\n", "COMM").Has("Username")) << "nothing outside a section";

    const auto parts = SplitText("a::,b", ',');
    ASSERT_EQ(2u, parts.size());
    EXPECT_EQ(3u, SplitText(parts[0], ':').size());
    EXPECT_EQ("x y", TrimText(" \tx y \r\n"));
}

TEST(OldProfileTest, BinaryAndHugeFilesReadOnlyWhatTheyHold) {
    std::string garbage("\0\xFF[COMM\0]\r\n=\n[COMM]\r\nUsername=\x01\x7F bob\0tail\r\n", 43);
    EXPECT_EQ("\x01\x7F bob", ProfileSection::Parse(garbage, "COMM").Text("Username", 254).substr(0, 6));

    // Only the first megabyte is read: a section beyond it does not exist.
    std::string huge = "[COMM]\r\nNarrate=7\r\n" + std::string(kMaxProfileBytes, 'x') + "\r\n[LATE]\r\nUsername=x\r\n";
    EXPECT_EQ(7, ProfileSection::Parse(huge, "COMM").Integer("Narrate", 0));
    EXPECT_FALSE(ProfileSection::Parse(huge, "LATE").Has("Username"));
}

TEST(WindowPositionTest, FitsIntoTheWorkAreasRightAndBottomEdges) {
    const RECT work{0, 0, 800, 600};
    struct Case {
        RECT in, out;
    };
    const Case cases[] = {
        {{100, 100, 300, 300}, {100, 100, 300, 300}},  // inside: unchanged
        {{700, 500, 900, 700}, {600, 400, 800, 600}},  // shifted back by the excess
        {{100, 100, 1000, 300}, {0, 100, 800, 300}},   // wider than the work area: left edge, right edge
        {{-50, -20, 100, 100}, {-50, -20, 100, 100}},  // left of or above it: not corrected
    };
    for (const Case& c : cases) {
        const RECT r = FitIntoWorkArea(c.in, work);
        EXPECT_EQ(c.out.left, r.left);
        EXPECT_EQ(c.out.top, r.top);
        EXPECT_EQ(c.out.right, r.right);
        EXPECT_EQ(c.out.bottom, r.bottom);
    }
}

TEST(DeviceListTest, IpxDevicesMustBeNewEnoughAndOfferDialOut) {
    struct Case {
        std::uint8_t major, minor, revision;
        std::uint32_t flag;
        bool usable;
    };
    const Case cases[] = {{4, 0, 1, 1, false}, {4, 0, 2, 1, true},  {4, 1, 0, 1, true}, {3, 9, 9, 1, false},
                          {5, 0, 0, 1, true},  {4, 1, 0, 0, false}, {0x84, 0, 0, 1, false}};
    for (const Case& c : cases) {
        ServerInfo info{};
        info.version[0] = c.major;
        info.version[1] = c.minor;
        info.version[2] = c.revision;
        info.usableOverIpx = c.flag;
        EXPECT_EQ(c.usable, IsUsableIpxServer(info)) << int(c.major) << "." << int(c.minor) << "." << int(c.revision);
    }
}

TEST(DeviceListTest, DevicesAreEqualByTypeNameAndAddress) {
    struct Case {
        DeviceRecord a, b;
        bool equal;
    };
    const auto ip = [](std::uint8_t last, const char* name = "Dev", const char* type = "Rack") {
        return Record(2, {2, 0, 6, 13, 127, 0, 0, last}, name, type);
    };
    DeviceRecord ipxA = Record(6, {0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}), ipxB = ipxA;
    ipxB.address[14] = 1;  // the value after the socket counts for IPX
    DeviceRecord other = ip(1);
    other.transport = 4;
    const Case cases[] = {
        {ip(1), ip(1, "dev", "RACK"), true},  // names and types without regard to case
        {ip(1), ip(2), false},
        {ip(1), ip(1, "Other"), false},
        {ip(1), ip(1, "Dev", "Hub"), false},
        {ipxA, ipxA, true},
        {ipxA, ipxB, false},
        {other, other, false},  // an unknown transport is never equal
    };
    for (Case c : cases) {
        const CDevice a(c.a), b(c.b);
        EXPECT_EQ(c.equal, a.Equals(b));
    }
}

TEST(ErrorTextTest, ListedCodesHaveTheirTextsAndOthersTheirNumber) {
    EXPECT_EQ(0u, LibraryErrorText(-2).find(L"An unknown TCP/IP error has occurred."));
    EXPECT_EQ(0u, LibraryErrorText(-3).find(L"There was not enough memory"));
    EXPECT_NE(std::wstring::npos, LibraryErrorText(-7).find(L"(-7)"));
    EXPECT_NE(std::wstring::npos, LibraryErrorText(-9).find(L"(-9)"));
    EXPECT_EQ(0u, LibraryErrorText(-131).find(L"The Rezo-Riv device you specified cannot be used"));
    for (long code : {-1L, -6L, -100L, -102L, -132L, 7L})
        EXPECT_EQ(L"Unknown Error (" + std::to_wstring(code) + L")", LibraryErrorText(code));
}

}  // namespace
}  // namespace kvr
