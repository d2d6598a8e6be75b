// The in-process stand-in for LMU used by the adapter's tests.
#include "test_publisher.hpp"

#include <atomic>
#include <cstring>
#include <stdexcept>

#ifdef _WIN32
#include <process.h>
#define CORVEL_TEST_PID _getpid()
#else
#include <unistd.h>
#define CORVEL_TEST_PID getpid()
#endif

namespace corvel_test {
namespace {

using sim_bridge::platform::NamedEvent;
using sim_bridge::platform::SharedMapping;

template <class T>
T must(sim_bridge::platform::OsResult<T> result, const std::string& what) {
    if (!result) throw std::runtime_error(what + ": " + result.error().message());
    return std::move(*result);
}

std::atomic_ref<std::int32_t> lock_word(const SharedMapping& block, std::size_t offset) {
    return std::atomic_ref<std::int32_t>(*reinterpret_cast<std::int32_t*>(block.writable_data() + offset));
}

void put_u32(std::byte* block, std::size_t offset, std::uint32_t value) {
    std::memcpy(block + offset, &value, 4);
}

}  // namespace

sim_bridge::LmuObjectNames unique_lmu_names() {
    static std::atomic<unsigned> counter{0};
    const std::string prefix =
        "corvel-test-" + std::to_string(CORVEL_TEST_PID) + "-" + std::to_string(counter.fetch_add(1)) + "-";
    return {prefix + "LMU_Data", prefix + "LMU_Data_Event", prefix + "LMU_SharedMemoryLockData",
            prefix + "LMU_SharedMemoryLockEvent"};
}

NameCleanup::~NameCleanup() {
    for (const auto* name : {&names_.data, &names_.data_event, &names_.lock_data, &names_.lock_event}) {
        (void)sim_bridge::platform::unlink_shared_object(*name);
    }
}

TestPublisher::TestPublisher(sim_bridge::LmuObjectNames names, PublisherSetup setup)
    : names_(std::move(names)), cleanup_(names_) {
    data_ = must(SharedMapping::create_or_open(names_.data, setup.data_size), "data mapping").mapping;
    if (setup.with_data_event)
        data_event_ = must(NamedEvent::create_or_open(names_.data_event), "data event");
    if (setup.with_lock_objects) {
        lock_block_ = must(SharedMapping::create_or_open(names_.lock_data, 8), "lock block").mapping;
        lock_event_ = must(NamedEvent::create_or_open(names_.lock_event), "lock event");
    }
}

void TestPublisher::write(std::uint32_t update_word, std::string_view track_name) {
    using namespace sim_bridge::lmu;
    std::byte* block = data_.writable_data();
    put_u32(block, header::kScoringEventWord, update_word);
    put_u32(block, header::kTelemetryEventWord, update_word);
    std::memset(block + header::kTrackName, 0, header::kTrackNameSize);
    std::memcpy(block + header::kTrackName, track_name.data(),
                std::min(track_name.size(), header::kTrackNameSize - 1));
}

void TestPublisher::publish(std::uint32_t update_word, std::string_view track_name) {
    // The simulator's side of the lock: spin until free (test readers hold it only briefly).
    for (;;) {
        std::int32_t expected = 0;
        if (busy().compare_exchange_strong(expected, 1)) break;
    }
    write(update_word, track_name);
    busy().store(0);
    if (waiters().load() > 0) (void)lock_event_.signal();
    (void)data_event_.signal();
}

void TestPublisher::set_player_entry(std::optional<std::uint32_t> slot_id) {
    using namespace sim_bridge::lmu;
    std::byte* block = data_.writable_data();
    const std::int32_t count = slot_id ? 1 : 0;
    std::memcpy(block + header::kVehicleCount, &count, 4);
    const std::size_t entry = scoring::entry_offset(0);
    put_u32(block, entry + scoring::kSlotId, slot_id.value_or(0));
    block[entry + scoring::kIsPlayer] = std::byte{slot_id ? std::uint8_t{1} : std::uint8_t{0}};
}

std::atomic_ref<std::int32_t> TestPublisher::waiters() const {
    return lock_word(lock_block_, 0);
}
std::atomic_ref<std::int32_t> TestPublisher::busy() const {
    return lock_word(lock_block_, 4);
}

std::uint32_t update_word_of(sim_bridge::lmu::BlockView block) {
    std::uint32_t value = 0;
    std::memcpy(&value, block.data() + sim_bridge::lmu::header::kTelemetryEventWord, 4);
    return value;
}

}  // namespace corvel_test
