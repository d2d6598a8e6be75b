// Lossy UTF-8 decoding and lower-casing of process image names. One table-driven
// implementation serves every platform, so Linux, Windows and Wine compare names alike.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim_bridge/detection_rules.hpp"
#include "text/utf8.hpp"

namespace sim_bridge {
namespace {

// One code point per character; each maximal invalid subpart reads as one U+FFFD.
std::vector<char32_t> decode_lossy(std::string_view text) {
    std::vector<char32_t> out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const text::DecodedChar c = text::decode_utf8_at(text, i);
        out.push_back(c.code_point);
        i += c.length;
    }
    return out;
}

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

constexpr bool in(char32_t c, char32_t first, char32_t last) {
    return c >= first && c <= last;
}

// Blocks where upper- and lower-case letters alternate: the even code point is upper case
// (or the odd one, with `odd_upper`).
constexpr char32_t pair_lower(char32_t c, bool odd_upper) {
    return ((c & 1u) != 0) == odd_upper ? c + 1 : c;
}

// The simple (one code point) lower-case mapping of the covered blocks.
char32_t simple_lower(char32_t c) {
    if (in(c, U'A', U'Z')) return c + 0x20;
    if (c < 0xC0) return c;
    // Latin-1 Supplement, Latin Extended-A
    if (in(c, 0xC0, 0xDE)) return c == 0xD7 ? c : c + 0x20;
    if (in(c, 0x100, 0x12F) || in(c, 0x132, 0x137) || in(c, 0x14A, 0x177)) return pair_lower(c, false);
    if (in(c, 0x139, 0x148) || in(c, 0x179, 0x17E)) return pair_lower(c, true);
    if (c == 0x178) return 0xFF;
    // Latin Extended-B (the regular parts and the digraphs)
    if (c == 0x1C4 || c == 0x1C5) return 0x1C6;
    if (c == 0x1C7 || c == 0x1C8) return 0x1C9;
    if (c == 0x1CA || c == 0x1CB) return 0x1CC;
    if (c == 0x1F1 || c == 0x1F2) return 0x1F3;
    if (in(c, 0x1CD, 0x1DC)) return pair_lower(c, true);
    if (in(c, 0x1DE, 0x1EF) || in(c, 0x1F4, 0x1F5) || in(c, 0x1F8, 0x21F) || in(c, 0x222, 0x233)) {
        return pair_lower(c, false);
    }
    // Greek
    if (c == 0x386) return 0x3AC;
    if (in(c, 0x388, 0x38A)) return c + 37;
    if (c == 0x38C) return 0x3CC;
    if (in(c, 0x38E, 0x38F)) return c + 63;
    if (in(c, 0x391, 0x3A1) || in(c, 0x3A3, 0x3AB)) return c + 0x20;
    if (in(c, 0x3D8, 0x3EF)) return pair_lower(c, false);
    if (c == 0x3F4) return 0x3B8;
    if (c == 0x3F7 || c == 0x3FA) return c + 1;
    if (c == 0x3F9) return 0x3F2;
    // Cyrillic
    if (in(c, 0x400, 0x40F)) return c + 0x50;
    if (in(c, 0x410, 0x42F)) return c + 0x20;
    if (in(c, 0x460, 0x481) || in(c, 0x48A, 0x4BF) || in(c, 0x4D0, 0x52F)) return pair_lower(c, false);
    if (c == 0x4C0) return 0x4CF;
    if (in(c, 0x4C1, 0x4CE)) return pair_lower(c, true);
    // Armenian
    if (in(c, 0x531, 0x556)) return c + 0x30;
    // Latin Extended Additional (Vietnamese and others), capital sharp s
    if (in(c, 0x1E00, 0x1E95) || in(c, 0x1EA0, 0x1EFF)) return pair_lower(c, false);
    if (c == 0x1E9E) return 0xDF;
    // Fullwidth Latin
    if (in(c, 0xFF21, 0xFF3A)) return c + 0x20;
    return c;
}

// Whether `c` is a letter with case, for the final-sigma rule.
bool is_cased(char32_t c) {
    if (simple_lower(c) != c) return true;
    return in(c, U'a', U'z') || in(c, 0xDF, 0xFF) || in(c, 0x100, 0x24F) || in(c, 0x3AC, 0x3CE) ||
           in(c, 0x430, 0x45F) || in(c, 0x561, 0x587) || in(c, 0x1E00, 0x1EFF) || in(c, 0xFF41, 0xFF5A);
}

}  // namespace

std::string lower_case_text(std::string_view text) {
    const std::vector<char32_t> cps = decode_lossy(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < cps.size(); ++i) {
        const char32_t c = cps[i];
        if (c == 0x130) {  // capital I with dot: "i" followed by a combining dot above
            append_utf8(out, U'i');
            append_utf8(out, 0x307);
        } else if (c == 0x3A3) {  // capital sigma: final form at the end of a word
            const bool after_letter = i > 0 && is_cased(cps[i - 1]);
            const bool before_letter = i + 1 < cps.size() && is_cased(cps[i + 1]);
            append_utf8(out, after_letter && !before_letter ? 0x3C2 : 0x3C3);
        } else {
            append_utf8(out, simple_lower(c));
        }
    }
    return out;
}

}  // namespace sim_bridge
