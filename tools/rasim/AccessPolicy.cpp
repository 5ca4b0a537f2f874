#include "AccessPolicy.h"

#include "common/PasswordScramble.h"
#include "common/WireTypes.h"

namespace rasim {

std::string UnscrambleWire(const Bytes& wire) {
    char16_t text[kScrambledChars + 1];
    const std::size_t n = UnscramblePassword(wire.data(), wire.size(), text, std::size(text));
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<char>(text[i] & 0xFF));
    return out;
}

const char* ReasonText(std::uint8_t reason) {
    switch (reason) {
    case wire::kReasonNone: return "";
    case wire::kReasonPortInUse: return "port in use";
    case wire::kReasonRefused: return "connection refused";
    case wire::kReasonTimedOut: return "timed out";
    case wire::kReasonDialOutDisabled: return "dial-out disabled";
    case wire::kReasonUnknownPort: return "unrecognised port name";
    default: return "failed";
    }
}

UserEntry* AccessPolicy::FindUser(const std::string& name) {
    for (auto& user : m_device.users)
        if (SameName(user.name, name)) return &user;
    return nullptr;
}

bool AccessPolicy::PasswordMatches(const UserEntry& user, const std::string& given) const {
    // The wire form holds at most this many characters, so longer passwords
    // are compared by what can arrive.
    return user.password.substr(0, kScrambledChars) == given;
}

LoginOutcome AccessPolicy::Login(const std::string& userName, const Bytes& password,
                                 const std::string& port) {
    const Behaviour& b = m_device.behaviour;
    LoginOutcome outcome;
    if (b.refuse >= 0) {
        outcome.kind = LoginOutcome::Kind::kDisconnect;
        outcome.reason = static_cast<std::uint8_t>(b.refuse);
        return outcome;
    }
    bool portKnown = false;
    for (const auto& name : m_device.ports) portKnown = portKnown || SameName(name, port);
    if (!portKnown) {
        outcome.kind = LoginOutcome::Kind::kDisconnect;
        outcome.reason = wire::kReasonUnknownPort;
        return outcome;
    }
    const UserEntry* user = FindUser(userName);
    bool allowed = true;
    if (password.empty())
        allowed = !b.requireCredentials;
    else if (user != nullptr)
        allowed = PasswordMatches(*user, UnscrambleWire(password));
    else
        allowed = !(b.requireCredentials && m_hadUsers);
    if (!allowed) {
        outcome.kind = LoginOutcome::Kind::kCredentialsRequired;
        return outcome;
    }
    if (b.busy < 0 || m_busyAnswered < b.busy) {
        ++m_busyAnswered;
        outcome.kind = LoginOutcome::Kind::kDisconnect;
        outcome.reason = wire::kReasonPortInUse;
        return outcome;
    }
    outcome.expired = b.expired && !m_changed.count(Lower(userName));
    return outcome;
}

bool AccessPolicy::ChangePassword(const std::string& userName, const Bytes& oldPassword,
                                  const Bytes& newPassword) {
    if (m_device.behaviour.refuseChange) return false;
    UserEntry* user = FindUser(userName);
    if (user != nullptr && !PasswordMatches(*user, UnscrambleWire(oldPassword))) return false;
    const std::string fresh = UnscrambleWire(newPassword);
    if (user != nullptr)
        user->password = fresh;
    else
        m_device.users.push_back({userName, fresh});
    m_changed.insert(Lower(userName));
    return true;
}

}  // namespace rasim
