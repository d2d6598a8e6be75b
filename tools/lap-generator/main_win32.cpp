// lap-generator's process entry on Windows: the UTF-16 command line becomes UTF-8.
#include <windows.h>

#include <iostream>
#include <string>
#include <vector>

#include "lap_generator/command_line.hpp"

namespace {

std::string to_utf8(const wchar_t* text) {
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return {};
    std::string out(static_cast<std::size_t>(length - 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), length, nullptr, nullptr);
    return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(to_utf8(argv[i]));
    return corvel::lap_generator::lap_generator_main(args, std::cout, std::cerr);
}
