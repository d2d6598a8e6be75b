// A LapSample's stored integers in physical units: pedals 0..1, steering -1..1, litres,
// metres, g. One place for the scales, shared by every export.
#pragma once

#include <string>

#include "lap_format/lap_sample.hpp"

namespace corvel::units {

inline constexpr std::uint8_t kReverseGear = 255;

[[nodiscard]] inline double throttle(const LapSample& s) {
    return s.throttle / 255.0;
}
[[nodiscard]] inline double brake(const LapSample& s) {
    return s.brake / 255.0;
}
[[nodiscard]] inline double clutch(const LapSample& s) {
    return s.clutch / 255.0;
}
[[nodiscard]] inline double steering(const LapSample& s) {
    return s.steering / 127.0;
}
[[nodiscard]] inline double fuel_l(const LapSample& s) {
    return s.fuel_dl / 10.0;
}
[[nodiscard]] inline double lateral_g(const LapSample& s) {
    return s.lateral_g / 10.0;
}
[[nodiscard]] inline double longitudinal_g(const LapSample& s) {
    return s.longitudinal_g / 10.0;
}
[[nodiscard]] inline double path_lateral_m(const LapSample& s) {
    return s.path_lateral_cm / 100.0;
}
[[nodiscard]] inline double track_edge_m(const LapSample& s) {
    return s.track_edge_cm / 100.0;
}

// -1 for reverse, 0 neutral, 1.. forward.
[[nodiscard]] inline int gear_number(const LapSample& s) {
    return s.gear == kReverseGear ? -1 : s.gear;
}

// "R", "N", "1", "2", ...
[[nodiscard]] inline std::string gear_label(const LapSample& s) {
    if (s.gear == kReverseGear) {
        return "R";
    }
    return s.gear == 0 ? "N" : std::to_string(s.gear);
}

[[nodiscard]] inline bool has_flag(const LapSample& s, std::uint8_t flag) {
    return (s.flags & flag) != 0;
}

}  // namespace corvel::units
