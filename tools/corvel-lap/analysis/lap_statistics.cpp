// Median by a sorted copy and the standard deviation in two passes (the mean first), which
// keeps full precision for lap times that differ by milliseconds around 100 s.
#include "analysis/lap_statistics.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace corvel {

std::optional<double> median(std::span<const double> values) {
    if (values.empty()) return std::nullopt;
    std::vector<double> sorted(values.begin(), values.end());
    std::ranges::sort(sorted);
    const std::size_t mid = sorted.size() / 2;
    return sorted.size() % 2 == 1 ? sorted[mid] : 0.5 * (sorted[mid - 1] + sorted[mid]);
}

std::optional<double> sample_std_dev(std::span<const double> values) {
    if (values.size() < 2) return std::nullopt;
    double mean = 0.0;
    for (const double v : values) mean += v;
    mean /= static_cast<double>(values.size());
    double squares = 0.0;
    for (const double v : values) squares += (v - mean) * (v - mean);
    return std::sqrt(squares / static_cast<double>(values.size() - 1));
}

}  // namespace corvel
