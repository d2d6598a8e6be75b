// The capture worker's loop, run on the test's thread with the wait as a seam: publishing
// signalled blocks, riding out lock timeouts, and disconnecting on a failed wait.
#include "adapters/lmu/capture_worker.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>

#include "adapters/lmu/lmu_lock.hpp"
#include "test_publisher.hpp"

namespace {

using namespace std::chrono_literals;
using corvel_test::TestPublisher;
using sim_bridge::lmu::CaptureShared;
using sim_bridge::lmu::CaptureTimings;
using sim_bridge::lmu::LmuSharedMemory;
using sim_bridge::platform::WaitResult;

std::shared_ptr<sim_bridge::lmu::DeadHolderEvidence> steady_evidence() {
    return std::make_shared<sim_bridge::lmu::DeadHolderEvidence>(
        1000ms, [] { return std::chrono::steady_clock::now(); });
}

class CaptureLoop : public ::testing::Test {
  protected:
    CaptureLoop() {
        publisher_.write(1);
        EXPECT_TRUE(shared_.cache->store(sim_bridge::lmu::acquire_and_copy(memory_, timings_.lock, *shared_.lock_evidence).value()));
    }

    [[nodiscard]] std::uint32_t cached_word() const {
        return corvel_test::update_word_of(shared_.cache->read_cache().value().view());
    }

    void run(const sim_bridge::lmu::DataWait& wait) {
        sim_bridge::lmu::run_capture_loop(memory_, shared_, timings_, wait);
    }

    TestPublisher publisher_{corvel_test::unique_lmu_names()};
    LmuSharedMemory memory_ = sim_bridge::lmu::open_shared_memory(publisher_.names()).value();
    CaptureShared shared_{std::make_shared<std::atomic<bool>>(true),
                          std::make_shared<std::atomic<bool>>(false),
                          std::make_shared<sim_bridge::lmu::SnapshotCache>(), steady_evidence()};
    CaptureTimings timings_{.wait = 1ms, .lock = {.spin_tries = 16, .wait = 1ms}};
};

TEST_F(CaptureLoop, PublishesEachSignalledBlock) {
    std::vector<std::uint32_t> seen_before_each_wait;
    std::uint32_t next_word = 2;
    run([&](const LmuSharedMemory& memory, std::chrono::milliseconds timeout) {
        seen_before_each_wait.push_back(cached_word());
        if (next_word == 5) {
            shared_.stop_requested->store(true);
            return WaitResult::TimedOut;
        }
        publisher_.publish(next_word++);
        return sim_bridge::lmu::wait_for_new_data(memory, timeout);
    });

    EXPECT_EQ(seen_before_each_wait, (std::vector<std::uint32_t>{1, 2, 3, 4}));
    EXPECT_TRUE(shared_.connected->load());
}

TEST_F(CaptureLoop, KeepsWaitingThroughTimeoutsUntilStopped) {
    int waits = 0;
    run([&](const LmuSharedMemory& memory, std::chrono::milliseconds timeout) {
        if (++waits == 3) shared_.stop_requested->store(true);
        return sim_bridge::lmu::wait_for_new_data(memory, timeout);
    });

    EXPECT_EQ(waits, 3);
    EXPECT_TRUE(shared_.connected->load());
}

TEST_F(CaptureLoop, EndsAtOnceWhenStoppedBeforeItStarts) {
    shared_.stop_requested->store(true);
    int waits = 0;

    run([&](const LmuSharedMemory&, std::chrono::milliseconds) {
        ++waits;
        return WaitResult::TimedOut;
    });

    EXPECT_EQ(waits, 0);
}

TEST_F(CaptureLoop, LockTimeoutKeepsThePreviousBlockAndGoesOn) {
    int waits = 0;
    run([&](const LmuSharedMemory&, std::chrono::milliseconds) {
        ++waits;
        if (waits == 1) {
            publisher_.write(7);
            publisher_.busy().store(1);  // held by a party that never lets go
            return WaitResult::Signalled;
        }
        shared_.stop_requested->store(true);
        return WaitResult::TimedOut;
    });

    EXPECT_EQ(waits, 2);
    EXPECT_EQ(cached_word(), 1u);
    EXPECT_TRUE(shared_.connected->load());
}

TEST_F(CaptureLoop, FailedWaitDisconnectsAndKeepsTheCache) {
    run([](const LmuSharedMemory&, std::chrono::milliseconds) { return WaitResult::Failed; });

    EXPECT_FALSE(shared_.connected->load());
    EXPECT_EQ(cached_word(), 1u);
}

TEST_F(CaptureLoop, PoisonedCacheDisconnects) {
    EXPECT_THROW((void)shared_.cache->write([](auto&) { throw std::runtime_error("writer failed"); }),
                 std::runtime_error);
    int waits = 0;

    run([&](const LmuSharedMemory&, std::chrono::milliseconds) {
        ++waits;
        return WaitResult::Signalled;
    });

    EXPECT_EQ(waits, 1);
    EXPECT_FALSE(shared_.connected->load());
}

TEST(CaptureWorker, ThreadRunsUntilStoppedAndReleasesItsMemory) {
    TestPublisher publisher(corvel_test::unique_lmu_names());
    CaptureShared shared{std::make_shared<std::atomic<bool>>(true),
                         std::make_shared<std::atomic<bool>>(false),
                         std::make_shared<sim_bridge::lmu::SnapshotCache>(), steady_evidence()};
    auto memory = sim_bridge::lmu::open_shared_memory(publisher.names()).value();

    auto worker = sim_bridge::lmu::start_capture_worker(std::move(memory), shared, {.wait = 1ms, .lock = {}});
    ASSERT_TRUE(worker);
    publisher.publish(9);
    // Woken by the signal, or by the stop request at the latest after one short wait.
    while (!shared.cache->peek()) std::this_thread::yield();
    shared.stop_requested->store(true);
    worker->join();

    EXPECT_EQ(corvel_test::update_word_of(shared.cache->peek()->view()), 9u);
    EXPECT_EQ(shared.cache.use_count(), 1);  // the worker let go of its references
}

}  // namespace
