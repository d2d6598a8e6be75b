// LMU's lock protocol and the locked copy of its data block. The lock is shared with the
// simulator and with every other reader, so this program follows the simulator's rules.
#pragma once

#include <cstdint>
#include <expected>
#include <string_view>

#include "adapters/lmu/dead_holder_evidence.hpp"
#include "adapters/lmu/lmu_data_block.hpp"
#include "adapters/lmu/shared_memory.hpp"
#include "sim_bridge/lmu_adapter_options.hpp"

namespace sim_bridge::lmu {

// The only way a locked copy fails.
enum class LockFailure : std::uint8_t { TimedOut };

[[nodiscard]] constexpr std::string_view describe(LockFailure) {
    return "timed out acquiring LMU shared-memory lock";
}

// Takes the simulator's lock, copies the first kBlockSize bytes of the data view, releases
// the lock. A timed-out acquisition copies nothing, leaves `waiters` as found and the shared
// memory usable; it clears the lock only when `evidence` shows its holder died. Allocation
// failure ends the process.
[[nodiscard]] std::expected<LmuDataBlock, LockFailure> acquire_and_copy(
    const LmuSharedMemory& memory, const LmuLockTimings& timings, DeadHolderEvidence& evidence) noexcept;

// The lock's two halves, public for the benchmarks and the adapter's tests.
[[nodiscard]] bool acquire_lock(const LmuLock& lock, const LmuLockTimings& timings,
                                DeadHolderEvidence& evidence) noexcept;
void release_lock(const LmuLock& lock) noexcept;

}  // namespace sim_bridge::lmu
