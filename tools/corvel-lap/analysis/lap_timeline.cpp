// The per-sample timeline. Both halves are single passes over the samples (plus one pass to
// find the runs of equal session times), so a lap of a million samples costs milliseconds.
#include "analysis/lap_timeline.hpp"

#include <algorithm>
#include <cmath>

#include "analysis/lap_analysis.hpp"

namespace corvel {
namespace {

constexpr double kMinStepLimitM = 5.0;
constexpr double kKmhToMs = 1.0 / 3.6;

// The session clock as a non-decreasing sequence: a time that is not finite or steps back
// repeats the latest good time (before the first finite time, that one). All zero when no
// time is finite.
std::vector<double> cleaned_times(std::span<const double> times) {
    std::vector<double> clean(times.size(), 0.0);
    const auto first = std::ranges::find_if(times, [](double t) { return std::isfinite(t); });
    double latest = first == times.end() ? 0.0 : *first;
    for (std::size_t i = 0; i < times.size(); ++i) {
        if (std::isfinite(times[i]) && times[i] > latest) {
            latest = times[i];
        }
        clean[i] = latest;
    }
    return clean;
}

// The mean time between polls: from the start of the second run of equal times to the start
// of the last, the stretch whose both ends are scoring updates; with only two runs, the
// first run's length stands in (it may be partial, so this errs long).
double mean_poll_interval(const std::vector<double>& clean, const std::vector<std::size_t>& run_starts) {
    const std::size_t runs = run_starts.size();
    if (runs < 2) {
        return 0.0;
    }
    const std::size_t from = runs >= 3 ? run_starts[1] : 0;
    const std::size_t to = run_starts[runs - 1];
    return (clean[to] - clean[from]) / static_cast<double>(to - from);
}

bool finite_position(const LapSample& s) {
    return std::isfinite(s.pos_x) && std::isfinite(s.pos_z);
}

// The horizontal path length up to each sample, leaving out implausible steps.
std::vector<double> path_length(std::span<const LapSample> samples, const std::vector<double>& time_s) {
    std::vector<double> path(samples.size(), 0.0);
    double total = 0.0;
    std::optional<std::size_t> previous;  // the last sample with a finite position
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const LapSample& s = samples[i];
        if (finite_position(s)) {
            if (previous) {
                const LapSample& p = samples[*previous];
                const double step = std::hypot(static_cast<double>(s.pos_x) - p.pos_x,
                                               static_cast<double>(s.pos_z) - p.pos_z);
                const double speed_ms = std::max(s.speed_kmh, p.speed_kmh) * kKmhToMs;
                const double limit =
                    std::max(kMinStepLimitM, 2.0 * speed_ms * (time_s[i] - time_s[*previous]));
                if (std::isfinite(step) && step <= limit) {
                    total += step;
                }
            }
            previous = i;
        }
        path[i] = total;
    }
    return path;
}

}  // namespace

std::vector<double> spread_session_times(std::span<const double> session_times_s) {
    const std::size_t n = session_times_s.size();
    std::vector<double> t = cleaned_times(session_times_s);
    std::vector<std::size_t> run_starts;
    for (std::size_t i = 0; i < n; ++i) {
        if (i == 0 || t[i] != t[i - 1]) {
            run_starts.push_back(i);
        }
    }
    const std::vector<double> clean = t;
    const double dt = mean_poll_interval(clean, run_starts);
    const std::size_t runs = run_starts.size();
    for (std::size_t r = 0; r < runs; ++r) {
        const std::size_t begin = run_starts[r];
        const std::size_t end = r + 1 < runs ? run_starts[r + 1] : n;
        for (std::size_t i = begin; i < end; ++i) {
            const double k = static_cast<double>(i - begin);
            if (runs == 1) {
                t[i] = clean[begin];  // a clock that never moves says nothing about the polls
            } else if (r == 0) {
                // The lap began somewhere inside this scoring period: the run ends one poll
                // before the next update.
                t[i] = clean[end] - static_cast<double>(end - i) * dt;
            } else if (r + 1 == runs) {
                t[i] = clean[begin] + k * dt;
            } else {
                t[i] = clean[begin] + k * (clean[end] - clean[begin]) / static_cast<double>(end - begin);
            }
        }
    }
    const double origin = n == 0 ? 0.0 : t.front();
    for (double& v : t) {
        v -= origin;
    }
    return t;
}

LapTimeline compute_lap_timeline(std::span<const LapSample> samples,
                                 const std::optional<LapMetadata>& metadata) {
    LapTimeline timeline;
    std::vector<double> session(samples.size());
    std::ranges::transform(samples, session.begin(),
                           [](const LapSample& s) { return double{s.session_time}; });
    timeline.lap_time_s = spread_session_times(session);
    if (samples.size() > 1) {
        const double span = timeline.lap_time_s.back();
        timeline.mean_poll_interval_s = span > 0.0 ? span / static_cast<double>(samples.size() - 1) : 0.0;
    }

    timeline.distance_m = path_length(samples, timeline.lap_time_s);
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

double interpolate_at(std::span<const double> xs, std::span<const double> ys, double x) {
    if (xs.empty()) {
        return 0.0;
    }
    if (!(x > xs.front())) {
        return ys.front();
    }
    if (!(x < xs.back())) {
        // The last sample that reaches the end, so a lap's end time is its last sample's.
        return ys.back();
    }
    const auto above = std::ranges::upper_bound(xs, x);
    const std::size_t j = static_cast<std::size_t>(above - xs.begin());
    // xs[j - 1] <= x < xs[j]; step back to the first sample of a run of equal xs.
    std::size_t i = j - 1;
    const double x0 = xs[i];
    if (x == x0) {
        i = static_cast<std::size_t>(std::ranges::lower_bound(xs, x0) - xs.begin());
        return ys[i];
    }
    const double share = (x - x0) / (xs[j] - x0);
    return ys[i] + share * (ys[j] - ys[i]);
}

}  // namespace corvel
