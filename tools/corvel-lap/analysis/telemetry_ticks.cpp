// Tick reconstruction in three single passes: group the samples into ticks (a run of polls
// that saw the same telemetry), number the ticks on a regular grid from the car's movement
// between them, and fit that grid to the poll clock.
#include "analysis/telemetry_ticks.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

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

// One tick: the first sample that showed it and its number on the grid. Kept small: a lap of
// a million samples holds about as many ticks.
struct Tick {
    std::uint32_t first_sample;
    std::int32_t grid;
    float moved_s;  // movement time from the previous tick, NaN when unknown
};

// Rounds a count of periods (never negative: the poll clock does not step back) to the nearest
// whole number without a library call, at most 1e9, a range any tick count fits in.
std::int64_t nearest(double x) {
    if (!(x < 1e9)) return 1'000'000'000;
    return static_cast<std::int64_t>(std::max(x, 0.0) + 0.5);
}

class TickGrid {
public:
    TickGrid(std::span<const LapSample> samples, std::span<const double> poll_s, std::vector<Tick>& ticks)
        : samples_(samples), poll_(poll_s), ticks_(ticks) {}

    double poll(std::size_t k) const { return poll_[ticks_[k].first_sample]; }
    double moved(std::size_t k) const { return ticks_[k].moved_s; }

    // A low percentile of the movement times (of up to a few thousand ticks spread over the
    // lap): at 100 Hz polled every 16 ms a poll sees one or two new ticks, so the shortest steps
    // are single ticks.
    double shortest_step_s() const {
        std::vector<double> steps;
        const std::size_t stride = std::max<std::size_t>(1, ticks_.size() / kPeriodSamples);
        steps.reserve(kPeriodSamples + 1);
        for (std::size_t k = 1; k < ticks_.size(); k += stride) {
            const double m = moved(k);
            if (std::isfinite(m) && m > 0.002 && m < 0.1) steps.push_back(m);
        }
        if (steps.size() < kMinTimingSteps) return 0.0;
        const auto at = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 10);
        std::nth_element(steps.begin(), at, steps.end());
        return *at;
    }

    struct Fit {
        double origin_s;
        double period_s;
    };

    // Numbers the ticks: the movement says how many periods passed, unless it disagrees with
    // the polls by more than a period (a teleport, a damaged position), when the polls say it.
    // Returns the least-squares fit of the poll clock on the new numbers.
    Fit number(double period_s) {
        ticks_.front().grid = 0;
        const double t0 = poll(0);  // sums of times since the first tick keep their digits
        const double per_period = 1.0 / period_s;
        double sum_t = 0.0;
        double sum_m = 0.0;
        double sum_mm = 0.0;
        double sum_mt = 0.0;
        double previous_t = t0;
        std::int64_t grid = 0;  // wide: a clock that jumps by hours adds up to 1e6 periods a tick
        for (std::size_t k = 1; k < ticks_.size(); ++k) {
            const double t = poll(k);
            const double polled = t - previous_t;
            previous_t = t;
            std::int64_t periods = nearest(polled * per_period);
            const double m = moved(k);
            if (std::isfinite(m)) {
                const std::int64_t by_movement = nearest(m * per_period);
                if (std::abs(static_cast<double>(by_movement) * period_s - polled) <= period_s + 0.005) {
                    periods = by_movement;
                }
            }
            grid += std::clamp<std::int64_t>(periods, 1, 1'000'000);
            if (grid > std::numeric_limits<std::int32_t>::max()) return {0.0, 0.0};  // no grid fits that
            ticks_[k].grid = static_cast<std::int32_t>(grid);
            const double g = static_cast<double>(grid);
            sum_t += t - t0;
            sum_m += g;
            sum_mm += g * g;
            sum_mt += g * (t - t0);
        }
        const double n = static_cast<double>(ticks_.size());
        const double spread = n * sum_mm - sum_m * sum_m;
        const double period = spread > 0.0 ? (n * sum_mt - sum_m * sum_t) / spread : 0.0;
        return {t0 + (sum_t - period * sum_m) / n, period};
    }

private:
    static constexpr std::size_t kPeriodSamples = 4096;
    std::span<const LapSample> samples_;
    std::span<const double> poll_;
    std::vector<Tick>& ticks_;
};

