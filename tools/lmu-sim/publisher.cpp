// Creation order matters to readers: they open the data mapping, then the data event, then the
// lock pair. Creating the data event last means no reader opens a mapping whose first block
// is not written yet.
#include "publisher.hpp"

#include <algorithm>
#include <cstring>

#include "shared_lock.hpp"

namespace corvel::lmu_sim {
namespace {

std::string failure(std::string_view what, const std::string& name, const std::error_code& error) {
    return std::string(what) + " \"" + name + "\": " + error.message() + " (os error " +
           std::to_string(error.value()) + ")";
}

}  // namespace

ObjectNames object_names(std::string_view prefix, std::string_view suffix) {
    auto named = [&](std::string_view base) {
        return std::string(prefix) + std::string(base) + std::string(suffix);
    };
    return {named("LMU_Data"), named("LMU_Data_Event"), named("LMU_SharedMemoryLockData"),
            named("LMU_SharedMemoryLockEvent")};
}

std::expected<Publisher, std::string> Publisher::start(const ObjectNames& names, std::size_t map_size,
                                                       std::span<const std::byte> first_block) {
    namespace platform = sim_bridge::platform;
    Publisher p;
    p.names_ = names;
    // Leftovers of a killed run, a stale lock word among them, must not outlive this start.
    p.remove_objects();

    auto lock = platform::SharedMapping::create_or_open(names.lock_data, kLockBlockSize);
    if (!lock) return std::unexpected(failure("cannot create", names.lock_data, lock.error()));
    p.lock_block_ = std::move(lock->mapping);
    if (!lock->already_existed) std::fill_n(p.lock_block_.writable_data(), kLockBlockSize, std::byte{0});

    auto lock_event = platform::NamedEvent::create_or_open(names.lock_event);
    if (!lock_event) return std::unexpected(failure("cannot create", names.lock_event, lock_event.error()));
    p.lock_event_ = std::move(*lock_event);

    auto data = platform::SharedMapping::create_replacing(names.data, map_size);
    if (!data) return std::unexpected(failure("cannot create", names.data, data.error()));
    p.data_ = std::move(*data);
    p.publish(first_block);

    auto data_event = platform::NamedEvent::create_or_open(names.data_event);
    if (!data_event) return std::unexpected(failure("cannot create", names.data_event, data_event.error()));
    p.data_event_ = std::move(*data_event);
    (void)p.data_event_.signal();
    return p;
}

bool Publisher::publish(std::span<const std::byte> block) {
    SharedLock lock(lock_block_.writable_data(), lock_event_);
    const bool clean = lock.acquire(kLockPatience) == LockTaken::Cleanly;
    std::memcpy(data_.writable_data(), block.data(), std::min(block.size(), data_.size()));
    lock.release();
    if (data_event_.is_open()) (void)data_event_.signal();
    return clean;
}

void Publisher::hold_lock() {
    SharedLock lock(lock_block_.writable_data(), lock_event_);
    (void)lock.acquire(kLockPatience);
}

void Publisher::release_held_lock() {
    SharedLock(lock_block_.writable_data(), lock_event_).release();
}

void Publisher::remove_objects() const {
    for (const auto* name : {&names_.data, &names_.data_event, &names_.lock_data, &names_.lock_event}) {
        (void)sim_bridge::platform::unlink_shared_object(*name);
    }
}

}  // namespace corvel::lmu_sim
