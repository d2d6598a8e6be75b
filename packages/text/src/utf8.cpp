// UTF-8 decoding after the Unicode "maximal subpart" practice: an invalid sequence is replaced
// by one U+FFFD per maximal prefix of a well-formed sequence, or per single byte otherwise.
#include "text/utf8.hpp"

#include <algorithm>
#include <array>
#include <cstdint>

namespace text {
namespace {

struct LeadByte {
    std::size_t continuation_count;  // 0 for a byte that cannot start a sequence
    std::uint8_t second_min;         // allowed range of the second byte: excludes overlong
    std::uint8_t second_max;         // forms, surrogates and code points above U+10FFFF
};

constexpr LeadByte classify_lead(std::uint8_t b) {
    if (b >= 0xC2 && b <= 0xDF) return {1, 0x80, 0xBF};
    if (b == 0xE0) return {2, 0xA0, 0xBF};
    if (b == 0xED) return {2, 0x80, 0x9F};
    if (b >= 0xE1 && b <= 0xEF) return {2, 0x80, 0xBF};
    if (b == 0xF0) return {3, 0x90, 0xBF};
    if (b >= 0xF1 && b <= 0xF3) return {3, 0x80, 0xBF};
    if (b == 0xF4) return {3, 0x80, 0x8F};
    return {0, 0, 0};
}

constexpr char32_t lead_bits(std::uint8_t b, std::size_t continuation_count) {
    switch (continuation_count) {
        case 1:
            return b & 0x1Fu;
        case 2:
            return b & 0x0Fu;
        default:
            return b & 0x07u;
    }
}

bool is_ascii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<std::uint8_t>(c) >= 0x80) return false;
    }
    return true;
}

}  // namespace

DecodedChar decode_utf8_at(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<std::uint8_t>(text[pos]);
    if (lead < 0x80) return {lead, 1};
    const LeadByte kind = classify_lead(lead);
    if (kind.continuation_count == 0) return {kReplacementChar, 1, false};

    char32_t code_point = lead_bits(lead, kind.continuation_count);
    std::size_t length = 1;
    for (std::size_t i = 0; i < kind.continuation_count; ++i) {
        if (pos + length >= text.size()) return {kReplacementChar, length, false};
        const auto b = static_cast<std::uint8_t>(text[pos + length]);
        const std::uint8_t min = i == 0 ? kind.second_min : 0x80;
        const std::uint8_t max = i == 0 ? kind.second_max : 0xBF;
        if (b < min || b > max) return {kReplacementChar, length, false};
        code_point = (code_point << 6) | (b & 0x3Fu);
        ++length;
    }
    return {code_point, length};
}

std::string decode_utf8_lossy(std::string_view bytes) {
    if (is_ascii(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + 8);
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const DecodedChar c = decode_utf8_at(bytes, pos);
        // A valid U+FFFD in the input reads the same as a replaced sequence.
        out.append(c.valid ? bytes.substr(pos, c.length) : std::string_view("\xEF\xBF\xBD"));
        pos += c.length;
    }
    return out;
}

bool is_valid_utf8(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const DecodedChar c = decode_utf8_at(text, pos);
        if (!c.valid) return false;
        pos += c.length;
    }
    return true;
}

bool is_white_space(char32_t c) {
    // White_Space outside the U+2000..U+200A run.
    constexpr std::array<char32_t, 14> kSingles = {0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x0020, 0x0085,
                                                   0x00A0, 0x1680, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000};
    return (c >= 0x2000 && c <= 0x200A) || std::find(kSingles.begin(), kSingles.end(), c) != kSingles.end();
}

std::string_view trim_white_space(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        const DecodedChar c = decode_utf8_at(text, begin);
        if (!is_white_space(c.code_point)) break;
        begin += c.length;
    }
    std::size_t end = text.size();
    while (end > begin) {
        // Step back to the start of the last code point (at most three continuation bytes).
        std::size_t start = end - 1;
        while (start > begin && end - start < 4 &&
               (static_cast<std::uint8_t>(text[start]) & 0xC0u) == 0x80u) {
            --start;
        }
        const DecodedChar c = decode_utf8_at(text, start);
        if (start + c.length != end || !is_white_space(c.code_point)) break;
        end = start;
    }
    return text.substr(begin, end - begin);
}

bool is_blank(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const DecodedChar c = decode_utf8_at(text, pos);
        if (!c.valid || !is_white_space(c.code_point)) return false;
        pos += c.length;
    }
    return true;
}

}  // namespace text
