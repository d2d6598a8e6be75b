// read_fixed_text: the one way every text field of the block is read.
#include "adapters/lmu/fixed_text.hpp"

#include <algorithm>
#include <string_view>

#include "text/utf8.hpp"

namespace sim_bridge::lmu {

std::string read_fixed_text(std::span<const std::byte> field) {
    const auto nul = std::find(field.begin(), field.end(), std::byte{0});
    const std::string_view bytes(reinterpret_cast<const char*>(field.data()),
                                 static_cast<std::size_t>(nul - field.begin()));
    const std::string decoded = text::decode_utf8_lossy(bytes);
    return std::string(text::trim_white_space(decoded));
}

}  // namespace sim_bridge::lmu
