// Windows: the console's facts from GetConsoleMode (succeeds only on console handles) and
// GetConsoleProcessList; the prompt is written with WriteConsoleW and Enter read with
// ReadConsoleW, so standard output's bytes are never touched.
#include <windows.h>

#include <iterator>

#include "sim_bridge/platform/console_window.hpp"

namespace sim_bridge::platform {
namespace {

bool is_console(DWORD standard_handle) {
    const HANDLE handle = ::GetStdHandle(standard_handle);
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
}

}  // namespace

ConsoleFacts read_console_facts() {
    ConsoleFacts facts;
    facts.input_is_console = is_console(STD_INPUT_HANDLE);
    facts.output_is_console = is_console(STD_OUTPUT_HANDLE);
    facts.error_is_console = is_console(STD_ERROR_HANDLE);
    // The count is returned even when the list does not fit.
    DWORD processes[4] = {};
    facts.attached_processes = ::GetConsoleProcessList(processes, static_cast<DWORD>(std::size(processes)));
    return facts;
}

void pause_before_console_window_closes() {
    if (!console_window_closes_with_process(read_console_facts())) return;
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    static constexpr wchar_t kPrompt[] = L"Press Enter to close this window.";
    DWORD written = 0;
    ::WriteConsoleW(output, kPrompt, static_cast<DWORD>(std::size(kPrompt) - 1), &written, nullptr);

    // Keys pressed during the run must not close the window at once, and a line read needs
    // line input whatever the program set.
    ::FlushConsoleInputBuffer(input);
    DWORD previous_mode = 0;
    const bool mode_known = ::GetConsoleMode(input, &previous_mode) != 0;
    ::SetConsoleMode(input, ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT);
    wchar_t line[256];
    DWORD read = 0;
    // Returns with Enter, or at once when the console goes away or Ctrl+C ends the read.
    ::ReadConsoleW(input, line, static_cast<DWORD>(std::size(line)), &read, nullptr);
    if (mode_known) ::SetConsoleMode(input, previous_mode);
}

}  // namespace sim_bridge::platform
