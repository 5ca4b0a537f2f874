#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "BrowseErrors.h"
#include "DeviceRecords.h"
#include "PortRedirections.h"
#include "StoreFixture.h"
#include "ServerStore.h"

using namespace kvr::browse;

namespace {

constexpr std::uint8_t kGarbage = 0xCC;

RedirectionRecord IpEntry(const char* name, const char* type, std::array<std::uint8_t, 4> ip,
                          std::uint16_t tcpPort, const char* portName) {
    RedirectionRecord record{};
    record.device.transport = kTransportIp;
    strcpy(record.device.typeText, type);
    strcpy(record.device.name, name);
    const std::uint8_t address[16] = {0x02, 0x00, static_cast<std::uint8_t>(tcpPort >> 8),
                                      static_cast<std::uint8_t>(tcpPort), ip[0], ip[1], ip[2], ip[3]};
    memcpy(record.device.address, address, sizeof(address));
    strcpy(record.portName, portName);
    return record;
}

// An IPX record as SAP replies make them: SAP type at 108, network at 110,
// node at 114, socket at 120.
RedirectionRecord IpxEntry(const char* name, const char* type, const char* portName) {
    RedirectionRecord record{};
    record.device.transport = kTransportIpx;
    strcpy(record.device.typeText, type);
    strcpy(record.device.name, name);
    const std::uint8_t address[16] = {0x4E, 0x02, 0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x60,
                                      0x8C, 0x12, 0x34, 0x56, 0x90, 0x0F, 0x00, 0x00};
    memcpy(record.device.address, address, sizeof(address));
    strcpy(record.portName, portName);
    return record;
}

std::vector<RedirectionRecord> Garbage(std::size_t count) {
    std::vector<RedirectionRecord> records(count);
    memset(records.data(), kGarbage, count * sizeof(RedirectionRecord));
    return records;
}

std::string DosTarget(const char* name) {
    char buffer[1024] = {};
    if (!QueryDosDeviceA(name, buffer, sizeof(buffer))) return {};
    return buffer;
}

// Leaves no definition of the name behind, however many were stacked. The
// names the tests define stay within four characters: Wine mangles longer ones.
struct DosNameGuard {
    explicit DosNameGuard(const char* dosName) : name(dosName) { Clear(); }
    ~DosNameGuard() { Clear(); }
    void Clear() const {
        while (!DosTarget(name).empty() && DefineDosDeviceA(DDD_REMOVE_DEFINITION, name, nullptr)) {
        }
    }
    const char* name;
};

std::string PortTarget(int port) { return "\\Device\\Dialout" + std::to_string(port); }

}  // namespace

class StoreTest : public ScratchMachineKey {};

TEST_F(StoreTest, CountZeroEmptiesTheListButStoresNameAndFlag) {
    const RedirectionRecord two[] = {IpEntry("Alpha", "T", {127, 0, 0, 2}, 1549, "P1"),
                                     IpEntry("Beta", "T", {127, 0, 0, 3}, 1549, "P2")};
    ASSERT_EQ(kHlpOk, SetPortRedirections(1, "COM2", false, 2, two));
    ASSERT_EQ(2u, SubkeyCount(PortPath(1) + "\\Redirections"));

    EXPECT_EQ(kHlpOk, SetPortRedirections(1, "COM7", false, 0, nullptr));
    EXPECT_EQ(0u, SubkeyCount(PortPath(1) + "\\Redirections"));
    EXPECT_EQ("COM7", GetText(PortPath(1), "DosDevices"));
    EXPECT_EQ(0u, GetDword(PortPath(1), "IsRedirected"));
    long count = -1;
    EXPECT_EQ(kHlpOk, CountPortRedirections(1, &count));
    EXPECT_EQ(0, count);
}

