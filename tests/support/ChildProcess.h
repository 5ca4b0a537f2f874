#pragma once
// A program of the build started by a test, with its standard output
// collected so the test can wait for the lines it prints.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

// The folder of the running test program, where the build puts every program.
inline std::wstring BinDirectory() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir = path;
    return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

class ChildProcess {
public:
    // program is a file name in the build's bin folder, or a full path;
    // arguments follow it.
    ChildProcess(const std::wstring& program, const std::wstring& arguments, DWORD flags = 0) {
        SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
        HANDLE outWrite = nullptr, inRead = nullptr;
        const HANDLE outRead = CreateOutputPipe(inherit, outWrite);
        CreatePipe(&inRead, &m_input, &inherit, 0);
        SetHandleInformation(m_input, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = outWrite;
        startup.hStdError = outWrite;
        startup.hStdInput = inRead;
        // A program named with its folder runs from there, any other from the build's.
        const bool hasFolder = program.find_first_of(L"\\/:") != std::wstring::npos;
        std::wstring command = L"\"" + (hasFolder ? L"" : BinDirectory()) + program + L"\" " + arguments;
        PROCESS_INFORMATION info{};
        m_started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                                   &startup, &info) != FALSE;
        CloseHandle(outWrite);
        CloseHandle(inRead);
        if (m_started) {
            m_process = info.hProcess;
            m_id = info.dwProcessId;
            CloseHandle(info.hThread);
        }
        m_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_reader = std::thread([this, outRead] { Collect(outRead); });
    }
    ~ChildProcess() {
        CloseInput();
        if (m_process != nullptr) {
            if (WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT) TerminateProcess(m_process, 1);
            WaitForSingleObject(m_process, 10000);
            CloseHandle(m_process);
        }
        // The output ends when the last holder of its write end closes it. A
        // program that ended without that happening must not hang the test.
        {
            std::unique_lock<std::mutex> hold(m_lock);
            m_changed.wait_for(hold, std::chrono::seconds(5), [&] { return m_ended; });
        }
        SetEvent(m_stop);
        m_reader.join();
        CloseHandle(m_stop);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_started; }
    DWORD Id() const { return m_id; }

    // Waits until the output holds text.
    bool WaitFor(const std::string& text, int timeoutMs = 20000) {
        std::unique_lock<std::mutex> hold(m_lock);
        return m_changed.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                                  [&] { return m_output.find(text) != std::string::npos || m_ended; }) &&
               m_output.find(text) != std::string::npos;
    }
    std::string Output() {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_output;
    }
    void Write(const std::string& text) {
        DWORD written = 0;
        WriteFile(m_input, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
    void CloseInput() {
        if (m_input != nullptr) CloseHandle(m_input);
        m_input = nullptr;
    }
    // The exit code, or STILL_ACTIVE if it has not ended within the time.
    DWORD WaitExit(DWORD timeoutMs = 20000) {
        if (m_process == nullptr) return STILL_ACTIVE;
        WaitForSingleObject(m_process, timeoutMs);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(m_process, &code);
        if (code != STILL_ACTIVE) {
            // Let the reader take the last output.
            std::unique_lock<std::mutex> hold(m_lock);
            m_changed.wait_for(hold, std::chrono::seconds(5), [&] { return m_ended; });
        }
        return code;
    }

private:
    // The read end is overlapped, so the reader can be stopped while it waits.
    static HANDLE CreateOutputPipe(SECURITY_ATTRIBUTES& inherit, HANDLE& writeEnd) {
        static std::atomic<unsigned> serial{0};
        wchar_t name[96];
        std::swprintf(name, 96, L"\\\\.\\pipe\\kvrchild-%lu-%u", GetCurrentProcessId(), serial++);
        const HANDLE readEnd = CreateNamedPipeW(name, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED |
                                                          FILE_FLAG_FIRST_PIPE_INSTANCE,
                                                PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
        writeEnd = CreateFileW(name, GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        return readEnd;
    }

    void Collect(HANDLE out) {
        char buffer[4096];
        OVERLAPPED overlapped{};
        overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        for (;;) {
            DWORD n = 0;
            ResetEvent(overlapped.hEvent);
            if (!ReadFile(out, buffer, sizeof(buffer), nullptr, &overlapped) &&
                GetLastError() != ERROR_IO_PENDING)
                break;
            const HANDLE events[] = {overlapped.hEvent, m_stop};
            if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
                CancelIo(out);
                GetOverlappedResult(out, &overlapped, &n, TRUE);
                break;
            }
            if (!GetOverlappedResult(out, &overlapped, &n, FALSE) || n == 0) break;
            std::lock_guard<std::mutex> hold(m_lock);
            // Text-mode output ends its lines with CR LF; tests compare with LF.
            for (DWORD i = 0; i < n; ++i)
                if (buffer[i] != '\r') m_output += buffer[i];
            m_changed.notify_all();
        }
        CloseHandle(overlapped.hEvent);
        CloseHandle(out);
        std::lock_guard<std::mutex> hold(m_lock);
        m_ended = true;
        m_changed.notify_all();
    }

    bool m_started = false;
    HANDLE m_process = nullptr;
    DWORD m_id = 0;
    HANDLE m_input = nullptr;
    HANDLE m_stop = nullptr;
    std::thread m_reader;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::string m_output;
    bool m_ended = false;
};
