// The one UTF-8 decoder of corvel, sim-bridge and their tools: strict decoding (overlong forms,
// surrogates and code points above U+10FFFF are not characters), lossy repair, and Unicode
// White_Space. Invalid input never fails; it reads as U+FFFD, and callers that repair choose
// their own replacement rule from `valid` and `length`.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

inline constexpr char32_t kReplacementChar = 0xFFFD;

struct DecodedChar {
    char32_t code_point;  // kReplacementChar for an invalid sequence
    std::size_t length;   // bytes consumed, at least 1: the maximal subpart for an invalid sequence
    bool valid = true;    // false for an invalid sequence (a well-formed U+FFFD in the text is valid)
};

// Decodes the code point starting at `pos` (< text.size()).
[[nodiscard]] DecodedChar decode_utf8_at(std::string_view text, std::size_t pos);

// Valid UTF-8 with each maximal invalid subpart replaced by U+FFFD (the Unicode/WHATWG practice).
[[nodiscard]] std::string decode_utf8_lossy(std::string_view bytes);

// Every byte belongs to a well-formed sequence.
[[nodiscard]] bool is_valid_utf8(std::string_view text);

// The Unicode White_Space property.
[[nodiscard]] bool is_white_space(char32_t c);

// `text` without leading and trailing Unicode white space.
[[nodiscard]] std::string_view trim_white_space(std::string_view text);

// Empty or only white space. Malformed bytes are text, never space: a stray 0x85 or 0xA0
// byte and an overlong C0 A0 are not NEL or NO-BREAK SPACE.
[[nodiscard]] bool is_blank(std::string_view text);

}  // namespace text
