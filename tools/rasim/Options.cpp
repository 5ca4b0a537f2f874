#include "Options.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace rasim {

const char kUsage[] =
    "usage: rasim --listen 127.0.0.X:PORT [--device NAME] --port NAME... [--user NAME:PASSWORD...]\n"
    "             [behaviour options] [--listen ... more devices]\n"
    "Simulates remote access devices for the dial-out service, on loopback only.\n"
    "Each --listen starts a device; the options after it belong to that device, options\n"
    "before the first --listen are defaults for every device. PORT 0 picks a free port.\n"
    "  --device NAME           device name, shown in the login acceptance (default RASIM)\n"
    "  --port NAME             a port name the device accepts (any case); repeatable\n"
    "  --user NAME:PASSWORD    a user; with no --user every user and password is accepted\n"
    "  --busy N                answer the first N logins \"port in use\" (reason 1); -1 = always\n"
    "  --refuse R              answer every login with disconnect reason R (0-255)\n"
    "  --require-credentials   a login without password gets \"credentials required\", and\n"
    "                          so does an unknown user when --user is given; a known user's\n"
    "                          wrong password gets it always\n"
    "  --expired               accept with the expired flag until the user changes the password\n"
    "  --refuse-change         answer every password change \"failed\"\n"
    "  --version V             protocol version of the acceptance (default 0x0300)\n"
    "  --close-after-login     close the connection right after accepting the login\n"
    "SNMP agent (UDP on the device's address) and discovery answers:\n"
    "  --snmp-port N           start the device's agent on this UDP port (161 is the real\n"
    "                          one; 0 = any free port); without it the device has no agent\n"
    "  --community TEXT        the only community answered (default public)\n"
    "  --snmp-version A.B.C.D  version bytes of 1.7.1.0 (default 4.0.0.0)\n"
    "  --capability N          capability byte of 1.7.1.0 (default 2)\n"
    "  --ip-dialout N          1.10.1.1.3.2, 3 = offers IP dial-out (default 3)\n"
    "  --flag3 N               1.10.1.1.3.3 (default 3)\n"
    "  --hardware N            hardware type, 1.7.3.0 (default 9)\n"
    "  --serial-table new|old|none  port names in 1.17.2.1.1/.2 (new, default), in\n"
    "                          1.12.2.1.1 (old), or no port table\n"
    "  --port-mask NAME:MASK   capability mask of a port in the new table (default 3:\n"
    "                          bit 0 TCP/IP, bit 1 IPX)\n"
    "  --snmp-silent           the agent's port never answers (discovery still does)\n"
    "  --snmp-error N          answer every request with error-status N\n"
    "  --discovery             answer discovery requests on the process's discovery port\n"
    "  --discovery-duplicates N  send each discovery answer N times (default 1)\n"
    "  (object identifiers above are under 1.3.6.1.4.1.5821)\n"
    "Global options:\n"
    "  --discovery-port N      UDP port on 0.0.0.0 for discovery requests (default 1502;\n"
    "                          0 = any free port); opened when a device has --discovery\n"
    "  --allow-any-address     accept --listen addresses outside 127.x.x.x; only for tests\n"
    "                          inside a network namespace of their own\n"
    "  --guard-ms MS           silence around \"+++\" for the escape (default 1000)\n"
    "  --no-stdin              do not end at end of file on standard input\n"
    "Order of the login checks: --refuse, unknown port (reason 6), credentials, --busy.\n"
    "Modem commands behind an accepted port (lines end in CR): AT, ATZ, AT&F, ATE0/1, ATH,\n"
    "ATO, ATI, ATL/M/Q/V/X, AT&C/&D/&K/&W, ATSn=v, ATSn?, ATD<number> (CONNECT 28800, then\n"
    "every byte is echoed until a guarded +++), and the test hooks AT*B<n> (one data message of\n"
    "n bytes, byte i = i mod 256), AT*K (a keep-alive), AT*D<r> (disconnect with reason r),\n"
    "AT*X (close the connection at once).\n"
    "Output: \"READY <address>:<port>\" and \"SNMP-READY <address>:<port>\" per device once\n"
    "listening, \"DISCOVERY-READY 0.0.0.0:<port>\" once, then one line per event.\n";

namespace {

bool ParseNumber(const std::string& text, long min, long max, long& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 0);
    if (errno != 0 || end == nullptr || *end != '\0' || v < min || v > max) return false;
    value = v;
    return true;
}

