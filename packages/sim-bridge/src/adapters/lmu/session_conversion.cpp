// build_session_info: track, session kind and phase, the player's flag, remaining time and
// weather from one block.
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "adapters/lmu/block_conversion.hpp"
#include "adapters/lmu/names.hpp"
#include "adapters/lmu/player_lookup.hpp"

namespace sim_bridge::lmu {
namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr float kCalmWindMps = 0.01f;
constexpr double kWetTrackThreshold = 0.1;

constexpr std::array<std::string_view, 11> kWeatherTexts = {
    "Clear",
    "Light clouds",
    "Partially cloudy",
    "Mostly cloudy",
    "Overcast",
    "Cloudy with drizzle",
    "Cloudy with light rain",
    "Overcast with light rain",
    "Overcast with rain",
    "Overcast with heavy rain",
    "Overcast with storm",
};

SessionKind session_kind_of(std::int32_t session_number) {
    if (session_number == 0) return SessionKind::OfflineTesting;
    if (session_number >= 1 && session_number <= 4) return SessionKind::Practice;
    if (session_number >= 5 && session_number <= 8) return SessionKind::Qualify;
    if (session_number == 9) return SessionKind::Warmup;
    if (session_number >= 10 && session_number <= 13) return SessionKind::Race;
    return SessionKind::Unknown;
}

SessionPhase session_phase_of(std::uint8_t game_phase) {
    switch (game_phase) {
        case 0:
            return SessionPhase::NotStarted;
        case 1:
        case 2:
            return SessionPhase::PreRace;
        case 3:
        case 4:
            return SessionPhase::Starting;
        case 5:
        case 6:
            return SessionPhase::Running;
        case 7:
            return SessionPhase::Stopped;
        case 8:
            return SessionPhase::Over;
        default:
            return SessionPhase::Unknown;  // 9 is a paused session
    }
}

FlagState flag_state_of(const std::optional<PlayerVehicle>& player, std::int8_t yellow_state) {
    const std::uint8_t car_flag =
        player ? read_value<std::uint8_t, scoring::kFlag>(player->scoring) : std::uint8_t{0};
    if (player && read_value<std::int8_t, scoring::kFinishStatus>(player->scoring) == scoring::kFinished) {
        return FlagState::Chequered;
    }
    if (player && car_flag == scoring::kBlueFlag) return FlagState::Blue;
    if (yellow_state >= 1 && yellow_state <= 6) return FlagState::Yellow;
    if (yellow_state == 7) return FlagState::Red;
    if (!player || car_flag == 0) return FlagState::Green;
    return FlagState::None;
}

std::optional<double> time_remaining(BlockView block) {
    const auto remaining = read_value<float, header::kTimeRemaining>(block);
    if (remaining > 0.0f) return static_cast<double>(remaining);
    const auto end = read_value<double, header::kSessionEndTime>(block);
    const auto now = read_value<double, header::kCurrentSessionTime>(block);
    if (end > 0.0 && end > now) return end - now;
    return std::nullopt;
}

void fill_track(SessionInfo& info, BlockView block) {
    std::string raw = read_text<header::kTrackName, header::kTrackNameSize>(block);
    TrackName split = split_track_name(raw);
    info.track_full_name = split.layout ? split.base + " - " + *split.layout : split.base;
    info.track_name = std::move(split.base);
    info.track_layout = std::move(split.layout);
    if (!raw.empty()) info.track_raw_name = std::move(raw);
    info.track_length_m = to_f32(read_value<double, header::kLapLength>(block));
}

void fill_weather(SessionInfo& info, BlockView block) {
    const double wind_x = read_value<double, header::kWindX>(block);
    const double wind_y = read_value<double, header::kWindY>(block);
    const double wind_z = read_value<double, header::kWindZ>(block);
    info.wind_speed_mps = to_f32(std::sqrt(wind_x * wind_x + wind_y * wind_y + wind_z * wind_z));
    // Below this speed the vector's direction is noise.
    info.wind_direction_deg =
        info.wind_speed_mps > kCalmWindMps ? to_f32(std::atan2(wind_x, wind_z) * kDegreesPerRadian) : 0.0f;

    const auto weather = read_value<std::uint8_t, header::kWeatherIndex>(block);
    info.weather_code = weather;
    info.weather_text = weather < kWeatherTexts.size() ? kWeatherTexts[weather] : "Unknown";

    info.ambient_temp_c = to_f32(read_value<double, header::kAmbientTemp>(block));
    info.track_temp_c = to_f32(read_value<double, header::kTrackTemp>(block));
    info.rain_intensity = to_f32(read_value<double, header::kRaining>(block));
    const double wetness = read_value<double, header::kAvgPathWetness>(block);
    info.path_wetness_avg = to_f32(wetness);
    info.track_wet = wetness > kWetTrackThreshold;
}

}  // namespace

SessionInfo build_session_info(BlockView block) {
    SessionInfo info;
    fill_track(info, block);
    info.session_kind = session_kind_of(read_value<std::int32_t, header::kSessionNumber>(block));
    info.session_phase = session_phase_of(read_value<std::uint8_t, header::kGamePhase>(block));

    const auto player = find_player_vehicle(block);
    if (player) info.player_laps = read_value<std::int16_t, scoring::kLapsCompleted>(player->scoring);
    info.flag_state = flag_state_of(player, read_value<std::int8_t, header::kYellowFlagState>(block));

    info.time_remaining_s = time_remaining(block);
    if (const auto max_laps = read_value<std::int32_t, header::kMaxLaps>(block); max_laps > 0) {
        info.max_laps = max_laps;
    }
    info.vehicle_count = static_cast<std::uint32_t>(scoring_entry_count(block));
    info.in_realtime = read_value<std::uint8_t, header::kInRealtime>(block) != 0;
    if (const auto version = read_value<std::int32_t, header::kGameVersion>(block); version > 0) {
        info.game_version = std::to_string(version);
    }
    fill_weather(info, block);
    return info;
}

}  // namespace sim_bridge::lmu
