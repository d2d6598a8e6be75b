// Opening LMU's four named objects in the simulator's order, and releasing them.
#include "adapters/lmu/shared_memory.hpp"

#include "sim_bridge/lmu/block_layout.hpp"

namespace sim_bridge::lmu {
namespace {

constexpr std::size_t kLockBlockSize = 8;

}  // namespace

void LmuLock::release() noexcept {
    block_.unmap();
    event_.close();
    block_.close();
}

LmuSharedMemory& LmuSharedMemory::operator=(LmuSharedMemory&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::move(other.data_);
        data_event_ = std::move(other.data_event_);
        lock_ = std::move(other.lock_);
    }
    return *this;
}

void LmuSharedMemory::release() noexcept {
    data_.unmap();
    data_event_.close();
    data_.close();
    lock_.release();
}

// Each step's object is an RAII value, so an early return releases what the earlier steps
// obtained, in reverse order of obtaining.
std::optional<LmuSharedMemory> open_shared_memory(const LmuObjectNames& names) {
    auto data = platform::SharedMapping::open_read_only(names.data);
    if (!data) return std::nullopt;
    // Every copy reads a whole block; a smaller mapping would be read past its end.
    if (data->size() < kBlockSize) return std::nullopt;

    auto data_event = platform::NamedEvent::open_for_waiting(names.data_event);
    if (!data_event) return std::nullopt;

    auto lock_block = platform::SharedMapping::create_or_open(names.lock_data, kLockBlockSize);
    if (!lock_block) return std::nullopt;

    auto lock_event = platform::NamedEvent::create_or_open(names.lock_event);
    if (!lock_event) return std::nullopt;

    LmuLock lock(std::move(lock_block->mapping), std::move(*lock_event));
    // A lock block that already existed belongs to a running protocol: leave its words alone.
    if (!lock_block->already_existed) {
        lock.waiters().store(0);
        lock.busy().store(0);
    }
    return LmuSharedMemory(std::move(*data), std::move(*data_event), std::move(lock));
}

}  // namespace sim_bridge::lmu
