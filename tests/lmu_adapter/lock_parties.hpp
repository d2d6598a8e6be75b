// The other parties of the lock tests: a simulator that signals new data every 10 ms and writes
// only when it finds the lock free (it never takes a lock over), and a party that holds the lock
// for long stretches while writing a pattern that a copy taken under its feet would show.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <thread>

#include "sim_bridge/lmu/block_layout.hpp"
#include "sim_bridge/platform/named_objects.hpp"
#include "test_publisher.hpp"

namespace corvel_test {

// One party's way to the lock and the block, in this process or in another one.
struct LockedBlock {
    std::byte* lock_words = nullptr;  // waiters at 0, busy at 4
    const sim_bridge::platform::NamedEvent* lock_event = nullptr;
    std::byte* data = nullptr;
};

[[nodiscard]] LockedBlock locked_block_of(const TestPublisher& publisher);

// Takes the lock by the protocol (busy 0 -> 1, spinning until free), keeps it `hold` while
// rewriting the two update words out of step with each other, puts them back in step and
// releases it as a holder does.
void hold_writing_pattern(const LockedBlock& block, std::chrono::milliseconds hold);

// Takes the lock and never lets go: a party that died holding it.
void take_lock_for_good(const LockedBlock& block);

// A copy mixing two writes: the scoring and telemetry update words differ.
[[nodiscard]] bool is_torn(sim_bridge::lmu::BlockView block);

// Every 10 ms: one short try for the lock; when free, the block is rewritten with both words at
// the next value. Then the data event is signalled, whether it wrote or not.
class TickingSimulator {
  public:
    explicit TickingSimulator(TestPublisher& publisher);
    ~TickingSimulator();
    TickingSimulator(const TickingSimulator&) = delete;
    TickingSimulator& operator=(const TickingSimulator&) = delete;

    // Blocks written so far.
    [[nodiscard]] std::uint32_t written() const { return written_.load(); }

  private:
    void run();

    TestPublisher& publisher_;
    std::atomic<bool> stop_{false};
    std::atomic<std::uint32_t> written_{0};
    std::thread thread_;
};

}  // namespace corvel_test
