// Reading the snapshot cache.
#include "adapters/lmu/snapshot_cache.hpp"

namespace sim_bridge::lmu {

BridgeResult<LmuDataBlock> SnapshotCache::read_cache() const {
    bool poisoned = false;
    std::optional<LmuDataBlock> block;
    {
        std::shared_lock lock(mutex_);
        poisoned = poisoned_;
        if (!poisoned) block = block_;
    }
    if (poisoned) {
        return std::unexpected(
            SimBridgeError(SimBridgeError::Kind::ParseError, "LMU snapshot cache is poisoned"));
    }
    if (!block) {
        return std::unexpected(
            SimBridgeError(SimBridgeError::Kind::NotConnected, "LMU has not published telemetry yet"));
    }
    return std::move(*block);
}

std::optional<LmuDataBlock> SnapshotCache::peek() const {
    std::shared_lock lock(mutex_);
    if (poisoned_) return std::nullopt;
    return block_;
}

bool SnapshotCache::is_poisoned() const {
    std::shared_lock lock(mutex_);
    return poisoned_;
}

}  // namespace sim_bridge::lmu