// The DOS name follows only a change of the flag. The table sets the stored
// flag and the name's definition beforehand, then checks the definition.
TEST_F(StoreTest, DosNameFollowsOnlyAChangeOfTheFlag) {
    struct Case {
        const char* dosName;
        std::uint16_t port;
        DWORD storedFlag;
        bool definedBefore;
        bool newFlag;
        bool definedAfter;
    };
    const Case cases[] = {
        {"KT1", 11, 0, false, true, true},    // turned on: defined
        {"KT2", 12, 1, false, true, false},   // on again: not defined a second time
        {"KT3", 13, 1, true, false, false},   // turned off: removed
        {"KT4", 14, 0, true, false, true},    // off again: left alone
        {"KT5", 15, 7, false, true, false},   // any non-zero stored flag counts as on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dosName);
        DosNameGuard guard(c.dosName);
        SetDword(PortPath(c.port), "IsRedirected", c.storedFlag);
        if (c.definedBefore) {
            ASSERT_TRUE(DefineDosDeviceA(DDD_RAW_TARGET_PATH, c.dosName, PortTarget(c.port).c_str()));
        }

        EXPECT_EQ(kHlpOk, SetPortRedirections(c.port, c.dosName, c.newFlag, 0, nullptr));

        EXPECT_EQ(c.definedAfter ? PortTarget(c.port) : std::string(), DosTarget(c.dosName));
        EXPECT_EQ(c.newFlag ? 1u : 0u, GetDword(PortPath(c.port), "IsRedirected"));
    }
}

TEST_F(StoreTest, NullDosNameKeepsTheStoredNameAndStillDefinesIt) {
    DosNameGuard guard("KT6");
    SetText(PortPath(16), "DosDevices", "KT6");

    EXPECT_EQ(kHlpOk, SetPortRedirections(16, nullptr, true, 0, nullptr));
    EXPECT_EQ("KT6", GetText(PortPath(16), "DosDevices"));
    EXPECT_EQ(PortTarget(16), DosTarget("KT6"));

    EXPECT_EQ(kHlpOk, SetPortRedirections(16, nullptr, false, 0, nullptr));
    EXPECT_EQ("KT6", GetText(PortPath(16), "DosDevices"));
    EXPECT_EQ("", DosTarget("KT6"));
}

TEST_F(StoreTest, PortKeyThatDoesNotExist) {
    long count = 5;
    EXPECT_EQ(kHlpRegistryFailure, CountPortRedirections(3, &count));
    EXPECT_EQ(0, count);

    char dosName[25];
    bool redirected = true;
    count = 0;
    EXPECT_EQ(kHlpRegistryFailure, GetPortRedirections(3, dosName, &redirected, sizeof(dosName),
                                                       &count, nullptr));

    EXPECT_EQ(kHlpOk, SetPortRedirections(3, "COM4", false, 0, nullptr));
    EXPECT_TRUE(KeyExists(PortPath(3)));
    EXPECT_EQ(kHlpOk, CountPortRedirections(3, &count));
}

TEST_F(StoreTest, PortKeyWithoutRedirectionsReadsAsAnEmptyList) {
    SetText(PortPath(2), "DosDevices", "COM5");
    SetDword(PortPath(2), "IsRedirected", 1);

    long count = 9;
    EXPECT_EQ(kHlpOk, CountPortRedirections(2, &count));
    EXPECT_EQ(0, count);

    char dosName[25];
    memset(dosName, kGarbage, sizeof(dosName));
    bool redirected = false;
    count = 0;
    EXPECT_EQ(kHlpOk, GetPortRedirections(2, dosName, &redirected, sizeof(dosName), &count, nullptr));
    EXPECT_EQ(0, count);
    EXPECT_STREQ("COM5", dosName);
    EXPECT_TRUE(redirected);
}

