// The adapter for the simulator LMU. It opens LMU's named shared memory, keeps the newest copy
// of its data block fresh on a capture thread ("lmu-capture"), watches for a vanished
// simulator, and converts the cached copy for every query on the caller's own thread.
#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>

#include "sim_bridge/lmu_adapter_options.hpp"
#include "sim_bridge/sim_adapter.hpp"

namespace sim_bridge {

namespace lmu {
class DeadHolderEvidence;
class LmuDataBlock;
class LmuSharedMemory;
class SnapshotCache;
class VehicleNameMap;
}  // namespace lmu

class LmuAdapter final : public SimAdapter {
  public:
    // Never fails and starts nothing: not connected, empty cache, no worker. Each successful
    // connect starts a staleness watchdog on `watchdog_executor` (the runtime's thread pool).
    explicit LmuAdapter(asio::any_io_executor watchdog_executor, LmuAdapterOptions options = {});
    // Clears the connected flag, stops and joins the capture worker and empties the cache.
    ~LmuAdapter() override;

    LmuAdapter(const LmuAdapter&) = delete;
    LmuAdapter& operator=(const LmuAdapter&) = delete;

    asio::awaitable<BridgeResult<Unit>> connect() override;
    [[nodiscard]] bool is_connected() const override;
    asio::awaitable<BridgeResult<TelemetrySnapshot>> latest_telemetry() override;
    asio::awaitable<BridgeResult<SessionInfo>> session_info() override;
    asio::awaitable<BridgeResult<VehicleInfo>> vehicle_info(std::uint32_t slot_id) override;
    asio::awaitable<BridgeResult<VehicleInfo>> player_vehicle_info() override;

    // How often this adapter has cleared the simulator's lock for a party that died holding it.
    [[nodiscard]] std::uint64_t lock_clears() const;

  private:
    // Up to `open_attempts` attempts with a pause between them.
    asio::awaitable<BridgeResult<lmu::LmuSharedMemory>> open_with_retries();
    // Everything after the shared memory is open: first copy, cache, worker, watchdog.
    BridgeResult<Unit> start_capture(lmu::LmuSharedMemory memory);
    // The data operations' preamble: the connected check, then a reference to the newest block.
    [[nodiscard]] BridgeResult<lmu::LmuDataBlock> newest_block() const;
    void stop_worker();

    asio::any_io_executor watchdog_executor_;
    LmuAdapterOptions options_;
    // Shared with the capture worker and the watchdog, which may outlive this adapter.
    std::shared_ptr<std::atomic<bool>> connected_;
    std::shared_ptr<lmu::SnapshotCache> snapshot_cache_;
    std::shared_ptr<std::atomic<bool>> stop_requested_;
    std::shared_ptr<lmu::VehicleNameMap> vehicle_name_map_;
    // What the connects and the workers have seen of a held lock, across all of them.
    std::shared_ptr<lmu::DeadHolderEvidence> lock_evidence_;
    std::thread worker_;  // the capture worker of the last successful connect, if any
};

}  // namespace sim_bridge
