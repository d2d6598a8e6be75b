// The contract of the named-object layer, on the host's real OS objects: what the adapter and
// the stand-in simulator rely on, whichever way each side opened the object.
#include "sim_bridge/platform/named_objects.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "test_publisher.hpp"

namespace {

using namespace std::chrono_literals;
using sim_bridge::platform::NamedEvent;
using sim_bridge::platform::SharedMapping;
using sim_bridge::platform::WaitResult;

// A fresh name that is removed again when the test ends.
class ScopedName {
  public:
    ScopedName() : name_(corvel_test::unique_lmu_names().data) {}
    ~ScopedName() { (void)sim_bridge::platform::unlink_shared_object(name_); }
    ScopedName(const ScopedName&) = delete;
    ScopedName& operator=(const ScopedName&) = delete;
    [[nodiscard]] const std::string& get() const { return name_; }

  private:
    std::string name_;
};

// ---- Events: the same contract for a waiter that created the event and one that opened it ----

// The signalling side always creates (or opens) the event; the flavour says how the waiter got it.
struct WaiterCreatesToo {
    static NamedEvent waiter(const std::string& name) { return NamedEvent::create_or_open(name).value(); }
};
struct WaiterOpensExisting {
    static NamedEvent waiter(const std::string& name) { return NamedEvent::open_for_waiting(name).value(); }
};

template <class Flavour>
class NamedEventContract : public ::testing::Test {
  protected:
    ScopedName name_;
    NamedEvent signaller_ = NamedEvent::create_or_open(name_.get()).value();
    NamedEvent waiter_ = Flavour::waiter(name_.get());
};

using EventFlavours = ::testing::Types<WaiterCreatesToo, WaiterOpensExisting>;
TYPED_TEST_SUITE(NamedEventContract, EventFlavours);

TYPED_TEST(NamedEventContract, WaitTimesOutWhileNotSignalled) {
    EXPECT_EQ(this->waiter_.wait(0ms), WaitResult::TimedOut);
    EXPECT_EQ(this->waiter_.wait(5ms), WaitResult::TimedOut);
}

TYPED_TEST(NamedEventContract, SignalBeforeTheWaitIsKeptForIt) {
    ASSERT_TRUE(this->signaller_.signal());

    EXPECT_EQ(this->waiter_.wait(0ms), WaitResult::Signalled);
}

TYPED_TEST(NamedEventContract, WaitConsumesTheSignal) {
    ASSERT_TRUE(this->signaller_.signal());
    ASSERT_EQ(this->waiter_.wait(0ms), WaitResult::Signalled);

    EXPECT_EQ(this->waiter_.wait(0ms), WaitResult::TimedOut);
}

TYPED_TEST(NamedEventContract, SignalsDoNotAccumulate) {
    ASSERT_TRUE(this->signaller_.signal());
    ASSERT_TRUE(this->signaller_.signal());

    EXPECT_EQ(this->waiter_.wait(0ms), WaitResult::Signalled);
    EXPECT_EQ(this->waiter_.wait(0ms), WaitResult::TimedOut);
}

TYPED_TEST(NamedEventContract, SignalWakesAWaiterOnAnotherThread) {
    WaitResult result = WaitResult::Failed;
    std::atomic<bool> waiting{false};
    std::thread waiter([&] {
        waiting.store(true);
        // Long enough never to time out; the signal ends it.
        result = this->waiter_.wait(60s);
    });
    while (!waiting.load()) std::this_thread::yield();

    ASSERT_TRUE(this->signaller_.signal());
    waiter.join();

    EXPECT_EQ(result, WaitResult::Signalled);
}

TYPED_TEST(NamedEventContract, ClosedEventFailsToWait) {
    this->waiter_.close();

    EXPECT_FALSE(this->waiter_.is_open());
    EXPECT_EQ(this->waiter_.wait(0ms), WaitResult::Failed);
}

TEST(NamedEvent, OpenForWaitingFailsWhenNobodyCreatedIt) {
    ScopedName name;

    EXPECT_FALSE(NamedEvent::open_for_waiting(name.get()).has_value());
}

TEST(NamedEvent, MovedEventKeepsTheObject) {
    ScopedName name;
    auto signaller = NamedEvent::create_or_open(name.get()).value();
    auto original = NamedEvent::create_or_open(name.get()).value();

    NamedEvent moved = std::move(original);
    ASSERT_TRUE(signaller.signal());

    EXPECT_FALSE(
        original.is_open());  // NOLINT(bugprone-use-after-move): moved-from state is part of the contract
    EXPECT_EQ(moved.wait(0ms), WaitResult::Signalled);
}

// ---- Mappings ----

TEST(SharedMapping, OpenReadOnlyFailsWhenNobodyCreatedIt) {
    ScopedName name;

    EXPECT_FALSE(SharedMapping::open_read_only(name.get()).has_value());
}

TEST(SharedMapping, CreateOrOpenTellsWhetherTheObjectExisted) {
    ScopedName name;

    auto first = SharedMapping::create_or_open(name.get(), 8);
    auto second = SharedMapping::create_or_open(name.get(), 8);

    ASSERT_TRUE(first && second);
    EXPECT_FALSE(first->already_existed);
    EXPECT_TRUE(second->already_existed);
}

TEST(SharedMapping, NewObjectIsZeroFilled) {
    ScopedName name;

    auto created = SharedMapping::create_or_open(name.get(), 8);

    ASSERT_TRUE(created);
    ASSERT_EQ(created->mapping.size(), 8u);
    for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(created->mapping.data()[i], std::byte{0});
}

TEST(SharedMapping, BothViewsShareTheBytes) {
    ScopedName name;
    auto writer = SharedMapping::create_or_open(name.get(), 8);
    auto other = SharedMapping::create_or_open(name.get(), 8);
    ASSERT_TRUE(writer && other);

    writer->mapping.writable_data()[5] = std::byte{0x5A};

    EXPECT_EQ(other->mapping.data()[5], std::byte{0x5A});
}

TEST(SharedMapping, ReadOnlyViewCoversTheWholeObject) {
    ScopedName name;
    constexpr std::size_t kSize = 3 * 4096 + 100;
    auto writer = SharedMapping::create_or_open(name.get(), kSize);
    ASSERT_TRUE(writer);
    writer->mapping.writable_data()[kSize - 1] = std::byte{0x7E};

    auto reader = SharedMapping::open_read_only(name.get());

    ASSERT_TRUE(reader);
    ASSERT_GE(reader->size(), kSize);
    EXPECT_EQ(reader->data()[kSize - 1], std::byte{0x7E});
}

TEST(SharedMapping, UnmapAndMoveLeaveAnEmptyMapping) {
    ScopedName name;
    auto created = SharedMapping::create_or_open(name.get(), 8);
    ASSERT_TRUE(created);

    SharedMapping moved = std::move(created->mapping);
    EXPECT_TRUE(moved.is_mapped());
    EXPECT_FALSE(created->mapping.is_mapped());  // NOLINT(bugprone-use-after-move)

    moved.unmap();
    EXPECT_FALSE(moved.is_mapped());
    EXPECT_EQ(moved.size(), 0u);
}

}  // namespace
