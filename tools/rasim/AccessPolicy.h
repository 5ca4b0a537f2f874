#pragma once
// What one simulated device answers to logins and password changes. Shared by
// all connections to the device: it counts busy answers and remembers changed
// passwords.
#include <cstdint>
#include <set>
#include <string>

#include "Options.h"
#include "ServerCodec.h"

namespace rasim {

struct LoginOutcome {
    enum class Kind { kAccepted, kDisconnect, kCredentialsRequired };
    Kind kind = Kind::kAccepted;
    std::uint8_t reason = 0;  // of a disconnect
    bool expired = false;     // of an acceptance
};

// The password a scrambled wire form carries (low bytes), "" for none.
std::string UnscrambleWire(const Bytes& wire);

// Disconnect texts by reason code.
const char* ReasonText(std::uint8_t reason);

class AccessPolicy {
public:
    explicit AccessPolicy(const DeviceConfig& device) : m_device(device) {}

    LoginOutcome Login(const std::string& user, const Bytes& password, const std::string& port);
    bool ChangePassword(const std::string& user, const Bytes& oldPassword,
                        const Bytes& newPassword);

private:
    UserEntry* FindUser(const std::string& name);
    bool PasswordMatches(const UserEntry& user, const std::string& given) const;

    DeviceConfig m_device;  // a copy: users change their passwords here
    long m_busyAnswered = 0;
    bool m_hadUsers = !m_device.users.empty();
    std::set<std::string> m_changed;  // users whose password no longer counts as expired
};

}  // namespace rasim
