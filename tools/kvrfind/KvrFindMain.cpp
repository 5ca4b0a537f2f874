// Calls KVRBRWS.DLL's searches and queries from the command line and prints
// one line per record, then the result code and how long the call took.
//
//   kvrfind find [--transport 2] [--pattern *] [--type *] [--timeout 3]
//                [--community C] [--methods LIST] [--callback]
//   kvrfind device ADDRESS|HOSTNAME [--timeout 3] [--community C]
//   kvrfind info ADDRESS [--timeout 3] [--community C]
//   kvrfind ports ADDRESS [--timeout 3] [--community C]
//
// --methods writes HKLM\SOFTWARE\Quelt\Servers "IPLookupMethods" before the
// search (e.g. Proprietary: only the broadcast). --callback takes the records
// through the callback instead of the buffer and prints when each arrived.
//
// Output (names, types, codes and ports in double quotes as a person reads
// them; a quote or backslash in them follows a backslash, and control and
// non-ASCII bytes are written \xNN):
//   DEVICE name="Harbor" type="Ordeon Rack 9" code="ORD9" address=127.0.1.5:1549 [at_ms=12.3]
//   DETAIL name="N" type="T" code="C" address=A hardware=9 version=4.0.0.0 capability=2
//   INFO version=4.1.0.0 capability=2 ipdialout=N flag3=N
//   PORT name="modem1"
//   RESULT 0 count=N elapsed_ms=3004.1
// Exit code 0 when the call returned 0, 1 when it returned an error, 2 for a
// bad command line or a library that does not load.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Clock.h"
#include "Handles.h"
#include "KvrBrws.h"
#include "ReadableText.h"
#include "Registry.h"
#include "RegistryNames.h"

namespace {

// The exports are looked up by name, so this tool does not import them.
using InitFn = LONG(WINAPI*)(WORD);
using FindFn = LONG(WINAPI*)(WORD, DWORD, const char*, const char*, void*, WORD, WORD*, HLPCALLBACK, WORD,
                             const char*);
using FindOneFn = LONG(WINAPI*)(const void*, const char*, DeviceDetailRecord*, WORD, const char*);
using ServerInfoFn = LONG(WINAPI*)(const void*, void*, WORD, const char*);
using SerialNamesFn = LONG(WINAPI*)(WORD, DWORD, const void*, void*, WORD, WORD*, HLPCALLBACK, WORD,
                                    const char*);

// The largest buffer a WORD size allows, rounded down to whole records as the
// applet's is.
constexpr WORD kFindBufferSize = 65348;
constexpr std::size_t kSerialNameSize = 256;

int Usage() {
    std::fprintf(stderr,
                 "usage: kvrfind find [--transport 2] [--pattern *] [--type *] [--timeout 3]\n"
                 "                    [--community C] [--methods LIST] [--callback]\n"
                 "       kvrfind device ADDRESS|HOSTNAME [--timeout 3] [--community C]\n"
                 "       kvrfind info ADDRESS [--timeout 3] [--community C]\n"
                 "       kvrfind ports ADDRESS [--timeout 3] [--community C]\n");
    return 2;
}

using kvr::NowMs;

std::string AddressText(const std::uint8_t (&address)[16]) {
    sockaddr_in in{};
    std::memcpy(&in, address, sizeof in);
    if (in.sin_family != AF_INET) {
        char text[16];
        std::snprintf(text, sizeof text, "family-%u", in.sin_family);
        return text;
    }
    char ip[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &in.sin_addr, ip, sizeof ip);
    return std::string(ip) + ":" + std::to_string(ntohs(in.sin_port));
}

std::string DeviceFields(const DeviceRecord& device) {
    return "name=" + kvr::Quoted(device.name, sizeof device.name) +
           " type=" + kvr::Quoted(device.typeText, sizeof device.typeText) +
           " code=" + kvr::Quoted(device.typeCode, sizeof device.typeCode) + " address=" + AddressText(device.address);
}

struct Options {
    std::string command;
    std::string target;
    WORD transport = kTransportIp;
    std::string pattern = "*";
    std::string type = "*";
    WORD timeout = 3;
    std::string community;
    std::string methods;
    bool callback = false;
};

bool ParseWord(const char* text, WORD& out) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 0);
    if (end == text || *end != '\0' || value > 0xFFFF) return false;
    out = static_cast<WORD>(value);
    return true;
}

