// UTF-8 helpers for the simulator's text fields: lossy decoding, Unicode white-space trimming
// and code-point iteration. Invalid input never fails; it reads as U+FFFD.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sim_bridge::lmu {

inline constexpr char32_t kReplacementChar = 0xFFFD;

struct DecodedChar {
    char32_t code_point;  // kReplacementChar for an invalid sequence
    std::size_t length;   // bytes consumed, at least 1: the maximal subpart for an invalid sequence
};

// Decodes the code point starting at `pos` (< text.size()).
[[nodiscard]] DecodedChar decode_utf8_at(std::string_view text, std::size_t pos);

// Valid UTF-8 with each maximal invalid subpart replaced by U+FFFD (the Unicode/WHATWG practice).
[[nodiscard]] std::string decode_utf8_lossy(std::string_view bytes);

// The Unicode White_Space property.
[[nodiscard]] bool is_white_space(char32_t c);

// `text` without leading and trailing Unicode white space.
[[nodiscard]] std::string_view trim_white_space(std::string_view text);

}  // namespace sim_bridge::lmu
