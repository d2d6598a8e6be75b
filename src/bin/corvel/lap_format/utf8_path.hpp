// UTF-8 text to std::filesystem::path and back, the same way on every OS. (On Windows a
// path built from a plain std::string would be read in the ANSI code page.)
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace corvel {

// Invalid UTF-8 keeps its bytes (it cannot name a file on Windows; opening it fails there).
[[nodiscard]] std::filesystem::path path_from_utf8(std::string_view text);

// The path as UTF-8; a Windows path that is not valid UTF-16 comes out with "?" marks.
[[nodiscard]] std::string path_to_utf8(const std::filesystem::path& path);

}  // namespace corvel
