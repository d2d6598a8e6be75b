// The objects the stand-in publishes and LMU's lock protocol on its side, on real OS objects
// under names of their own.
#include "publisher.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <vector>

#include "shared_lock.hpp"
#include "sim_bridge/lmu/block_layout.hpp"
#include "test_names.hpp"

namespace corvel::lmu_sim {
namespace {

namespace platform = sim_bridge::platform;
using namespace std::chrono_literals;

std::vector<std::byte> block_of(std::byte fill) {
    return std::vector<std::byte>(sim_bridge::lmu::kBlockSize, fill);
}

class Objects : public ::testing::Test {
  protected:
    void TearDown() override {
        if (publisher_) publisher_->remove_objects();
    }
    Publisher& start(std::size_t map_size, std::byte fill) {
        auto started = Publisher::start(names_, map_size, block_of(fill));
        EXPECT_TRUE(started) << started.error();
        publisher_.emplace(std::move(*started));
        return *publisher_;
    }

    ObjectNames names_ = object_names(testing::unique_prefix("publisher"), "_t");
    std::optional<Publisher> publisher_;
};

TEST(ObjectNames, WrapLmusNamesInPrefixAndSuffix) {
    const auto plain = object_names("", "");
    EXPECT_EQ(plain.data, "LMU_Data");
    EXPECT_EQ(plain.data_event, "LMU_Data_Event");
    EXPECT_EQ(plain.lock_data, "LMU_SharedMemoryLockData");
    EXPECT_EQ(plain.lock_event, "LMU_SharedMemoryLockEvent");
    EXPECT_EQ(object_names("a_", "_b").lock_event, "a_LMU_SharedMemoryLockEvent_b");
}

TEST_F(Objects, ReadersFindTheFirstBlockAndASignalOnceStarted) {
    start(sim_bridge::lmu::kBlockSize, std::byte{0x5A});
    auto data = platform::SharedMapping::open_read_only(names_.data);
    ASSERT_TRUE(data);
    ASSERT_GE(data->size(), sim_bridge::lmu::kBlockSize);
    EXPECT_TRUE(std::all_of(data->data(), data->data() + sim_bridge::lmu::kBlockSize,
                            [](std::byte b) { return b == std::byte{0x5A}; }));
    auto event = platform::NamedEvent::open_for_waiting(names_.data_event);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->wait(0ms), platform::WaitResult::Signalled);
}

TEST_F(Objects, EachPublishReplacesTheBlockAndSignals) {
    auto& publisher = start(sim_bridge::lmu::kBlockSize, std::byte{1});
    auto data = platform::SharedMapping::open_read_only(names_.data);
    auto event = platform::NamedEvent::open_for_waiting(names_.data_event);
    ASSERT_TRUE(data && event);
    (void)event->wait(0ms);

    EXPECT_TRUE(publisher.publish(block_of(std::byte{2})));
    EXPECT_EQ(data->data()[0], std::byte{2});
    EXPECT_EQ(data->data()[sim_bridge::lmu::kBlockSize - 1], std::byte{2});
    EXPECT_EQ(event->wait(0ms), platform::WaitResult::Signalled);
}

TEST_F(Objects, ASmallerMappingHoldsTheStartOfTheBlock) {
    auto& publisher = start(4096, std::byte{3});
    EXPECT_EQ(publisher.map_size(), 4096u);
    EXPECT_TRUE(publisher.publish(block_of(std::byte{4})));
    auto data = platform::SharedMapping::open_read_only(names_.data);
    ASSERT_TRUE(data);
    EXPECT_LT(data->size(), sim_bridge::lmu::kBlockSize);
    EXPECT_EQ(data->data()[4095], std::byte{4});
}

TEST_F(Objects, LockIsFreeWithNoWaitersBetweenPublishes) {
    auto& publisher = start(sim_bridge::lmu::kBlockSize, std::byte{0});
    EXPECT_TRUE(publisher.publish(block_of(std::byte{1})));
    auto lock = platform::SharedMapping::create_or_open(names_.lock_data, kLockBlockSize);
    ASSERT_TRUE(lock);
    EXPECT_TRUE(lock->already_existed);
    const auto* words = lock->mapping.data();
    EXPECT_TRUE(std::all_of(words, words + kLockBlockSize, [](std::byte b) { return b == std::byte{0}; }));
}

TEST_F(Objects, HeldLockKeepsBusySetUntilReleased) {
    auto& publisher = start(sim_bridge::lmu::kBlockSize, std::byte{0});
    auto lock_block = platform::SharedMapping::create_or_open(names_.lock_data, kLockBlockSize);
    auto lock_event = platform::NamedEvent::create_or_open(names_.lock_event);
    ASSERT_TRUE(lock_block && lock_event);
    SharedLock reader(lock_block->mapping.writable_data(), *lock_event);

    publisher.hold_lock();
    EXPECT_EQ(reader.busy(), 1);
    EXPECT_FALSE(reader.try_acquire());
    publisher.release_held_lock();
    EXPECT_EQ(reader.busy(), 0);
    EXPECT_TRUE(reader.try_acquire());
    reader.release();
}

class Lock : public ::testing::Test {
  protected:
    void SetUp() override {
        auto created = platform::NamedEvent::create_or_open(event_name_);
        ASSERT_TRUE(created);
        event_ = std::move(*created);
    }
    void TearDown() override { (void)platform::unlink_shared_object(event_name_); }

    std::int32_t& waiters() { return *reinterpret_cast<std::int32_t*>(words_.data()); }
    std::int32_t& busy() { return *reinterpret_cast<std::int32_t*>(words_.data() + 4); }

    std::string event_name_ = testing::unique_prefix("lock") + "event";
    platform::NamedEvent event_;
    alignas(8) std::array<std::byte, kLockBlockSize> words_{};
};

TEST_F(Lock, TakesAFreeLockAndReleasesItWithoutSignallingNobody) {
    SharedLock lock(words_.data(), event_);
    EXPECT_EQ(lock.acquire(0ms), LockTaken::Cleanly);
    EXPECT_EQ(busy(), 1);
    lock.release();
    EXPECT_EQ(busy(), 0);
    EXPECT_EQ(event_.wait(0ms), platform::WaitResult::TimedOut);
}

TEST_F(Lock, ReleaseWakesAWaiter) {
    SharedLock lock(words_.data(), event_);
    ASSERT_EQ(lock.acquire(0ms), LockTaken::Cleanly);
    waiters() = 1;
    lock.release();
    EXPECT_EQ(event_.wait(0ms), platform::WaitResult::Signalled);
}

TEST_F(Lock, TakesOverALockHeldPastItsPatienceAndLeavesWaitersAsFound) {
    busy() = 1;
    waiters() = 2;
    SharedLock lock(words_.data(), event_);
    EXPECT_FALSE(lock.try_acquire());
    EXPECT_EQ(lock.acquire(0ms), LockTaken::FromStaleHolder);
    EXPECT_EQ(busy(), 1);
    EXPECT_EQ(waiters(), 2);
}

}  // namespace
}  // namespace corvel::lmu_sim
