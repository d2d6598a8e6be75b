// A lap against a reference lap by distance, the way race engineers compare laps: both
// timelines resampled onto one distance grid over the stretch both cover, the time delta at
// every grid point, and the common distance cut into minisectors.
//
// Delta convention, everywhere: this lap minus the reference at the same distance, so a
// positive delta means this lap is slower there.
#pragma once

#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <vector>

#include "lap_format/json/lap_file.hpp"
#include "analysis/lap_timeline.hpp"

namespace corvel {

inline constexpr double kComparisonGridStepM = 2.0;
inline constexpr std::size_t kDefaultMinisectors = 25;
inline constexpr std::size_t kMaxMinisectors = 500;
// Two laps must share at least this much distance to be compared.
inline constexpr double kMinCommonDistanceM = 100.0;
// Track lengths further apart than this share mean two different tracks.
inline constexpr double kMaxTrackLengthMismatch = 0.01;
// The minisectors marked as where the lap loses most.
inline constexpr std::size_t kWorstMinisectors = 3;

// The one-line description of the convention for help texts and reports.
inline constexpr std::string_view kDeltaConvention =
    "this lap minus the reference at the same distance; positive where this lap is slower";

struct Minisector {
    double start_m = 0.0;
    double end_m = 0.0;
    double lap_s = 0.0;        // time the lap takes from start_m to end_m
    double reference_s = 0.0;  // the same for the reference
    double delta_s = 0.0;      // lap_s - reference_s
    double lap_min_speed_kmh = 0.0;
    double lap_max_speed_kmh = 0.0;
    double reference_min_speed_kmh = 0.0;
    double reference_max_speed_kmh = 0.0;
    bool worst = false;  // one of the (up to) three with the largest delta_s > 0
};

struct LapComparison {
    LapTimeline lap;  // the timelines the comparison stands on (plot traces on them)
    LapTimeline reference;
    // Each lap's line-to-line time when line-anchored, else its last timeline time.
    double lap_time_s = 0.0;
    double reference_time_s = 0.0;
    double from_m = 0.0;  // the common distance
    double to_m = 0.0;
    // The grid: from_m, from_m + step, ..., and to_m itself as the last point.
    std::vector<double> distance_m;
    // Per grid point: both laps' times since the line when both are line-anchored (since_line),
    // else both clocks started at from_m (0 there).
    std::vector<double> delta_s;
    bool since_line = false;
    double delta_at_end_s = 0.0;          // delta_s at to_m
    bool ends_at_line = false;            // both laps reach the line, so delta_at_end_s is the delta there
    std::vector<Minisector> minisectors;  // in distance order
    // Said, not fatal: a lap without usable metadata is compared by its samples alone.
    std::vector<std::string> warnings;
};

// Errors: the laps are from different tracks (metadata trackId, or trackName when either id
// is missing, or trackConfig differ, or track lengths differ by over 1 %), share less than
// kMinCommonDistanceM, or `minisectors` is outside 1..kMaxMinisectors.
[[nodiscard]] std::expected<LapComparison, std::string> compare_laps(
    const LapFile& lap, const LapFile& reference, std::size_t minisectors = kDefaultMinisectors);

}  // namespace corvel
