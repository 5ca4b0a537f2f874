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

enum class SerialTable { kNewer, kOlder, kNone };

struct PortMask {
    std::string port;
    std::uint32_t mask = 3;         // bit 0: offered over TCP/IP, bit 1: over IPX
};

// What the device's SNMP agent holds and how it answers.
struct SnmpBehaviour {
    std::uint16_t port = 161;       // UDP, on the device's address; 0 = any free port
    bool portGiven = false;         // --snmp-port given: the port must be the device's alone
    std::string community = "public";
    std::uint8_t version[4] = {4, 0, 0, 0};  // version[0] is the major version
    std::uint8_t capability = 2;
    std::int32_t ipDialOut = 3;     // 3: the device offers IP dial-out
    std::int32_t flag3 = 3;
    std::int32_t hardware = 9;
    SerialTable serialTable = SerialTable::kNewer;
    std::vector<PortMask> portMasks; // ports not listed have mask 3
    bool silent = false;            // the agent's port never answers
    bool forceError = false;        // answer every request with errorStatus
    std::int32_t errorStatus = 0;
    bool discovery = false;         // answers on the process's discovery port
    long discoveryReplies = 1;      // copies of each discovery answer
};

struct DeviceConfig {
    std::uint32_t address = 0;      // IPv4, host order
    std::uint16_t tcpPort = 0;      // 0 = any free port (READY tells which)
    std::string name = "RASIM";
    std::vector<std::string> ports;
    std::vector<UserEntry> users;
    Behaviour behaviour;
    SnmpBehaviour snmp;
};

struct Config {
    std::vector<DeviceConfig> devices;
    std::uint32_t guardMs = 1000;   // escape guard time
    bool watchStdin = true;         // end at end of file on standard input
    std::uint16_t discoveryPort = 1502;  // UDP on 0.0.0.0; 0 = any free port
    bool allowAnyAddress = false;   // only inside a network namespace a test made
    bool help = false;
};

extern const char kUsage[];

// Fills config from the arguments (without the program name); on a bad
// command line returns false with a message for the user.
bool ParseCommandLine(const std::vector<std::string>& args, Config& config, std::string& error);

// The mask --port-mask gave the port, else 3.
std::uint32_t PortMaskOf(const DeviceConfig& device, const std::string& port);

bool SameName(const std::string& a, const std::string& b);  // ASCII, any case
std::string Lower(std::string text);

}  // namespace rasim