bool Parse(int argc, char** argv, Options& options) {
    if (argc < 2) return false;
    options.command = argv[1];
    int i = 2;
    if (options.command != "find") {
        if (argc < 3) return false;
        options.target = argv[i++];
    }
    for (; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--callback") {
            options.callback = true;
            continue;
        }
        if (i + 1 >= argc) return false;
        const char* value = argv[++i];
        if (option == "--timeout") {
            if (!ParseWord(value, options.timeout)) return false;
        } else if (option == "--community") {
            options.community = value;
        } else if (options.command == "find" && option == "--transport") {
            if (!ParseWord(value, options.transport)) return false;
        } else if (options.command == "find" && option == "--pattern") {
            options.pattern = value;
        } else if (options.command == "find" && option == "--type") {
            options.type = value;
        } else if (options.command == "find" && option == "--methods") {
            options.methods = value;
        } else {
            return false;
        }
    }
    return options.command == "find" || options.command == "device" || options.command == "info" ||
           options.command == "ports";
}

const char* CommunityOf(const Options& options) {
    return options.community.empty() ? nullptr : options.community.c_str();
}

// The 20-byte target of the query exports: the transport, two unused bytes,
// then the device's TCP/IP address.
struct Target {
    std::uint8_t bytes[20] = {};
};

bool MakeTarget(const std::string& text, Target& target) {
    std::string host = text;
    u_short port = kDiscoveredServerTcpPort;
    if (const auto colon = text.rfind(':'); colon != std::string::npos) {
        host = text.substr(0, colon);
        WORD given = 0;
        if (!ParseWord(text.c_str() + colon + 1, given)) return false;
        port = given;
    }
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &in.sin_addr) != 1) return false;
    const std::uint16_t transport = kTransportIp;
    std::memcpy(target.bytes, &transport, sizeof transport);
    std::memcpy(target.bytes + 4, &in, 16);
    return true;
}

bool WriteLookupMethods(const std::string& methods) {
    const kvr::RegKey key = kvr::RegKey::Create(HKEY_LOCAL_MACHINE, reg::kServersKeyA, KEY_SET_VALUE);
    return key && key.WriteText(reg::kIpLookupMethodsA, methods);
}

double g_callStart = 0;
WORD g_callbackRecords = 0;

LONG WINAPI PrintNotice(DWORD, const HLPNOTICE* notice) {
    const double at = NowMs() - g_callStart;
    if (notice == nullptr || notice->record == nullptr) return 0;
    if (notice->kind == 1) {
        std::printf("DEVICE %s at_ms=%.1f\n", DeviceFields(*static_cast<const DeviceRecord*>(notice->record)).c_str(),
                    at);
    } else {
        std::printf("PORT name=%s at_ms=%.1f\n",
                    kvr::Quoted(static_cast<const char*>(notice->record), kSerialNameSize).c_str(), at);
    }
    std::fflush(stdout);
    ++g_callbackRecords;
    return 0;
}

class Library {
public:
    bool Load() {
        m_module.Reset(LoadLibraryA("KVRBRWS.DLL"));
        if (!m_module) std::fprintf(stderr, "kvrfind: KVRBRWS.DLL does not load (error %lu)\n", GetLastError());
        return static_cast<bool>(m_module);
    }
    template <typename Fn>
    Fn Export(const char* name) const {
        auto fn = reinterpret_cast<Fn>(GetProcAddress(m_module.Get(), name));
        if (fn == nullptr) std::fprintf(stderr, "kvrfind: KVRBRWS.DLL has no %s\n", name);
        return fn;
    }

private:
    kvr::UniqueModule m_module;
};

void PrintResult(LONG result, unsigned count, double elapsed) {
    std::printf("RESULT %ld count=%u elapsed_ms=%.1f\n", result, count, elapsed);
    std::fflush(stdout);
}

int Find(const Library& library, const Options& options) {
    if (!options.methods.empty() && !WriteLookupMethods(options.methods)) {
        std::fprintf(stderr, "kvrfind: cannot write IPLookupMethods\n");
        return 2;
    }
    const auto find = library.Export<FindFn>("HLPFindDevices");
    if (find == nullptr) return 2;
    std::vector<std::uint8_t> buffer(kFindBufferSize);
    WORD count = 0;
    g_callStart = NowMs();
    const LONG result = find(options.transport, 1, options.pattern.c_str(), options.type.c_str(),
                             options.callback ? nullptr : buffer.data(), options.callback ? 0 : kFindBufferSize,
                             &count, options.callback ? PrintNotice : nullptr, options.timeout, CommunityOf(options));
    const double elapsed = NowMs() - g_callStart;
    if (!options.callback) {
        for (WORD i = 0; i < count && static_cast<std::size_t>(i + 1) * sizeof(DeviceRecord) <= buffer.size(); ++i) {
            DeviceRecord device;
            std::memcpy(&device, buffer.data() + i * sizeof(DeviceRecord), sizeof device);
            std::printf("DEVICE %s\n", DeviceFields(device).c_str());
        }
    }
    PrintResult(result, options.callback ? g_callbackRecords : count, elapsed);
    return result == 0 ? 0 : 1;
}

