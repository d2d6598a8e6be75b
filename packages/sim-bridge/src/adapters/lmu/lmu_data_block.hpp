// One private, immutable copy of LMU's data block, shared by reference count: the snapshot
// cache holds one reference and every reader takes its own, so a block stays valid for a
// reader after a newer one has replaced it in the cache.
#pragma once

#include <array>
#include <cstddef>
#include <memory>

#include "sim_bridge/lmu/block_layout.hpp"

namespace sim_bridge::lmu {

using BlockBytes = std::array<std::byte, kBlockSize>;

// Every block's memory comes from here, uninitialised or holding a released copy's bytes: the
// buffers of released copies are recycled through a small pool (block_pool.hpp).
[[nodiscard]] std::shared_ptr<BlockBytes> allocate_block_bytes();

class LmuDataBlock {
  public:
    // Takes a filled buffer; from here on nobody writes to it.
    explicit LmuDataBlock(std::shared_ptr<BlockBytes> filled) : bytes_(std::move(filled)) {}

    [[nodiscard]] BlockView view() const { return BlockView(*bytes_); }

    // Both refer to the same copy.
    [[nodiscard]] bool same_copy_as(const LmuDataBlock& other) const { return bytes_ == other.bytes_; }

  private:
    std::shared_ptr<const BlockBytes> bytes_;
};

}  // namespace sim_bridge::lmu
