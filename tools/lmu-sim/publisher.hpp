// The four named objects of LMU, owned by the stand-in: it creates them, writes the data block
// under LMU's lock protocol, signals each new block and removes the objects when it ends.
#pragma once

#include <chrono>
#include <cstddef>
#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "sim_bridge/platform/named_objects.hpp"

namespace corvel::lmu_sim {

struct ObjectNames {
    std::string data;
    std::string data_event;
    std::string lock_data;
    std::string lock_event;
};

// LMU's names with `prefix` before and `suffix` after each.
[[nodiscard]] ObjectNames object_names(std::string_view prefix, std::string_view suffix);

// How long a writer waits for a lock before it counts the holder as dead.
inline constexpr auto kLockPatience = std::chrono::milliseconds(1000);

class Publisher {
  public:
    // Replaces whatever an earlier run left under the names, creates the lock block and its
    // event, then the data mapping of `map_size` bytes holding the start of `first_block`,
    // and only then the data event, which readers need before they can open anything.
    [[nodiscard]] static std::expected<Publisher, std::string> start(const ObjectNames& names,
                                                                     std::size_t map_size,
                                                                     std::span<const std::byte> first_block);

    Publisher(Publisher&&) noexcept = default;
    Publisher& operator=(Publisher&&) noexcept = default;
    ~Publisher() = default;

    // Copies the block (as much as the mapping holds) under the lock and signals the data
    // event. False when the lock had to be taken from a party that held it too long.
    bool publish(std::span<const std::byte> block);

    // Takes the lock and keeps it until release_held_lock(), as a hung writer would.
    void hold_lock();
    void release_held_lock();

    // Unlinks the four names (Linux); views held by readers stay valid. Windows removes
    // objects with their last handle, which the destructor closes.
    void remove_objects() const;

    [[nodiscard]] std::size_t map_size() const { return data_.size(); }
    [[nodiscard]] const ObjectNames& names() const { return names_; }

  private:
    Publisher() = default;

    ObjectNames names_;
    sim_bridge::platform::SharedMapping lock_block_;
    sim_bridge::platform::NamedEvent lock_event_;
    sim_bridge::platform::SharedMapping data_;
    sim_bridge::platform::NamedEvent data_event_;
};

}  // namespace corvel::lmu_sim
