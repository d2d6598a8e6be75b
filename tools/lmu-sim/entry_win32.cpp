// Windows entry: the command line arrives as UTF-16 and is handed on as UTF-8. The process is
// listed under the executable's own name, so a copy named LMU.exe is what detection counts.
// Console text goes through WriteConsoleW, and a window opened for this run alone waits for
// Enter before it closes.
#include <windows.h>

#include <string>
#include <vector>

#include "sim_bridge/platform/console_text.hpp"
#include "sim_bridge/platform/console_window.hpp"
#include "simulator.hpp"
#include "text/wide_text.hpp"

namespace {

std::string image_name() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return "lmu-sim.exe";
        if (length < path.size()) break;
        path.resize(path.size() * 2);
    }
    const std::string full = text::utf8_from_wide(path.data());
    const auto separator = full.find_last_of("\\/");
    return separator == std::string::npos ? full : full.substr(separator + 1);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::vector<std::string> args = text::utf8_arguments(argc, argv);
    int status = 1;
    {
        const sim_bridge::platform::ConsoleStreams console_streams;
        status = corvel::lmu_sim::lmu_sim_main(args, image_name());
    }
    sim_bridge::platform::pause_before_console_window_closes();
    return status;
}