// The flag is read as 32 bits of any type; shorter data counts as far as it
// goes, longer data as no flag at all.
TEST_F(StoreTest, FlagOfAnyTypeUpToFourBytes) {
    const struct {
        const char* name;
        DWORD type;
        std::vector<std::uint8_t> bytes;
        bool redirected;
    } cases[] = {
        {"REG_DWORD 7", REG_DWORD, {7, 0, 0, 0}, true},
        {"one byte", REG_BINARY, {1}, true},
        {"two zero bytes", REG_BINARY, {0, 0}, false},
        {"text \"0\"", REG_SZ, {'0', 0}, true},
        {"five bytes", REG_BINARY, {1, 0, 0, 0, 0}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetRaw(PortPath(2), "IsRedirected", c.type, c.bytes.data(), static_cast<DWORD>(c.bytes.size()));
        bool redirected = !c.redirected;
        long count = 0;
        EXPECT_EQ(kHlpOk, GetPortRedirections(2, nullptr, &redirected, 0, &count, nullptr));
        EXPECT_EQ(c.redirected, redirected);
    }
}

// Texts are read whatever type they were stored with, up to their first NUL.
TEST_F(StoreTest, TextsOfAnyTypeAreRead) {
    const std::string server = "SOFTWARE\\Quelt\\Servers\\TCP\\Odd";
    const std::uint8_t address[16] = {0x02, 0x00, 0x06, 0x0D, 127, 0, 0, 2};
    SetRaw(server, "Address", REG_BINARY, address, sizeof(address));
    SetRaw(server, "DeviceType", REG_BINARY, "Box\0junk", 8);
    SetRaw(server, "Name", REG_EXPAND_SZ, "Odd", 4);
    SetRaw(EntryPath(3, 0), "Port", REG_BINARY, "Modems", 6);  // without its NUL
    SetRaw(EntryPath(3, 0), "Server", REG_MULTI_SZ, (server + '\0').c_str(), static_cast<DWORD>(server.size() + 2));

    auto read = Garbage(1);
    long count = 1;
    ASSERT_EQ(kHlpOk, GetPortRedirections(3, nullptr, nullptr, 0, &count, read.data()));
    EXPECT_STREQ("Modems", read[0].portName);
    EXPECT_STREQ("Box", read[0].device.typeText);
    EXPECT_STREQ("Odd", read[0].device.name);
    EXPECT_EQ(0, memcmp(address, read[0].device.address, 16));
}

TEST_F(StoreTest, MissingFlagReadsAsNotRedirected) {
    SetText(PortPath(2), "DosDevices", "COM5");
    bool redirected = true;
    long count = 0;
    EXPECT_EQ(kHlpOk, GetPortRedirections(2, nullptr, &redirected, 0, &count, nullptr));
    EXPECT_FALSE(redirected);
}

// What the service reads: plain REG_SZ texts with their NUL, the server's
// path relative to HKEY_LOCAL_MACHINE, a 16-byte binary address.
TEST_F(StoreTest, EntriesAndServersAreStoredInTheSharedLayout) {
    DosNameGuard cleanup("KT8");
    const RedirectionRecord records[] = {IpEntry("Alpha", "Box 8", {127, 0, 0, 2}, 1549, "Modems"),
                                         IpxEntry("Nova", "Box 9", "Lines")};
    ASSERT_EQ(kHlpOk, SetPortRedirections(0, "KT8", true, 2, records));

    EXPECT_EQ("Modems", GetText(EntryPath(0, 0), "Port"));
    EXPECT_EQ("SOFTWARE\\Quelt\\Servers\\TCP\\Alpha", GetText(EntryPath(0, 0), "Server"));
    EXPECT_EQ("Lines", GetText(EntryPath(0, 1), "Port"));
    EXPECT_EQ("SOFTWARE\\Quelt\\Servers\\SPX\\Nova", GetText(EntryPath(0, 1), "Server"));

    const std::string alpha = "SOFTWARE\\Quelt\\Servers\\TCP\\Alpha";
    EXPECT_EQ("Alpha", GetText(alpha, "Name"));
    EXPECT_EQ("Box 8", GetText(alpha, "DeviceType"));
    const auto address = GetRaw(alpha, "Address");
    ASSERT_TRUE(address);
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), address->type);
    const std::vector<std::uint8_t> expected = {0x02, 0x00, 0x06, 0x0D, 127, 0, 0, 2,
                                                0,    0,    0,    0,    0,   0, 0, 0};
    EXPECT_EQ(expected, address->bytes);
}

