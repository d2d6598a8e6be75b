// LMU's lock: a spin on the `busy` word, then sleeps on the lock event with `waiters` counted,
// then the copy of one block under the lock. A lock is cleared only for a holder that died.
#include "adapters/lmu/lmu_lock.hpp"

#include <atomic>
#include <cstring>

namespace sim_bridge::lmu {
namespace {

// The processor's spin-wait hint: lets a sibling hyper-thread run and saves power while spinning.
inline void cpu_relax() noexcept {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    __asm__ __volatile__("yield");
#endif
}

bool try_take(std::atomic_ref<std::int32_t> busy) noexcept {
    std::int32_t expected = 0;
    return busy.compare_exchange_strong(expected, 1);
}

}  // namespace

bool acquire_lock(const LmuLock& lock, const LmuLockTimings& timings, DeadHolderEvidence& evidence) noexcept {
    auto busy = lock.busy();
    for (std::uint32_t tries = 0; tries < timings.spin_tries; ++tries) {
        if (try_take(busy)) {
            evidence.acquired();
            return true;
        }
        cpu_relax();
    }

    auto waiters = lock.waiters();
    waiters.fetch_add(1);
    for (;;) {
        if (try_take(busy)) {
            waiters.fetch_sub(1);
            evidence.acquired();
            return true;
        }
        if (lock.event().wait(timings.wait) != platform::WaitResult::Signalled) break;
    }
    waiters.fetch_sub(1);

    // A lock held through one spin and one wait is not yet a dead party's: a live holder may
    // only be descheduled. Breaking it would let a second party in while the first still copies.
    if (!evidence.claim_clear_after_timeout()) return false;
    // Held through a whole second of our attempts: nobody else would ever clear it, so the
    // simulator would stall on it and every reader time out for ever. The holder may have let
    // go after all, just now; then this is an ordinary acquisition and nothing is cleared.
    if (try_take(busy)) {
        evidence.acquired();
        return true;
    }
    // Cleared the way its holder would have released it, so a sleeping waiter is woken too.
    release_lock(lock);
    evidence.cleared();
    return false;
}

void release_lock(const LmuLock& lock) noexcept {
    // A release store, made sequentially consistent: a weaker store could be overtaken by the
    // read of `waiters` below, and a waiter that registered and then still saw `busy` at 1 would
    // miss its wake-up and sleep a whole wait. Now either this read sees the waiter or the
    // waiter's next compare-exchange sees 0.
    lock.busy().store(0, std::memory_order_seq_cst);
    if (lock.waiters().load() > 0) {
        // Nothing to do when it fails: the waiter's own wait ends in time.
        (void)lock.event().signal();
    }
}

std::expected<LmuDataBlock, LockFailure> acquire_and_copy(const LmuSharedMemory& memory,
                                                          const LmuLockTimings& timings,
                                                          DeadHolderEvidence& evidence) noexcept {
    // Allocated before the lock is taken, so that only the copy happens under it.
    auto bytes = allocate_block_bytes();
    if (!acquire_lock(memory.lock(), timings, evidence)) return std::unexpected(LockFailure::TimedOut);
    std::memcpy(bytes->data(), memory.data().data(), kBlockSize);
    release_lock(memory.lock());
    return LmuDataBlock(std::move(bytes));
}

}  // namespace sim_bridge::lmu
