// The drive is set by its lap-distance speed u(D); the time to reach each distance is the
// integral of 1/u, tabulated every 5 cm and inverted by interpolation, so the truth at any
// moment is exact to well under a microsecond.
#include "sampled_lap.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace corvel::testing {
namespace {

constexpr double kRadiusM = 700.0;
constexpr double kTruthStepM = 0.05;
constexpr double kLeadM = 300.0;  // driving before the recorded lap's line
constexpr double kScoringPeriodS = 0.2;
constexpr double kPollS = 0.016;
constexpr double kClockStartS = 1000.0;  // session time when the car is kLeadM before the line

const double kLengthM = 2.0 * std::numbers::pi * kRadiusM;

// Lap-distance speed in m/s at lap distance `d` (any lap).
double lap_speed(const DriveOptions& o, double d) {
    const double on_lap = d - kLengthM * std::floor(d / kLengthM);
    double u = 55.0 + 25.0 * std::sin(2.0 * std::numbers::pi * 3.0 * on_lap / kLengthM + 0.5);
    if (on_lap >= o.slow_from_m && on_lap < o.slow_to_m) u *= o.slow_factor;
    return u * o.pace;
}

struct Car {
    double x, z;
};

// The car's line weaves up to 6 m across the reference circle.
Car car_at(double d) {
    const double angle = d / kRadiusM;
    const double r = kRadiusM + 6.0 * std::sin(2.0 * std::numbers::pi * 5.0 * d / kLengthM);
    return {r * std::cos(angle), r * std::sin(angle)};
}

class Drive {
public:
    explicit Drive(const DriveOptions& o) : options_(o) {
        const double span = kLeadM + 2.0 * kLengthM;
        const auto steps = static_cast<std::size_t>(span / kTruthStepM) + 1;
        times_.resize(steps + 1);
        times_[0] = 0.0;
        for (std::size_t k = 1; k <= steps; ++k) {
            const double d0 = -kLeadM + static_cast<double>(k - 1) * kTruthStepM;
            const double mid = d0 + kTruthStepM / 2.0;
            // Simpson's rule over each step.
            times_[k] = times_[k - 1] + kTruthStepM / 6.0 *
                                            (1.0 / lap_speed(o, d0) + 4.0 / lap_speed(o, mid) +
                                             1.0 / lap_speed(o, d0 + kTruthStepM));
        }
    }
    // Session time at which the car reaches distance `d` (from the recorded lap's line).
    double time_at(double d) const {
        const double k = (d + kLeadM) / kTruthStepM;
        const auto i = std::min(static_cast<std::size_t>(std::max(k, 0.0)), times_.size() - 2);
        const double share = k - static_cast<double>(i);
        return kClockStartS + times_[i] + share * (times_[i + 1] - times_[i]);
    }
    // Distance at session time `t`.
    double distance_at(double t) const {
        const double rel = t - kClockStartS;
        const auto above = std::ranges::upper_bound(times_, rel);
        const std::size_t i = std::clamp<std::size_t>(static_cast<std::size_t>(above - times_.begin()), 1, times_.size() - 1) - 1;
        const double share = (rel - times_[i]) / (times_[i + 1] - times_[i]);
        return -kLeadM + (static_cast<double>(i) + share) * kTruthStepM;
    }
    double speed_at(double d) const {
        const Car a = car_at(d - 0.01);
        const Car b = car_at(d + 0.01);
        return lap_speed(options_, d) * std::hypot(b.x - a.x, b.z - a.z) / 0.02;
    }

private:
    DriveOptions options_;
    std::vector<double> times_;
};

}  // namespace

double SampledLap::time_at(double distance_m) const {
    const double k = distance_m / kTruthStepM;
    const auto i = std::min(static_cast<std::size_t>(std::max(k, 0.0)), truth_times_.size() - 2);
    return truth_times_[i] + (k - static_cast<double>(i)) * (truth_times_[i + 1] - truth_times_[i]);
}

SampledLap sample_lap(const DriveOptions& o) {
    const Drive drive(o);
    SampledLap lap;
    lap.length_m = kLengthM;
    const double start_line_s = drive.time_at(0.0);
    lap.lap_time_s = drive.time_at(kLengthM) - start_line_s;
    for (double d = 0.0; d <= kLengthM + kTruthStepM; d += kTruthStepM) {
        lap.truth_times_.push_back(drive.time_at(d) - start_line_s);
    }

    const double tick_s = 1.0 / o.telemetry_hz;
    std::mt19937 random(o.seed);
    std::uniform_real_distribution<double> jitter(-o.poll_jitter_s, o.poll_jitter_s);
    double poll = o.joined_after_line_s < 0.0 ? start_line_s - 2.0 : start_line_s + o.joined_after_line_s;
    bool recording = o.joined_after_line_s >= 0.0;
    int seen = -1;  // the lap number the previous poll saw (-1: the lap before)
    bool start_next = false;
    for (int guard = 0; guard < 1'000'000; ++guard, poll += kPollS + jitter(random)) {
        const double tick = o.tick_phase_s + std::floor((poll - o.tick_phase_s) / tick_s) * tick_s;
        const double d = drive.distance_at(tick);
        const int lap_number = static_cast<int>(std::floor(d / kLengthM));  // 0 on the recorded lap
        if (!recording) {
            // The poll after the one that first saw the new lap number starts the lap.
            recording = start_next;
            start_next = lap_number == 0 && seen < 0;
            seen = lap_number;
            if (!recording) continue;
        }
        const double scored = o.scoring_phase_s +
                              std::floor((poll - o.scoring_delay_s - o.scoring_phase_s) / kScoringPeriodS) * kScoringPeriodS;
        const double scored_d = drive.distance_at(scored);
        LapSample s;
        s.session_time = static_cast<float>(scored);
        s.lap_fraction = static_cast<float>(scored_d / kLengthM - std::floor(scored_d / kLengthM));
        s.lap = 1;
        const Car car = car_at(d);
        s.pos_x = static_cast<float>(car.x);
        s.pos_z = static_cast<float>(car.z);
        const double speed = drive.speed_at(d);
        s.speed_kmh = static_cast<std::uint16_t>(speed * 3.6);
        s.engine_rpm = static_cast<std::uint16_t>(4000.0 + speed * 50.0);
        s.flags = 1;
        lap.samples.push_back(s);
        lap.true_time_s.push_back(tick - start_line_s);
        lap.true_distance_m.push_back(d);
        if (lap_number >= 1) break;  // the first poll that saw the next lap number
    }

    LapMetadata& m = lap.metadata;
    m.track_name = "Weave Ring";
    m.track_id = "WEAVE_RING";
    m.track_length_m = static_cast<float>(kLengthM);
    m.lap_number = 1;
    m.lap_time_seconds = lap.lap_time_s;
    m.sample_count = lap.samples.size();
    m.start_track_pct = lap.samples.front().lap_fraction;
    m.started_mid_lap = m.start_track_pct >= 0.05f && m.start_track_pct < 0.95f;
    return lap;
}

}  // namespace corvel::testing
