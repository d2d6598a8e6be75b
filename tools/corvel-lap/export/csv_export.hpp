// The lap as CSV (RFC 4180: header row, CRLF line ends, quoting where needed): one row per
// sample in physical units, each status flag in its own 0/1 column, then the sample's place on
// the lap timeline.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "lap_format/lap_sample.hpp"
#include "analysis/lap_timeline.hpp"

namespace corvel {

inline constexpr std::array<std::string_view, 30> kLapCsvColumns{
    "sample",         "elapsed_s",    "session_time_s", "lap_fraction", "lap_distance_m", "lap",
    "speed_kmh",      "throttle",     "brake",          "clutch",       "steering",       "gear",
    "engine_rpm",     "fuel_l",       "pos_x_m",        "pos_z_m",      "lateral_g",      "longitudinal_g",
    "path_lateral_m", "track_edge_m", "aux_counter",    "in_pit_lane",  "yellow_flag",    "abs_active",
    "tc_active",      "drs_active",   "limiter_active", "lap_invalid",  "lap_time_s",     "distance_m",
};

// The field as it is, or in double quotes (inner quotes doubled) when it holds a comma, a
// double quote, CR or LF.
[[nodiscard]] std::string csv_field(std::string_view text);

// The whole document. "lap_distance_m" is the unwrapped lap progress times the track length;
// its cells are empty when the length is unknown. "lap_time_s" and "distance_m" come from
// `timeline` (one entry per sample; cells beyond its length stay empty).
[[nodiscard]] std::string lap_csv(std::span<const LapSample> samples, const LapTimeline& timeline,
                                  std::optional<double> track_length_m);

}  // namespace corvel