TEST_F(StoreTest, IpxAddressIsStoredAsASocketAddressAndReadBackIntoTheRecord) {
    const RedirectionRecord record = IpxEntry("Nova", "Box 9", "Lines");
    ASSERT_EQ(kHlpOk, SetPortRedirections(4, "COM9", false, 1, &record));

    const auto stored = GetRaw("SOFTWARE\\Quelt\\Servers\\SPX\\Nova", "Address");
    ASSERT_TRUE(stored);
    const std::vector<std::uint8_t> socketAddress = {0x06, 0x00, 0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x60,
                                                     0x8C, 0x12, 0x34, 0x56, 0x90, 0x0F, 0x00, 0x00};
    EXPECT_EQ(socketAddress, stored->bytes);

    auto read = Garbage(1);
    long count = 1;
    ASSERT_EQ(kHlpOk, GetPortRedirections(4, nullptr, nullptr, 0, &count, read.data()));
    EXPECT_EQ(kTransportIpx, read[0].device.transport);
    const std::uint8_t inRecord[16] = {0x00, 0x00, 0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x60,
                                       0x8C, 0x12, 0x34, 0x56, 0x90, 0x0F, 0x00, 0x00};
    EXPECT_EQ(0, memcmp(inRecord, read[0].device.address, 16));
    EXPECT_STREQ("Nova", read[0].device.name);
    EXPECT_STREQ("Box 9", read[0].device.typeText);
    EXPECT_STREQ("", read[0].device.typeCode);
    EXPECT_STREQ("Lines", read[0].portName);
}

TEST_F(StoreTest, EntriesRoundTripInOrder) {
    const RedirectionRecord records[] = {IpEntry("Alpha", "Box 8", {127, 0, 0, 2}, 1549, "Modems"),
                                         IpEntry("Beta", "Box 7", {127, 0, 0, 3}, 2000, "Fax"),
                                         IpxEntry("Nova", "Box 9", "Lines")};
    ASSERT_EQ(kHlpOk, SetPortRedirections(5, "COM6", false, 3, records));

    long count = 0;
    ASSERT_EQ(kHlpOk, CountPortRedirections(5, &count));
    ASSERT_EQ(3, count);
    auto read = Garbage(3);
    char dosName[25];
    bool redirected = true;
    ASSERT_EQ(kHlpOk, GetPortRedirections(5, dosName, &redirected, sizeof(dosName), &count, read.data()));
    EXPECT_EQ(3, count);
    EXPECT_STREQ("COM6", dosName);
    EXPECT_FALSE(redirected);
    for (int i = 0; i < 2; ++i) {  // TCP/IP records come back byte for byte
        SCOPED_TRACE(i);
        EXPECT_EQ(0, memcmp(&records[i], &read[i], sizeof(RedirectionRecord)));
    }
    EXPECT_STREQ("Nova", read[2].device.name);
}

TEST_F(StoreTest, WritingReplacesTheWholeList) {
    const RedirectionRecord five[] = {
        IpEntry("A", "T", {127, 0, 0, 2}, 1549, "0"), IpEntry("B", "T", {127, 0, 0, 2}, 1549, "1"),
        IpEntry("C", "T", {127, 0, 0, 2}, 1549, "2"), IpEntry("D", "T", {127, 0, 0, 2}, 1549, "3"),
        IpEntry("E", "T", {127, 0, 0, 2}, 1549, "4")};
    ASSERT_EQ(kHlpOk, SetPortRedirections(6, "COM8", false, 5, five));
    // Something foreign below an entry must not keep that entry alive.
    SetText(EntryPath(6, 3) + "\\Foreign", "X", "y");

    const RedirectionRecord two[] = {IpEntry("Z", "T", {127, 0, 0, 9}, 1549, "z0"),
                                     IpEntry("Y", "T", {127, 0, 0, 9}, 1549, "y1")};
    ASSERT_EQ(kHlpOk, SetPortRedirections(6, nullptr, false, 2, two));
    EXPECT_EQ(2u, SubkeyCount(PortPath(6) + "\\Redirections"));
    EXPECT_EQ("z0", GetText(EntryPath(6, 0), "Port"));
    EXPECT_EQ("y1", GetText(EntryPath(6, 1), "Port"));
}

