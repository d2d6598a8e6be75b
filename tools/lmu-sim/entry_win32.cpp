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

namespace {

std::string to_utf8(const wchar_t* text) {
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return {};
    std::string out(static_cast<std::size_t>(length - 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), length, nullptr, nullptr);
    return out;
}

std::string image_name() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return "lmu-sim.exe";
        if (length < path.size()) break;
        path.resize(path.size() * 2);
    }
    const std::string full = to_utf8(path.data());
    const auto separator = full.find_last_of("\\/");
    return separator == std::string::npos ? full : full.substr(separator + 1);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(to_utf8(argv[i]));
    int status = 1;
    {
        const sim_bridge::platform::ConsoleStreams console_streams;
        status = corvel::lmu_sim::lmu_sim_main(args, image_name());
    }
    sim_bridge::platform::pause_before_console_window_closes();
    return status;
}
