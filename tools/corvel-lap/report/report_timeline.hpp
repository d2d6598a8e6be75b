// What the report takes from the shared lap timeline and the lap comparison, in the shape
// the report's data blob is built from.
#pragma once

#include <expected>
#include <string>
#include <vector>

#include "corvel_lap/lap_file_reader.hpp"
#include "report/report_data.hpp"

namespace corvel {

struct ReportTimeline {
    std::vector<double> lap_time_s;
    std::vector<double> distance_m;
};

[[nodiscard]] ReportTimeline report_timeline(const LapFile& lap);

struct ReportDelta {
    std::vector<double> grid_m;
    std::vector<double> delta_s;
    double delta_at_line_s = 0.0;
    std::vector<ReportSegment> segments;
};

// The comparison of `lap` with `reference`; errors as `compare` gives them (different
// tracks, too little common distance).
[[nodiscard]] std::expected<ReportDelta, std::string> report_comparison(const ReportLap& lap,
                                                                        const ReportLap& reference);

}  // namespace corvel
