// The capture worker's loop with the product's lock timings, run on the test's thread against
// a simulator that signals every 10 ms, checking every block it publishes; shared by the lock
// tests with a holder in another thread and in another process.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

#include "adapters/lmu/capture_worker.hpp"
#include "adapters/lmu/lmu_lock.hpp"
#include "lock_parties.hpp"
#include "test_publisher.hpp"

namespace corvel_test {

using sim_bridge::lmu::LmuSharedMemory;

// What the capture loop saw of the blocks it published.
struct Observed {
    int copies = 0;            // waits after which the cached block was a new one
    int torn = 0;              // of those, copies that mixed two writes
    int waiters_not_back = 0;  // waits that found `waiters` away from its value of 0
};

class HeldLock : public ::testing::Test {
  protected:
    HeldLock() { publisher_.write(1); }

    // Runs the worker's loop on this thread until `done` or `limit`; every block it publishes
    // is checked at the next wait. The loop is between acquisitions then, so `waiters` must be
    // back where the other parties (none of which sleeps on the lock) keep it: 0.
    Observed capture_until(const std::function<bool()>& done, std::chrono::seconds limit) {
        Observed seen;
        std::uint32_t last_word = 0;
        const auto give_up = std::chrono::steady_clock::now() + limit;
        sim_bridge::lmu::run_capture_loop(
            memory_, shared_, timings_,
            [&](const LmuSharedMemory& memory, std::chrono::milliseconds timeout) {
                if (auto block = shared_.cache->peek()) {
                    const auto word = update_word_of(block->view());
                    if (word != last_word) {
                        ++seen.copies;
                        if (is_torn(block->view())) ++seen.torn;
                        last_word = word;
                    }
                }
                if (publisher_.waiters().load() != 0) ++seen.waiters_not_back;
                if (done() || std::chrono::steady_clock::now() > give_up) shared_.stop_requested->store(true);
                return sim_bridge::lmu::wait_for_new_data(memory, timeout);
            });
        return seen;
    }

    [[nodiscard]] std::uint64_t clears() const { return shared_.lock_evidence->clears(); }

    TestPublisher publisher_{unique_lmu_names()};
    LmuSharedMemory memory_ = sim_bridge::lmu::open_shared_memory(publisher_.names()).value();
    // The product's lock timings: 4000 tries, 100 ms waits, a dead holder after 1 s.
    sim_bridge::lmu::CaptureTimings timings_{.wait = std::chrono::milliseconds(250), .lock = {}};
    sim_bridge::lmu::CaptureShared shared_{
        std::make_shared<std::atomic<bool>>(true), std::make_shared<std::atomic<bool>>(false),
        std::make_shared<sim_bridge::lmu::SnapshotCache>(),
        std::make_shared<sim_bridge::lmu::DeadHolderEvidence>(
            timings_.lock.dead_holder_after, [] { return std::chrono::steady_clock::now(); })};
};

}  // namespace corvel_test
