// to_chars wrappers; buffers are sized for the longest double in fixed form.
#include "presentation/number_text.hpp"

#include <array>
#include <charconv>
#include <cmath>

namespace corvel {

std::string fixed_text(double value, int decimals) {
    if (std::isnan(value)) {
        return "nan";  // never "-nan": the sign of a NaN means nothing to a reader
    }
    std::array<char, 400> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, decimals);
    return std::string(buffer.data(), result.ptr);
}

std::string shortest_text(float value) {
    if (std::isnan(value)) {
        return "nan";
    }
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

}  // namespace corvel
