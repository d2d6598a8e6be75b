// Entry lists of the block: clamped counts, entry spans, linear searches by slot id.
#include "adapters/lmu/player_lookup.hpp"

#include <algorithm>

#include "adapters/lmu/block_conversion.hpp"

namespace sim_bridge::lmu {

std::size_t scoring_entry_count(BlockView block) {
    const auto count = read_value<std::int32_t, header::kVehicleCount>(block);
    return static_cast<std::size_t>(std::clamp<std::int32_t>(count, 0, scoring::kMaxEntries));
}

std::size_t telemetry_entry_count(BlockView block) {
    const auto count = read_value<std::uint8_t, telemetry::kActiveCount>(block);
    return std::min<std::size_t>(count, telemetry::kMaxEntries);
}

ScoringEntry scoring_entry(BlockView block, std::size_t index) {
    return block.subspan(scoring::entry_offset(index)).first<scoring::kEntrySize>();
}

TelemetryEntry telemetry_entry(BlockView block, std::size_t index) {
    return block.subspan(telemetry::entry_offset(index)).first<telemetry::kEntrySize>();
}

std::optional<ScoringEntry> find_scoring_entry(BlockView block, std::uint32_t slot_id) {
    const std::size_t count = scoring_entry_count(block);
    for (std::size_t i = 0; i < count; ++i) {
        const ScoringEntry entry = scoring_entry(block, i);
        if (read_value<std::uint32_t, scoring::kSlotId>(entry) == slot_id) return entry;
    }
    return std::nullopt;
}

std::optional<TelemetryEntry> find_telemetry_entry(BlockView block, std::uint32_t slot_id) {
    const std::size_t count = telemetry_entry_count(block);
    for (std::size_t i = 0; i < count; ++i) {
        const TelemetryEntry entry = telemetry_entry(block, i);
        if (read_value<std::uint32_t, telemetry::kSlotId>(entry) == slot_id) return entry;
    }
    return std::nullopt;
}

std::optional<ScoringEntry> find_player_scoring_entry(BlockView block) {
    const std::size_t count = scoring_entry_count(block);
    for (std::size_t i = 0; i < count; ++i) {
        const ScoringEntry entry = scoring_entry(block, i);
        if (read_value<std::uint8_t, scoring::kIsPlayer>(entry) != 0) return entry;
    }
    return std::nullopt;
}

std::optional<PlayerVehicle> find_player_vehicle(BlockView block) {
    const auto player_scoring = find_player_scoring_entry(block);
    if (!player_scoring) return std::nullopt;
    const auto player_telemetry =
        find_telemetry_entry(block, read_value<std::uint32_t, scoring::kSlotId>(*player_scoring));
    if (!player_telemetry) return std::nullopt;
    return PlayerVehicle{*player_scoring, *player_telemetry};
}

std::optional<std::uint32_t> player_slot_id(BlockView block) {
    const auto player_scoring = find_player_scoring_entry(block);
    if (!player_scoring) return std::nullopt;
    return read_value<std::uint32_t, scoring::kSlotId>(*player_scoring);
}

}  // namespace sim_bridge::lmu
