// One timeline per lap, shared by every command: each sample's time since the lap's first
// sample and its distance along the lap, both fresh at every poll (LMU's session clock and
// lap fraction only move with its scoring updates, a few times a second).
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "lap_format/lap_metadata.hpp"
#include "lap_format/lap_sample.hpp"

namespace corvel {

// One entry per sample, in sample order; both non-decreasing.
struct LapTimeline {
    // Seconds since the first sample (0 there). Runs of equal session times are spread evenly
    // up to the next distinct time; the first run is laid back from its end and the last run
    // forward from its start at the mean poll interval. A time that is not finite or lies
    // before an earlier one counts as a repeat of the latest good time.
    std::vector<double> lap_time_s;
    // Metres along the lap from the car's horizontal path (x/z), scaled so that a lap from
    // the line spans the track length when the metadata gives one. A lap that began mid-lap
    // starts at startTrackPct x track length. A step that is not finite or longer than
    // max(5 m, 2 x speed x time step) (a teleport, a damaged position) adds no length.
    std::vector<double> distance_m;
    double mean_poll_interval_s = 0.0;  // 0 when the session clock never moves
    bool scaled_to_track_length = false;
};

[[nodiscard]] LapTimeline compute_lap_timeline(std::span<const LapSample> samples,
                                               const std::optional<LapMetadata>& metadata);

// The time half of the timeline alone, from raw session times (seconds; any values).
[[nodiscard]] std::vector<double> spread_session_times(std::span<const double> session_times_s);

// Value of `ys` where the curve through (xs, ys) first reaches `x` (xs non-decreasing), linear
// between samples: at a distance the car stood still on, the time it arrived. Clamped to the
// first value below xs's range and to the last value at or past its end.
[[nodiscard]] double interpolate_at(std::span<const double> xs, std::span<const double> ys, double x);

}  // namespace corvel
