#include "Progress.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace svc {
namespace {

bool g_enabled = false;
std::mutex g_lock;

}  // namespace

void EnableProgress(bool enabled) { g_enabled = enabled; }

void Progress(const wchar_t* format, ...) {
    if (!g_enabled) return;
    wchar_t line[1024];
    va_list args;
    va_start(args, format);
    std::vswprintf(line, std::size(line), format, args);
    va_end(args);
    char narrow[2048];
    const int n = WideCharToMultiByte(CP_ACP, 0, line, -1, narrow, sizeof(narrow), nullptr, nullptr);
    if (n <= 0) return;
    // Lines of concurrent sessions must not interleave.
    std::lock_guard<std::mutex> hold(g_lock);
    std::fputs(narrow, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace svc
