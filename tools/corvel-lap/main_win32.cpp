// corvel-lap's process entry on Windows: the UTF-16 command line becomes UTF-8, console text
// goes through WriteConsoleW (the console's code page stays as it is), standard output is
// binary so that CSV keeps its CRLF line ends unchanged, and a window opened for this run
// alone waits for Enter before it closes.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "corvel_lap.hpp"
#include "sim_bridge/platform/console_text.hpp"
#include "sim_bridge/platform/console_window.hpp"
#include "text/wide_text.hpp"

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    const std::vector<std::string> args = text::utf8_arguments(argc, argv);
    int status = 1;
    {
        const sim_bridge::platform::ConsoleStreams console_streams;
        status = corvel::run_corvel_lap(args, std::cout, std::cerr);
        std::cout.flush();
    }
    sim_bridge::platform::pause_before_console_window_closes();
    return status;
}
