// UTF-8 conversions of paths through char8_t, which std::filesystem treats as UTF-8 on
// every platform.
#include "lap_format/utf8_path.hpp"

#include <string>

namespace corvel {

std::filesystem::path path_from_utf8(std::string_view text) {
    const std::u8string utf8(text.begin(), text.end());
    try {
        return std::filesystem::path(utf8);
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
