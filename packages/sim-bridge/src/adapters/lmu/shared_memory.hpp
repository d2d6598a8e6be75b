// The six handles of one opening of LMU's named objects: the data mapping, its new-data event,
// the 8-byte lock block and the lock event. Owned by one party at a time: the connect attempt
// that opened them, then the capture worker.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "sim_bridge/lmu_adapter_options.hpp"
#include "sim_bridge/platform/named_objects.hpp"

namespace sim_bridge::lmu {

// The simulator's lock: the lock block's two 32-bit words and the event its waiters sleep on.
class LmuLock {
  public:
    LmuLock(platform::SharedMapping block, platform::NamedEvent event)
        : block_(std::move(block)), event_(std::move(event)) {}

    // Parties sleeping (or about to sleep) on the event; offset 0.
    [[nodiscard]] std::atomic_ref<std::int32_t> waiters() const { return word(0); }
    // 0 free, 1 held; offset 4.
    [[nodiscard]] std::atomic_ref<std::int32_t> busy() const { return word(4); }
    [[nodiscard]] const platform::NamedEvent& event() const { return event_; }

    // Unmaps the block, then closes the event, then the mapping.
    void release() noexcept;

  private:
    [[nodiscard]] std::atomic_ref<std::int32_t> word(std::size_t offset) const {
        // The view is page-aligned, so both words are naturally aligned.
        return std::atomic_ref<std::int32_t>(
            *reinterpret_cast<std::int32_t*>(block_.writable_data() + offset));
    }

    platform::SharedMapping block_;
    platform::NamedEvent event_;
};

class LmuSharedMemory {
  public:
    LmuSharedMemory(platform::SharedMapping data, platform::NamedEvent data_event, LmuLock lock)
        : data_(std::move(data)), data_event_(std::move(data_event)), lock_(std::move(lock)) {}
    LmuSharedMemory(const LmuSharedMemory&) = delete;
    LmuSharedMemory& operator=(const LmuSharedMemory&) = delete;
    LmuSharedMemory(LmuSharedMemory&&) noexcept = default;
    LmuSharedMemory& operator=(LmuSharedMemory&& other) noexcept;
    // The data group first, then the lock group.
    ~LmuSharedMemory() { release(); }

    // The read-only view of LMU_Data; at least kBlockSize bytes.
    [[nodiscard]] const platform::SharedMapping& data() const { return data_; }
    [[nodiscard]] const platform::NamedEvent& data_event() const { return data_event_; }
    [[nodiscard]] const LmuLock& lock() const { return lock_; }

  private:
    void release() noexcept;

    platform::SharedMapping data_;
    platform::NamedEvent data_event_;
    LmuLock lock_;
};

// One attempt to open the four objects. Nothing stays open when it fails, and the cause is not
// reported: the caller only retries. A data mapping smaller than one block counts as absent.
[[nodiscard]] std::optional<LmuSharedMemory> open_shared_memory(const LmuObjectNames& names);

}  // namespace sim_bridge::lmu
