// The data blob of the HTML report: one JSON document with the lap's metadata, its channels
// per sample against distance, a thinned track map and, when comparing, the reference's
// channels at the lap's distances, the delta and the minisectors. Safe inside <script>.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "corvel_lap/lap_file_reader.hpp"

namespace corvel {

// One lap with its per-sample timeline (both spans as long as `file.samples`).
struct ReportLap {
    const LapFile& file;
    std::string label;  // how the user named the file
    std::span<const double> lap_time_s;
    std::span<const double> distance_m;
};

struct ReportSegment {
    double start_m = 0.0;
    double end_m = 0.0;
    double lap_s = 0.0;
    double reference_s = 0.0;
    double delta_s = 0.0;
    double lap_min_speed_kmh = 0.0;
    double lap_max_speed_kmh = 0.0;
    double reference_min_speed_kmh = 0.0;
    double reference_max_speed_kmh = 0.0;
    bool worst = false;
};

// A lap against a reference: the delta ("this lap minus the reference at the same distance")
// on the comparison's distance grid, at the line, and the minisectors.
struct ReportComparison {
    const ReportLap& reference;
    std::span<const double> grid_m;
    std::span<const double> delta_s;  // one per grid point
    double delta_at_line_s = 0.0;
    std::span<const ReportSegment> segments;
};

// The report's map keeps about this many points: enough for a smooth path on any screen,
// few enough that a long stint's page stays small.
inline constexpr std::size_t kMapPoints = 3000;

// The blob as JSON text, with <, >, & and U+2028/U+2029 written as \u escapes so that no
// name in the lap can end the script element; numbers that are not finite become null.
[[nodiscard]] std::string build_report_data(const ReportLap& lap, const ReportComparison* comparison);

// JSON text made safe for a <script> element (the escapes above).
[[nodiscard]] std::string script_safe_json(std::string_view json);

// `values` (sorted by `at`) sampled at each of `where` by linear interpolation; NaN outside
// the range of `at`. `where` need not be sorted, but sorted input is linear time.
[[nodiscard]] std::vector<double> interpolate_at(std::span<const double> at, std::span<const double> values,
                                                 std::span<const double> where);

}  // namespace corvel
