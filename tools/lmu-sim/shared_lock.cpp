// The lock words live in shared memory, so they are reached through atomic_ref; the mapping
// is page-aligned, which keeps both 32-bit words naturally aligned.
#include "shared_lock.hpp"

#include <atomic>
#include <thread>

namespace corvel::lmu_sim {
namespace {

constexpr int kSpinTries = 4000;
constexpr auto kWaitSlice = std::chrono::milliseconds(100);
constexpr std::size_t kWaitersOffset = 0;
constexpr std::size_t kBusyOffset = 4;

std::atomic_ref<std::int32_t> word(std::byte* words, std::size_t offset) {
    return std::atomic_ref<std::int32_t>(*reinterpret_cast<std::int32_t*>(words + offset));
}

void spin_pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

}  // namespace

bool SharedLock::try_acquire() {
    std::int32_t expected = 0;
    return word(words_, kBusyOffset).compare_exchange_strong(expected, 1);
}

LockTaken SharedLock::acquire(std::chrono::milliseconds patience) {
    for (int i = 0; i < kSpinTries; ++i) {
        if (try_acquire()) return LockTaken::Cleanly;
        spin_pause();
    }
    auto waiters = word(words_, kWaitersOffset);
    waiters.fetch_add(1);
    const auto give_up = std::chrono::steady_clock::now() + patience;
    for (;;) {
        if (try_acquire()) {
            waiters.fetch_sub(1);
            return LockTaken::Cleanly;
        }
        if (std::chrono::steady_clock::now() >= give_up) break;
        // Signalled or not, the next compare-exchange decides; a failed wait must not spin hot.
        if (event_->wait(kWaitSlice) == sim_bridge::platform::WaitResult::Failed) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    waiters.fetch_sub(1);
    word(words_, kBusyOffset).store(1);
    return LockTaken::FromStaleHolder;
}

void SharedLock::release() {
    // Sequentially consistent, not just release: the store must not pass the load of waiters,
    // or a party that registered meanwhile would sleep a full slice without a signal.
    word(words_, kBusyOffset).store(0);
    if (word(words_, kWaitersOffset).load() > 0) (void)event_->signal();
}

std::int32_t SharedLock::waiters() const {
    return word(words_, kWaitersOffset).load();
}
std::int32_t SharedLock::busy() const {
    return word(words_, kBusyOffset).load();
}

}  // namespace corvel::lmu_sim
