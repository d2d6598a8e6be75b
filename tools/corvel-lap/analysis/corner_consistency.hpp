// How steadily a driver takes each corner over a stint: the best and the median corner time,
// and the lap-to-lap spread of the time, the brake point and the minimum speed.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "analysis/corner_metrics.hpp"
#include "analysis/stint_summary.hpp"

namespace corvel {

// The figures of `corner` over the laps that cover it (`laps`: one lap's measure each). The
// brake point's spread counts only the laps that brake in the corner.
[[nodiscard]] StintCorner corner_consistency(const TrackCorner& corner, std::span<const CornerLapMetrics> laps);

// Up to `count` corner numbers with the most time between their median and their best, most
// first; corners without such time (a single lap, or every lap alike) are left out.
[[nodiscard]] std::vector<int> corners_to_work_on(std::span<const StintCorner> corners, std::size_t count = 3);

}  // namespace corvel
