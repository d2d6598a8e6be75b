// Linux: a terminal window belongs to the terminal, not to the program run in it, so it never
// closes with this process and there is nothing to keep open.
#include "sim_bridge/platform/console_window.hpp"

namespace sim_bridge::platform {

ConsoleFacts read_console_facts() {
    return {};
}

void pause_before_console_window_closes() {}

}  // namespace sim_bridge::platform