bool ParseListen(const std::string& text, DeviceConfig& device) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    unsigned parts[4];
    std::size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        const auto dot = i < 3 ? text.find('.', pos) : colon;
        if (dot == std::string::npos || dot > colon) return false;
        long v = 0;
        const std::string part = text.substr(pos, dot - pos);
        if (part.empty() || part.find_first_not_of("0123456789") != std::string::npos ||
            !ParseNumber(part, 0, 255, v))
            return false;
        parts[i] = static_cast<unsigned>(v);
        pos = dot + 1;
    }
    long port = 0;
    const std::string portText = text.substr(colon + 1);
    if (portText.find_first_not_of("0123456789") != std::string::npos ||
        !ParseNumber(portText, 0, 65535, port))
        return false;
    device.address = (parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3];
    device.tcpPort = static_cast<std::uint16_t>(port);
    return true;
}

bool ParseVersionBytes(const std::string& text, std::uint8_t (&bytes)[4]) {
    std::size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        const auto dot = i < 3 ? text.find('.', pos) : text.size();
        if (dot == std::string::npos) return false;
        const std::string part = text.substr(pos, dot - pos);
        long v = 0;
        if (part.empty() || part.find_first_not_of("0123456789") != std::string::npos ||
            !ParseNumber(part, 0, 255, v))
            return false;
        bytes[i] = static_cast<std::uint8_t>(v);
        pos = dot + 1;
    }
    return true;
}

bool ParseInt32(const std::string& text, std::int32_t& value) {
    long v = 0;
    if (!ParseNumber(text, INT32_MIN, INT32_MAX, v)) return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

// A mask is a 32-bit pattern; strtoul takes 0xFFFFFFFF where strtol (32-bit
// long on Windows) would not.
bool ParseMask(const std::string& text, std::uint32_t& mask) {
    if (text.empty() || text[0] == '-') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || end == nullptr || *end != '\0' || v > UINT32_MAX) return false;
    mask = static_cast<std::uint32_t>(v);
    return true;
}

}  // namespace

std::uint32_t PortMaskOf(const DeviceConfig& device, const std::string& port) {
    std::uint32_t mask = 3;
    for (const auto& entry : device.snmp.portMasks)
        if (SameName(entry.port, port)) mask = entry.mask;  // the last one given counts
    return mask;
}

