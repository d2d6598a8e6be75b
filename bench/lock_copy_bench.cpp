// What the capture worker costs per published block and how long it holds the simulator's
// lock: acquire_and_copy without contention, next to a plain memcpy of the same 324,820 bytes
// from the same mapping into a buffer allocated once. Their ratio is the price of the lock
// protocol and of a fresh block per copy.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "adapters/lmu/block_pool.hpp"
#include "adapters/lmu/lmu_lock.hpp"
#include "adapters/lmu/shared_memory.hpp"
#include "sim_bridge/platform/named_objects.hpp"

namespace corvel::bench {
namespace {

namespace lmu = sim_bridge::lmu;
namespace platform = sim_bridge::platform;

// The simulator's side: the four objects under names of their own, the data filled with a
// pattern (every page present), then opened the way the adapter opens them.
class PublishedObjects {
  public:
    PublishedObjects() {
        std::random_device random;
        const std::string prefix = "corvel-bench-" + std::to_string(random()) + "-";
        names_ = {prefix + "LMU_Data", prefix + "LMU_Data_Event", prefix + "LMU_SharedMemoryLockData",
                  prefix + "LMU_SharedMemoryLockEvent"};
        auto data = platform::SharedMapping::create_or_open(names_.data, lmu::kBlockSize);
        auto data_event = platform::NamedEvent::create_or_open(names_.data_event);
        auto lock_block = platform::SharedMapping::create_or_open(names_.lock_data, 8);
        auto lock_event = platform::NamedEvent::create_or_open(names_.lock_event);
        if (!data || !data_event || !lock_block || !lock_event) return;
        data_ = std::move(data->mapping);
        data_event_ = std::move(*data_event);
        lock_block_ = std::move(lock_block->mapping);
        lock_event_ = std::move(*lock_event);
        for (std::size_t i = 0; i < lmu::kBlockSize; ++i) {
            data_.writable_data()[i] = static_cast<std::byte>((i * 131u) >> 3);
        }
        memory_ = lmu::open_shared_memory(names_);
    }
    ~PublishedObjects() {
        memory_.reset();
        for (const auto* name : {&names_.data, &names_.data_event, &names_.lock_data, &names_.lock_event}) {
            (void)platform::unlink_shared_object(*name);
        }
    }
    PublishedObjects(const PublishedObjects&) = delete;
    PublishedObjects& operator=(const PublishedObjects&) = delete;

    // The adapter's opening, or nothing when the objects could not be made.
    [[nodiscard]] const std::optional<lmu::LmuSharedMemory>& memory() const { return memory_; }

  private:
    sim_bridge::LmuObjectNames names_;
    platform::SharedMapping data_;
    platform::NamedEvent data_event_;
    platform::SharedMapping lock_block_;
    platform::NamedEvent lock_event_;
    std::optional<lmu::LmuSharedMemory> memory_;
};

// Uncontended, so no run of timeouts ever starts; reported so that a clear would show.
lmu::DeadHolderEvidence& lock_evidence() {
    static lmu::DeadHolderEvidence evidence(sim_bridge::LmuLockTimings{}.dead_holder_after,
                                            [] { return std::chrono::steady_clock::now(); });
    return evidence;
}

const PublishedObjects& published() {
    static const PublishedObjects objects;
    return objects;
}

void BM_MemcpyFromMapping(benchmark::State& state) {
    const auto& memory = published().memory();
    if (!memory) {
        state.SkipWithError("could not create the shared-memory objects");
        return;
    }
    std::vector<std::byte> buffer(lmu::kBlockSize);  // allocated and touched once
    for (auto _ : state) {
        std::memcpy(buffer.data(), memory->data().data(), lmu::kBlockSize);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(lmu::kBlockSize));
}
BENCHMARK(BM_MemcpyFromMapping)->Unit(benchmark::kMicrosecond);

// As the capture worker runs it: each new block replaces the cached one, so two blocks are
// alive at the moment of each copy and the older one is freed after it.
void BM_AcquireAndCopy(benchmark::State& state) {
    const auto& memory = published().memory();
    if (!memory) {
        state.SkipWithError("could not create the shared-memory objects");
        return;
    }
    std::optional<lmu::LmuDataBlock> cached;
    for (auto _ : state) {
        auto copy = lmu::acquire_and_copy(*memory, sim_bridge::LmuLockTimings{}, lock_evidence());
        if (!copy) {
            state.SkipWithError("the lock timed out");
            break;
        }
        cached = std::move(*copy);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(lmu::kBlockSize));
    state.counters["lock_clears"] = static_cast<double>(lock_evidence().clears());
}
BENCHMARK(BM_AcquireAndCopy)->Unit(benchmark::kMicrosecond);

// Only what happens while the lock is held, into a buffer allocated once: the lock's own
// share of acquire_and_copy.
void BM_LockedMemcpy(benchmark::State& state) {
    const auto& memory = published().memory();
    if (!memory) {
        state.SkipWithError("could not create the shared-memory objects");
        return;
    }
    std::vector<std::byte> buffer(lmu::kBlockSize);
    for (auto _ : state) {
        if (!lmu::acquire_lock(memory->lock(), sim_bridge::LmuLockTimings{}, lock_evidence())) {
            state.SkipWithError("the lock timed out");
            break;
        }
        std::memcpy(buffer.data(), memory->data().data(), lmu::kBlockSize);
        lmu::release_lock(memory->lock());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(lmu::kBlockSize));
}
BENCHMARK(BM_LockedMemcpy)->Unit(benchmark::kMicrosecond);

// Where a copy's 324,820 bytes come from, as the worker uses them: take a buffer, fill it from
// the mapping, keep it while the next one is taken, then let it go. From the heap each time
// (what a fresh allocation per block costs on this platform's allocator) or from the pool.
template <class Allocate>
void copy_into_new_buffers(benchmark::State& state, Allocate allocate) {
    const auto& memory = published().memory();
    if (!memory) {
        state.SkipWithError("could not create the shared-memory objects");
        return;
    }
    std::shared_ptr<lmu::BlockBytes> cached;
    for (auto _ : state) {
        auto bytes = allocate();
        std::memcpy(bytes->data(), memory->data().data(), lmu::kBlockSize);
        cached = std::move(bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(lmu::kBlockSize));
}

void BM_CopyIntoHeapBlock(benchmark::State& state) {
    copy_into_new_buffers(state, [] { return std::make_shared_for_overwrite<lmu::BlockBytes>(); });
}
BENCHMARK(BM_CopyIntoHeapBlock)->Unit(benchmark::kMicrosecond);

void BM_CopyIntoPooledBlock(benchmark::State& state) {
    const auto pool = lmu::BlockPool::create();
    copy_into_new_buffers(state, [&pool] { return pool->acquire(); });
}
BENCHMARK(BM_CopyIntoPooledBlock)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace corvel::bench

BENCHMARK_MAIN();
