// UTF-8 conversions of paths through char8_t, which std::filesystem treats as UTF-8 on
// every platform.
#include "corvel_lap/utf8_path.hpp"

#include <string>

namespace corvel {

std::filesystem::path path_from_utf8(std::string_view text) {
    std::u8string u8(text.size(), u8'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        u8[i] = static_cast<char8_t>(text[i]);
    }
    try {
        return std::filesystem::path(u8);
    } catch (const std::exception&) {
        // Invalid UTF-8 cannot name a file on Windows; keep the bytes, the open will fail.
        return std::filesystem::path(std::string(text));
    }
}

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
