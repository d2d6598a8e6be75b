// Diagnostic quoting of message texts.
#include "text/quoted_text.hpp"

#include <cstdio>

// Strict decoding: overlong forms, surrogates and code points above U+10FFFF are not
// characters, so an overlong "\0" is never shown as a NUL.
#include "text/utf8.hpp"

namespace text {
namespace {

bool is_control(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
}

}  // namespace

std::string quoted_text(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    for (std::size_t i = 0; i < text.size();) {
        const DecodedChar c = decode_utf8_at(text, i);
        const std::size_t len = c.length;
        if (!c.valid) {
            out.append(text.substr(i, len));  // not UTF-8: keep the bytes rather than lose them
            i += len;
            continue;
        }
        const char32_t cp = c.code_point;
        switch (cp) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\0':
                out += "\\0";
                break;
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

}  // namespace text
