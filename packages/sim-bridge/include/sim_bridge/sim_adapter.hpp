// The interface through which the capture driver talks to a simulator.
// Every operation runs all of its work on the thread that awaits it.
#pragma once

#include <asio/awaitable.hpp>
#include <cstdint>

#include "sim_bridge/session_info.hpp"
#include "sim_bridge/sim_bridge_error.hpp"
#include "sim_bridge/telemetry_snapshot.hpp"
#include "sim_bridge/vehicle_info.hpp"

namespace sim_bridge {

struct Unit {};  // "nothing" as a success value

class SimAdapter {
public:
    virtual ~SimAdapter() = default;

    // Opens the simulator's data and starts keeping it fresh; may be called again.
    virtual asio::awaitable<BridgeResult<Unit>> connect() = 0;
    [[nodiscard]] virtual bool is_connected() const = 0;
    virtual asio::awaitable<BridgeResult<TelemetrySnapshot>> latest_telemetry() = 0;
    virtual asio::awaitable<BridgeResult<SessionInfo>> session_info() = 0;
    // An unknown slot id is not an error: the result is the empty VehicleInfo.
    virtual asio::awaitable<BridgeResult<VehicleInfo>> vehicle_info(std::uint32_t slot_id) = 0;
    virtual asio::awaitable<BridgeResult<VehicleInfo>> player_vehicle_info() = 0;
};

}  // namespace sim_bridge
