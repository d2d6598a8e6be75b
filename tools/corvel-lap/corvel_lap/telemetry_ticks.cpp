// Tick reconstruction in three single passes: group the samples into ticks (a run of polls
// that saw the same telemetry), number the ticks on a regular grid from the car's movement
// between them, and fit that grid to the poll clock.
#include "corvel_lap/telemetry_ticks.hpp"

#include <algorithm>
#include <cmath>

namespace corvel {
namespace {

// Below this speed the step between two ticks says too little about the time between them.
constexpr double kMinTimingSpeedMs = 10.0;
constexpr double kKmhToMs = 1.0 / 3.6;
// A grid that leaves a tick further than this from its poll does not describe the telemetry.
constexpr double kMaxGridResidualS = 0.08;
constexpr std::size_t kMinTimingSteps = 20;

// The telemetry fields that change at every tick while the car moves; the scoring's fields
// (session time, lap fraction, path lateral, track edge) have their own, slower rate.
bool same_telemetry(const LapSample& a, const LapSample& b) {
    return a.pos_x == b.pos_x && a.pos_z == b.pos_z && a.speed_kmh == b.speed_kmh &&
           a.engine_rpm == b.engine_rpm && a.throttle == b.throttle && a.brake == b.brake &&
           a.clutch == b.clutch && a.steering == b.steering && a.gear == b.gear && a.lateral_g == b.lateral_g &&
           a.longitudinal_g == b.longitudinal_g;
}

// Time from one tick to the next as the car's movement tells it, or NaN where it cannot.
// The stored speed is truncated to whole km/h, so half a km/h is its expected shortfall.
double moved_time_s(const LapSample& a, const LapSample& b) {
    const double dx = double{b.pos_x} - a.pos_x;
    const double dz = double{b.pos_z} - a.pos_z;
    const double step = std::sqrt(dx * dx + dz * dz);  // hypot's care for overflow costs, f32 cannot overflow here
    const double speed = (0.5 * (a.speed_kmh + b.speed_kmh) + 0.5) * kKmhToMs;
    if (!std::isfinite(step) || speed < kMinTimingSpeedMs) return std::nan("");
    return step / speed;
}

struct Tick {
    std::size_t first_sample;
    double poll_s;       // poll clock when first seen
    double moved_s;      // movement time from the previous tick, NaN when unknown
    long long grid = 0;  // tick number on the grid
};

// A low percentile of the movement times: at 100 Hz polled every 16 ms a poll sees one or two
// new ticks, so the shortest steps are single ticks.
double shortest_step_s(const std::vector<Tick>& ticks) {
    std::vector<double> steps;
    steps.reserve(ticks.size());
    for (const Tick& t : ticks) {
        if (std::isfinite(t.moved_s) && t.moved_s > 0.002 && t.moved_s < 0.1) steps.push_back(t.moved_s);
    }
    if (steps.size() < kMinTimingSteps) return 0.0;
    const auto at = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 10);
    std::nth_element(steps.begin(), at, steps.end());
    return *at;
}

// Numbers the ticks: the movement says how many periods passed, unless it disagrees with the
// polls by more than a period (a teleport, a damaged position), when the polls say it.
void number_ticks(std::vector<Tick>& ticks, double period_s) {
    ticks.front().grid = 0;
    for (std::size_t k = 1; k < ticks.size(); ++k) {
        const double polled = ticks[k].poll_s - ticks[k - 1].poll_s;
        double periods = std::round(polled / period_s);
        if (std::isfinite(ticks[k].moved_s)) {
            const double moved = std::round(ticks[k].moved_s / period_s);
            if (std::abs(moved * period_s - polled) <= period_s + 0.005) periods = moved;
        }
        ticks[k].grid = ticks[k - 1].grid + static_cast<long long>(std::max(1.0, periods));
    }
}

struct GridFit {
    double origin_s;
    double period_s;
};

// Least squares of the poll clock on the tick numbers.
GridFit fit_grid(const std::vector<Tick>& ticks) {
    const double n = static_cast<double>(ticks.size());
    double mean_m = 0.0;
    double mean_t = 0.0;
    for (const Tick& t : ticks) {
        mean_m += static_cast<double>(t.grid) / n;
        mean_t += t.poll_s / n;
    }
    double sxy = 0.0;
    double sxx = 0.0;
    for (const Tick& t : ticks) {
        const double dm = static_cast<double>(t.grid) - mean_m;
        sxy += dm * (t.poll_s - mean_t);
        sxx += dm * dm;
    }
    const double period = sxx > 0.0 ? sxy / sxx : 0.0;
    return {mean_t - period * mean_m, period};
}

}  // namespace

