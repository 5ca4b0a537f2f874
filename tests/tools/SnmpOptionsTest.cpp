// The simulator's SNMP and discovery options: which device they reach and
// what the command line refuses.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "Options.h"

namespace {

std::vector<std::string> Split(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> args;
    for (std::string word; in >> word;) args.push_back(word);
    return args;
}

TEST(SnmpOptions, DefaultsBeforeTheFirstListenOwnOptionsAfterIt) {
    rasim::Config config;
    std::string error;
    ASSERT_TRUE(rasim::ParseCommandLine(
        Split("--community c1 --snmp-port 1161 --discovery --discovery-port 0 "
              "--listen 127.0.1.1:0 --port A --port B --port-mask b:0x2 --serial-table old "
              "--listen 127.0.1.2:0 --port C --snmp-version 1.2.3.4 --capability 255 --ip-dialout 1 --flag3 -7 "
              "--hardware 300 --snmp-error 5 --snmp-silent --discovery-duplicates 3 --community c2"),
        config, error))
        << error;
    ASSERT_EQ(2u, config.devices.size());
    EXPECT_EQ(0, config.discoveryPort);
    const rasim::SnmpBehaviour& first = config.devices[0].snmp;
    EXPECT_EQ("c1", first.community);
    EXPECT_EQ(1161, first.port);
    EXPECT_TRUE(first.portGiven);
    EXPECT_TRUE(first.discovery);
    EXPECT_EQ(rasim::SerialTable::kOlder, first.serialTable);
    EXPECT_EQ(2u, rasim::PortMaskOf(config.devices[0], "B"));
    EXPECT_EQ(3u, rasim::PortMaskOf(config.devices[0], "A"));
    EXPECT_FALSE(first.forceError);
    EXPECT_EQ(1, first.discoveryReplies);

    const rasim::SnmpBehaviour& second = config.devices[1].snmp;
    EXPECT_EQ("c2", second.community);
    EXPECT_EQ(1161, second.port);
    EXPECT_TRUE(second.discovery);
    EXPECT_EQ(rasim::SerialTable::kNewer, second.serialTable);
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 255}),
              (std::vector<int>{second.version[0], second.version[1], second.version[2], second.version[3],
                                second.capability}));
    EXPECT_EQ(1, second.ipDialOut);
    EXPECT_EQ(-7, second.flag3);
    EXPECT_EQ(300, second.hardware);
    EXPECT_TRUE(second.forceError);
    EXPECT_EQ(5, second.errorStatus);
    EXPECT_TRUE(second.silent);
    EXPECT_EQ(3, second.discoveryReplies);
}

TEST(SnmpOptions, UnsetOptionsKeepTheDeviceDefaults) {
    rasim::Config config;
    std::string error;
    ASSERT_TRUE(rasim::ParseCommandLine(Split("--listen 127.0.1.1:0 --port A"), config, error)) << error;
    const rasim::SnmpBehaviour& snmp = config.devices[0].snmp;
    EXPECT_EQ(161, snmp.port);
    EXPECT_FALSE(snmp.portGiven);
    EXPECT_EQ("public", snmp.community);
    EXPECT_EQ((std::vector<int>{4, 0, 0, 0, 2}),
              (std::vector<int>{snmp.version[0], snmp.version[1], snmp.version[2], snmp.version[3], snmp.capability}));
    EXPECT_EQ(3, snmp.ipDialOut);
    EXPECT_EQ(3, snmp.flag3);
    EXPECT_EQ(9, snmp.hardware);
    EXPECT_FALSE(snmp.discovery);
    EXPECT_EQ(1502, config.discoveryPort);
    EXPECT_FALSE(config.allowAnyAddress);
}

TEST(SnmpOptions, AnyAddressOnlyWithItsOptionWhereverItStands) {
    struct Row {
        const char* args;
        bool accepted;
    };
    const Row rows[] = {
        {"--listen 192.0.2.1:0 --port A", false},
        {"--listen 192.0.2.1:0 --port A --allow-any-address", true},
        {"--allow-any-address --listen 10.1.2.3:1549 --port A", true},
        {"--listen 127.9.9.9:0 --port A", true},
    };
    for (const Row& row : rows) {
        rasim::Config config;
        std::string error;
        EXPECT_EQ(row.accepted, rasim::ParseCommandLine(Split(row.args), config, error)) << row.args << ": " << error;
    }
}

TEST(SnmpOptions, RefusesBadValues) {
    const std::string name47(47, 'n');
    const char* const bad[] = {
        "--snmp-port 65536",
        "--snmp-port -1",
        "--snmp-version 1.2.3",
        "--snmp-version 1.2.3.256",
        "--snmp-version 1.2.3.4.5",
        "--capability 256",
        "--hardware 2147483648",
        "--ip-dialout x",
        "--serial-table newer",
        "--port-mask A",
        "--port-mask A:0x100000000",
        "--port-mask A:-1",
        "--port-mask Z:1",
        "--discovery-duplicates 0",
        "--discovery-port 70000",
        "--device",
    };
    for (const char* option : bad) {
        rasim::Config config;
        std::string error;
        EXPECT_FALSE(rasim::ParseCommandLine(Split(std::string("--listen 127.0.1.1:0 --port A ") + option), config,
                                             error))
            << option;
        EXPECT_NE("", error) << option;
    }
    rasim::Config config;
    std::string error;
    EXPECT_TRUE(rasim::ParseCommandLine(Split("--listen 127.0.1.1:0 --port A --device " + name47 +
                                              " --port-mask a:0xFFFFFFFF"),
                                        config, error))
        << error;
    EXPECT_EQ(0xFFFFFFFFu, rasim::PortMaskOf(config.devices[0], "A"));
    EXPECT_FALSE(rasim::ParseCommandLine(Split("--listen 127.0.1.1:0 --port A --device " + name47 + "x"), config,
                                         error))
        << "a name of 48 characters";
}

}  // namespace
