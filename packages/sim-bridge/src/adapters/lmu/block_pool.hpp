// A small, bounded pool of buffers for LMU block copies. A copy is released when its last
// reference goes; its buffer then waits here for the next copy instead of going back to the
// heap, so the worker's 100 copies a second reuse memory that is already mapped. Windows' heap
// decommits a freed block this large, and the next copy would fault its 80 pages in again.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "adapters/lmu/lmu_data_block.hpp"

namespace sim_bridge::lmu {

class BlockPool : public std::enable_shared_from_this<BlockPool> {
  public:
    // Enough for the cached block, the copy being taken and a reader or two still holding an
    // older one; more idle buffers than this go back to the heap.
    static constexpr std::size_t kDefaultCapacity = 4;

    // Reference-counted: every buffer handed out keeps its pool alive until it comes back.
    [[nodiscard]] static std::shared_ptr<BlockPool> create(std::size_t capacity = kDefaultCapacity);

    BlockPool(const BlockPool&) = delete;
    BlockPool& operator=(const BlockPool&) = delete;

    // A buffer that nobody else references, uninitialised or holding an older copy's bytes.
    // It comes back to the pool when its last reference goes. Allocation failure throws.
    [[nodiscard]] std::shared_ptr<BlockBytes> acquire();

    // Buffers waiting for reuse; never more than the capacity.
    [[nodiscard]] std::size_t idle_count() const;

  private:
    struct GiveBack;

    explicit BlockPool(std::size_t capacity);

    // Keeps the buffer when there is room, else frees it. Never allocates, never throws.
    void give_back(BlockBytes* bytes) noexcept;

    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<BlockBytes>> idle_;  // capacity reserved up front
    const std::size_t capacity_;
};

}  // namespace sim_bridge::lmu