std::vector<double> poll_clock(std::span<const double> session_times_s) {
    const std::size_t n = session_times_s.size();
    std::vector<double> clean(n, 0.0);
    const auto first = std::ranges::find_if(session_times_s, [](double t) { return std::isfinite(t); });
    double latest = first == session_times_s.end() ? 0.0 : *first;
    std::vector<std::size_t> updates;  // the first poll of each new session time
    for (std::size_t i = 0; i < n; ++i) {
        if (std::isfinite(session_times_s[i]) && session_times_s[i] > latest) latest = session_times_s[i];
        clean[i] = latest;
        if (i == 0 || clean[i] != clean[i - 1]) updates.push_back(i);
    }
    if (updates.size() < 2) return clean;  // a clock that never moves says nothing about the polls
    // The mean poll interval from the second update to the last, both true update polls; with
    // two updates only, the first run stands in (it may be partial, so this errs long).
    const std::size_t from = updates.size() >= 3 ? updates[1] : 0;
    const std::size_t to = updates.back();
    const double interval = (clean[to] - clean[from]) / static_cast<double>(to - from);
    std::vector<double> t(n);
    for (std::size_t u = 0; u < updates.size(); ++u) {
        const std::size_t begin = updates[u];
        const std::size_t end = u + 1 < updates.size() ? updates[u + 1] : n;
        for (std::size_t i = begin; i < end; ++i) {
            if (u == 0) {
                // The lap began somewhere inside this scoring period: lay it back from its end.
                t[i] = clean[end] - static_cast<double>(end - i) * interval;
            } else if (u + 1 == updates.size()) {
                t[i] = clean[begin] + static_cast<double>(i - begin) * interval;
            } else {
                t[i] = clean[begin] + static_cast<double>(i - begin) * (clean[end] - clean[begin]) /
                                          static_cast<double>(end - begin);
            }
        }
    }
    return t;
}

TelemetryTicks reconstruct_tick_times(std::span<const LapSample> samples) {
    TelemetryTicks result;
    std::vector<double> session(samples.size());
    std::ranges::transform(samples, session.begin(), [](const LapSample& s) { return double{s.session_time}; });
    result.time_s = poll_clock(session);
    if (samples.empty()) return result;

    std::vector<Tick> ticks;
    ticks.reserve(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (i > 0 && same_telemetry(samples[i], samples[i - 1])) continue;
        const double moved = ticks.empty() ? std::nan("") : moved_time_s(samples[ticks.back().first_sample], samples[i]);
        ticks.push_back({i, result.time_s[i], moved});
    }
    GridFit fit{0.0, shortest_step_s(ticks)};
    for (int round = 0; round < 2 && fit.period_s > 0.002; ++round) {
        number_ticks(ticks, fit.period_s);
        fit = fit_grid(ticks);
    }
    if (!(fit.period_s > 0.002)) return result;
    for (const Tick& t : ticks) {
        const double on_grid = fit.origin_s + fit.period_s * static_cast<double>(t.grid);
        if (!(std::abs(on_grid - t.poll_s) <= kMaxGridResidualS)) return result;  // keep the poll times
    }
    for (std::size_t k = 0; k < ticks.size(); ++k) {
        const double on_grid = fit.origin_s + fit.period_s * static_cast<double>(ticks[k].grid);
        const std::size_t end = k + 1 < ticks.size() ? ticks[k + 1].first_sample : samples.size();
        std::fill(result.time_s.begin() + static_cast<std::ptrdiff_t>(ticks[k].first_sample),
                  result.time_s.begin() + static_cast<std::ptrdiff_t>(end), on_grid);
    }
    result.tick_period_s = fit.period_s;
    return result;
}

}  // namespace corvel
