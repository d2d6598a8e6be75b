// PROVISIONAL until the shared timeline module is merged: session time and lap fraction as
// they are stored; replaced by a thin adapter over lap_timeline / lap_comparison.
#include "report/report_timeline.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace corvel {

ReportTimeline report_timeline(const LapFile& lap) {
    ReportTimeline t;
    const double length =
        lap.metadata && lap.metadata->track_length_m > 0 ? lap.metadata->track_length_m : 1.0;
    double last_t = 0, last_d = 0;
    for (std::size_t i = 0; i < lap.samples.size(); ++i) {
        const double time = lap.samples[i].session_time - lap.samples[0].session_time;
        double d = lap.samples[i].lap_fraction * length;
        if (i < 20 && lap.samples[i].lap_fraction > 0.9) d = 0;
        last_t = std::isfinite(time) ? std::max(last_t, time) : last_t;
        last_d = std::isfinite(d) ? std::max(last_d, d) : last_d;
        t.lap_time_s.push_back(last_t);
        t.distance_m.push_back(last_d);
    }
    return t;
}

std::expected<ReportDelta, std::string> report_comparison(const ReportLap& lap, const ReportLap& reference) {
    ReportDelta out;
    if (lap.distance_m.empty() || reference.distance_m.empty()) return std::unexpected("too little distance");
    const double end = std::min(lap.distance_m.back(), reference.distance_m.back());
    for (double d = 0; d <= end; d += 2.0) out.grid_m.push_back(d);
    const auto a = interpolate_at(lap.distance_m, lap.lap_time_s, out.grid_m);
    const auto b = interpolate_at(reference.distance_m, reference.lap_time_s, out.grid_m);
    for (std::size_t i = 0; i < a.size(); ++i) out.delta_s.push_back(a[i] - b[i]);
    out.delta_at_line_s = lap.lap_time_s.back() - reference.lap_time_s.back();
    const int n = 25;
    for (int s = 0; s < n; ++s) {
        ReportSegment seg;
        seg.start_m = end * s / n;
        seg.end_m = end * (s + 1) / n;
        const std::vector<double> at{seg.start_m, seg.end_m};
        const auto ta = interpolate_at(lap.distance_m, lap.lap_time_s, at);
        const auto tb = interpolate_at(reference.distance_m, reference.lap_time_s, at);
        seg.lap_s = ta[1] - ta[0];
        seg.reference_s = tb[1] - tb[0];
        seg.delta_s = seg.lap_s - seg.reference_s;
        const auto speeds = [&](const ReportLap& l, double& lo, double& hi) {
            lo = std::numeric_limits<double>::quiet_NaN();
            hi = lo;
            for (std::size_t i = 0; i < l.distance_m.size(); ++i) {
                if (l.distance_m[i] < seg.start_m || l.distance_m[i] > seg.end_m) continue;
                const double v = l.file.samples[i].speed_kmh;
                lo = std::isnan(lo) ? v : std::min(lo, v);
                hi = std::isnan(hi) ? v : std::max(hi, v);
            }
        };
        speeds(lap, seg.lap_min_speed_kmh, seg.lap_max_speed_kmh);
        speeds(reference, seg.reference_min_speed_kmh, seg.reference_max_speed_kmh);
        out.segments.push_back(seg);
    }
    std::vector<std::size_t> order(out.segments.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::ranges::sort(order, [&](std::size_t left, std::size_t right) {
        return out.segments[left].delta_s > out.segments[right].delta_s;
    });
    for (std::size_t k = 0; k < std::min<std::size_t>(3, order.size()); ++k) {
        if (out.segments[order[k]].delta_s > 0) out.segments[order[k]].worst = true;
    }
    return out;
}

}  // namespace corvel
