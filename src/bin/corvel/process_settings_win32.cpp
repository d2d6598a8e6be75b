// Windows process settings for a run: console text through WriteConsoleW (names of tracks,
// cars and paths are UTF-8; the console's code page is never changed, so Ctrl+C cannot leave
// it changed) and a 1 ms system timer period, so that a 16 ms poll pause lasts about 16 ms
// instead of being rounded up to the default 15.6 ms tick (about 31 ms). Both are undone
// when the run ends. Standard output and error are switched to binary mode, so every line
// ends in "\n" alone, byte for byte as on Linux (consoles show it as a line break).
//
// Why timeBeginPeriod rather than high-resolution waitable timers: Asio's timers on Windows
// wait through its own internal waitable timer and completion-port timeouts, which we cannot
// switch to CREATE_WAITABLE_TIMER_HIGH_RESOLUTION without replacing its timer service; the
// process-wide timer period makes every one of those waits precise at once.
#include <windows.h>
// After windows.h, which they need.
#include <fcntl.h>
#include <io.h>
#include <timeapi.h>

#include <cstdio>

#include "corvel/process_settings.hpp"

#ifndef PROCESS_POWER_THROTTLING_CURRENT_VERSION
#define PROCESS_POWER_THROTTLING_CURRENT_VERSION 1
#endif
#ifndef PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION
#define PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION 0x4
#endif

namespace corvel {
namespace {

constexpr UINT kTimerPeriodMs = 1;
constexpr int kProcessPowerThrottling = 4;  // PROCESS_INFORMATION_CLASS value

struct PowerThrottlingState {
    ULONG version;
    ULONG control_mask;
    ULONG state_mask;
};

// Windows 11 ignores the timer period of a process without a visible window, and a console
// program's window belongs to the console host, not to us. Taking "ignore timer resolution"
// under our own control with the state bit clear keeps the period in force. Looked up at run
// time: older systems and Wine may lack the function, and the run works without it.
void keep_timer_period_while_hidden() {
    using SetProcessInformationFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) return;
    const FARPROC found = ::GetProcAddress(kernel, "SetProcessInformation");
    if (found == nullptr) return;
    const auto set_information = reinterpret_cast<SetProcessInformationFn>(reinterpret_cast<void*>(found));
    PowerThrottlingState state{PROCESS_POWER_THROTTLING_CURRENT_VERSION,
                               PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION, 0};
    (void)set_information(::GetCurrentProcess(), kProcessPowerThrottling, &state, sizeof state);
}

}  // namespace

ProcessSettings::ProcessSettings() {
    previous_stdout_mode_ = ::_setmode(::_fileno(stdout), _O_BINARY);
    previous_stderr_mode_ = ::_setmode(::_fileno(stderr), _O_BINARY);
    keep_timer_period_while_hidden();
    timer_period_raised_ = ::timeBeginPeriod(kTimerPeriodMs) == TIMERR_NOERROR;
}

ProcessSettings::~ProcessSettings() {
    if (timer_period_raised_) ::timeEndPeriod(kTimerPeriodMs);
    std::fflush(stdout);
    std::fflush(stderr);
    if (previous_stdout_mode_ != -1) ::_setmode(::_fileno(stdout), previous_stdout_mode_);
    if (previous_stderr_mode_ != -1) ::_setmode(::_fileno(stderr), previous_stderr_mode_);
}

}  // namespace corvel
