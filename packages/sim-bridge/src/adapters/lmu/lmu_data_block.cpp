// Allocation of block copies.
#include "adapters/lmu/lmu_data_block.hpp"

namespace sim_bridge::lmu {

// The copy overwrites every byte, so zero-filling 317 KiB first would be wasted work.
std::shared_ptr<BlockBytes> allocate_block_bytes() {
    return std::make_shared_for_overwrite<BlockBytes>();
}

}  // namespace sim_bridge::lmu
