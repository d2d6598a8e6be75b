// Reading the simulator's fixed-size char[n] fields: NUL-terminated when shorter than n,
// UTF-8 where valid.
#pragma once

#include <cstddef>
#include <span>
#include <string>

namespace sim_bridge::lmu {

// The field's bytes up to the first NUL (or all of them), decoded lossily as UTF-8 and trimmed
// of Unicode white space. May be empty.
[[nodiscard]] std::string read_fixed_text(std::span<const std::byte> field);

}  // namespace sim_bridge::lmu
