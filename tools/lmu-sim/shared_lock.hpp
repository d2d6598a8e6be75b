// LMU's lock over its data block, from the writer's side: an 8-byte block of two 32-bit
// words (waiters at 0, busy at 4) plus an auto-reset event on which waiters sleep.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "sim_bridge/platform/named_objects.hpp"

namespace corvel::lmu_sim {

inline constexpr std::size_t kLockBlockSize = 8;

enum class LockTaken : std::uint8_t {
    Cleanly,
    // Another party held it longer than the writer's patience; the writer took it over, since
    // a reader holds it only for one copy of the block and a longer hold means it died.
    FromStaleHolder,
};

class SharedLock {
  public:
    // `words` is the 8-byte lock block; both it and `event` must outlive this object.
    SharedLock(std::byte* words, const sim_bridge::platform::NamedEvent& event)
        : words_(words), event_(&event) {}

    // Spins up to 4000 compare-exchanges, then registers as a waiter and sleeps on the event
    // 100 ms at a time; after `patience` it takes the lock over.
    [[nodiscard]] LockTaken acquire(std::chrono::milliseconds patience);
    // One compare-exchange of busy 0 -> 1.
    [[nodiscard]] bool try_acquire();
    // busy := 0; the event is signalled only when someone waits.
    void release();

    [[nodiscard]] std::int32_t waiters() const;
    [[nodiscard]] std::int32_t busy() const;

  private:
    std::byte* words_;
    const sim_bridge::platform::NamedEvent* event_;
};

}  // namespace corvel::lmu_sim
