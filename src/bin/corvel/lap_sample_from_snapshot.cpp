// make_lap_sample: one TelemetrySnapshot as a LapSample.
// Quantised fields: widen to double, clamp to the field's range, scale, truncate toward
// zero (saturating; NaN gives 0).
#include "corvel/lap_sample_from_snapshot.hpp"

#include <algorithm>
#include <cmath>
#include <concepts>
#include <limits>

namespace corvel {
namespace {

template <std::integral T>
T saturating_truncate(double value) {
    if (std::isnan(value)) return 0;
    const double truncated = std::trunc(value);
    if (truncated <= static_cast<double>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
    if (truncated >= static_cast<double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
    return static_cast<T>(truncated);
}

template <std::integral T>
T quantise(float input, double low, double high, double scale) {
    const double widened = input;
    // std::clamp would pass NaN through as well; spelled out so that is visible.
    const double clamped = widened < low ? low : (widened > high ? high : widened);
    return saturating_truncate<T>(clamped * scale);
}

std::uint8_t gear_code(std::int8_t gear) {
    if (gear < 0) return 255;  // reverse
    return static_cast<std::uint8_t>(std::min<int>(gear, 10));
}

std::uint32_t aux_counter_code(const std::optional<std::int64_t>& value) {
    if (!value) return 0;
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::max<std::int64_t>(*value, 0)));
}

std::uint8_t flag_bits(const sim_bridge::TelemetrySnapshot& s) {
    using namespace sample_flag;
    std::uint8_t flags = s.in_pit_lane ? kInPitLane : kOnTrack;
    if (s.yellow_flag) flags |= kYellow;
    if (s.abs_active) flags |= kAbs;
    if (s.tc_active) flags |= kTc;
    if (s.drs_active.value_or(false)) flags |= kDrs;
    if (s.limiter_active) flags |= kLimiter;
    if (s.lap_invalid) flags |= kLapInvalid;
    return flags;
}

}  // namespace

LapSample make_lap_sample(const sim_bridge::TelemetrySnapshot& s, std::int32_t lap) {
    LapSample out;
    out.session_time = static_cast<float>(s.session_time_s);
    out.lap_fraction = s.lap_fraction;
    out.lap = static_cast<std::uint16_t>(std::max(lap, 0) & 0xFFFF);
    out.aux_counter = aux_counter_code(s.aux_counter);
    out.throttle = quantise<std::uint8_t>(s.throttle, 0.0, 1.0, 255.0);
    out.brake = quantise<std::uint8_t>(s.brake, 0.0, 1.0, 255.0);
    out.clutch = quantise<std::uint8_t>(s.clutch, 0.0, 1.0, 255.0);
    out.steering = quantise<std::int8_t>(s.steering, -1.0, 1.0, 127.0);
    out.gear = gear_code(s.gear);
    out.speed_kmh = quantise<std::uint16_t>(s.speed_kmh, 0.0, 655.0, 1.0);
    out.engine_rpm = quantise<std::uint16_t>(s.engine_rpm, 0.0, 65535.0, 1.0);
    out.fuel_dl = quantise<std::uint16_t>(s.fuel_l, 0.0, 6553.5, 10.0);
    out.pos_x = s.pos_x_m;
    out.pos_z = s.pos_z_m;
    out.lateral_g = quantise<std::int8_t>(s.lateral_g, -12.7, 12.7, 10.0);
    out.longitudinal_g = quantise<std::int8_t>(s.longitudinal_g, -12.7, 12.7, 10.0);
    out.constant_30 = 30;
    out.flags = flag_bits(s);
    out.path_lateral_cm = quantise<std::int16_t>(s.path_lateral_m.value_or(0.0f), -327.0, 327.0, 100.0);
    out.track_edge_cm = quantise<std::uint16_t>(std::fabs(s.track_edge_m.value_or(0.0f)), 0.0, 655.0, 100.0);
    return out;
}

}  // namespace corvel
