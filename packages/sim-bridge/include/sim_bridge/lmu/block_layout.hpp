// The layout of LMU's shared data block ("LMU_Data") as corvel reads it: byte offsets of the
// fields that are converted, shared by the adapter's conversions and the stand-in simulator.
#pragma once

#include <cstddef>
#include <span>

namespace sim_bridge::lmu {

// Bytes copied from the mapping per snapshot (0x4F4D4).
inline constexpr std::size_t kBlockSize = 324'820;

using BlockView = std::span<const std::byte, kBlockSize>;

}  // namespace sim_bridge::lmu
