// What a driver did in each corner of one lap, and one lap against a reference corner by
// corner. Every distance is on the lap's timeline axis; the definitions are in
// docs/corvel-lap.md.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/corner_map.hpp"
#include "analysis/lap_timeline.hpp"
#include "lap_format/lap_sample.hpp"

namespace corvel {

inline constexpr double kBrakeOnShare = 0.05;      // a braking run: brake at or above this
inline constexpr double kBrakeRunPeakShare = 0.20; // ... that reaches this somewhere
inline constexpr double kFullThrottleShare = 0.95;
inline constexpr double kPedalOffShare = 0.05;     // coasting: neither pedal above this

struct CornerLapMetrics {
    std::optional<double> brake_point_m;  // null: taken without a braking run
    std::optional<double> peak_brake;     // 0..1, the braking run's highest
    double entry_speed_kmh = 0.0;
    double min_speed_kmh = 0.0;
    double min_speed_at_m = 0.0;
    std::optional<double> throttle_pickup_m;
    double exit_speed_kmh = 0.0;
    double coasting_m = 0.0;
    double abs_m = 0.0;
    double tc_m = 0.0;
    std::optional<double> width_used;  // 0 on the path, 1 at the track edge on the car's side
    double time_s = 0.0;               // from the corner's start to its end
};

// One entry per corner of `map`, in its order; nothing for a corner the lap does not cover
// from its start to its end. Linear in the samples (plus a search per corner).
[[nodiscard]] std::vector<std::optional<CornerLapMetrics>> measure_corners(std::span<const LapSample> samples,
                                                                           const LapTimeline& timeline,
                                                                           const CornerMap& map);

struct CornerDelta {
    TrackCorner corner;
    double lap_s = 0.0;
    double reference_s = 0.0;
    double delta_s = 0.0;  // lap_s - reference_s: positive where the lap is slower
    CornerLapMetrics lap;
    CornerLapMetrics reference;
};

struct StraightDelta {
    double start_m = 0.0;
    double end_m = 0.0;
    double lap_s = 0.0;
    double reference_s = 0.0;
    double delta_s = 0.0;
};

// Where in a corner the time goes, for a loss the metrics do not explain.
struct CornerThirds {
    double entry_s = 0.0;   // start to halfway to the apex
    double middle_s = 0.0;  // to halfway from the apex to the end
    double exit_s = 0.0;
};

struct CornerComparison {
    CornerMap map;
    bool map_from_reference = true;
    std::vector<CornerDelta> corners;     // in track order, those both laps cover
    std::vector<StraightDelta> straights;  // between them, from `from_m` (or the line) to `to_m`
    std::vector<std::string> warnings;     // corners left out, and why
};

// The corner table of `lap` against `reference`, over the common distance [from_m, to_m] of
// their timelines. The map is the reference's when it covers the whole lap (within
// kWholeLapSlackM of 0 and the track length), else the lap's when that does, else the
// reference's. Corners and straights partition [from_m, to_m], so their deltas add up to the
// delta over it; when both laps are line-anchored the first straight starts at the line (both
// clocks 0 there), so they add up to the delta at the line, as compare's delta counts.
inline constexpr double kWholeLapSlackM = 10.0;
[[nodiscard]] CornerComparison compare_corners(std::span<const LapSample> lap, const LapTimeline& lap_timeline,
                                               std::span<const LapSample> reference,
                                               const LapTimeline& reference_timeline, double from_m, double to_m,
                                               std::optional<double> track_length_m);

[[nodiscard]] CornerThirds corner_thirds(const CornerDelta& corner, const LapTimeline& lap,
                                         const LapTimeline& reference);

}  // namespace corvel
