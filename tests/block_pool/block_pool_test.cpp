// The block pool: released buffers come back for the next copy, a buffer still referenced is
// never handed out again, idle buffers are bounded, and buffers cross threads safely.
#include "adapters/lmu/block_pool.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "adapters/lmu/lmu_data_block.hpp"

namespace sim_bridge::lmu {
namespace {

TEST(BlockPool, HandsBackAReleasedBufferForTheNextCopy) {
    const auto pool = BlockPool::create();
    auto first = pool->acquire();
    const BlockBytes* address = first.get();
    first.reset();
    EXPECT_EQ(pool->idle_count(), 1u);

    const auto second = pool->acquire();
    EXPECT_EQ(second.get(), address);
    EXPECT_EQ(pool->idle_count(), 0u);
}

TEST(BlockPool, NeverHandsOutABufferThatIsStillReferenced) {
    const auto pool = BlockPool::create();
    auto published = pool->acquire();
    published->front() = std::byte{0x5A};
    // A reader's reference keeps the published copy alive after the cache let go of it.
    const LmuDataBlock reader_copy(published);
    published.reset();
    EXPECT_EQ(pool->idle_count(), 0u);

    const auto next = pool->acquire();
    EXPECT_NE(static_cast<const void*>(next->data()), static_cast<const void*>(reader_copy.view().data()));
    next->front() = std::byte{0x00};
    EXPECT_EQ(reader_copy.view()[0], std::byte{0x5A});
}

TEST(BlockPool, KeepsNoMoreIdleBuffersThanItsCapacity) {
    const auto pool = BlockPool::create(2);
    std::vector<std::shared_ptr<BlockBytes>> live;
    for (int i = 0; i < 5; ++i) live.push_back(pool->acquire());
    live.clear();
    EXPECT_EQ(pool->idle_count(), 2u);
}

TEST(BlockPool, TakesBackABufferReleasedAfterItsOwnerLetGoOfThePool) {
    auto pool = BlockPool::create();
    const std::weak_ptr<BlockPool> watch = pool;
    auto block = pool->acquire();
    pool.reset();
    EXPECT_FALSE(watch.expired());  // the buffer's deleter keeps it
    block.reset();
    EXPECT_TRUE(watch.expired());
}

TEST(BlockPool, AllocateBlockBytesRecyclesThroughTheProcessPool) {
    auto first = allocate_block_bytes();
    const BlockBytes* address = first.get();
    first.reset();
    EXPECT_EQ(allocate_block_bytes().get(), address);
}

// The capture worker's pattern across threads: one thread fills buffers and publishes them
// through a locked slot, readers take references and let go wherever they are. A buffer that
// came back while someone still read it would show another writer's mark.
TEST(BlockPool, RecyclesBuffersAcrossThreadsWithoutSharingALiveOne) {
    const auto pool = BlockPool::create(3);
    std::mutex slot_mutex;
    std::shared_ptr<const BlockBytes> slot;
    std::atomic<bool> done{false};
    std::atomic<int> damaged{0};
    std::atomic<int> started{0};

    std::vector<std::thread> readers;
    for (int r = 0; r < 2; ++r) {
        readers.emplace_back([&] {
            started.fetch_add(1);
            while (!done.load()) {
                std::shared_ptr<const BlockBytes> block;
                {
                    std::lock_guard lock(slot_mutex);
                    block = slot;
                }
                if (block && (*block)[0] != (*block)[kBlockSize - 1]) damaged.fetch_add(1);
            }
        });
    }
    while (started.load() < 2) std::this_thread::yield();
    std::set<const BlockBytes*> addresses;
    for (int i = 0; i < 2000; ++i) {
        auto bytes = pool->acquire();
        addresses.insert(bytes.get());
        const auto mark = static_cast<std::byte>(i % 251);
        (*bytes)[0] = mark;
        (*bytes)[kBlockSize - 1] = mark;
        std::shared_ptr<const BlockBytes> replaced;
        {
            std::lock_guard lock(slot_mutex);
            replaced = std::exchange(slot, std::move(bytes));
        }
    }
    done.store(true);
    for (auto& reader : readers) reader.join();

    EXPECT_EQ(damaged.load(), 0);
    // Recycled, not 2000 fresh buffers; the heap may reuse addresses too, so only a bound.
    EXPECT_LE(pool->idle_count(), 3u);
    EXPECT_LT(addresses.size(), 2000u);
}

}  // namespace
}  // namespace sim_bridge::lmu
