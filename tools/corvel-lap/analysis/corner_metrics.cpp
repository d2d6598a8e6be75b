// Per-corner metrics: each is a search over the samples of a short stretch around the corner,
// found by binary search on the timeline's distances.
#include "analysis/corner_metrics.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace corvel {
namespace {

constexpr std::uint8_t kAbsBit = 8;
constexpr std::uint8_t kTcBit = 16;

double brake_of(const LapSample& s) { return s.brake / 255.0; }
double throttle_of(const LapSample& s) { return s.throttle / 255.0; }

// The lap's samples with the timeline they stand on.
struct LapView {
    std::span<const LapSample> samples;
    const LapTimeline& timeline;
    TimedSpan span = timed_span(timeline);

    [[nodiscard]] std::span<const double> d() const { return timeline.distance_m; }
    [[nodiscard]] std::size_t size() const { return std::min(samples.size(), timeline.distance_m.size()); }
    // First sample at or after `m`.
    [[nodiscard]] std::size_t first_at(double m) const {
        return static_cast<std::size_t>(std::ranges::lower_bound(d().first(size()), m) - d().begin());
    }
    // One past the last sample at or before `m`.
    [[nodiscard]] std::size_t past(double m) const {
        return static_cast<std::size_t>(std::ranges::upper_bound(d().first(size()), m) - d().begin());
    }
    // Read as compare reads it, so that corners and straights add up to compare's delta.
    [[nodiscard]] double time_at(double m) const { return time_at_distance(timeline, span, m); }
    // Where between samples a - 1 and a a pedal crossed `level` upwards.
    [[nodiscard]] double crossing(std::size_t a, double before, double after, double level) const {
        if (a == 0 || !(after > before)) return d()[a];
        const double share = std::clamp((level - before) / (after - before), 0.0, 1.0);
        return d()[a - 1] + share * (d()[a] - d()[a - 1]);
    }
};

struct BrakeRun {
    double point_m = 0.0;
    double peak = 0.0;
};

// The nearest braking run before the apex that reaches kBrakeRunPeakShare, searched back to
// `limit_m`; a run still on at the apex counts its peak after it too.
std::optional<BrakeRun> brake_run(const LapView& lap, double limit_m, double apex_m) {
    const std::size_t lo = lap.first_at(limit_m);
    const std::size_t hi = lap.past(apex_m);
    if (hi <= lo) return std::nullopt;
    double peak = 0.0;
    if (brake_of(lap.samples[hi - 1]) >= kBrakeOnShare) {
        for (std::size_t k = hi; k < lap.size() && brake_of(lap.samples[k]) >= kBrakeOnShare; ++k)
            peak = std::max(peak, brake_of(lap.samples[k]));
    }
    std::optional<std::size_t> run_first;
    for (std::size_t k = hi; k-- > lo;) {
        const double b = brake_of(lap.samples[k]);
        if (b >= kBrakeOnShare) {
            run_first = k;
            peak = std::max(peak, b);
            continue;
        }
        if (run_first && peak >= kBrakeRunPeakShare) {
            return BrakeRun{lap.crossing(*run_first, b, brake_of(lap.samples[*run_first]), kBrakeOnShare), peak};
        }
        run_first.reset();
        peak = 0.0;
    }
    if (run_first && peak >= kBrakeRunPeakShare) return BrakeRun{lap.d()[*run_first], peak};
    return std::nullopt;
}

// Metres of [from, to] over which `holds` is true, each sample's state holding until the next.
template <typename Holds>
double metres_where(const LapView& lap, double from, double to, Holds holds) {
    double total = 0.0;
    const std::size_t begin = lap.first_at(from);
    const std::size_t first = begin > 0 ? begin - 1 : 0;
    const std::size_t end = std::min(lap.past(to), lap.size() - 1);
    for (std::size_t k = first; k < end; ++k) {
        if (!holds(lap.samples[k])) continue;
        const double a = std::max(from, lap.d()[k]);
        const double b = std::min(to, lap.d()[k + 1]);
        if (b > a) total += b - a;
    }
    return total;
}

// The scoring update (a sample whose session clock moved) nearest the apex in time: path
// offset and track edge only change with it.
std::optional<double> width_used(const LapView& lap, double apex_m) {
    const double apex_s = lap.time_at(apex_m);
    std::optional<std::size_t> best;
    double best_gap = std::numeric_limits<double>::infinity();
    // The nearest update lies within one scoring period of the apex: look a few seconds around.
    const std::size_t centre = std::min(lap.first_at(apex_m), lap.size() - 1);
    const auto& t = lap.timeline.lap_time_s;
    std::size_t from = centre;
    while (from > 0 && t[from] > apex_s - 2.0) --from;
    for (std::size_t k = from; k < lap.size() && t[k] < apex_s + 2.0; ++k) {
        const bool update = k == 0 || lap.samples[k].session_time != lap.samples[k - 1].session_time;
        if (update && std::abs(t[k] - apex_s) < best_gap) {
            best_gap = std::abs(t[k] - apex_s);
            best = k;
        }
    }
    if (!best || lap.samples[*best].track_edge_cm == 0) return std::nullopt;
    const LapSample& s = lap.samples[*best];
    return std::clamp(std::abs(static_cast<double>(s.path_lateral_cm)) / s.track_edge_cm, 0.0, 1.0);
}

CornerLapMetrics measure(const LapView& lap, const TrackCorner& c, double previous_apex_m, double next_start_m) {
    CornerLapMetrics m;
    if (const auto run = brake_run(lap, previous_apex_m, c.apex_m)) {
        m.brake_point_m = run->point_m;
        m.peak_brake = run->peak;
    }
    const auto speed_at = [&](double at) {
        const std::size_t k = std::min(lap.first_at(at), lap.size() - 1);
        if (k == 0 || lap.d()[k] == at) return static_cast<double>(lap.samples[k].speed_kmh);
        const double a = lap.d()[k - 1];
        const double share = lap.d()[k] > a ? (at - a) / (lap.d()[k] - a) : 1.0;
        return lap.samples[k - 1].speed_kmh + share * (lap.samples[k].speed_kmh - lap.samples[k - 1].speed_kmh);
    };
    m.entry_speed_kmh = speed_at(c.start_m);
    m.exit_speed_kmh = speed_at(c.end_m);

    // The minimum: the middle of the first run of samples at the lowest speed (whole km/h).
    const std::size_t lo = lap.first_at(c.start_m);
    const std::size_t hi = lap.past(c.end_m);
    std::size_t min_index = std::min(lap.first_at(c.apex_m), lap.size() - 1);
    std::size_t min_last = min_index;
    for (std::size_t k = lo; k < hi; ++k) {
        if (k == lo || lap.samples[k].speed_kmh < lap.samples[min_index].speed_kmh) {
            min_index = min_last = k;
        } else if (lap.samples[k].speed_kmh == lap.samples[min_index].speed_kmh && min_last + 1 == k) {
            min_last = k;
        }
    }
    m.min_speed_kmh = lap.samples[min_index].speed_kmh;
    m.min_speed_at_m = 0.5 * (lap.d()[min_index] + lap.d()[min_last]);

    for (std::size_t k = min_index; k < lap.size() && lap.d()[k] <= next_start_m; ++k) {
        const double t = throttle_of(lap.samples[k]);
        if (t >= kFullThrottleShare) {
            const double before = k > 0 ? throttle_of(lap.samples[k - 1]) : t;
            m.throttle_pickup_m = k > min_index ? lap.crossing(k, before, t, kFullThrottleShare) : lap.d()[k];
            break;
        }
    }
    m.coasting_m = metres_where(lap, c.start_m, c.end_m, [](const LapSample& s) {
        return throttle_of(s) <= kPedalOffShare && brake_of(s) <= kPedalOffShare;
    });
    m.abs_m = metres_where(lap, c.start_m, c.end_m, [](const LapSample& s) { return (s.flags & kAbsBit) != 0; });
    m.tc_m = metres_where(lap, c.start_m, c.end_m, [](const LapSample& s) { return (s.flags & kTcBit) != 0; });
    m.width_used = width_used(lap, c.apex_m);
    m.time_s = lap.time_at(c.end_m) - lap.time_at(c.start_m);
    return m;
}

bool covers(const LapTimeline& t, double from, double to) {
    return !t.distance_m.empty() && from >= t.distance_m.front() && to <= t.distance_m.back();
}

bool covers_whole_lap(const LapTimeline& t, std::optional<double> length) {
    return length && !t.distance_m.empty() && t.distance_m.front() <= kWholeLapSlackM &&
           t.distance_m.back() >= *length - kWholeLapSlackM;
}

// `from_line`: the stretch starts at the line, where both line-anchored laps' clocks read 0
// (a lap joined late included: its time since the line is known).
StraightDelta straight(const LapView& lap, const LapView& reference, double from, double to, bool from_line = false) {
    const double lap_from = from_line ? 0.0 : lap.time_at(from);
    const double reference_from = from_line ? 0.0 : reference.time_at(from);
    StraightDelta s{from, to, lap.time_at(to) - lap_from, reference.time_at(to) - reference_from, 0.0};
    s.delta_s = s.lap_s - s.reference_s;
    return s;
}

}  // namespace

