// UTF-8 conversions of paths through char8_t, which std::filesystem treats as UTF-8 on
// every platform.
#include "corvel_lap/utf8_path.hpp"

#include <string>

namespace corvel {

// path_from_utf8 is corvel's own (corvel/command_line.hpp): one definition for both programs.

std::string path_to_utf8(const std::filesystem::path& path) {
    try {
        const std::u8string u8 = path.u8string();
        return std::string(u8.begin(), u8.end());
    } catch (const std::exception&) {
        // Unpaired UTF-16 surrogates: show the name, losing what cannot be converted.
        std::string text;
        for (const wchar_t unit : path.native()) {
            text += unit < 0x80 ? static_cast<char>(unit) : '?';
        }
        return text;
    }
}

}  // namespace corvel
