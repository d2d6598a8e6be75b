// Conversions of one immutable copy of LMU's data block into the adapter's records.
// Pure functions: they read only the given bytes and never fail.
#pragma once

#include <cstdint>
#include <optional>

#include "sim_bridge/lmu/block_layout.hpp"
#include "sim_bridge/session_info.hpp"
#include "sim_bridge/telemetry_snapshot.hpp"
#include "sim_bridge/vehicle_info.hpp"

namespace sim_bridge::lmu {

class VehicleNameMap;

[[nodiscard]] TelemetrySnapshot convert_telemetry(BlockView block);
[[nodiscard]] SessionInfo build_session_info(BlockView block);
// The empty VehicleInfo when no scoring entry carries `slot_id`.
[[nodiscard]] VehicleInfo build_vehicle_info(BlockView block, std::uint32_t slot_id,
                                             const VehicleNameMap& names);
// Slot id of the first scoring entry flagged as the player's (no telemetry match needed).
[[nodiscard]] std::optional<std::uint32_t> player_slot_id(BlockView block);

}  // namespace sim_bridge::lmu
