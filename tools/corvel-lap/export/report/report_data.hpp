// The data blob of the HTML report: one JSON document with the lap's metadata, its channels
// per sample against the shared timeline's distance, a thinned track map and, when comparing,
// the reference's channels at the lap's distances and compare's delta and minisectors.
// Safe inside <script>.
#pragma once

#include "analysis/lap_timeline.hpp"

#include <expected>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/corner_names.hpp"
#include "analysis/lap_comparison.hpp"
#include "lap_format/json/lap_file.hpp"

namespace corvel {

// One lap with its per-sample timeline (both spans as long as `file.samples`).
struct ReportLap {
    const LapFile& file;
    std::string label;  // how the user named the file
    std::span<const double> lap_time_s;
    std::span<const double> distance_m;
    const LapTimeline& timeline;  // the same lap's timeline: line-to-line time, where it starts
};

// A lap against a reference: the reference on its own timeline, and the comparison of the two
// that `compare` prints (its grid, delta and minisectors).
struct ReportComparison {
    const ReportLap& reference;
    const LapComparison& comparison;
};

// The report's map keeps about this many points: enough for a smooth path on any screen,
// few enough that a long stint's page stays small.
inline constexpr std::size_t kMapPoints = 3000;

// The blob as JSON text, with <, >, & and U+2028/U+2029 written as \u escapes so that no
// name in the lap can end the script element; numbers that are not finite become null.
// `corners`, when given, is the blob's "corners" member: {"mapFrom": "lap" or "reference",
// "corners": the map (one lap) or compare's corner table, "straights" (comparing only)}.
[[nodiscard]] std::string build_report_data(const ReportLap& lap, const ReportComparison* comparison,
                                            const nlohmann::ordered_json* corners = nullptr);

struct ReportData {
    std::string json;                   // the blob, script-safe
    std::vector<std::string> warnings;  // for standard error, without "Warning: "
};

// The blob of `lap` (named `label`), compared with `reference` when one is given: each lap on
// the shared per-sample timeline, the comparison from compare_laps, the corners (named by
// `names` when given) as `corners` and `compare` find them. Errors are compare's.
[[nodiscard]] std::expected<ReportData, std::string> make_report_data(const LapFile& lap,
                                                                      std::string_view label,
                                                                      const LapFile* reference,
                                                                      std::string_view reference_label,
                                                                      const CornerNames* names = nullptr);

// JSON text made safe for a <script> element (the escapes above).
[[nodiscard]] std::string script_safe_json(std::string_view json);

// `values` (sorted by `at`) sampled at each of `where` by linear interpolation; NaN outside
// the range of `at`, so a trace resampled onto another lap's distances leaves a gap where it
// has no data. `where` need not be sorted.
[[nodiscard]] std::vector<double> resample_at(std::span<const double> at, std::span<const double> values,
                                              std::span<const double> where);

}  // namespace corvel