int FindOne(const Library& library, const Options& options) {
    const auto findOne = library.Export<FindOneFn>("HLPFindADevice");
    if (findOne == nullptr) return 2;
    Target target;
    // Anything that is not an address is asked for by host name.
    const bool byAddress = MakeTarget(options.target, target);
    DeviceDetailRecord detail{};
    const double start = NowMs();
    const LONG result = findOne(byAddress ? target.bytes : nullptr, byAddress ? nullptr : options.target.c_str(),
                                &detail, options.timeout, CommunityOf(options));
    const double elapsed = NowMs() - start;
    if (result == 0) {
        std::printf("DETAIL %s hardware=%lu version=%u.%u.%u.%u capability=%u\n", DeviceFields(detail.device).c_str(),
                    static_cast<unsigned long>(detail.hardwareType), detail.version[0], detail.version[1],
                    detail.version[2], detail.version[3], detail.capability);
    }
    PrintResult(result, result == 0 ? 1 : 0, elapsed);
    return result == 0 ? 0 : 1;
}

int Info(const Library& library, const Options& options) {
    const auto info = library.Export<ServerInfoFn>("HLPGetServerInfo");
    if (info == nullptr) return 2;
    Target target;
    if (!MakeTarget(options.target, target)) return Usage();
    // Version bytes and capability, then the IP dial-out flag and the third
    // flag as 32-bit values.
    std::uint8_t summary[16] = {};
    const double start = NowMs();
    const LONG result = info(target.bytes, summary, options.timeout, CommunityOf(options));
    const double elapsed = NowMs() - start;
    if (result == 0) {
        std::uint32_t dialOut = 0;
        std::uint32_t flag3 = 0;
        std::memcpy(&dialOut, summary + 8, sizeof dialOut);
        std::memcpy(&flag3, summary + 12, sizeof flag3);
        std::printf("INFO version=%u.%u.%u.%u capability=%u ipdialout=%lu flag3=%lu\n", summary[0], summary[1],
                    summary[2], summary[3], summary[4], static_cast<unsigned long>(dialOut),
                    static_cast<unsigned long>(flag3));
    }
    PrintResult(result, result == 0 ? 1 : 0, elapsed);
    return result == 0 ? 0 : 1;
}

int Ports(const Library& library, const Options& options) {
    const auto names = library.Export<SerialNamesFn>("HLPGetSerialNames");
    if (names == nullptr) return 2;
    Target target;
    if (!MakeTarget(options.target, target)) return Usage();
    std::vector<char> buffer(64 * kSerialNameSize);
    WORD count = 0;
    const double start = NowMs();
    const LONG result = names(kTransportIp, 1, target.bytes, buffer.data(), static_cast<WORD>(buffer.size()), &count,
                              nullptr, options.timeout, CommunityOf(options));
    const double elapsed = NowMs() - start;
    for (WORD i = 0; i < count && static_cast<std::size_t>(i + 1) * kSerialNameSize <= buffer.size(); ++i) {
        std::printf("PORT name=%s\n", kvr::Quoted(&buffer[i * kSerialNameSize], kSerialNameSize).c_str());
    }
    PrintResult(result, count, elapsed);
    return result == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!Parse(argc, argv, options)) return Usage();
    Library library;
    if (!library.Load()) return 2;
    const auto init = library.Export<InitFn>("HLPInitStack");
    const auto close = library.Export<InitFn>("HLPCloseStack");
    if (init == nullptr || close == nullptr) return 2;
    const WORD transport = options.command == "find" ? options.transport : kTransportIp;
    if (const LONG started = init(transport); started != 0) {
        PrintResult(started, 0, 0);
        return 1;
    }
    int rc = 2;
    if (options.command == "find") rc = Find(library, options);
    else if (options.command == "device") rc = FindOne(library, options);
    else if (options.command == "info") rc = Info(library, options);
    else rc = Ports(library, options);
    close(transport);
    return rc;
}