TEST_F(StoreTest, ServerStoredAgainUnderItsNameIsOverwrittenForEveryPort) {
    const RedirectionRecord first = IpEntry("Shared", "Old", {127, 0, 0, 2}, 1549, "P");
    const RedirectionRecord second = IpEntry("Shared", "New", {127, 0, 0, 5}, 1600, "Q");
    ASSERT_EQ(kHlpOk, SetPortRedirections(1, "COM2", false, 1, &first));
    ASSERT_EQ(kHlpOk, SetPortRedirections(2, "COM3", false, 1, &second));

    auto read = Garbage(1);
    long count = 1;
    ASSERT_EQ(kHlpOk, GetPortRedirections(1, nullptr, nullptr, 0, &count, read.data()));
    EXPECT_STREQ("New", read[0].device.typeText);
    EXPECT_EQ(0, memcmp(second.device.address, read[0].device.address, 16));
    EXPECT_STREQ("P", read[0].portName);  // the entry itself is port 1's own
}

TEST_F(StoreTest, AddDeviceStoresTheServerOnly) {
    const DeviceRecord device = IpEntry("Solo", "Box", {127, 0, 0, 4}, 1549, "").device;
    EXPECT_EQ(kHlpOk, RegisterServer(&device, nullptr, 0));
    EXPECT_EQ("Solo", GetText("SOFTWARE\\Quelt\\Servers\\TCP\\Solo", "Name"));
    EXPECT_FALSE(KeyExists(PortPath(0)));
}

TEST_F(StoreTest, LongRavelinTypeIsStoredAndReadAsTheShortOne) {
    struct Case {
        const char* given;
        const char* stored;
    };
    const Case cases[] = {
        {"Ravelin/E 115", "Ravelin/E"},
        {"RAVELIN/e 115", "RAVELIN/e"},
        {"Ravelin/E 1150", "Ravelin/E 1150"},
        {"Ravelin/E", "Ravelin/E"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given);
        const RedirectionRecord record = IpEntry("Rav", c.given, {127, 0, 0, 2}, 1549, "P");
        ASSERT_EQ(kHlpOk, SetPortRedirections(0, nullptr, false, 1, &record));
        EXPECT_EQ(c.stored, GetText("SOFTWARE\\Quelt\\Servers\\TCP\\Rav", "DeviceType"));

        // A long type written by someone else is shortened on reading too.
        SetText("SOFTWARE\\Quelt\\Servers\\TCP\\Rav", "DeviceType", c.given);
        auto read = Garbage(1);
        long count = 1;
        ASSERT_EQ(kHlpOk, GetPortRedirections(0, nullptr, nullptr, 0, &count, read.data()));
        EXPECT_STREQ(c.stored, read[0].device.typeText);
    }
}

TEST_F(StoreTest, MissingEntryInTheMiddleIsCountedOutAndFailsTheRead) {
    const RedirectionRecord records[] = {IpEntry("A", "T", {127, 0, 0, 2}, 1549, "p0"),
                                         IpEntry("B", "T", {127, 0, 0, 2}, 1549, "p1"),
                                         IpEntry("C", "T", {127, 0, 0, 2}, 1549, "p2")};
    ASSERT_EQ(kHlpOk, SetPortRedirections(7, "COM9", false, 3, records));
    DeleteKey(EntryPath(7, 1));

    long count = 0;
    ASSERT_EQ(kHlpOk, CountPortRedirections(7, &count));
    EXPECT_EQ(2, count);

    auto read = Garbage(3);
    count = 3;
    EXPECT_EQ(kHlpRegistryFailure, GetPortRedirections(7, nullptr, nullptr, 0, &count, read.data()));
    EXPECT_EQ(2, count);
    // Entries on both sides of the gap are still read.
    EXPECT_STREQ("p0", read[0].portName);
    EXPECT_STREQ("p2", read[2].portName);
    EXPECT_STREQ("C", read[2].device.name);
}

// A record that cannot be stored leaves a gap; the others are written and the
// failure is the result even though a later entry succeeded.
TEST_F(StoreTest, FailingEntryLeavesAGapAndIsReported) {
    const RedirectionRecord records[] = {IpEntry("A", "T", {127, 0, 0, 2}, 1549, "p0"),
                                         IpEntry("", "T", {127, 0, 0, 2}, 1549, "p1"),
                                         IpEntry("C", "T", {127, 0, 0, 2}, 1549, "p2")};
    EXPECT_EQ(kHlpMissingArgument, SetPortRedirections(8, "COM9", false, 3, records));
    EXPECT_TRUE(KeyExists(EntryPath(8, 0)));
    EXPECT_FALSE(KeyExists(EntryPath(8, 1)));
    EXPECT_TRUE(KeyExists(EntryPath(8, 2)));
}

