// Diagnostic quoting of message texts.
#include "sim_bridge/quoted_text.hpp"

#include <cstdint>
#include <cstdio>

namespace sim_bridge {
namespace {

// Decodes one UTF-8 code point starting at `text[i]`; returns its length, or 0 when the
// bytes there are not valid UTF-8 (they are then copied through as they are).
std::size_t utf8_code_point(std::string_view text, std::size_t i, std::uint32_t& cp) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[i + k]); };
    const std::uint8_t b0 = byte(0);
    std::size_t len = 0;
    if (b0 < 0x80) { cp = b0; return 1; }
    if ((b0 & 0xE0) == 0xC0) { len = 2; cp = b0 & 0x1Fu; }
    else if ((b0 & 0xF0) == 0xE0) { len = 3; cp = b0 & 0x0Fu; }
    else if ((b0 & 0xF8) == 0xF0) { len = 4; cp = b0 & 0x07u; }
    else return 0;
    if (i + len > text.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((byte(k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(k) & 0x3Fu);
    }
    return len;
}

bool is_control(std::uint32_t cp) { return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F); }

}  // namespace

std::string quoted_text(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t cp = 0;
        std::size_t len = utf8_code_point(text, i, cp);
        if (len == 0) {  // not UTF-8: keep the byte rather than lose it
            out.push_back(text[i]);
            ++i;
            continue;
        }
        switch (cp) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\0': out += "\\0"; break;
            default:
                if (is_control(cp)) {
                    char buf[16];
                    std::snprintf(buf, sizeof buf, "\\u{%x}", static_cast<unsigned>(cp));
                    out += buf;
                } else {
                    out.append(text.substr(i, len));
                }
        }
        i += len;
    }
    out.push_back('"');
    return out;
}

}  // namespace sim_bridge
