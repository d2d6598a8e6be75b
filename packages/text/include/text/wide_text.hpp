// UTF-16 texts from Windows (command lines, system messages) as UTF-8, the form every other
// part of the program works on. Windows only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace text {

// Unpaired surrogates become U+FFFD, as the system's conversion does by default.
[[nodiscard]] std::string utf8_from_wide(std::wstring_view wide);

// The program's arguments without its own name (argv[1] onwards), as UTF-8.
[[nodiscard]] std::vector<std::string> utf8_arguments(int argc, wchar_t** argv);

}  // namespace text
