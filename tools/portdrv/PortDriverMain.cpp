// Port driver stand-in: opens a port through the service's pipe the way the
// kernel driver does, then sends what stdin asks for and prints every message
// the service sends back.
//
//   portdrv [-pipe NAME] PORTKEY
//
// Commands on stdin, one a line:
//   send TEXT        data (escapes \r \n \\ \xHH)
//   at TEXT          data TEXT followed by a carriage return
//   baud N | lcr N | mcr N | handflow H F   port settings (N may be 0x..)
//   raw TYPE HEX     any message
//   wait MS          pause
//   expect TEXT      wait up to 10 s for received data containing TEXT
//   quit             close the port
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "PortDriverClient.h"

namespace {

std::mutex g_outputLock;
std::string g_received;  // all data received, for "expect"
HANDLE g_receivedEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
volatile bool g_closed = false;

void Print(const std::string& line) {
    std::lock_guard<std::mutex> hold(g_outputLock);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void Reader(portdrv::PortDriverClient* client) {
    portdrv::Message message;
    for (;;) {
        const auto result = client->Receive(message, INFINITE);
        if (result == portdrv::ReadResult::Closed) break;
        if (result != portdrv::ReadResult::Message) continue;
        Print(portdrv::Describe(message));
        if (message.type == portpipe::PipeData) {
            std::lock_guard<std::mutex> hold(g_outputLock);
            g_received.append(message.payload.begin(), message.payload.end());
            SetEvent(g_receivedEvent);
        }
    }
    g_closed = true;
    SetEvent(g_receivedEvent);
    Print("CLOSED");
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        if (c == 'r')
            out += '\r';
        else if (c == 'n')
            out += '\n';
        else if (c == 'x' && i + 2 < text.size() + 0) {
            out += static_cast<char>(std::strtoul(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else
            out += c;
    }
    return out;
}

bool Expect(const std::string& text) {
    const DWORD start = GetTickCount();
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(g_outputLock);
            const auto at = g_received.find(text);
            if (at != std::string::npos) {
                g_received.erase(0, at + text.size());
                return true;
            }
        }
        const DWORD elapsed = GetTickCount() - start;
        if (g_closed || elapsed >= 10000) return false;
        WaitForSingleObject(g_receivedEvent, 10000 - elapsed);
    }
}

bool Execute(portdrv::PortDriverClient& client, const std::string& line) {
    const auto space = line.find(' ');
    const std::string command = line.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
    auto number = [](const std::string& text) { return static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 0)); };
    if (command == "send") {
        const std::string data = Unescape(rest);
        return client.SendData(data.data(), data.size());
    }
    if (command == "at") {
        const std::string data = rest + "\r";
        return client.SendData(data.data(), data.size());
    }
    if (command == "baud") return client.SendBaudRate(number(rest));
    if (command == "lcr") return client.SendLineControl(static_cast<std::uint8_t>(number(rest)));
    if (command == "mcr") return client.SendModemControl(static_cast<std::uint8_t>(number(rest)));
    if (command == "handflow") {
        char* end = nullptr;
        const auto h = std::strtoul(rest.c_str(), &end, 0);
        const auto f = std::strtoul(end, nullptr, 0);
        return client.SendHandFlow(h, f, 0, 0);
    }
    if (command == "raw") {
        char* end = nullptr;
        const auto type = std::strtoul(rest.c_str(), &end, 0);
        std::string bytes;
        for (const char* p = end; *p != '\0';) {
            while (*p == ' ') ++p;
            if (p[0] == '\0' || p[1] == '\0') break;
            bytes += static_cast<char>(std::strtoul(std::string(p, 2).c_str(), nullptr, 16));
            p += 2;
        }
        return client.Send(static_cast<std::uint32_t>(type), bytes.data(), bytes.size());
    }
    if (command == "wait") {
        Sleep(number(rest));
        return true;
    }
    if (command == "expect") {
        const bool found = Expect(Unescape(rest));
        Print(found ? "EXPECT OK" : "EXPECT FAILED " + rest);
        return found;
    }
    Print("UNKNOWN COMMAND " + command);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::wstring pipeName = L"\\\\.\\pipe\\dialout";
    const char* portKey = nullptr;
    for (int i = 1; i < argc; ++i) {
        if ((argv[i][0] == '-' || argv[i][0] == '/') && _stricmp(argv[i] + 1, "pipe") == 0 && i + 1 < argc) {
            const std::string name = argv[++i];
            pipeName.assign(name.begin(), name.end());
        } else {
            portKey = argv[i];
        }
    }
    if (portKey == nullptr) {
        std::fprintf(stderr, "usage: portdrv [-pipe NAME] PORTKEY\n");
        return 2;
    }
    portdrv::PortDriverClient client;
    if (!client.Connect(pipeName, 10000)) {
        std::fprintf(stderr, "portdrv: cannot connect to the service's pipe (%lu)\n", GetLastError());
        return 1;
    }
    const std::string key = portKey;
    Print("OPEN " + key);
    if (!client.SendOpen(std::wstring(key.begin(), key.end()))) {
        Print("CLOSED");
        return 1;
    }
    std::thread reader(Reader, &client);
    char line[4096];
    int status = 0;
    while (std::fgets(line, sizeof(line), stdin) != nullptr) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        if (text.empty() || text[0] == '#') continue;
        if (text == "quit") break;
        if (!Execute(client, text)) {
            status = 1;
            if (g_closed) break;
        }
    }
    Print("CLOSING");
    client.Close();
    reader.join();
    return status;
}
