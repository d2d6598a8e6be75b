// The dead-holder rule's bookkeeping: when the current run of timed-out acquisitions began.
#include "adapters/lmu/dead_holder_evidence.hpp"

namespace sim_bridge::lmu {

bool DeadHolderEvidence::claim_clear_after_timeout() {
    // Measured from the first timeout, not from when that acquisition began: the later of the
    // two, so that a live holder is never taken to have held the lock longer than we saw.
    const Ticks now = clock_().time_since_epoch().count();
    Ticks since = held_since_.load();
    if (since == kNone) {
        // Lost only to another timeout starting the run, or to an acquisition ending it.
        (void)held_since_.compare_exchange_strong(since, now);
        return false;
    }
    if (std::chrono::steady_clock::duration(now - since) < dead_after_) return false;
    // Fails when an acquisition of ours came in between (the lock was free after all) or
    // another party claimed this clear first.
    return held_since_.compare_exchange_strong(since, kNone);
}

}  // namespace sim_bridge::lmu
