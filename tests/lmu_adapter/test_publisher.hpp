// The simulator's side of LMU's shared memory, in the test process: creates the four named
// objects under names unique to this process and test, writes blocks under the simulator's
// lock protocol and signals them. Removes its objects when it goes (Linux keeps them otherwise).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sim_bridge/lmu/block_layout.hpp"
#include "sim_bridge/lmu_adapter_options.hpp"
#include "sim_bridge/platform/named_objects.hpp"

namespace corvel_test {

// Names no other test process uses: the pid and a per-process counter.
[[nodiscard]] sim_bridge::LmuObjectNames unique_lmu_names();

// Unlinks the four names when it goes, whoever created the objects.
class NameCleanup {
  public:
    explicit NameCleanup(sim_bridge::LmuObjectNames names) : names_(std::move(names)) {}
    NameCleanup(const NameCleanup&) = delete;
    NameCleanup& operator=(const NameCleanup&) = delete;
    ~NameCleanup();

  private:
    sim_bridge::LmuObjectNames names_;
};

struct PublisherSetup {
    std::size_t data_size = sim_bridge::lmu::kBlockSize;
    bool with_data_event = true;
    bool with_lock_objects = true;  // false: the reader creates the lock block and event
};

class TestPublisher {
  public:
    explicit TestPublisher(sim_bridge::LmuObjectNames names, PublisherSetup setup = {});
    TestPublisher(const TestPublisher&) = delete;
    TestPublisher& operator=(const TestPublisher&) = delete;

    [[nodiscard]] const sim_bridge::LmuObjectNames& names() const { return names_; }

    // Writes the two update words and a track name into the block under the lock, then
    // signals the new-data event.
    void publish(std::uint32_t update_word, std::string_view track_name = "Test Track");
    // Writes the block, by hand, while nobody holds the lock (the first block before connect).
    void write(std::uint32_t update_word, std::string_view track_name = "Test Track");
    // Marks scoring entry 0 as the player's car with `slot_id` (or clears the mark).
    void set_player_entry(std::optional<std::uint32_t> slot_id);

    // The lock block's words, as the simulator sees them.
    [[nodiscard]] std::atomic_ref<std::int32_t> waiters() const;
    [[nodiscard]] std::atomic_ref<std::int32_t> busy() const;
    [[nodiscard]] const sim_bridge::platform::NamedEvent& lock_event() const { return lock_event_; }
    [[nodiscard]] const sim_bridge::platform::NamedEvent& data_event() const { return data_event_; }
    // The raw views, for parties of a test that write the block or hold the lock themselves.
    [[nodiscard]] std::byte* data_bytes() const { return data_.writable_data(); }
    [[nodiscard]] std::byte* lock_words() const { return lock_block_.writable_data(); }

  private:
    sim_bridge::LmuObjectNames names_;
    NameCleanup cleanup_;
    sim_bridge::platform::SharedMapping data_;
    sim_bridge::platform::NamedEvent data_event_;
    sim_bridge::platform::SharedMapping lock_block_;
    sim_bridge::platform::NamedEvent lock_event_;
};

// The block's telemetry update word (offset 0x2C) as the adapter copied it.
[[nodiscard]] std::uint32_t update_word_of(sim_bridge::lmu::BlockView block);

}  // namespace corvel_test