TEST_F(StoreTest, MissingOrUnusableRecordsAreRefused) {
    EXPECT_EQ(kHlpMissingArgument, RegisterServer(nullptr, nullptr, 0));

    char path[256] = "untouched";
    EXPECT_EQ(kHlpMissingArgument, RegisterServer(nullptr, path, sizeof(path)));
    EXPECT_STREQ("", path);

    // No name would put the values on the base key; "\" would file the server
    // in a key of its own below another one.
    for (const char* name : {"", "Outer\\Inner"}) {
        SCOPED_TRACE(name);
        const DeviceRecord device = IpEntry(name, "T", {127, 0, 0, 2}, 1549, "").device;
        EXPECT_EQ(kHlpMissingArgument, RegisterServer(&device, nullptr, 0));
    }
    EXPECT_FALSE(GetRaw("SOFTWARE\\Quelt\\Servers\\TCP", "Address"));
    EXPECT_FALSE(KeyExists("SOFTWARE\\Quelt\\Servers\\TCP\\Outer"));

    // A table promised but not given: refused before anything is written.
    EXPECT_EQ(kHlpMissingArgument, SetPortRedirections(9, "COM1", true, 2, nullptr));
    EXPECT_EQ(kHlpMissingArgument, SetPortRedirections(9, "COM1", true, -1, nullptr));
    EXPECT_FALSE(KeyExists(PortPath(9)));

    EXPECT_EQ(kHlpMissingArgument, CountPortRedirections(9, nullptr));
    EXPECT_EQ(kHlpMissingArgument, GetPortRedirections(9, nullptr, nullptr, 0, nullptr, nullptr));
    long count = 1;
    EXPECT_EQ(kHlpMissingArgument, GetPortRedirections(9, nullptr, nullptr, 0, &count, nullptr));
}

TEST_F(StoreTest, ServerPathFitsTheCallersBufferOrIsEmpty) {
    const DeviceRecord device = IpEntry("Alpha", "T", {127, 0, 0, 2}, 1549, "").device;
    const std::string full = "SOFTWARE\\Quelt\\Servers\\TCP\\Alpha";
    struct Case {
        std::size_t size;
        std::string expected;
    };
    const Case cases[] = {{full.size() + 1, full}, {full.size(), ""}, {256, full}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        std::vector<char> path(c.size + 4, 'x');
        EXPECT_EQ(kHlpOk, RegisterServer(&device, path.data(), c.size));
        EXPECT_EQ(c.expected, path.data());
        EXPECT_EQ('x', path[c.size]);  // nothing beyond the buffer
    }
}

TEST_F(StoreTest, DosNameMustFitTheBufferWithItsNul) {
    SetText(PortPath(2), "DosDevices", "COM12345");  // 9 bytes with NUL
    struct Case {
        DWORD size;
        int result;
    };
    const Case cases[] = {{25, kHlpOk}, {9, kHlpOk}, {8, kHlpRegistryFailure}, {4, kHlpRegistryFailure},
                          {0, kHlpRegistryFailure}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        char buffer[32];
        memset(buffer, kGarbage, sizeof(buffer));
        long count = 0;
        EXPECT_EQ(c.result, GetPortRedirections(2, buffer, nullptr, c.size, &count, nullptr));
        if (c.result == kHlpOk) {
            EXPECT_STREQ("COM12345", buffer);
        }
        EXPECT_EQ(static_cast<char>(kGarbage), buffer[c.size]);  // nothing beyond the buffer
    }
}

TEST_F(StoreTest, DosNameMissingFailsTheRead) {
    SetDword(PortPath(2), "IsRedirected", 1);
    char buffer[25];
    long count = 0;
    EXPECT_EQ(kHlpRegistryFailure, GetPortRedirections(2, buffer, nullptr, sizeof(buffer), &count, nullptr));
}

