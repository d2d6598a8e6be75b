// What this adapter has seen of LMU's lock when it could not take it. A party holds the lock
// only for one block copy, but a live one can still be descheduled for a while on a loaded
// machine, so one timed-out acquisition proves nothing. Only a lock found held through
// consecutive timed-out acquisitions that span `dead_after`, with no acquisition of ours in
// between, counts as left by a party that died holding it, and only then may it be cleared.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>
#include <utility>

#include "sim_bridge/lmu_adapter_options.hpp"

namespace sim_bridge::lmu {

// Kept by the adapter, not by one opening of the objects, so that the span runs on across
// connect rounds. Shared by connect's first copy and the capture worker, which overlap while a
// reconnect takes its first copy. Atomics only, no mutex: `acquired` runs while the simulator's
// lock is held, and no other lock is ever taken under that one.
class DeadHolderEvidence {
  public:
    DeadHolderEvidence(std::chrono::milliseconds dead_after, MonotonicClock clock)
        : dead_after_(dead_after), clock_(std::move(clock)) {}
    DeadHolderEvidence(const DeadHolderEvidence&) = delete;
    DeadHolderEvidence& operator=(const DeadHolderEvidence&) = delete;

    // One of our acquisitions succeeded: the lock was free, whoever held it before.
    void acquired() noexcept { held_since_.store(kNone); }
    // Records a timed-out acquisition. True when the lock has now been found held long enough
    // to clear: the caller claims that clear (a second party timing out at the same moment gets
    // false), and the span starts afresh.
    [[nodiscard]] bool claim_clear_after_timeout();
    // The claimed clear was made.
    void cleared() noexcept { clears_.fetch_add(1, std::memory_order_relaxed); }

    // Locks cleared for a dead holder so far.
    [[nodiscard]] std::uint64_t clears() const { return clears_.load(std::memory_order_relaxed); }

  private:
    using Ticks = std::chrono::steady_clock::duration::rep;
    static constexpr Ticks kNone = std::numeric_limits<Ticks>::min();

    std::chrono::milliseconds dead_after_;
    MonotonicClock clock_;
    // The clock's reading at the first timeout of the current run, or kNone while there is none.
    std::atomic<Ticks> held_since_{kNone};
    std::atomic<std::uint64_t> clears_{0};
};

}  // namespace sim_bridge::lmu
