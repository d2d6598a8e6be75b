// Even-grid resampling. Both resamplers walk the grid and the samples together once, so a lap
// of N samples onto M points costs O(N + M).
#include "export/motec/even_grid.hpp"

#include <algorithm>
#include <cmath>

namespace corvel::motec {
namespace {

// The sample index j with times[j] <= t < times[j + 1], advancing from `from`; the last
// index when t is at or past the last time.
std::size_t segment_at(const std::vector<double>& times, double t, std::size_t from) {
    std::size_t j = from;
    while (j + 1 < times.size() && times[j + 1] <= t) ++j;
    return j;
}

}  // namespace

std::expected<EvenGrid, std::string> plan_even_grid(std::span<const double> sample_times_s,
                                                    double end_at_least_s, std::optional<double> start_at_s) {
    EvenGrid grid;
    double first = 0.0;
    double previous = 0.0;
    for (std::size_t i = 0; i < sample_times_s.size(); ++i) {
        const double t = sample_times_s[i];
        if (!std::isfinite(t)) continue;
        if (grid.kept.empty()) {
            first = t;
        } else if (t < previous) {
            continue;
        }
        grid.kept.push_back(i);
        grid.times_s.push_back(t);
        previous = t;
    }
    if (grid.kept.size() < 2)
        return std::unexpected("the lap needs at least two samples with increasing session times, it has " +
                               std::to_string(grid.kept.size()));
    const double span = previous - first;
    if (!(span > 0.0))
        return std::unexpected("the lap needs at least two samples with increasing session times; its " +
                               std::to_string(grid.kept.size()) + " samples all share one time");
    const double origin = start_at_s && std::isfinite(*start_at_s) ? std::min(*start_at_s, first) : first;
    for (double& t : grid.times_s) t -= origin;
    const double lead = grid.times_s.front();  // the stretch before the first sample

    grid.mean_rate_hz = static_cast<double>(grid.kept.size() - 1) / span;
    const double rounded =
        std::clamp(std::round(grid.mean_rate_hz), 1.0, static_cast<double>(kMaxGridRateHz));
    grid.rate_hz = static_cast<std::uint16_t>(rounded);
    const double end = grid.times_s.back();
    // The last point at or before the last sample, or the first at or past the wanted end
    // when that lies beyond it (even between the two).
    double last_point = std::floor(end * rounded);
    if (end_at_least_s > last_point / rounded && end_at_least_s - end <= kMaxHoldPastLastSampleS)
        last_point = std::ceil(end_at_least_s * rounded);
    const std::string what =
        std::to_string(grid.kept.size()) + " samples span " + std::to_string(span) + " s";
    if (!(last_point < static_cast<double>(kMaxGridPoints)))
        return std::unexpected("the lap's " + what + ", too long to export (at most " +
                               std::to_string(kMaxGridPoints) + " points)");
    const double sparse_limit = std::floor(lead * rounded) +
        static_cast<double>(kMaxGridPointsPerSample * grid.kept.size() + kGridPointAllowance);
    if (!(last_point < sparse_limit))
        return std::unexpected("the lap's " + what + ", too sparse to resample onto an even grid at " +
                               std::to_string(grid.rate_hz) + " Hz");
    grid.points = static_cast<std::size_t>(last_point) + 1;
    return grid;
}

std::vector<double> resample_linear(const EvenGrid& grid, std::span<const double> values) {
    std::vector<double> out;
    out.reserve(grid.points);
    const std::vector<double>& times = grid.times_s;
    std::size_t j = 0;
    for (std::size_t k = 0; k < grid.points; ++k) {
        const double t = static_cast<double>(k) / grid.rate_hz;
        j = segment_at(times, t, j);
        if (j + 1 >= times.size() || t < times[j]) {  // past the last sample, or before the first
            out.push_back(values[j]);
            continue;
        }
        const double share = (t - times[j]) / (times[j + 1] - times[j]);
        out.push_back(values[j] + (values[j + 1] - values[j]) * share);
    }
    return out;
}

std::vector<double> resample_hold(const EvenGrid& grid, std::span<const double> values) {
    std::vector<double> out;
    out.reserve(grid.points);
    std::size_t j = 0;
    for (std::size_t k = 0; k < grid.points; ++k) {
        j = segment_at(grid.times_s, static_cast<double>(k) / grid.rate_hz, j);
        out.push_back(values[j]);
    }
    return out;
}

void fill_non_finite(std::span<double> values) {
    const auto first_finite = std::ranges::find_if(values, [](double v) { return std::isfinite(v); });
    double last = first_finite == values.end() ? 0.0 : *first_finite;
    for (double& v : values) {
        if (std::isfinite(v)) {
            last = v;
        } else {
            v = last;
        }
    }
}

}  // namespace corvel::motec
