// The corners of a track, found from one lap's path: where the path bends, on the lap's
// distance axis (the timeline's), so that every lap compared on that axis shares the map.
//
// The path is resampled every metre, its heading taken over short chords and its curvature
// over a window (smoothed); a corner is a stretch of one direction whose curvature rises above
// the entry threshold and lasts while it stays above the lower exit threshold. A change of
// direction ends a corner (an S-bend is two); parts of one direction with a short gap between
// them are one corner; a bend that turns the car by less than a few degrees is a kink, not a
// corner. The apex is the point of highest curvature: the geometry, which does not move from
// lap to lap as the minimum-speed point does.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "lap_format/lap_sample.hpp"

namespace corvel {

// The tuning, documented in docs/corvel-lap.md.
inline constexpr double kCornerGridStepM = 1.0;
inline constexpr double kHeadingChordM = 4.0;         // heading from the chord of +-this
inline constexpr double kCurvatureWindowM = 12.0;     // curvature from the heading change over +-this
inline constexpr double kCornerEntryCurvature = 1.0 / 250.0;  // per metre
inline constexpr double kCornerExitCurvature = 1.0 / 450.0;
inline constexpr double kCornerMergeGapM = 30.0;     // same-direction parts closer than this are one
inline constexpr double kMinCornerTurnRad = 0.26;    // about 15 degrees: less is a kink
// A path must span this much to carry a map.
inline constexpr double kMinCornerMapSpanM = 100.0;

enum class CornerDirection : std::uint8_t { Left, Right };

[[nodiscard]] std::string_view direction_text(CornerDirection direction);  // "left", "right"

struct TrackCorner {
    int number = 0;  // T1 is the first apex after the line
    CornerDirection direction = CornerDirection::Left;
    // On the lap's distance axis. A corner across the line has start_m < 0 (when its apex lies
    // after the line) or end_m above the track length (apex before the line).
    double start_m = 0.0;
    double apex_m = 0.0;
    double end_m = 0.0;
    double peak_curvature = 0.0;  // 1/m at the apex, positive
    double turn_rad = 0.0;        // how far the corner turns the car
    std::optional<std::string> name;
};

struct CornerMap {
    std::vector<TrackCorner> corners;  // by number, T1 first
    double from_m = 0.0;               // the stretch of the axis the path covered
    double to_m = 0.0;
};

// The map of the lap whose samples are `samples`, at distances `distance_m` (one per sample,
// non-decreasing: a timeline's). Samples without a finite position or distance, and polls that
// repeat the previous position, are left out. `track_length_m`, when given, numbers the
// corners from the line and stitches a corner that the line cuts when the lap covers it all.
// Linear in the samples and the distance covered.
[[nodiscard]] CornerMap find_corner_map(std::span<const LapSample> samples, std::span<const double> distance_m,
                                        std::optional<double> track_length_m);

}  // namespace corvel
