// Corner figures from the per-lap corner measures; the statistics are lap_statistics'.
#include "analysis/corner_consistency.hpp"

#include <algorithm>

#include "analysis/lap_statistics.hpp"

namespace corvel {

StintCorner corner_consistency(const TrackCorner& corner, std::span<const CornerLapMetrics> laps) {
    std::vector<double> times;
    std::vector<double> brake_points;
    std::vector<double> min_speeds;
    for (const CornerLapMetrics& lap : laps) {
        times.push_back(lap.time_s);
        if (lap.brake_point_m) brake_points.push_back(*lap.brake_point_m);
        min_speeds.push_back(lap.min_speed_kmh);
    }
    StintCorner out;
    out.number = corner.number;
    out.name = corner.name;
    out.apex_m = corner.apex_m;
    if (!times.empty()) out.best_s = *std::ranges::min_element(times);
    out.median_s = median(times);
    out.time_std_dev_s = sample_std_dev(times);
    out.brake_point_std_dev_m = sample_std_dev(brake_points);
    out.min_speed_std_dev_kmh = sample_std_dev(min_speeds);
    return out;
}

std::vector<int> corners_to_work_on(std::span<const StintCorner> corners, std::size_t count) {
    std::vector<std::pair<double, int>> spare;  // (median - best, number)
    for (const StintCorner& c : corners) {
        if (c.best_s && c.median_s && *c.median_s > *c.best_s) spare.emplace_back(*c.median_s - *c.best_s, c.number);
    }
    std::ranges::stable_sort(spare, [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<int> numbers;
    for (std::size_t i = 0; i < spare.size() && i < count; ++i) numbers.push_back(spare[i].second);
    return numbers;
}

}  // namespace corvel
