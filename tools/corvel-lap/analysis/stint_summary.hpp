// A stint as a driver wants to see it: every lap of a folder grouped by track and car, and for
// each group the best lap, the typical pace, the ideal lap (the best of each part of the track
// put together), the consistency lap by lap and corner by corner, and the corners to work on.
// Every distance is on the timeline's axis, as compare shows it; the definitions are in
// docs/corvel-lap.md.
#pragma once

#include <cstddef>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "analysis/corner_map.hpp"

namespace corvel {

// Laps slower than this share of the group's best are listed but left out of the figures.
inline constexpr double kComparableLapShare = 1.07;

struct StintLap {
    std::string file;  // relative to the stint folder, with "/"
    std::string created_at;  // the metadata's, the lap order; empty without metadata
    std::optional<double> lap_time_s;  // the timeline's line-to-line time, else the listing's
    std::optional<double> gap_s;       // to the group's best lap
    std::optional<double> fuel_used_l;
    bool included = false;     // counted in the lap figures
    std::optional<std::string> note;  // why not counted ("began mid-lap", "invalidated", "pit lane",
                                      // "slower than 107 % of the best", ...); null when counted
};

enum class IdealPartKind { Corner, Straight };

// One part of the track on the ideal lap: a corner of the best lap's map, or the straight
// between two of them (the first from the line, the last to the line).
struct IdealPart {
    IdealPartKind kind = IdealPartKind::Straight;
    std::optional<int> corner_number;  // corners only
    double start_m = 0.0;
    double end_m = 0.0;
    double best_s = 0.0;
    std::size_t from_lap = 0;  // index into StintGroup::laps
};

struct StintCorner {
    int number = 0;
    std::optional<std::string> name;
    double apex_m = 0.0;
    std::optional<double> best_s;  // corner time, over the laps that cover the corner
    std::optional<double> median_s;
    // Sample standard deviations; null with fewer than two laps that cover the corner (or,
    // for the brake point, that brake in it).
    std::optional<double> time_std_dev_s;
    std::optional<double> brake_point_std_dev_m;
    std::optional<double> min_speed_std_dev_kmh;
};

// A point of the best lap's path, for drawing the map.
struct StintPathPoint {
    double distance_m = 0.0;
    double x = 0.0;
    double z = 0.0;
};

struct StintGroup {
    std::string track;  // as `list` shows them
    std::string car;
    std::vector<StintLap> laps;  // in createdAt order
    std::optional<std::size_t> best_lap;  // index into laps; none without a counted lap
    std::optional<double> median_lap_s;   // of the counted laps
    std::optional<double> ideal_lap_s;    // sum of ideal_parts' best_s
    std::vector<IdealPart> ideal_parts;   // in track order, from the line to the line
    std::optional<double> lap_time_std_dev_s;  // sample standard deviation of the counted laps
    std::optional<double> lap_time_std_dev_pct;  // of the median
    std::vector<StintCorner> corners;  // the best lap's map, in track order
    std::vector<int> work_on;          // up to three corner numbers, most time (median - best) first
    CornerMap map;                     // the best lap's corners
    std::vector<StintPathPoint> best_lap_path;  // thinned, for the map
    double track_length_m = 0.0;
    std::vector<std::string> warnings;  // shown with the group
};

struct UnreadableLap {
    std::string file;  // relative to the stint folder, with "/"
    std::string error;
};

struct StintSummary {
    std::vector<StintGroup> groups;  // by track, then car
    std::vector<UnreadableLap> unreadable;
};

struct StintOptions {
    bool recursive = false;
    // Only the laps whose track id, name or shown text holds this (ignoring ASCII case).
    std::optional<std::string> track;
    std::optional<std::string> car;    // the same for the car's name, id or shown text
};

// The stint in `folder`: each lap file read once (decompressed in parallel where it helps).
// The error is for a folder that cannot be read at all.
[[nodiscard]] std::expected<StintSummary, std::string> summarize_stint(const std::filesystem::path& folder,
                                                                     const StintOptions& options);

}  // namespace corvel