std::string Lower(std::string text) {
    for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool ParseCommandLine(const std::vector<std::string>& args, Config& config, std::string& error) {
    DeviceConfig defaults;
    auto current = [&]() -> DeviceConfig& {
        return config.devices.empty() ? defaults : config.devices.back();
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        long n = 0;
        if (arg == "--help" || arg == "-h" || arg == "/?") {
            config.help = true;
        } else if (arg == "--listen") {
            if (!value(v)) return false;
            DeviceConfig device = defaults;
            if (!ParseListen(v, device)) {
                error = "--listen wants IPV4:PORT, not \"" + v + "\"";
                return false;
            }
            config.devices.push_back(device);
        } else if (arg == "--allow-any-address") {
            config.allowAnyAddress = true;
        } else if (arg == "--device") {
            if (!value(v)) return false;
            if (v.empty() || v.size() > 47) {
                error = "--device wants a name of 1 to 47 characters";
                return false;
            }
            current().name = v;
        } else if (arg == "--port") {
            if (!value(v)) return false;
            if (v.empty() || v.size() > 255) {
                error = "--port wants a name of 1 to 255 characters";
                return false;
            }
            current().ports.push_back(v);
        } else if (arg == "--user") {
            if (!value(v)) return false;
            const auto colon = v.find(':');
            if (colon == std::string::npos || colon == 0) {
                error = "--user wants NAME:PASSWORD, not \"" + v + "\"";
                return false;
            }
            current().users.push_back({v.substr(0, colon), v.substr(colon + 1)});
        } else if (arg == "--busy") {
            if (!value(v)) return false;
            if (!ParseNumber(v, -1, 1000000, n)) {
                error = "--busy wants a count or -1";
                return false;
            }
            current().behaviour.busy = n;
        } else if (arg == "--refuse") {
            if (!value(v)) return false;
            if (!ParseNumber(v, 0, 255, n)) {
                error = "--refuse wants a reason code 0-255";
                return false;
            }
            current().behaviour.refuse = static_cast<int>(n);
        } else if (arg == "--require-credentials") {
            current().behaviour.requireCredentials = true;
        } else if (arg == "--expired") {
            current().behaviour.expired = true;
        } else if (arg == "--refuse-change") {
            current().behaviour.refuseChange = true;
        } else if (arg == "--close-after-login") {
            current().behaviour.closeAfterLogin = true;
        } else if (arg == "--version") {
            if (!value(v)) return false;
            if (!ParseNumber(v, 0, 0xFFFF, n)) {
                error = "--version wants a 16-bit number such as 0x0200";
                return false;
            }
            current().behaviour.version = static_cast<std::uint16_t>(n);
        } else if (arg == "--snmp-port") {
            if (!value(v)) return false;
            if (!ParseNumber(v, 0, 65535, n)) {
                error = "--snmp-port wants a UDP port 0-65535";
                return false;
            }
            current().snmp.port = static_cast<std::uint16_t>(n);
            current().snmp.portGiven = true;
        } else if (arg == "--community") {
            if (!value(v)) return false;
            current().snmp.community = v;
        } else if (arg == "--snmp-version") {
            if (!value(v)) return false;
            if (!ParseVersionBytes(v, current().snmp.version)) {
                error = "--snmp-version wants four bytes A.B.C.D, not \"" + v + "\"";
                return false;
            }
        } else if (arg == "--capability") {
            if (!value(v)) return false;
            if (!ParseNumber(v, 0, 255, n)) {
                error = "--capability wants 0-255";
                return false;
            }
            current().snmp.capability = static_cast<std::uint8_t>(n);
        } else if (arg == "--ip-dialout" || arg == "--flag3" || arg == "--hardware" ||
                   arg == "--snmp-error") {
            if (!value(v)) return false;
            std::int32_t number = 0;
            if (!ParseInt32(v, number)) {
                error = arg + " wants a 32-bit integer";
                return false;
            }
            SnmpBehaviour& snmp = current().snmp;
            if (arg == "--ip-dialout") snmp.ipDialOut = number;
            if (arg == "--flag3") snmp.flag3 = number;
            if (arg == "--hardware") snmp.hardware = number;
            if (arg == "--snmp-error") {
                snmp.forceError = true;
                snmp.errorStatus = number;
            }
        } else if (arg == "--serial-table") {
            if (!value(v)) return false;
            if (v == "new") {
                current().snmp.serialTable = SerialTable::kNewer;
            } else if (v == "old") {
                current().snmp.serialTable = SerialTable::kOlder;
            } else if (v == "none") {
                current().snmp.serialTable = SerialTable::kNone;
            } else {
                error = "--serial-table wants new, old or none";
                return false;
            }
        } else if (arg == "--port-mask") {
            if (!value(v)) return false;
            const auto colon = v.rfind(':');
            PortMask entry;
            if (colon == std::string::npos || colon == 0 || !ParseMask(v.substr(colon + 1), entry.mask)) {
                error = "--port-mask wants NAME:MASK with a 32-bit mask, not \"" + v + "\"";
                return false;
            }
            entry.port = v.substr(0, colon);
            current().snmp.portMasks.push_back(entry);
        } else if (arg == "--snmp-silent") {
            current().snmp.silent = true;
        } else if (arg == "--discovery") {
            current().snmp.discovery = true;
        } else if (arg == "--discovery-duplicates") {
            if (!value(v)) return false;
            if (!ParseNumber(v, 1, 100, n)) {
                error = "--discovery-duplicates wants 1 to 100";
                return false;
            }
            current().snmp.discoveryReplies = n;
        } else if (arg == "--discovery-port") {
            if (!value(v)) return false;
            if (!ParseNumber(v, 0, 65535, n)) {
                error = "--discovery-port wants a UDP port 0-65535";
                return false;
            }
            config.discoveryPort = static_cast<std::uint16_t>(n);
        } else if (arg == "--guard-ms") {
            if (!value(v)) return false;
            if (!ParseNumber(v, 0, 60000, n)) {
                error = "--guard-ms wants 0 to 60000";
                return false;
            }
            config.guardMs = static_cast<std::uint32_t>(n);
        } else if (arg == "--no-stdin") {
            config.watchStdin = false;
        } else {
            error = "unknown option \"" + arg + "\"";
            return false;
        }
    }
    if (config.help) return true;
    if (config.devices.empty()) {
        error = "no --listen given";
        return false;
    }
    for (const auto& device : config.devices) {
        // Checked at the end: --allow-any-address may come after the --listen.
        if (!config.allowAnyAddress && (device.address >> 24) != 127) {
            error = "--listen: only loopback addresses (127.x.x.x) are served";
            return false;
        }
        if (device.ports.empty()) {
            error = "device " + device.name + " has no --port";
            return false;
        }
        for (const auto& entry : device.snmp.portMasks) {
            bool known = false;
            for (const auto& port : device.ports) known = known || SameName(port, entry.port);
            if (!known) {
                error = "--port-mask: device " + device.name + " has no port " + entry.port;
                return false;
            }
        }
    }
    return true;
}

}  // namespace rasim
