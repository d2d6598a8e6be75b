// convert_telemetry: the player's car in one block as a TelemetrySnapshot. Runs every poll, so it
// allocates nothing and reads each list once, linearly.
#include <cmath>
#include <cstdint>
#include <limits>

#include "adapters/lmu/block_conversion.hpp"
#include "adapters/lmu/player_lookup.hpp"

namespace sim_bridge::lmu {
namespace {

constexpr float kStandardGravity = 9.81f;
constexpr float kKmhPerMps = 3.6f;
constexpr float kMphPerMps = 2.23694f;

// Whole milliseconds, truncated; NaN and negatives give 0 and huge values saturate, since a
// double outside u64's range must never reach the integer conversion.
std::uint64_t to_whole_ms(double seconds) {
    const double ms = seconds * 1000.0;
    if (!(ms > 0.0)) return 0;
    constexpr double kU64Limit = 18446744073709551616.0;  // 2^64, exact in a double
    if (ms >= kU64Limit) return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(ms);
}

std::optional<double> positive_or_absent(double value) {
    return value > 0.0 ? std::optional<double>(value) : std::nullopt;
}

void fill_lap_timing(TelemetrySnapshot& s, ScoringEntry scoring_entry, TelemetryEntry car) {
    s.lap_distance_m = to_f32(read_value<double, scoring::kLapDistance>(scoring_entry));
    s.lap_fraction = s.track_length_m > 0.0f ? s.lap_distance_m / s.track_length_m : 0.0f;
    s.best_lap_time_s = positive_or_absent(read_value<double, scoring::kBestLapTime>(scoring_entry));
    s.last_lap_time_s = positive_or_absent(read_value<double, scoring::kLastLapTime>(scoring_entry));
    s.current_lap_time_s =
        read_value<double, telemetry::kElapsedTime>(car) - read_value<double, telemetry::kLapStartTime>(car);
    if (s.best_lap_time_s) {
        s.delta_best_s =
            to_f32(s.current_lap_time_s - static_cast<double>(s.lap_fraction) * *s.best_lap_time_s);
    }
    s.lap_number = read_value<std::int32_t, telemetry::kLapNumber>(car);
}

void fill_motion(TelemetrySnapshot& s, TelemetryEntry car) {
    const double vx = read_value<double, telemetry::kLocalVelX>(car);
    const double vy = read_value<double, telemetry::kLocalVelY>(car);
    const double vz = read_value<double, telemetry::kLocalVelZ>(car);
    s.speed_mps = to_f32(std::sqrt(vx * vx + vy * vy + vz * vz));
    s.speed_kmh = s.speed_mps * kKmhPerMps;
    s.speed_mph = s.speed_mps * kMphPerMps;

    s.pos_x_m = to_f32(read_value<double, telemetry::kPosX>(car));
    s.pos_z_m = to_f32(read_value<double, telemetry::kPosZ>(car));
    s.pos_y_m = to_f32(read_value<double, telemetry::kPosY>(car));
    s.heading_rad = std::atan2(to_f32(read_value<double, telemetry::kOrientationRow2X>(car)),
                               to_f32(read_value<double, telemetry::kOrientationRow2Z>(car)));
    s.lateral_g = to_f32(read_value<double, telemetry::kLocalAccelX>(car)) / kStandardGravity;
    s.longitudinal_g = to_f32(read_value<double, telemetry::kLocalAccelZ>(car)) / kStandardGravity;
}

void fill_driver_inputs(TelemetrySnapshot& s, TelemetryEntry car) {
    s.engine_rpm = to_f32(read_value<double, telemetry::kEngineRpm>(car));
    s.engine_max_rpm = to_f32(read_value<double, telemetry::kEngineMaxRpm>(car));
    s.throttle = to_f32(read_value<double, telemetry::kUnfilteredThrottle>(car));
    s.brake = to_f32(read_value<double, telemetry::kUnfilteredBrake>(car));
    s.clutch = to_f32(read_value<double, telemetry::kUnfilteredClutch>(car));
    s.steering = to_f32(read_value<double, telemetry::kUnfilteredSteering>(car));
    s.gear = read_value<std::int8_t, telemetry::kGear>(car);
    s.fuel_l = to_f32(read_value<double, telemetry::kFuel>(car));
    s.fuel_capacity_l = to_f32(read_value<double, telemetry::kFuelCapacity>(car));
}

void fill_state_flags(TelemetrySnapshot& s, ScoringEntry scoring_entry, TelemetryEntry car) {
    s.path_lateral_m = to_f32(read_value<double, scoring::kPathLateral>(scoring_entry));
    s.track_edge_m = to_f32(read_value<double, scoring::kTrackEdge>(scoring_entry));
    s.in_pits = read_value<std::uint8_t, scoring::kInPits>(scoring_entry) != 0;
    s.in_pit_lane = s.in_pits || read_value<std::int32_t, telemetry::kCurrentSector>(car) < 0;
    s.limiter_active = read_value<std::uint8_t, telemetry::kSpeedLimiterActive>(car) != 0 ||
                       read_value<std::uint8_t, telemetry::kSpeedLimiter>(car) != 0;
    s.lap_invalid = read_value<std::uint8_t, telemetry::kLapInvalidated>(car) != 0 ||
                    read_value<std::uint8_t, scoring::kCountLapFlag>(scoring_entry) == 0;
    s.abs_active = read_value<std::uint8_t, telemetry::kAbsActive>(car) != 0;
    s.tc_active = read_value<std::uint8_t, telemetry::kTcActive>(car) != 0;
    s.drs_active = read_value<std::uint8_t, scoring::kDrsState>(scoring_entry) != 0;
}

}  // namespace

TelemetrySnapshot convert_telemetry(BlockView block) {
    TelemetrySnapshot s;
    s.session_time_s = read_value<double, header::kCurrentSessionTime>(block);
    s.session_time_ms = to_whole_ms(s.session_time_s);
    s.track_length_m = to_f32(read_value<double, header::kLapLength>(block));
    s.yellow_flag = read_value<std::int8_t, header::kYellowFlagState>(block) > 0;

    const auto player = find_player_vehicle(block);
    if (!player) return s;

    fill_lap_timing(s, player->scoring, player->telemetry);
    fill_motion(s, player->telemetry);
    fill_driver_inputs(s, player->telemetry);
    fill_state_flags(s, player->scoring, player->telemetry);
    // LMU reports no incidents here and has no auxiliary counter.
    s.incident_count = 0;
    s.aux_counter.reset();
    return s;
}

}  // namespace sim_bridge::lmu