// Texts stored by other hands can be longer than the record's fields; they are
// cut to the field and the neighbouring fields stay intact.
TEST_F(StoreTest, OverlongStoredTextsAreCutToTheirFields) {
    const std::string server = "SOFTWARE\\Quelt\\Servers\\TCP\\Long";
    const std::uint8_t address[16] = {0x02, 0x00, 0x06, 0x0D, 127, 0, 0, 2};
    SetRaw(server, "Address", REG_BINARY, address, sizeof(address));
    SetText(server, "DeviceType", std::string(300, 't'));
    SetText(server, "Name", std::string(300, 'n'));
    SetText(EntryPath(3, 0), "Port", std::string(400, 'p'));
    SetText(EntryPath(3, 0), "Server", server);

    auto read = Garbage(2);
    long count = 1;
    ASSERT_EQ(kHlpOk, GetPortRedirections(3, nullptr, nullptr, 0, &count, read.data()));
    const RedirectionRecord& r = read[0];
    EXPECT_EQ(std::string(47, 't'), r.device.typeText);
    EXPECT_EQ(std::string(48, 'n'), r.device.name);
    EXPECT_EQ(std::string(255, 'p'), r.portName);
    EXPECT_STREQ("", r.device.typeCode);
    EXPECT_EQ(0, memcmp(address, r.device.address, 16));
    const auto* next = reinterpret_cast<const std::uint8_t*>(&read[1]);
    for (std::size_t i = 0; i < sizeof(RedirectionRecord); ++i) ASSERT_EQ(kGarbage, next[i]);
}

// Fields the caller filled to the brim, without a NUL, are cut the same way.
TEST_F(StoreTest, UnterminatedRecordFieldsAreCutWhenStored) {
    RedirectionRecord record = IpEntry("x", "x", {127, 0, 0, 2}, 1549, "x");
    memset(record.device.typeText, 't', sizeof(record.device.typeText));
    memset(record.device.typeCode, 'c', sizeof(record.device.typeCode));
    memset(record.device.name, 'n', sizeof(record.device.name));
    memset(record.portName, 'p', sizeof(record.portName));
    ASSERT_EQ(kHlpOk, SetPortRedirections(3, nullptr, false, 1, &record));

    const std::string server = "SOFTWARE\\Quelt\\Servers\\TCP\\" + std::string(48, 'n');
    EXPECT_EQ(server, GetText(EntryPath(3, 0), "Server"));
    EXPECT_EQ(std::string(47, 't'), GetText(server, "DeviceType"));
    EXPECT_EQ(std::string(48, 'n'), GetText(server, "Name"));
    EXPECT_EQ(std::string(255, 'p'), GetText(EntryPath(3, 0), "Port"));
}

TEST_F(StoreTest, OverlongServerPathFailsTheEntry) {
    SetText(EntryPath(3, 0), "Port", "P");
    SetText(EntryPath(3, 0), "Server", "SOFTWARE\\" + std::string(300, 's'));
    auto read = Garbage(1);
    long count = 1;
    EXPECT_EQ(kHlpRegistryFailure, GetPortRedirections(3, nullptr, nullptr, 0, &count, read.data()));
}

TEST_F(StoreTest, EntryWhoseServerHasGoneKeepsTheCallersDevicePart) {
    const RedirectionRecord record = IpEntry("Gone", "T", {127, 0, 0, 2}, 1549, "Modems");
    ASSERT_EQ(kHlpOk, SetPortRedirections(3, "COM4", false, 1, &record));
    DeleteKey("SOFTWARE\\Quelt\\Servers\\TCP\\Gone");

    auto read = Garbage(1);
    long count = 1;
    EXPECT_EQ(kHlpOk, GetPortRedirections(3, nullptr, nullptr, 0, &count, read.data()));
    EXPECT_STREQ("Modems", read[0].portName);
    const auto* device = reinterpret_cast<const std::uint8_t*>(&read[0].device);
    for (std::size_t i = 0; i < sizeof(DeviceRecord); ++i) ASSERT_EQ(kGarbage, device[i]);
}

