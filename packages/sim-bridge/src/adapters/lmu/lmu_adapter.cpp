// LmuAdapter: connect (open loop, first copy, worker and watchdog start), the data operations
// on the cached block, and the release order.
#include "sim_bridge/lmu_adapter.hpp"

#include <algorithm>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>
#include <string>

#include "adapters/lmu/block_conversion.hpp"
#include "adapters/lmu/capture_worker.hpp"
#include "adapters/lmu/dead_holder_evidence.hpp"
#include "adapters/lmu/lmu_data_block.hpp"
#include "adapters/lmu/lmu_lock.hpp"
#include "adapters/lmu/shared_memory.hpp"
#include "adapters/lmu/snapshot_cache.hpp"
#include "adapters/lmu/staleness_watchdog.hpp"
#include "adapters/lmu/vehicle_name_map.hpp"

namespace sim_bridge {
namespace {

std::unexpected<SimBridgeError> not_connected(std::string message) {
    return std::unexpected(SimBridgeError(SimBridgeError::Kind::NotConnected, std::move(message)));
}

std::unexpected<SimBridgeError> poisoned_cache() {
    return std::unexpected(
        SimBridgeError(SimBridgeError::Kind::ParseError, "LMU snapshot cache is poisoned"));
}

// An empty clock in the options means the product's.
MonotonicClock clock_or_steady(MonotonicClock clock) {
    if (clock) return clock;
    return [] { return std::chrono::steady_clock::now(); };
}

}  // namespace

LmuAdapter::LmuAdapter(asio::any_io_executor watchdog_executor, LmuAdapterOptions options)
    : watchdog_executor_(std::move(watchdog_executor)),
      options_(std::move(options)),
      connected_(std::make_shared<std::atomic<bool>>(false)),
      snapshot_cache_(std::make_shared<lmu::SnapshotCache>()),
      stop_requested_(std::make_shared<std::atomic<bool>>(false)),
      vehicle_name_map_(std::make_shared<lmu::VehicleNameMap>()),
      lock_evidence_(std::make_shared<lmu::DeadHolderEvidence>(options_.timings.lock.dead_holder_after,
                                                               clock_or_steady(options_.clock))) {
    if (!options_.process_check) options_.process_check = is_lmu_process_running;
}

LmuAdapter::~LmuAdapter() {
    connected_->exchange(false);
    stop_worker();
    // The watchdog, if still running, holds its own references and ends at its next pass.
}

asio::awaitable<BridgeResult<Unit>> LmuAdapter::connect() {
    auto memory = co_await open_with_retries();
    if (!memory) co_return std::unexpected(std::move(memory.error()));
    co_return start_capture(std::move(*memory));
}

asio::awaitable<BridgeResult<lmu::LmuSharedMemory>> LmuAdapter::open_with_retries() {
    const std::uint32_t attempts = std::max<std::uint32_t>(options_.timings.open_attempts, 1);
    for (std::uint32_t failures = 0;;) {
        if (auto memory = lmu::open_shared_memory(options_.names)) co_return std::move(*memory);
        if (++failures >= attempts) {
            connected_->exchange(false);
            co_return not_connected("LMU shared memory (LMU_Data) not available");
        }
        asio::steady_timer pause(co_await asio::this_coro::executor, options_.timings.attempt_pause);
        // A cancelled pause (the runtime shutting down) only ends the pause early.
        std::error_code cancelled;
        co_await pause.async_wait(asio::redirect_error(asio::use_awaitable, cancelled));
    }
}

BridgeResult<Unit> LmuAdapter::start_capture(lmu::LmuSharedMemory memory) {
    auto first = lmu::acquire_and_copy(memory, options_.timings.lock, *lock_evidence_);
    if (!first) {
        return not_connected("Could not take initial LMU snapshot: " +
                             std::string(lmu::describe(first.error())));
    }

    stop_worker();
    stop_requested_->store(false, std::memory_order_release);
    if (!snapshot_cache_->store(std::move(*first))) return poisoned_cache();

    auto worker = lmu::start_capture_worker(
        std::move(memory), lmu::CaptureShared{connected_, stop_requested_, snapshot_cache_, lock_evidence_},
        lmu::CaptureTimings{options_.timings.worker_wait, options_.timings.lock});
    if (!worker) return not_connected("Failed to start LMU capture worker: " + worker.error());
    worker_ = std::move(*worker);

    connected_->exchange(true);
    lmu::spawn_staleness_watchdog(
        watchdog_executor_, lmu::WatchdogContext{connected_, snapshot_cache_, stop_requested_,
                                                 options_.timings.watchdog_period, options_.process_check});
    return Unit{};
}

std::uint64_t LmuAdapter::lock_clears() const {
    return lock_evidence_->clears();
}

bool LmuAdapter::is_connected() const {
    return connected_->load();
}

BridgeResult<lmu::LmuDataBlock> LmuAdapter::newest_block() const {
    if (!connected_->load()) return not_connected("LMU not connected");
    return snapshot_cache_->read_cache();
}

asio::awaitable<BridgeResult<TelemetrySnapshot>> LmuAdapter::latest_telemetry() {
    auto block = newest_block();
    if (!block) co_return std::unexpected(std::move(block.error()));
    co_return lmu::convert_telemetry(block->view());
}

asio::awaitable<BridgeResult<SessionInfo>> LmuAdapter::session_info() {
    auto block = newest_block();
    if (!block) co_return std::unexpected(std::move(block.error()));
    co_return lmu::build_session_info(block->view());
}

asio::awaitable<BridgeResult<VehicleInfo>> LmuAdapter::vehicle_info(std::uint32_t slot_id) {
    auto block = newest_block();
    if (!block) co_return std::unexpected(std::move(block.error()));
    co_return lmu::build_vehicle_info(block->view(), slot_id, *vehicle_name_map_);
}

asio::awaitable<BridgeResult<VehicleInfo>> LmuAdapter::player_vehicle_info() {
    auto block = newest_block();
    if (!block) co_return std::unexpected(std::move(block.error()));
    const auto slot_id = lmu::player_slot_id(block->view());
    if (!slot_id) co_return VehicleInfo{};
    // `block` stays referenced until vehicle_info, which reads the cache afresh, completes.
    co_return co_await vehicle_info(*slot_id);
}

void LmuAdapter::stop_worker() {
    stop_requested_->store(true, std::memory_order_release);
    if (worker_.joinable()) worker_.join();
    // A poisoned cache is left as it is, and stays reported as poisoned.
    (void)snapshot_cache_->clear();
}

}  // namespace sim_bridge