// The poll clock of `n` polls whose session times `time_of(i)` gives, into `t` (n entries; it
// may be the storage `time_of` reads, which is read through before it is written).
template <class TimeOf>
void spread_poll_clock(std::size_t n, TimeOf time_of, std::vector<double>& t) {
    t.resize(n);
    std::size_t first = 0;
    while (first < n && !std::isfinite(time_of(first))) ++first;
    double latest = first == n ? 0.0 : time_of(first);
    // The first poll of each new session time, and that time.
    std::vector<std::size_t> updates;
    std::vector<double> clock;
    for (std::size_t i = 0; i < n; ++i) {
        const double v = time_of(i);
        const bool later = std::isfinite(v) && v > latest;
        if (later) latest = v;
        if (i == 0 || later) {
            updates.push_back(i);
            clock.push_back(latest);
        }
    }
    if (updates.size() < 2) {  // a clock that never moves says nothing about the polls
        std::ranges::fill(t, latest);
        return;
    }
    // The mean poll interval from the second update to the last, both true update polls; with
    // two updates only, the first run stands in (it may be partial, so this errs long).
    const std::size_t u_from = updates.size() >= 3 ? 1 : 0;
    const std::size_t u_to = updates.size() - 1;
    const double interval = (clock[u_to] - clock[u_from]) / static_cast<double>(updates[u_to] - updates[u_from]);
    for (std::size_t u = 0; u < updates.size(); ++u) {
        const std::size_t begin = updates[u];
        const std::size_t end = u + 1 < updates.size() ? updates[u + 1] : n;
        if (u == 0) {
            // The lap began somewhere inside this scoring period: lay it back from its end.
            for (std::size_t i = begin; i < end; ++i) t[i] = clock[1] - static_cast<double>(end - i) * interval;
        } else if (u + 1 == updates.size()) {
            for (std::size_t i = begin; i < end; ++i) t[i] = clock[u] + static_cast<double>(i - begin) * interval;
        } else {
            const double step = (clock[u + 1] - clock[u]) / static_cast<double>(end - begin);
            for (std::size_t i = begin; i < end; ++i) t[i] = clock[u] + static_cast<double>(i - begin) * step;
        }
    }
}

}  // namespace

std::vector<double> poll_clock(std::vector<double> session_times_s) {
    const std::span<const double> read(session_times_s);
    spread_poll_clock(read.size(), [read](std::size_t i) { return read[i]; }, session_times_s);
    return session_times_s;
}

TelemetryTicks reconstruct_tick_times(std::span<const LapSample> samples) {
    TelemetryTicks result;
    const auto session_time_of = [samples](std::size_t i) { return double{samples[i].session_time}; };
    spread_poll_clock(samples.size(), session_time_of, result.time_s);
    if (samples.empty() || samples.size() > std::numeric_limits<std::uint32_t>::max()) return result;

    std::vector<Tick> ticks;
    ticks.reserve(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (i > 0 && same_telemetry(samples[i], samples[i - 1])) continue;
        const float moved =
            ticks.empty() ? std::numeric_limits<float>::quiet_NaN()
                          : static_cast<float>(moved_time_s(samples[ticks.back().first_sample], samples[i]));
        ticks.push_back({static_cast<std::uint32_t>(i), 0, moved});
    }
    TickGrid grid(samples, result.time_s, ticks);
    TickGrid::Fit fit{0.0, grid.shortest_step_s()};
    for (int round = 0; round < 2 && fit.period_s > 0.002; ++round) fit = grid.number(fit.period_s);
    if (!(fit.period_s > 0.002)) return result;
    // Every sample takes its tick's time: one walk over both, the ticks in sample order. A tick
    // too far from its poll means the grid does not describe the telemetry: the poll times
    // are laid down again.
    const auto on_grid = [&fit](const Tick& tick) { return fit.origin_s + fit.period_s * static_cast<double>(tick.grid); };
    std::size_t k = 0;
    double tick_time = on_grid(ticks.front());
    bool fits = std::abs(tick_time - result.time_s.front()) <= kMaxGridResidualS;
    for (std::size_t i = 0; i < samples.size() && fits; ++i) {
        if (k + 1 < ticks.size() && ticks[k + 1].first_sample == i) {
            tick_time = on_grid(ticks[++k]);
            fits = std::abs(tick_time - result.time_s[i]) <= kMaxGridResidualS;
        }
        result.time_s[i] = tick_time;
    }
    if (!fits) {
        spread_poll_clock(samples.size(), session_time_of, result.time_s);
        return result;
    }
    result.tick_period_s = fit.period_s;
    return result;
}

}  // namespace corvel
