// Windows: console control events arrive on a thread of their own; the handler sets a flag and,
// for a closing console, gives the main loop a moment to clean up before the process ends.
#include <windows.h>
// After windows.h, which it needs.
#include <timeapi.h>

#include <atomic>

#include "process_setup.hpp"

namespace corvel::lmu_sim {
namespace {

std::atomic<bool> g_stop{false};

BOOL WINAPI on_console_event(DWORD event) {
    g_stop.store(true);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) ::Sleep(500);
    return TRUE;
}

}  // namespace

void install_stop_handlers() {
    ::SetConsoleCtrlHandler(on_console_event, TRUE);
}

bool stop_requested() {
    return g_stop.load();
}

void use_fine_timer() {
    ::timeBeginPeriod(1);
}

}  // namespace corvel::lmu_sim
