// Numbers as text for the exports: locale-free, via std::to_chars.
#pragma once

#include <string>

namespace corvel {

// `decimals` digits after the point ("1.2500"); NaN and infinities as "nan", "inf", "-inf".
[[nodiscard]] std::string fixed_text(double value, int decimals);

// The shortest digits that read back to the same 32-bit float ("0.0123", "1e+20").
[[nodiscard]] std::string shortest_text(float value);

}  // namespace corvel
