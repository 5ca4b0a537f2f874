#pragma once
// A user-interface library that records what the service asks of it and
// answers the dialogs as a test tells it to, calling back on a thread of its
// own as the real library does.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "UiApi.h"

struct UiCall {
    std::string name;
    DWORD value = 0;       // narration number, mode or lamp value
    std::wstring text;     // first narration text
};

class FakeUi {
public:
    // What the user does in a dialog: fill AuthInfo and return the result.
    using Answer = std::function<DWORD(AuthInfo&)>;

    static FakeUi& Instance() {
        static FakeUi ui;
        return ui;
    }
    static const svc::UiApi& Api() {
        static const svc::UiApi api{Create, Destroy, Auth, Change, Narrate, EndNarration, Modem, Send, Receive, Leds};
        return api;
    }

    void Reset() {
        JoinAnswers();
        std::lock_guard<std::mutex> hold(m_lock);
        m_calls.clear();
        m_authAnswer = nullptr;
        m_changeAnswer = nullptr;
        m_answerDelayMs = 0;
        m_createFails = false;
    }
    void OnAuth(Answer answer) { std::lock_guard<std::mutex> hold(m_lock); m_authAnswer = std::move(answer); }
    void OnChange(Answer answer) { std::lock_guard<std::mutex> hold(m_lock); m_changeAnswer = std::move(answer); }
    void SetAnswerDelay(DWORD ms) { std::lock_guard<std::mutex> hold(m_lock); m_answerDelayMs = ms; }
    // CreateUI returns null, as when no instance thread can be started.
    void SetCreateFails(bool fails) { std::lock_guard<std::mutex> hold(m_lock); m_createFails = fails; }

    std::vector<UiCall> Calls() {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_calls;
    }
    std::vector<DWORD> Narrations() {
        std::vector<DWORD> numbers;
        for (const auto& call : Calls())
            if (call.name == "PostNarration") numbers.push_back(call.value);
        return numbers;
    }
    int Count(const std::string& name) {
        int n = 0;
        for (const auto& call : Calls()) n += call.name == name;
        return n;
    }
    // Waits until count calls of that name have been made.
    bool WaitFor(const std::string& name, int count = 1, int timeoutMs = 20000) {
        std::unique_lock<std::mutex> hold(m_lock);
        return m_changed.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] {
            int n = 0;
            for (const auto& call : m_calls) n += call.name == name;
            return n >= count;
        });
    }
    void JoinAnswers() {
        std::vector<std::thread> threads;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            threads.swap(m_answers);
        }
        for (auto& t : threads) t.join();
    }

private:
    void Record(UiCall call) {
        std::lock_guard<std::mutex> hold(m_lock);
        m_calls.push_back(std::move(call));
        m_changed.notify_all();
    }
    void AnswerLater(const Answer& answer, AuthInfo* info, svc::UiCallback callback) {
        std::lock_guard<std::mutex> hold(m_lock);
        if (!answer) return;  // the dialog stays open
        const DWORD delay = m_answerDelayMs;
        m_answers.emplace_back([answer, info, callback, delay] {
            if (delay != 0) Sleep(delay);
            AuthInfo typed = *info;
            const DWORD result = answer(typed);
            if (result == kUiConfirmed) *info = typed;
            callback(result, info);
        });
    }

    static svc::UiHandle WINAPI Create() {
        Instance().Record({"CreateUI", 0, L""});
        std::lock_guard<std::mutex> hold(Instance().m_lock);
        return Instance().m_createFails ? nullptr : reinterpret_cast<svc::UiHandle>(0x1000);
    }
    static DWORD WINAPI Destroy(svc::UiHandle) { Instance().Record({"DestroyUI", 0, L""}); return 0; }
    static DWORD WINAPI Auth(svc::UiHandle, AuthInfo* info, svc::UiCallback callback) {
        Instance().Record({"CreateAuthWindow", 0, L""});
        Instance().AnswerLater(Instance().m_authAnswer, info, callback);
        return 0;
    }
    static DWORD WINAPI Change(svc::UiHandle, AuthInfo* info, svc::UiCallback callback, DWORD mode) {
        Instance().Record({"ChangePassword", mode, L""});
        Instance().AnswerLater(Instance().m_changeAnswer, info, callback);
        return 0;
    }
    static DWORD WINAPI Narrate(svc::UiHandle, DWORD number, LPCWSTR text1, LPCWSTR, LPCWSTR) {
        Instance().Record({"PostNarration", number, text1 ? text1 : L""});
        return 0;
    }
    static DWORD WINAPI EndNarration(svc::UiHandle) { Instance().Record({"DestroyNarrationWindow", 0, L""}); return 0; }
    static DWORD WINAPI Modem(svc::UiHandle, const AuthInfo* info) {
        Instance().Record({"CreateModem", 0, info->dosName});
        return 0;
    }
    static DWORD WINAPI Send(svc::UiHandle, DWORD on) { Instance().Record({"UpdateSendLED", on, L""}); return 0; }
    static DWORD WINAPI Receive(svc::UiHandle, DWORD on) { Instance().Record({"UpdateReceiveLED", on, L""}); return 0; }
    static DWORD WINAPI Leds(svc::UiHandle, DWORD flags) { Instance().Record({"UpdateModemLEDs", flags, L""}); return 0; }

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<UiCall> m_calls;
    Answer m_authAnswer;
    Answer m_changeAnswer;
    DWORD m_answerDelayMs = 0;
    bool m_createFails = false;
    std::vector<std::thread> m_answers;
};
