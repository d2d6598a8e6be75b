// corvel-lap's process entry on Windows: the UTF-16 command line becomes UTF-8, the console
// shows UTF-8, and standard output is binary so that CSV keeps its CRLF line ends unchanged.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "corvel_lap/corvel_lap.hpp"

namespace {

std::string to_utf8(const wchar_t* text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) {
        return {};
    }
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), length, nullptr, nullptr);
    utf8.resize(static_cast<std::size_t>(length - 1));  // drop the terminator
    return utf8;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(to_utf8(argv[i]));
    }
    return corvel::run_corvel_lap(args, std::cout, std::cerr);
}
