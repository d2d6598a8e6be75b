// The per-sample timeline: line-anchored where the line can be placed, otherwise today's rule
// (first sample and path). Both are linear passes over the samples, so a lap of a million
// samples costs milliseconds.
#include "analysis/lap_timeline.hpp"

#include <algorithm>
#include <cmath>

#include "analysis/lap_analysis.hpp"
#include "analysis/line_anchor.hpp"
#include "analysis/telemetry_ticks.hpp"

namespace corvel {
namespace {

constexpr double kMinStepLimitM = 5.0;
constexpr double kKmhToMs = 1.0 / 3.6;

bool finite_position(const LapSample& s) {
    return std::isfinite(s.pos_x) && std::isfinite(s.pos_z);
}

}  // namespace

std::vector<double> car_path_m(std::span<const LapSample> samples, std::span<const double> time_s) {
    std::vector<double> path;
    path.reserve(samples.size());
    double total = 0.0;
    std::optional<std::size_t> previous;  // the last sample with a finite position
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const LapSample& s = samples[i];
        if (finite_position(s)) {
            // A poll that saw the same telemetry again adds nothing: no root to take.
            if (previous && (s.pos_x != samples[*previous].pos_x || s.pos_z != samples[*previous].pos_z)) {
                const LapSample& p = samples[*previous];
                const double dx = static_cast<double>(s.pos_x) - p.pos_x;
                const double dz = static_cast<double>(s.pos_z) - p.pos_z;
                const double step = std::sqrt(dx * dx + dz * dz);  // no overflow from f32 inputs
                const double speed_ms = std::max(s.speed_kmh, p.speed_kmh) * kKmhToMs;
                const double limit =
                    std::max(kMinStepLimitM, 2.0 * speed_ms * (time_s[i] - time_s[*previous]));
                if (std::isfinite(step) && step <= limit) {
                    total += step;
                }
            }
            previous = i;
        }
        path.push_back(total);
    }
    return path;
}

std::vector<double> spread_session_times(std::span<const double> session_times_s) {
    std::vector<double> t = poll_clock(std::vector<double>(session_times_s.begin(), session_times_s.end()));
    const double origin = t.empty() ? 0.0 : t.front();
    for (double& v : t) {
        v -= origin;
    }
    return t;
}

// The rule for a lap whose line cannot be placed.
LapTimeline first_sample_timeline(std::span<const LapSample> samples, const std::optional<LapMetadata>& metadata) {
    LapTimeline timeline;
    std::vector<double> session(samples.size());
    std::ranges::transform(samples, session.begin(),
                           [](const LapSample& s) { return double{s.session_time}; });
    timeline.lap_time_s = spread_session_times(session);
    if (samples.size() > 1) {
        const double span = timeline.lap_time_s.back();
        timeline.mean_poll_interval_s = span > 0.0 ? span / static_cast<double>(samples.size() - 1) : 0.0;
    }

    timeline.distance_m = car_path_m(samples, timeline.lap_time_s);
    const std::optional<double> length = track_length_m(metadata);
    if (!length) {
        return timeline;
    }
    double start = 0.0;
    if (metadata->started_mid_lap && std::isfinite(metadata->start_track_pct)) {
        start = std::clamp(static_cast<double>(metadata->start_track_pct), 0.0, 1.0) * *length;
    }
    const double travelled = timeline.distance_m.empty() ? 0.0 : timeline.distance_m.back();
    const double wanted = *length - start;
    const double scale = travelled > 0.0 && wanted > 0.0 ? wanted / travelled : 1.0;
    timeline.scaled_to_track_length = travelled > 0.0 && wanted > 0.0;
    for (double& d : timeline.distance_m) {
        d = start + d * scale;
    }
    return timeline;
}

LapTimeline compute_lap_timeline(std::span<const LapSample> samples, const std::optional<LapMetadata>& metadata) {
    auto anchored = anchor_to_line(samples, metadata);
    if (!anchored) {
        LapTimeline timeline = first_sample_timeline(samples, metadata);
        timeline.notes.push_back("not line-anchored (" + anchored.error() +
                                 "): times from the first sample, distances along the car's path");
        return timeline;
    }
    LapTimeline timeline;
    timeline.lap_time_s = std::move(anchored->lap_time_s);
    timeline.distance_m = std::move(anchored->distance_m);
    if (samples.size() > 1) {
        timeline.mean_poll_interval_s = std::max(0.0, timeline.lap_time_s.back() - timeline.lap_time_s.front()) /
                                        static_cast<double>(samples.size() - 1);
    }
    timeline.scaled_to_track_length = true;
    timeline.line_anchored = true;
    timeline.from_the_line = anchored->from_the_line;
    timeline.track_length_m = anchored->track_length_m;
    timeline.line_to_line_s = anchored->span_s;
    timeline.estimated_line_to_line_s = anchored->estimated_span_s;
    timeline.line_to_line_is_official = anchored->span_is_official;
    timeline.notes = std::move(anchored->notes);
    timeline.warnings = std::move(anchored->warnings);
    return timeline;
}