std::vector<std::optional<CornerLapMetrics>> measure_corners(std::span<const LapSample> samples,
                                                             const LapTimeline& timeline, const CornerMap& map) {
    const LapView lap{samples, timeline};
    std::vector<std::optional<CornerLapMetrics>> out(map.corners.size());
    if (lap.size() == 0) return out;
    for (std::size_t i = 0; i < map.corners.size(); ++i) {
        const TrackCorner& c = map.corners[i];
        if (!covers(timeline, c.start_m, c.end_m)) continue;
        const double previous_apex = i > 0 ? map.corners[i - 1].apex_m : -std::numeric_limits<double>::infinity();
        const double next_start =
            i + 1 < map.corners.size() ? map.corners[i + 1].start_m : std::numeric_limits<double>::infinity();
        out[i] = measure(lap, c, previous_apex, next_start);
    }
    return out;
}

CornerComparison compare_corners(std::span<const LapSample> lap, const LapTimeline& lap_timeline,
                                 std::span<const LapSample> reference, const LapTimeline& reference_timeline,
                                 double from_m, double to_m, std::optional<double> track_length_m) {
    CornerComparison result;
    result.map_from_reference =
        covers_whole_lap(reference_timeline, track_length_m) || !covers_whole_lap(lap_timeline, track_length_m);
    result.map = result.map_from_reference
                     ? find_corner_map(reference, reference_timeline.distance_m, track_length_m)
                     : find_corner_map(lap, lap_timeline.distance_m, track_length_m);
    const auto ours = measure_corners(lap, lap_timeline, result.map);
    const auto theirs = measure_corners(reference, reference_timeline, result.map);
    const LapView a{lap, lap_timeline};
    const LapView b{reference, reference_timeline};
    // Two line-anchored laps' delta counts from the line, so the first straight does too.
    const bool since_line = lap_timeline.line_anchored && reference_timeline.line_anchored;
    double at = since_line ? 0.0 : from_m;
    bool first = true;
    for (std::size_t i = 0; i < result.map.corners.size(); ++i) {
        const TrackCorner& c = result.map.corners[i];
        if (!ours[i] || !theirs[i] || c.start_m < from_m || c.end_m > to_m || c.start_m < at) {
            result.warnings.push_back("T" + std::to_string(c.number) +
                                      " is left out of the corner table: the laps do not both cover it");
            continue;
        }
        result.straights.push_back(straight(a, b, at, c.start_m, since_line && first));
        first = false;
        CornerDelta d{c, ours[i]->time_s, theirs[i]->time_s, ours[i]->time_s - theirs[i]->time_s, *ours[i], *theirs[i]};
        result.corners.push_back(d);
        at = c.end_m;
    }
    result.straights.push_back(straight(a, b, at, to_m, since_line && first));
    std::erase_if(result.straights, [](const StraightDelta& s) { return !(s.end_m > s.start_m); });
    return result;
}

CornerThirds corner_thirds(const CornerDelta& corner, const LapTimeline& lap, const LapTimeline& reference) {
    const TrackCorner& c = corner.corner;
    const double cut1 = 0.5 * (c.start_m + c.apex_m);
    const double cut2 = 0.5 * (c.apex_m + c.end_m);
    const auto delta = [&](double from, double to) {
        const auto t = [](const LapTimeline& l, double m) { return interpolate_at(l.distance_m, l.lap_time_s, m); };
        return (t(lap, to) - t(lap, from)) - (t(reference, to) - t(reference, from));
    };
    return {delta(c.start_m, cut1), delta(cut1, cut2), delta(cut2, c.end_m)};
}

}  // namespace corvel
