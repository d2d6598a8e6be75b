// The snapshot cache: newest block by shared reference, and poisoning by a failed writer.
#include "adapters/lmu/snapshot_cache.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace {

using sim_bridge::SimBridgeError;
using sim_bridge::lmu::LmuDataBlock;
using sim_bridge::lmu::SnapshotCache;

LmuDataBlock block_with(std::uint8_t first_byte) {
    auto bytes = sim_bridge::lmu::allocate_block_bytes();
    std::memset(bytes->data(), first_byte, bytes->size());
    return LmuDataBlock(std::move(bytes));
}

std::uint8_t first_byte_of(const LmuDataBlock& block) {
    return std::to_integer<std::uint8_t>(block.view()[0]);
}

void poison(SnapshotCache& cache) {
    EXPECT_THROW((void)cache.write([](auto&) { throw std::runtime_error("writer failed"); }),
                 std::runtime_error);
}

TEST(SnapshotCache, EmptyCacheHasNotPublishedYet) {
    SnapshotCache cache;

    auto read = cache.read_cache();

    ASSERT_FALSE(read);
    EXPECT_EQ(read.error(),
              SimBridgeError(SimBridgeError::Kind::NotConnected, "LMU has not published telemetry yet"));
}

TEST(SnapshotCache, ReadGivesTheNewestBlock) {
    SnapshotCache cache;
    ASSERT_TRUE(cache.store(block_with(1)));
    ASSERT_TRUE(cache.store(block_with(2)));

    auto read = cache.read_cache();

    ASSERT_TRUE(read);
    EXPECT_EQ(first_byte_of(*read), 2);
}

TEST(SnapshotCache, ReaderKeepsItsBlockAfterItIsReplaced) {
    SnapshotCache cache;
    ASSERT_TRUE(cache.store(block_with(1)));
    auto held = cache.read_cache();
    ASSERT_TRUE(held);

    ASSERT_TRUE(cache.store(block_with(2)));

    EXPECT_EQ(first_byte_of(*held), 1);
}

TEST(SnapshotCache, ClearEmptiesIt) {
    SnapshotCache cache;
    ASSERT_TRUE(cache.store(block_with(1)));

    ASSERT_TRUE(cache.clear());

    EXPECT_FALSE(cache.read_cache());
    EXPECT_FALSE(cache.peek());
}

TEST(SnapshotCache, WriterThatThrowsPoisonsItForGood) {
    SnapshotCache cache;
    ASSERT_TRUE(cache.store(block_with(1)));

    poison(cache);

    auto read = cache.read_cache();
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error(),
              SimBridgeError(SimBridgeError::Kind::ParseError, "LMU snapshot cache is poisoned"));
    EXPECT_TRUE(cache.is_poisoned());
    EXPECT_FALSE(cache.peek());
}

TEST(SnapshotCache, PoisonedCacheRefusesWritesAndKeepsItsBlock) {
    SnapshotCache cache;
    ASSERT_TRUE(cache.store(block_with(1)));
    poison(cache);

    EXPECT_FALSE(cache.store(block_with(2)));
    EXPECT_FALSE(cache.clear());
    EXPECT_TRUE(cache.is_poisoned());
}

TEST(SnapshotCache, ExceptionInFlightBeforeTheWriteDoesNotPoison) {
    // A write made by a destructor during unwinding is not itself a failed write.
    SnapshotCache cache;
    struct WritesWhenDestroyed {
        SnapshotCache& cache;
        ~WritesWhenDestroyed() { (void)cache.store(block_with(3)); }
    };
    try {
        WritesWhenDestroyed writer{cache};
        throw std::runtime_error("unrelated");
    } catch (const std::runtime_error&) {
    }

    EXPECT_FALSE(cache.is_poisoned());
    EXPECT_TRUE(cache.read_cache());
}

TEST(SnapshotCache, ReadersAndAWriterShareItSafely) {
    SnapshotCache cache;
    ASSERT_TRUE(cache.store(block_with(0)));
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 1; i <= 200; ++i) EXPECT_TRUE(cache.store(block_with(static_cast<std::uint8_t>(i))));
        done.store(true);
    });
    int mismatched = 0;
    while (!done.load()) {
        auto read = cache.read_cache();
        ASSERT_TRUE(read);
        // Every byte of a block was written before it was published.
        if (read->view()[0] != read->view()[sim_bridge::lmu::kBlockSize - 1]) ++mismatched;
    }
    writer.join();

    EXPECT_EQ(mismatched, 0);
}

}  // namespace