double interpolate_at(std::span<const double> xs, std::span<const double> ys, double x) {
    return CurveReader(xs).at(ys, x);
}

CurveReader::Point CurveReader::locate(double x) {
    const std::span<const double> xs = xs_;
    if (xs.empty()) return {.empty = true};
    if (!(x > xs.front())) return {};
    // The last sample that reaches the end, so a lap's end time is its last sample's.
    if (!(x < xs.back())) return {xs.size() - 1, xs.size() - 1};
    // The first x above: a few steps on from the last one when x has risen, else a search.
    constexpr std::size_t kSteps = 8;
    std::size_t j = above_;
    if (j > 0 && j < xs.size() && xs[j - 1] <= x) {
        const std::size_t stop = std::min(xs.size(), j + kSteps);
        while (j < stop && xs[j] <= x) ++j;
        if (j == stop && xs[j - 1] <= x) j = static_cast<std::size_t>(std::upper_bound(xs.begin() + j, xs.end(), x) - xs.begin());
    } else {
        j = static_cast<std::size_t>(std::ranges::upper_bound(xs, x) - xs.begin());
    }
    above_ = j;
    // xs[j - 1] <= x < xs[j]; step back to the first sample of a run of equal xs.
    const std::size_t i = j - 1;
    const double x0 = xs[i];
    if (x == x0) {
        const auto first = static_cast<std::size_t>(std::ranges::lower_bound(xs, x0) - xs.begin());
        return {first, first};
    }
    return {i, j, (x - x0) / (xs[j] - x0)};
}

TimedSpan timed_span(const LapTimeline& t) {
    TimedSpan span;
    const std::vector<double>& d = t.distance_m;
    span.end = d.size();
    if (!t.line_anchored) {
        span.start_m = d.empty() ? 0.0 : d.front();
        span.end_m = d.empty() ? 0.0 : d.back();
        return span;
    }
    span.begin = static_cast<std::size_t>(std::ranges::upper_bound(d, 0.0) - d.begin());
    if (!t.from_the_line && span.begin > 0 && d[span.begin - 1] == 0.0) --span.begin;
    span.end = static_cast<std::size_t>(std::ranges::lower_bound(d, t.track_length_m) - d.begin());
    span.start_m = t.from_the_line || span.begin >= span.end ? 0.0 : d[span.begin];
    span.end_m = t.track_length_m;
    return span;
}

namespace {

// The time since the line at `distance_m` of a line-anchored lap, `curve` reading its timed span.
double anchored_time_at(const LapTimeline& t, const TimedSpan& lap, std::span<const double> d,
                        std::span<const double> s, CurveReader& curve, double distance_m) {
    const auto between = [](double x0, double y0, double x1, double y1, double x) {
        return x1 > x0 ? y0 + (x - x0) / (x1 - x0) * (y1 - y0) : y0;
    };
    const double span = t.line_to_line_s;
    if (lap.begin >= lap.end) return between(0.0, 0.0, lap.end_m, span, std::clamp(distance_m, 0.0, lap.end_m));
    if (distance_m < d.front()) {
        if (!t.from_the_line) return s.front();
        return between(0.0, 0.0, d.front(), s.front(), std::max(distance_m, 0.0));
    }
    if (distance_m >= d.back()) {
        return std::max(s.back(), between(d.back(), s.back(), lap.end_m, span, std::min(distance_m, lap.end_m)));
    }
    return curve.at(s, distance_m);
}

std::span<const double> in_span(const std::vector<double>& v, const TimedSpan& span) {
    return span.begin < span.end ? std::span<const double>(v.data() + span.begin, span.end - span.begin)
                                 : std::span<const double>();
}

}  // namespace

double time_at_distance(const LapTimeline& t, const TimedSpan& lap, double distance_m) {
    if (!t.line_anchored) return interpolate_at(t.distance_m, t.lap_time_s, distance_m);
    const std::span<const double> d = in_span(t.distance_m, lap);
    CurveReader curve(d);
    return anchored_time_at(t, lap, d, in_span(t.lap_time_s, lap), curve, distance_m);
}

double time_at_distance(const LapTimeline& timeline, double distance_m) {
    return time_at_distance(timeline, timed_span(timeline), distance_m);
}

LapTimeReader::LapTimeReader(const LapTimeline& timeline)
    : timeline_(timeline),
      span_(timed_span(timeline)),
      d_(timeline.line_anchored ? in_span(timeline.distance_m, span_) : std::span<const double>(timeline.distance_m)),
      s_(timeline.line_anchored ? in_span(timeline.lap_time_s, span_) : std::span<const double>(timeline.lap_time_s)),
      curve_(d_) {}

double LapTimeReader::at(double distance_m) {
    if (!timeline_.line_anchored) return curve_.at(s_, distance_m);
    return anchored_time_at(timeline_, span_, d_, s_, curve_, distance_m);
}

}  // namespace corvel
