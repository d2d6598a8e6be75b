// The pool of block buffers.
#include "adapters/lmu/block_pool.hpp"

#include <utility>

namespace sim_bridge::lmu {

// The buffers' deleter. It holds the pool, so a buffer released after everyone else has let go
// of the pool (a reader finishing during shutdown) still has somewhere to go.
struct BlockPool::GiveBack {
    std::shared_ptr<BlockPool> pool;
    void operator()(BlockBytes* bytes) const noexcept { pool->give_back(bytes); }
};

std::shared_ptr<BlockPool> BlockPool::create(std::size_t capacity) {
    return std::shared_ptr<BlockPool>(new BlockPool(capacity));
}

BlockPool::BlockPool(std::size_t capacity) : capacity_(capacity) {
    idle_.reserve(capacity);  // so that give_back never allocates
}

std::shared_ptr<BlockBytes> BlockPool::acquire() {
    std::unique_ptr<BlockBytes> bytes;
    {
        std::lock_guard lock(mutex_);
        if (!idle_.empty()) {
            bytes = std::move(idle_.back());
            idle_.pop_back();
        }
    }
    // Default-initialised: the copy overwrites every byte, so zero-filling first would be waste.
    if (!bytes) bytes.reset(new BlockBytes);
    // Should the control block's allocation fail, the deleter still takes the buffer back.
    return std::shared_ptr<BlockBytes>(bytes.release(), GiveBack{shared_from_this()});
}

std::size_t BlockPool::idle_count() const {
    std::lock_guard lock(mutex_);
    return idle_.size();
}

void BlockPool::give_back(BlockBytes* bytes) noexcept {
    std::unique_ptr<BlockBytes> owned(bytes);
    {
        std::lock_guard lock(mutex_);
        if (idle_.size() < capacity_) {
            idle_.push_back(std::move(owned));
            return;
        }
    }
    // Full: `owned` frees the buffer here, outside the lock.
}

}  // namespace sim_bridge::lmu
