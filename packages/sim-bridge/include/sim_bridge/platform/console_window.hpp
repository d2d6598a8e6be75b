// Keeping a console window open after the run when the window would close with it: a program
// started from Explorer owns its console alone, and the window vanishes the moment the
// program ends, taking its last lines (file paths, the error) with it. The decision is a pure
// function of the facts; reading the facts and the prompt are per OS: console_window_{win32,linux}.cpp.
#pragma once

#include <cstdint>

namespace sim_bridge::platform {

struct ConsoleFacts {
    // Standard input, output and error each lead to this process's console (a process has
    // at most one), not to a file or pipe.
    bool input_is_console = false;
    bool output_is_console = false;
    bool error_is_console = false;
    // Processes attached to that console, this one included; 0 when there is none.
    std::uint32_t attached_processes = 0;
};

// True when the window closes as this process ends: nothing redirected and no other process
// (a command prompt, a shell) on the console. Started from a console, or with anything
// redirected, it is false.
[[nodiscard]] constexpr bool console_window_closes_with_process(const ConsoleFacts& facts) {
    return facts.input_is_console && facts.output_is_console && facts.error_is_console &&
           facts.attached_processes == 1;
}

// The facts of this process now. On Linux there is no console of this kind: all false, 0.
[[nodiscard]] ConsoleFacts read_console_facts();

// When console_window_closes_with_process(read_console_facts()), writes "Press Enter to close
// this window." to the console itself (never through standard output, whose bytes stay the
// program's) and waits for Enter; otherwise returns at once. Call it last: after the program's
// last line, once everything it holds is released and its process settings are undone.
void pause_before_console_window_closes();

}  // namespace sim_bridge::platform
