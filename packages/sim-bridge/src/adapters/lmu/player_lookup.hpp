// Bounded access to the block's two entry lists and the search for the player's car.
// Counts written by the simulator are clamped, so no scan ever leaves its list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "adapters/lmu/block_reader.hpp"

namespace sim_bridge::lmu {

// The vehicle count (0x6C8, signed) clamped to 0..104.
[[nodiscard]] std::size_t scoring_entry_count(BlockView block);
// The active telemetry count byte clamped to 104.
[[nodiscard]] std::size_t telemetry_entry_count(BlockView block);

// Entry `index` of a list; `index` must be below the list's maximum (104).
[[nodiscard]] ScoringEntry scoring_entry(BlockView block, std::size_t index);
[[nodiscard]] TelemetryEntry telemetry_entry(BlockView block, std::size_t index);

// First entry of the (clamped) list with the given slot id.
[[nodiscard]] std::optional<ScoringEntry> find_scoring_entry(BlockView block, std::uint32_t slot_id);
[[nodiscard]] std::optional<TelemetryEntry> find_telemetry_entry(BlockView block, std::uint32_t slot_id);

// First scoring entry whose player byte is set.
[[nodiscard]] std::optional<ScoringEntry> find_player_scoring_entry(BlockView block);

struct PlayerVehicle {
    ScoringEntry scoring;
    TelemetryEntry telemetry;
};

// The player counts as found only when its scoring entry has a telemetry entry too.
[[nodiscard]] std::optional<PlayerVehicle> find_player_vehicle(BlockView block);

}  // namespace sim_bridge::lmu
