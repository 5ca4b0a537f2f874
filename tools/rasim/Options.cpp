#include "Options.h"

#include <cctype>
#include <cerrno>
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
    "Global options:\n"
    "  --guard-ms MS           silence around \"+++\" for the escape (default 1000)\n"
    "  --no-stdin              do not end at end of file on standard input\n"
    "Order of the login checks: --refuse, unknown port (reason 6), credentials, --busy.\n"
    "Modem commands behind an accepted port (lines end in CR): AT, ATZ, AT&F, ATE0/1, ATH,\n"
    "ATO, ATI, ATL/M/Q/V/X, AT&C/&D/&K/&W, ATSn=v, ATSn?, ATD<number> (CONNECT 28800, then\n"
    "every byte is echoed until a guarded +++), and the test hooks AT*B<n> (one data message of\n"
    "n bytes, byte i = i mod 256), AT*K (a keep-alive), AT*D<r> (disconnect with reason r),\n"
    "AT*X (close the connection at once).\n"
    "Output: \"READY <address>:<port>\" per device once listening, then one line per event.\n";

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

}  // namespace

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
            if ((device.address >> 24) != 127) {
                error = "--listen: only loopback addresses (127.x.x.x) are served";
                return false;
            }
            config.devices.push_back(device);
        } else if (arg == "--device") {
            if (!value(v)) return false;
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
        if (device.ports.empty()) {
            error = "device " + device.name + " has no --port";
            return false;
        }
    }
    return true;
}

}  // namespace rasim