TEST_F(StoreTest, ServerKeyWithoutItsValuesFailsTheEntry) {
    for (const wchar_t* missing : {L"Address", L"DeviceType", L"Name"}) {
        SCOPED_TRACE(missing);
        const RedirectionRecord record = IpEntry("Part", "T", {127, 0, 0, 2}, 1549, "P");
        ASSERT_EQ(kHlpOk, SetPortRedirections(3, nullptr, false, 1, &record));
        ASSERT_TRUE(ScratchRegistry::Open(std::string("SOFTWARE\\Quelt\\Servers\\TCP\\Part")).DeleteValue(missing));

        auto read = Garbage(1);
        long count = 1;
        EXPECT_EQ(kHlpRegistryFailure, GetPortRedirections(3, nullptr, nullptr, 0, &count, read.data()));
    }
}

// More entries stored than the caller's table was sized for: the asked ones
// are read, the count tells how many exist, and the result is not success.
TEST_F(StoreTest, MoreEntriesThanAskedForIsReported) {
    const RedirectionRecord records[] = {IpEntry("A", "T", {127, 0, 0, 2}, 1549, "p0"),
                                         IpEntry("B", "T", {127, 0, 0, 2}, 1549, "p1"),
                                         IpEntry("C", "T", {127, 0, 0, 2}, 1549, "p2")};
    ASSERT_EQ(kHlpOk, SetPortRedirections(7, "COM9", false, 3, records));
    auto read = Garbage(3);
    long count = 2;
    EXPECT_EQ(kHlpBufferFull, GetPortRedirections(7, nullptr, nullptr, 0, &count, read.data()));
    EXPECT_EQ(3, count);
    EXPECT_STREQ("p1", read[1].portName);
    EXPECT_EQ(kGarbage, reinterpret_cast<const std::uint8_t*>(&read[2])[0]);
}

class KnownServersTest : public ScratchMachineKey {};

TEST_F(KnownServersTest, ReadsOneServerByItsKeyName) {
    const DeviceRecord device = IpEntry("Alpha", "Ravelin/E 115", {127, 0, 0, 2}, 1549, "").device;
    ASSERT_EQ(kHlpOk, RegisterServer(&device, nullptr, 0));

    DeviceRecord read;
    ASSERT_EQ(kHlpOk, ReadKnownServer(kTransportIp, "Alpha", read));
    EXPECT_STREQ("Alpha", read.name);
    EXPECT_STREQ("Ravelin/E", read.typeText);
    EXPECT_STREQ("", read.typeCode);
    EXPECT_EQ(0, memcmp(device.address, read.address, 16));
    EXPECT_EQ(kHlpRegistryFailure, ReadKnownServer(kTransportIp, "Nobody", read));
    EXPECT_EQ(kHlpRegistryFailure, ReadKnownServer(kTransportIpx, "Alpha", read));
}

TEST_F(KnownServersTest, WalksEveryServerOfOneTransport) {
    std::vector<std::string> seen;
    auto collect = [&](const DeviceRecord& server) {
        seen.push_back(server.name);
        return 0;
    };
    EXPECT_EQ(kHlpOk, ForEachKnownServer(kTransportIp, collect));  // no servers at all
    EXPECT_TRUE(seen.empty());

    for (const char* name : {"Alpha", "Beta"}) {
        const DeviceRecord device = IpEntry(name, "T", {127, 0, 0, 2}, 1549, "").device;
        ASSERT_EQ(kHlpOk, RegisterServer(&device, nullptr, 0));
    }
    const DeviceRecord ipx = IpxEntry("Nova", "T", "").device;
    ASSERT_EQ(kHlpOk, RegisterServer(&ipx, nullptr, 0));

    EXPECT_EQ(kHlpOk, ForEachKnownServer(kTransportIp, collect));
    EXPECT_EQ((std::vector<std::string>{"Alpha", "Beta"}), seen);

    seen.clear();
    EXPECT_EQ(7, ForEachKnownServer(kTransportIp, [&](const DeviceRecord& server) {
                  seen.push_back(server.name);
                  return 7;
              }));
    EXPECT_EQ(1u, seen.size());

    // A server key without its type ends the walk.
    SetRaw("SOFTWARE\\Quelt\\Servers\\TCP\\Aardvark", "Address", REG_BINARY, ipx.address, 16);
    EXPECT_EQ(kHlpRegistryFailure, ForEachKnownServer(kTransportIp, collect));
}
