// Configures a local port through the browsing library's store, as the
// Chooser does, for demonstrations and scripted set-ups.
//
//   kvrconf set PORTINDEX DOSNAME ADDRESS:TCPPORT DEVICENAME REMOTEPORT
//   kvrconf off PORTINDEX
//   kvrconf show PORTINDEX
//   kvrconf option NAME VALUE      (a 32-bit global option, e.g. Silent 1)
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "KvrBrws.h"
#include "ReadableText.h"
#include "Registry.h"
#include "RegistryNames.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: kvrconf set PORTINDEX DOSNAME ADDRESS:TCPPORT DEVICENAME REMOTEPORT\n"
                 "       kvrconf off PORTINDEX\n"
                 "       kvrconf show PORTINDEX\n"
                 "       kvrconf option NAME VALUE\n");
    return 2;
}

int Set(WORD index, const char* dosName, const std::string& endpoint, const char* device, const char* remotePort) {
    const auto colon = endpoint.rfind(':');
    sockaddr_in server{};
    server.sin_family = AF_INET;
    if (colon == std::string::npos || inet_pton(AF_INET, endpoint.substr(0, colon).c_str(), &server.sin_addr) != 1) {
        std::fprintf(stderr, "kvrconf: %s is not an IPv4 address with a port\n", endpoint.c_str());
        return 2;
    }
    server.sin_port = htons(static_cast<u_short>(std::atoi(endpoint.c_str() + colon + 1)));
    RedirectionRecord record{};
    record.device.transport = kTransportIp;
    std::snprintf(record.device.typeText, sizeof(record.device.typeText), "Simulated device");
    std::snprintf(record.device.name, sizeof(record.device.name), "%s", device);
    std::memcpy(record.device.address, &server, sizeof(server));
    std::snprintf(record.portName, sizeof(record.portName), "%s", remotePort);
    const LONG result = HLPSetPortRedirections(index, dosName, TRUE, 1, &record);
    std::printf("HLPSetPortRedirections(%u, %s, redirected, 1 entry: %s port %s at %s) = %ld\n", index, dosName,
                device, remotePort, endpoint.c_str(), result);
    return result == 0 ? 0 : 1;
}

int Show(WORD index) {
    LONG count = 0;
    LONG result = HLPGetNumberPortRedirections(index, &count);
    if (result != 0) {
        std::printf("HLPGetNumberPortRedirections(%u) = %ld\n", index, result);
        return 1;
    }
    std::vector<RedirectionRecord> records(count > 0 ? count : 1);
    char dosName[25] = {};
    BOOL redirected = FALSE;
    result = HLPGetPortRedirections(index, dosName, &redirected, sizeof(dosName), &count, records.data());
    std::printf("Port %u: %s, %s, %ld entr%s (result %ld)\n", index, kvr::Quoted(dosName, sizeof dosName).c_str(),
                redirected ? "redirected" : "not redirected", count, count == 1 ? "y" : "ies", result);
    for (LONG i = 0; i < count && result == 0; ++i) {
        const auto& r = records[i];
        sockaddr_in server{};
        std::memcpy(&server, r.device.address, sizeof(server));
        char address[32] = {};
        inet_ntop(AF_INET, &server.sin_addr, address, sizeof(address));
        std::printf("  %ld: %s (%s) at %s:%u, port %s\n", i, kvr::Quoted(r.device.name, sizeof r.device.name).c_str(),
                    kvr::Quoted(r.device.typeText, sizeof r.device.typeText).c_str(), address, ntohs(server.sin_port),
                    kvr::Quoted(r.portName, sizeof r.portName).c_str());
    }
    return result == 0 ? 0 : 1;
}

int Option(const char* name, const char* value) {
    const kvr::RegKey key = kvr::RegKey::Create(HKEY_LOCAL_MACHINE, reg::kRezorivKeyA, KEY_SET_VALUE);
    return key && key.WriteDword(name, std::strtoul(value, nullptr, 0)) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string command = argv[1];
    const auto index = static_cast<WORD>(std::atoi(argv[2]));
    if (command == "set" && argc == 7) return Set(index, argv[3], argv[4], argv[5], argv[6]);
    if (command == "off") return HLPSetPortRedirections(index, nullptr, FALSE, 0, nullptr) == 0 ? 0 : 1;
    if (command == "show") return Show(index);
    if (command == "option" && argc == 4) return Option(argv[2], argv[3]);
    return Usage();
}
