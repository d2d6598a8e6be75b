// The newest published copy of LMU's block, shared between the capture worker (writer), the
// watchdog and the driver's queries (readers). Readers hold the lock only to copy one reference.
#pragma once

#include <exception>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <utility>

#include "adapters/lmu/lmu_data_block.hpp"
#include "sim_bridge/sim_bridge_error.hpp"

namespace sim_bridge::lmu {

class SnapshotCache {
  public:
    SnapshotCache() = default;
    SnapshotCache(const SnapshotCache&) = delete;
    SnapshotCache& operator=(const SnapshotCache&) = delete;

    // A new reference to the newest block; ParseError "LMU snapshot cache is poisoned" or
    // NotConnected "LMU has not published telemetry yet".
    [[nodiscard]] BridgeResult<LmuDataBlock> read_cache() const;

    // The newest block, or none when the cache is empty or poisoned.
    [[nodiscard]] std::optional<LmuDataBlock> peek() const;

    // Runs `change` on the cached slot under the write lock. Returns false, without running it,
    // when the cache is poisoned. A `change` that throws poisons the cache for good: the slot
    // may be half-changed, and every later user is told so instead of trusting it.
    template <class Change>
    [[nodiscard]] bool write(Change&& change) {
        WriteGuard guard(*this);
        if (poisoned_) return false;
        std::forward<Change>(change)(block_);
        return true;
    }

    // Replaces the cached block; false when poisoned. The replaced block is let go after the
    // lock is released, so that freeing it never delays a reader.
    [[nodiscard]] bool store(LmuDataBlock block) {
        std::optional<LmuDataBlock> replaced;
        return write(
            [&](std::optional<LmuDataBlock>& slot) { replaced = std::exchange(slot, std::move(block)); });
    }
    // Empties the cache; false (and unchanged) when poisoned.
    [[nodiscard]] bool clear() {
        std::optional<LmuDataBlock> removed;
        return write([&](std::optional<LmuDataBlock>& slot) { removed = std::exchange(slot, std::nullopt); });
    }

    [[nodiscard]] bool is_poisoned() const;

  private:
    // C++ locks do not poison themselves: the guard marks the cache when it is destroyed by an
    // exception that began while it was held.
    class WriteGuard {
      public:
        explicit WriteGuard(SnapshotCache& cache)
            : cache_(cache), lock_(cache.mutex_), exceptions_at_start_(std::uncaught_exceptions()) {}
        WriteGuard(const WriteGuard&) = delete;
        WriteGuard& operator=(const WriteGuard&) = delete;
        ~WriteGuard() {
            if (std::uncaught_exceptions() > exceptions_at_start_) cache_.poisoned_ = true;
        }

      private:
        SnapshotCache& cache_;
        std::unique_lock<std::shared_mutex> lock_;
        int exceptions_at_start_;
    };

    mutable std::shared_mutex mutex_;
    bool poisoned_ = false;  // set once, never cleared; guarded by mutex_
    std::optional<LmuDataBlock> block_;
};

}  // namespace sim_bridge::lmu
