#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AccessPolicy.h"
#include "TestPeerCodec.h"

namespace {

using Kind = rasim::LoginOutcome::Kind;

rasim::DeviceConfig Device(void (*adjust)(rasim::DeviceConfig&)) {
    rasim::DeviceConfig device;
    device.ports = {"P1", "Modem 2"};
    device.users = {{"alice", "secret"}};
    if (adjust) adjust(device);
    return device;
}

std::string Outcome(const rasim::LoginOutcome& o) {
    switch (o.kind) {
    case Kind::kAccepted: return o.expired ? "accepted expired" : "accepted";
    case Kind::kCredentialsRequired: return "credentials required";
    case Kind::kDisconnect: return "disconnect " + std::to_string(o.reason);
    }
    return "?";
}

const peer::Bytes kSilent;
const peer::Bytes kSecret = peer::Scrambled(u"secret", 0x1234);
const peer::Bytes kWrong = peer::Scrambled(u"secreT", 0x0505);

TEST(AccessPolicy, DecidesEachLogin) {
    const struct {
        const char* name;
        void (*adjust)(rasim::DeviceConfig&);
        const char* user;
        const peer::Bytes* password;
        const char* port;
        const char* expected;
    } cases[] = {
        {"silent login", nullptr, "alice", &kSilent, "P1", "accepted"},
        {"right password", nullptr, "alice", &kSecret, "P1", "accepted"},
        {"port and user names in any case", nullptr, "ALICE", &kSecret, "modem 2", "accepted"},
        {"wrong password", nullptr, "alice", &kWrong, "P1", "credentials required"},
        {"unknown user with a password", nullptr, "bob", &kWrong, "P1", "accepted"},
        {"unknown port", nullptr, "alice", &kSecret, "P3", "disconnect 6"},
        {"silent login when credentials are required",
         [](rasim::DeviceConfig& d) { d.behaviour.requireCredentials = true; }, "alice", &kSilent,
         "P1", "credentials required"},
        {"right password when credentials are required",
         [](rasim::DeviceConfig& d) { d.behaviour.requireCredentials = true; }, "alice", &kSecret,
         "P1", "accepted"},
        {"unknown user when credentials are required",
         [](rasim::DeviceConfig& d) { d.behaviour.requireCredentials = true; }, "bob", &kSecret,
         "P1", "credentials required"},
        {"no users listed takes any password",
         [](rasim::DeviceConfig& d) { d.users.clear(); d.behaviour.requireCredentials = true; },
         "bob", &kWrong, "P1", "accepted"},
        {"refusal comes first",
         [](rasim::DeviceConfig& d) { d.behaviour.refuse = 5; }, "alice", &kWrong, "P9",
         "disconnect 5"},
        {"refusal without a reason",
         [](rasim::DeviceConfig& d) { d.behaviour.refuse = 0; }, "alice", &kSecret, "P1",
         "disconnect 0"},
        {"unknown port before busy",
         [](rasim::DeviceConfig& d) { d.behaviour.busy = -1; }, "alice", &kSecret, "P9",
         "disconnect 6"},
        {"credentials before busy",
         [](rasim::DeviceConfig& d) { d.behaviour.busy = -1; }, "alice", &kWrong, "P1",
         "credentials required"},
        {"expired", [](rasim::DeviceConfig& d) { d.behaviour.expired = true; }, "alice", &kSecret,
         "P1", "accepted expired"},
    };
    for (const auto& c : cases) {
        rasim::AccessPolicy policy(Device(c.adjust));
        EXPECT_EQ(c.expected, Outcome(policy.Login(c.user, *c.password, c.port))) << c.name;
    }
}

TEST(AccessPolicy, BusyAnswersTheFirstLoginsOnly) {
    for (const long busy : {0L, 1L, 3L, -1L}) {
        rasim::DeviceConfig d = Device(nullptr);
        d.behaviour.busy = busy;
        rasim::AccessPolicy counting(d);
        std::vector<std::string> got;
        for (int i = 0; i < 5; ++i) got.push_back(Outcome(counting.Login("alice", kSilent, "P1")));
        std::vector<std::string> expected;
        for (long i = 0; i < 5; ++i)
            expected.push_back(busy < 0 || i < busy ? "disconnect 1" : "accepted");
        EXPECT_EQ(expected, got) << "busy " << busy;
    }
}

TEST(AccessPolicy, RejectedLoginsDoNotUseUpBusyAnswers) {
    rasim::DeviceConfig d = Device(nullptr);
    d.behaviour.busy = 1;
    rasim::AccessPolicy policy(d);
    EXPECT_EQ("credentials required", Outcome(policy.Login("alice", kWrong, "P1")));
    EXPECT_EQ("disconnect 1", Outcome(policy.Login("alice", kSecret, "P1")));
    EXPECT_EQ("accepted", Outcome(policy.Login("alice", kSecret, "P1")));
}

TEST(AccessPolicy, ChangedPasswordReplacesTheOldOneAndEndsExpiry) {
    rasim::DeviceConfig d = Device(nullptr);
    d.behaviour.expired = true;
    rasim::AccessPolicy policy(d);
    const peer::Bytes fresh = peer::Scrambled(u"n3w-pass", 0x0707);
    EXPECT_FALSE(policy.ChangePassword("alice", kWrong, fresh)) << "old password must match";
    EXPECT_EQ("accepted expired", Outcome(policy.Login("alice", kSecret, "P1")));
    EXPECT_TRUE(policy.ChangePassword("alice", kSecret, fresh));
    EXPECT_EQ("credentials required", Outcome(policy.Login("alice", kSecret, "P1")));
    EXPECT_EQ("accepted", Outcome(policy.Login("alice", peer::Scrambled(u"n3w-pass", 0x0909), "P1")));
}

TEST(AccessPolicy, RefusedChangeKeepsThePassword) {
    rasim::DeviceConfig d = Device(nullptr);
    d.behaviour.refuseChange = true;
    rasim::AccessPolicy policy(d);
    EXPECT_FALSE(policy.ChangePassword("alice", kSecret, peer::Scrambled(u"other", 0x0303)));
    EXPECT_EQ("accepted", Outcome(policy.Login("alice", kSecret, "P1")));
}

TEST(AccessPolicy, PasswordsLongerThanTheWireFormMatchByTheirFirstCharacters) {
    rasim::DeviceConfig d = Device(nullptr);
    d.users = {{"carol", "abcdefghijklmnopqrstu"}};  // 21 characters, 17 arrive
    rasim::AccessPolicy policy(d);
    EXPECT_EQ("accepted",
              Outcome(policy.Login("carol", peer::Scrambled(u"abcdefghijklmnopqrstu", 0x0102), "P1")));
    EXPECT_EQ("credentials required",
              Outcome(policy.Login("carol", peer::Scrambled(u"abcdefghijklmnop", 0x0102), "P1")));
}

}  // namespace
