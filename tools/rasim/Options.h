#pragma once
// The simulator's command line: one or more devices, each a listening address
// with its device name, port names, users and behaviour for the tests.
#include <cstdint>
#include <string>
#include <vector>

namespace rasim {

struct UserEntry {
    std::string name;
    std::string password;
};

struct Behaviour {
    long busy = 0;                  // logins answered "port in use" first; -1 = always
    int refuse = -1;                // reason every login is refused with; -1 = none
    bool requireCredentials = false;
    bool expired = false;           // passwords count as expired until changed
    bool refuseChange = false;
    bool closeAfterLogin = false;
    std::uint16_t version = 0x0300; // of the login acceptance
};

struct DeviceConfig {
    std::uint32_t address = 0;      // IPv4, host order
    std::uint16_t tcpPort = 0;      // 0 = any free port (READY tells which)
    std::string name = "RASIM";
    std::vector<std::string> ports;
    std::vector<UserEntry> users;
    Behaviour behaviour;
};

struct Config {
    std::vector<DeviceConfig> devices;
    std::uint32_t guardMs = 1000;   // escape guard time
    bool watchStdin = true;         // end at end of file on standard input
    bool help = false;
};

extern const char kUsage[];

// Fills config from the arguments (without the program name); on a bad
// command line returns false with a message for the user.
bool ParseCommandLine(const std::vector<std::string>& args, Config& config, std::string& error);

bool SameName(const std::string& a, const std::string& b);  // ASCII, any case
std::string Lower(std::string text);

}  // namespace rasim
