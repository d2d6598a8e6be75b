// A lap placed against LMU's own line and lap distance, from its samples alone (and the
// official lap time as a check). LMU's scoring publishes about five times a second a pair
// (session time, lap fraction) that is exact for the moment it describes but reaches the
// poller tens of milliseconds late; the telemetry (position, speed, the lap number) is fresh
// at every tick. The pairs give the lap distance at their moments and, around the line, when
// the car crossed it; the car's own path between them refines the distance at every tick.
#pragma once

#include <expected>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "lap_format/lap_metadata.hpp"
#include "lap_format/lap_sample.hpp"

namespace corvel {

// Official and estimated line-to-line times further apart than this disagree.
inline constexpr double kOfficialTimeToleranceS = 0.05;
// A first sample at most this long after the line counts as a lap recorded from the line.
inline constexpr double kFromTheLineS = 0.1;

struct LineAnchoredLap {
    std::vector<double> lap_time_s;  // per sample: seconds since the start crossing
    std::vector<double> distance_m;  // per sample: LMU's lap distance, 0 at the line
    double track_length_m = 0.0;
    bool track_length_estimated = false;  // no usable metadata length: from the path
    double estimated_span_s = 0.0;        // line to line from the samples alone
    double span_s = 0.0;                  // line to line as the times use it
    bool span_is_official = false;
    bool from_the_line = false;    // the first sample lies within kFromTheLineS of the line
    double tick_period_s = 0.0;    // 0 when the telemetry ticks did not fit a regular grid
    std::vector<std::string> notes;     // how the line was placed, when it is worth saying
    std::vector<std::string> warnings;  // the official time disagrees with the samples
};

// Errors say why the line cannot be placed (no track length, a lap fraction that does not
// move, samples that do not reach the line).
[[nodiscard]] std::expected<LineAnchoredLap, std::string> anchor_to_line(
    std::span<const LapSample> samples, const std::optional<LapMetadata>& metadata);

}  // namespace corvel
