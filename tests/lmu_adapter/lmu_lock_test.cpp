// Opening LMU's objects and the simulator's lock protocol, against the in-process publisher.
#include "adapters/lmu/lmu_lock.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

#include "adapters/lmu/shared_memory.hpp"
#include "manual_clock.hpp"
#include "test_publisher.hpp"

namespace {

using namespace std::chrono_literals;
using corvel_test::TestPublisher;
using sim_bridge::LmuLockTimings;
using sim_bridge::lmu::acquire_and_copy;
using sim_bridge::lmu::LockFailure;
using sim_bridge::lmu::open_shared_memory;
using sim_bridge::platform::WaitResult;

// Spins little and waits briefly, so that a held lock times out at once.
constexpr LmuLockTimings kQuickGiveUp{.spin_tries = 16, .wait = 1ms};

TEST(OpenSharedMemory, SucceedsWhenAllFourObjectsExist) {
    TestPublisher publisher(corvel_test::unique_lmu_names());

    EXPECT_TRUE(open_shared_memory(publisher.names()));
}

TEST(OpenSharedMemory, IsUnavailableWithoutTheDataEvent) {
    TestPublisher publisher(corvel_test::unique_lmu_names(), {.with_data_event = false});

    EXPECT_FALSE(open_shared_memory(publisher.names()));
}

TEST(OpenSharedMemory, IsUnavailableWhenTheMappingIsSmallerThanABlock) {
    // A page smaller, since Windows maps whole pages.
    TestPublisher publisher(corvel_test::unique_lmu_names(),
                            {.data_size = sim_bridge::lmu::kBlockSize - 4096});

    EXPECT_FALSE(open_shared_memory(publisher.names()));
}

TEST(OpenSharedMemory, LockBlockItCreatesStartsFree) {
    TestPublisher publisher(corvel_test::unique_lmu_names(), {.with_lock_objects = false});

    auto memory = open_shared_memory(publisher.names());

    ASSERT_TRUE(memory);
    EXPECT_EQ(memory->lock().waiters().load(), 0);
    EXPECT_EQ(memory->lock().busy().load(), 0);
}

TEST(OpenSharedMemory, ExistingLockBlockKeepsItsWords) {
    TestPublisher publisher(corvel_test::unique_lmu_names());
    publisher.waiters().store(2);
    publisher.busy().store(1);

    auto memory = open_shared_memory(publisher.names());

    ASSERT_TRUE(memory);
    EXPECT_EQ(memory->lock().waiters().load(), 2);
    EXPECT_EQ(memory->lock().busy().load(), 1);
}

class LockProtocol : public ::testing::Test {
  protected:
    [[nodiscard]] auto copy(const LmuLockTimings& timings = kQuickGiveUp) {
        return acquire_and_copy(memory_, timings, evidence_);
    }

