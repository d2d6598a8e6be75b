// UTF-8 is decoded here only to validate it: lap metadata and file names may carry any
// bytes, and one bad byte would make the whole SVG unreadable. The decoding rules are
// sim-bridge's, shared by every part of corvel.
#include "presentation/xml_text.hpp"

#include "text/utf8.hpp"

namespace corvel {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool allowed_in_xml(char32_t c) {
    if (c < 0x20) {
        return c == '\t' || c == '\n' || c == '\r';
    }
    return c != 0xFFFE && c != 0xFFFF;
}

}  // namespace

bool is_valid_utf8(std::string_view text) {
    return text::is_valid_utf8(text);
}

std::string xml_escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        // One replacement per malformed byte, so each stray byte stays visible as one mark.
        const text::DecodedChar decoded = text::decode_utf8_at(text, 0);
        if (!decoded.valid) {
            out += kReplacement;
            text.remove_prefix(1);
            continue;
        }
        const char32_t c = decoded.code_point;
        const std::size_t length = decoded.length;
        if (allowed_in_xml(c)) {
            switch (c) {
                case '&':
                    out += "&amp;";
                    break;
                case '<':
                    out += "&lt;";
                    break;
                case '>':
                    out += "&gt;";
                    break;
                case '"':
                    out += "&quot;";
                    break;
                case '\'':
                    out += "&apos;";
                    break;
                default:
                    out += text.substr(0, length);
            }
        }
        text.remove_prefix(length);
    }
    return out;
}

}  // namespace corvel
