// The Windows side of the process entry: wmain receives the command line as UTF-16, and
// everything past main works on UTF-8 texts.
#include <windows.h>

#include "corvel/runtime.hpp"

namespace corvel {
namespace {

// Unpaired surrogates become U+FFFD, as the conversion does by default.
std::string to_utf8(const wchar_t* text) {
    const int length = static_cast<int>(::wcslen(text));
    if (length == 0) return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}

}  // namespace

std::vector<std::string> utf8_arguments(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(to_utf8(argv[i]));
    return args;
}

}  // namespace corvel
