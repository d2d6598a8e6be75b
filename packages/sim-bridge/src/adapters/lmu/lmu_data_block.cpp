// Allocation of block copies.
#include "adapters/lmu/lmu_data_block.hpp"

#include "adapters/lmu/block_pool.hpp"

namespace sim_bridge::lmu {

// One pool for the process: its buffers are released wherever the last reader happens to be.
std::shared_ptr<BlockBytes> allocate_block_bytes() {
    static const std::shared_ptr<BlockPool> pool = BlockPool::create();
    return pool->acquire();
}

}  // namespace sim_bridge::lmu