    TestPublisher publisher_{corvel_test::unique_lmu_names()};
    sim_bridge::lmu::LmuSharedMemory memory_ = open_shared_memory(publisher_.names()).value();
    corvel_test::ManualClock clock_;
    sim_bridge::lmu::DeadHolderEvidence evidence_{1000ms, clock_.function()};
};

TEST_F(LockProtocol, CopiesTheBlockAndLeavesTheLockFree) {
    publisher_.write(42);

    auto taken = copy();

    ASSERT_TRUE(taken);
    EXPECT_EQ(corvel_test::update_word_of(taken->view()), 42u);
    EXPECT_EQ(publisher_.busy().load(), 0);
    EXPECT_EQ(publisher_.waiters().load(), 0);
}

TEST_F(LockProtocol, CopyStaysAsTakenWhenTheSimulatorWritesAgain) {
    publisher_.write(1);
    auto taken = copy();
    ASSERT_TRUE(taken);

    publisher_.publish(2);

    EXPECT_EQ(corvel_test::update_word_of(taken->view()), 1u);
}

TEST_F(LockProtocol, LockHeldThroughSpinAndOneWaitTimesOutAndIsLeftHeld) {
    publisher_.busy().store(1);
    publisher_.waiters().store(3);

    auto taken = copy();

    ASSERT_FALSE(taken);
    EXPECT_EQ(taken.error(), LockFailure::TimedOut);
    EXPECT_EQ(sim_bridge::lmu::describe(taken.error()), "timed out acquiring LMU shared-memory lock");
    EXPECT_EQ(publisher_.waiters().load(), 3);
    EXPECT_EQ(publisher_.busy().load(), 1);  // one timeout is no proof that its holder died
    EXPECT_EQ(evidence_.clears(), 0u);
}

TEST_F(LockProtocol, LockFoundHeldThroughTimeoutsForUnderASecondIsLeftHeld) {
    publisher_.busy().store(1);
    publisher_.waiters().store(2);

    for (int attempt = 0; attempt < 4; ++attempt) {
        ASSERT_FALSE(copy());
        EXPECT_EQ(publisher_.waiters().load(), 2) << "attempt " << attempt;
        clock_.advance(333ms);
    }

    EXPECT_EQ(publisher_.busy().load(), 1);
    EXPECT_EQ(evidence_.clears(), 0u);
}

TEST_F(LockProtocol, LockFoundHeldThroughASecondOfTimeoutsIsClearedOnceForTheNextAcquisition) {
    publisher_.busy().store(1);
    publisher_.waiters().store(2);  // other parties asleep on the lock
    ASSERT_FALSE(copy());
    clock_.advance(1000ms);

    // The clearing attempt still fails: it never held the lock.
    auto clearing = copy();

    ASSERT_FALSE(clearing);
    EXPECT_EQ(clearing.error(), LockFailure::TimedOut);
    EXPECT_EQ(publisher_.busy().load(), 0);
    EXPECT_EQ(publisher_.waiters().load(), 2);
    EXPECT_EQ(evidence_.clears(), 1u);
    // Cleared as a release: one sleeping party is woken to take it.
    EXPECT_EQ(publisher_.lock_event().wait(0ms), WaitResult::Signalled);
    EXPECT_TRUE(copy());
    EXPECT_EQ(evidence_.clears(), 1u);
}

TEST_F(LockProtocol, AnAcquisitionBetweenTimeoutsKeepsALaterHoldFromBeingCleared) {
    publisher_.busy().store(1);
    ASSERT_FALSE(copy());
    clock_.advance(800ms);
    publisher_.busy().store(0);  // the holder lets go
    ASSERT_TRUE(copy());
    publisher_.busy().store(1);  // and takes it again
    clock_.advance(300ms);

    ASSERT_FALSE(copy());
    clock_.advance(300ms);
    ASSERT_FALSE(copy());

    EXPECT_EQ(publisher_.busy().load(), 1);
    EXPECT_EQ(evidence_.clears(), 0u);
}

TEST_F(LockProtocol, HolderLettingGoJustBeforeTheClearKeepsItsReleaseAndTheCopyIsTaken) {
    publisher_.write(7);
    publisher_.busy().store(1);
    // The clock is read once per timeout; on the second, the holder lets go just then.
    int reads = 0;
    sim_bridge::lmu::DeadHolderEvidence evidence(1000ms, [&] {
        if (++reads == 2) publisher_.busy().store(0);
        return std::chrono::steady_clock::time_point(reads * 1000ms);
    });
    ASSERT_FALSE(acquire_and_copy(memory_, kQuickGiveUp, evidence));

    auto taken = acquire_and_copy(memory_, kQuickGiveUp, evidence);

    ASSERT_TRUE(taken);
    EXPECT_EQ(corvel_test::update_word_of(taken->view()), 7u);
    EXPECT_EQ(evidence.clears(), 0u);
    EXPECT_EQ(publisher_.busy().load(), 0);
    EXPECT_EQ(publisher_.waiters().load(), 0);
}

TEST_F(LockProtocol, ReleaseWithoutWaitersDoesNotSignal) {
    ASSERT_TRUE(copy());

    EXPECT_EQ(publisher_.lock_event().wait(0ms), WaitResult::TimedOut);
}

TEST_F(LockProtocol, ReleaseWithWaitersSignalsOnce) {
    publisher_.waiters().store(1);  // another party asleep on the lock

    ASSERT_TRUE(copy());

    EXPECT_EQ(publisher_.lock_event().wait(0ms), WaitResult::Signalled);
    EXPECT_EQ(publisher_.lock_event().wait(0ms), WaitResult::TimedOut);
}

TEST_F(LockProtocol, SleepingReaderTakesTheLockWhenTheHolderReleasesIt) {
    publisher_.busy().store(1);
    std::optional<bool> copied;
    std::thread reader([&] {
        // No spin, and a wait far longer than the test: only the release's signal ends it.
        copied = copy({.spin_tries = 0, .wait = 60s}).has_value();
    });
    while (publisher_.waiters().load() == 0) std::this_thread::yield();

    sim_bridge::lmu::release_lock(memory_.lock());
    reader.join();

    EXPECT_EQ(copied, true);
    EXPECT_EQ(publisher_.waiters().load(), 0);
    EXPECT_EQ(publisher_.busy().load(), 0);
}

TEST_F(LockProtocol, ConcurrentReadersNeverCopyATornBlock) {
    // The publisher writes each word pair under the lock; a copy must never mix two writes.
    std::atomic<bool> done{false};
    std::thread simulator([&] {
        for (std::uint32_t word = 1; word <= 500; ++word) publisher_.publish(word);
        done.store(true);
    });
    auto second_memory = open_shared_memory(publisher_.names()).value();
    std::thread other_reader([&] {
        sim_bridge::lmu::DeadHolderEvidence its_own(1000ms, [] { return std::chrono::steady_clock::now(); });
        while (!done.load()) (void)acquire_and_copy(second_memory, {}, its_own);
    });
    int torn = 0;
    while (!done.load()) {
        auto taken = copy({});
        if (!taken) continue;
        std::uint32_t scoring = 0;
        std::memcpy(&scoring, taken->view().data() + sim_bridge::lmu::header::kScoringEventWord, 4);
        if (scoring != corvel_test::update_word_of(taken->view())) ++torn;
    }
    simulator.join();
    other_reader.join();

    EXPECT_EQ(torn, 0);
}

}  // namespace
