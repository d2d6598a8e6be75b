// One reading of the player's car, as an adapter hands it to the capture tool.
// A plain value: copied freely, owns nothing outside itself; optional members are
// present or absent, never defaulted.
#pragma once

#include <cstdint>
#include <optional>

namespace sim_bridge {

struct TelemetrySnapshot {
    double session_time_s = 0.0;
    std::uint64_t session_time_ms = 0;
    std::int32_t lap_number = 0;
    double current_lap_time_s = 0.0;
    std::optional<double> best_lap_time_s;
    std::optional<double> last_lap_time_s;
    std::optional<float> delta_best_s;
    float lap_distance_m = 0.0f;
    float track_length_m = 0.0f;
    float lap_fraction = 0.0f;
    float speed_mps = 0.0f;
    float speed_kmh = 0.0f;
    float speed_mph = 0.0f;
    float engine_rpm = 0.0f;
    float engine_max_rpm = 0.0f;
    float throttle = 0.0f;
    float brake = 0.0f;
    float clutch = 0.0f;
    float steering = 0.0f;
    std::int8_t gear = 0;
    float fuel_l = 0.0f;
    float fuel_capacity_l = 0.0f;
    float pos_x_m = 0.0f;
    float pos_z_m = 0.0f;
    std::optional<float> pos_y_m;
    std::optional<float> heading_rad;
    float lateral_g = 0.0f;
    float longitudinal_g = 0.0f;
    std::optional<float> path_lateral_m;
    std::optional<float> track_edge_m;
    bool in_pits = false;
    bool in_pit_lane = false;  // always true when in_pits is
    bool yellow_flag = false;
    bool limiter_active = false;
    bool lap_invalid = false;
    bool abs_active = false;
    bool tc_active = false;
    std::optional<bool> drs_active;
    std::int32_t incident_count = 0;
    std::optional<std::int64_t> aux_counter;

    bool operator==(const TelemetrySnapshot&) const = default;
};

}  // namespace sim_bridge
