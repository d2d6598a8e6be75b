// The profile is built on a grid around the loop: each point's cornering limit, then a forward
// pass (what the engine can reach) and a backward pass (what the brakes allow), both started
// at the slowest corner so that the profile closes on itself.
#include "speed_profile.hpp"

#include <algorithm>
#include <cmath>

namespace corvel::lmu_sim {
namespace {

constexpr double kGridStepM = 2.0;
constexpr double kGravityMps2 = 9.81;
constexpr double kAirDensity = 1.2;
constexpr double kModelTopSpeedMps = 150.0;  // no corner is faster than this
// Brake pressure builds over this long at a braking zone's start, as a driver's foot does.
constexpr double kBrakeRampS = 0.06;

struct Physics {
    const CarSpec& car;

    [[nodiscard]] double drag(double v) const {
        return 0.5 * kAirDensity * car.drag_area_m2 * v * v / car.mass_kg + car.rolling_mps2;
    }
    // All the grip there is, cornering and lengthways together.
    [[nodiscard]] double grip(double v) const {
        return car.tyre_mu * (kGravityMps2 + 0.5 * kAirDensity * car.downforce_area_m2 * v * v / car.mass_kg);
    }
    // What is left lengthways after cornering takes its share (the friction circle).
    [[nodiscard]] double grip_left(double v, double curvature) const {
        const double total = grip(v);
        const double lateral = v * v * curvature;
        return lateral >= total ? 0.0 : std::sqrt(total * total - lateral * lateral);
    }
    // Where power and drag balance: no stretch of the loop, however fast, is quicker.
    [[nodiscard]] double top_speed() const {
        double low = 1.0;
        double high = kModelTopSpeedMps;
        for (int i = 0; i < 60; ++i) {
            const double v = (low + high) / 2.0;
            (car.power_w / (car.mass_kg * v) > drag(v) ? low : high) = v;
        }
        return low;
    }
    [[nodiscard]] double corner_limit(double curvature) const {
        const double aero = car.tyre_mu * 0.5 * kAirDensity * car.downforce_area_m2 / car.mass_kg;
        if (curvature <= aero) return kModelTopSpeedMps;
        return std::min(kModelTopSpeedMps, std::sqrt(car.tyre_mu * kGravityMps2 / (curvature - aero)));
    }
    [[nodiscard]] double drive(double v, double curvature) const {
        const double power = car.power_w / (car.mass_kg * std::max(v, 1.0));
        return std::min(power, car.drive_grip_share * grip_left(v, curvature)) - drag(v);
    }
    [[nodiscard]] double braking(double v, double curvature) const {
        return std::min(car.braking_limit_mps2, grip_left(v, curvature)) + drag(v);
    }
};

}  // namespace

CarSpec hypercar() {
    CarSpec car;
    car.top_speed_mps = 95.0;
    car.gear_top_speed_mps = {29.0, 40.0, 50.5, 61.0, 72.0, 83.5, 97.0};
    car.fuel_capacity_l = 90.0;
    return car;
}

CarSpec gt3() {
    CarSpec car;
    car.top_speed_mps = 78.0;
    car.rev_limit_rpm = 8500.0;
    car.gear_top_speed_mps = {25.0, 34.0, 43.0, 52.0, 61.0, 70.0, 80.0};
    car.fuel_capacity_l = 100.0;
    car.wheelbase_m = 2.7;
    car.mass_kg = 1380.0;
    car.power_w = 390'000.0;
    car.drag_area_m2 = 0.85;
    car.downforce_area_m2 = 1.3;
    car.tyre_mu = 1.5;
    car.braking_limit_mps2 = 30.0;
    car.drive_grip_share = 0.55;
    return car;
}

SpeedProfile::SpeedProfile(const Track& track, const CarSpec& car, const LapEdits& edits)
    : length_m_(track.length_m()) {
    const auto points = std::max<std::size_t>(256, static_cast<std::size_t>(length_m_ / kGridStepM));
    step_m_ = length_m_ / static_cast<double>(points);
    const Physics physics{car};
    const auto index_of = [&](double distance_m) {
        const double wrapped = std::fmod(std::fmod(distance_m, length_m_) + length_m_, length_m_);
        return static_cast<std::size_t>(std::lround(wrapped / step_m_)) % points;
    };
    const auto for_stretch = [&](double from_m, double to_m, auto&& apply) {
        const auto count = static_cast<std::size_t>(std::max(0.0, std::round((to_m - from_m) / step_m_)));
        for (std::size_t k = 0, i = index_of(from_m); k <= count; ++k, i = (i + 1) % points) apply(i);
    };

    std::vector<double> curvature(points);
    for (std::size_t i = 0; i < points; ++i) {
        curvature[i] = std::abs(track.at(step_m_ * static_cast<double>(i)).curvature_per_m);
    }
    for (const auto& w : edits.wide) for_stretch(w.from_m, w.to_m, [&](std::size_t i) { curvature[i] = 0.0; });
    std::vector<double> limit(points);
    const double top = physics.top_speed();
    for (std::size_t i = 0; i < points; ++i) limit[i] = std::min(top, physics.corner_limit(curvature[i]));
    for (const auto& c : edits.caps) {
        for_stretch(c.from_m, c.to_m, [&](std::size_t i) { limit[i] = std::min(limit[i], c.speed_mps); });
    }

    const auto slowest =
        static_cast<std::size_t>(std::min_element(limit.begin(), limit.end()) - limit.begin());
    std::vector<double> speed = limit;
    for (std::size_t k = 1; k <= points; ++k) {
        const std::size_t prev = (slowest + k - 1) % points;
        const std::size_t here = (slowest + k) % points;
        const double v = speed[prev];
        const double reach = std::sqrt(std::max(0.0, v * v + 2.0 * physics.drive(v, curvature[prev]) * step_m_));
        speed[here] = std::min(speed[here], reach);
    }
    for (std::size_t k = 1; k <= points; ++k) {
        const std::size_t next = (slowest + points - k + 1) % points;
        const std::size_t here = (slowest + points - k) % points;
        const double v = speed[next];
        const double reach = std::sqrt(v * v + 2.0 * physics.braking(v, curvature[next]) * step_m_);
        speed[here] = std::min(speed[here], reach);
    }
    finish_grid(speed);

    // Pedals: what the acceleration asks of engine or brakes once drag is paid for.
    throttle_.assign(points + 1, 0.0);
    brake_.assign(points + 1, 0.0);
    fuel_.assign(points + 1, 0.0);
    for (std::size_t i = 0; i <= points; ++i) {
        const double v = speed_[i];
        const double needed = accel_[i] + physics.drag(v);
        if (needed >= 0.0) {
            throttle_[i] = std::clamp(car.mass_kg * needed * std::max(v, 1.0) / car.power_w, 0.0, 1.0);
        } else {
            brake_[i] = std::clamp(-needed / car.braking_limit_mps2, 0.0, 1.0);
        }
    }
    for (std::size_t i = 0; i < points; ++i) {
        const double energy_j = car.power_w * throttle_[i] * (time_[i + 1] - time_[i]);
        fuel_[i + 1] = fuel_[i] + energy_j * 1e-6 * car.fuel_l_per_mj;
    }
    // The foot presses the brake over kBrakeRampS from each braking zone's start.
    for (std::size_t i = 1; i <= points; ++i) {
        if (brake_[i] <= 0.0 || brake_[i - 1] > 0.0) continue;
        const double ramp_m = std::max(step_m_, speed_[i] * kBrakeRampS);
        for (std::size_t j = i; j <= points && brake_[j] > 0.0; ++j) {
            const double into = static_cast<double>(j - i + 1) * step_m_;
            if (into >= ramp_m) break;
            brake_[j] *= into / ramp_m;
        }
    }
}

double SpeedProfile::fuel_used_at(double distance_m) const {
    return fuel_.empty() ? 0.0 : interpolate(fuel_, distance_m);
}
double SpeedProfile::throttle_at(double distance_m) const {
    return throttle_.empty() ? 0.0 : interpolate(throttle_, distance_m);
}
double SpeedProfile::brake_at(double distance_m) const {
    return brake_.empty() ? 0.0 : interpolate(brake_, distance_m);
}

double drive_accel(const CarSpec& car, double speed_mps) {
    const double ratio = std::clamp(speed_mps / car.top_speed_mps, 0.0, 1.0);
    return car.drive_accel_mps2 * (1.0 - ratio * ratio);
}

SpeedProfile::SpeedProfile(const Track& track, const CarSpec& car) : length_m_(track.length_m()) {
    const auto points = std::max<std::size_t>(256, static_cast<std::size_t>(length_m_ / kGridStepM));
    step_m_ = length_m_ / static_cast<double>(points);

    std::vector<double> limit(points);
    for (std::size_t i = 0; i < points; ++i) {
        const double curvature = std::abs(track.at(step_m_ * static_cast<double>(i)).curvature_per_m);
        const double corner = std::sqrt(car.lateral_grip_mps2 / std::max(curvature, 1e-9));
        limit[i] = std::min(car.top_speed_mps * 0.999, corner);
    }

    const auto slowest =
        static_cast<std::size_t>(std::min_element(limit.begin(), limit.end()) - limit.begin());
    std::vector<double> speed = limit;
    for (std::size_t k = 1; k <= points; ++k) {
        const std::size_t prev = (slowest + k - 1) % points;
        const std::size_t here = (slowest + k) % points;
        const double reach =
            std::sqrt(speed[prev] * speed[prev] + 2.0 * drive_accel(car, speed[prev]) * step_m_);
        speed[here] = std::min(speed[here], reach);
    }
    for (std::size_t k = 1; k <= points; ++k) {
        const std::size_t next = (slowest + points - k + 1) % points;
        const std::size_t here = (slowest + points - k) % points;
        const double reach = std::sqrt(speed[next] * speed[next] + 2.0 * car.braking_mps2 * step_m_);
        speed[here] = std::min(speed[here], reach);
    }

    finish_grid(speed);
}

void SpeedProfile::finish_grid(const std::vector<double>& speed) {
    const std::size_t points = speed.size();
    speed_ = speed;
    speed_.push_back(speed.front());
    accel_.resize(points + 1);
    time_.assign(points + 1, 0.0);
    for (std::size_t i = 0; i < points; ++i) {
        const double v0 = speed_[i];
        const double v1 = speed_[i + 1];
        accel_[i] = (v1 * v1 - v0 * v0) / (2.0 * step_m_);
        time_[i + 1] = time_[i] + 2.0 * step_m_ / (v0 + v1);
    }
    accel_[points] = accel_[0];
}

double natural_lap_time(double track_length_m, const CarSpec& car) {
    return SpeedProfile(Track(track_length_m), car).lap_time_s() / kNaturalPace;
}

double natural_track_length(double lap_time_s, const CarSpec& car) {
    double low = kShortestTrackM;
    double high = kLongestTrackM;
    if (natural_lap_time(low, car) >= lap_time_s) return low;
    if (natural_lap_time(high, car) <= lap_time_s) return high;
    // The natural lap time grows with the length: bisect to within a metre.
    while (high - low > 1.0) {
        const double mid = (low + high) / 2.0;
        (natural_lap_time(mid, car) < lap_time_s ? low : high) = mid;
    }
    return std::round((low + high) / 2.0);
}

double SpeedProfile::interpolate(const std::vector<double>& values, double distance_m) const {
    const double grid = std::clamp(distance_m / step_m_, 0.0, static_cast<double>(values.size() - 1));
    const auto index = std::min(static_cast<std::size_t>(grid), values.size() - 2);
    const double within = grid - static_cast<double>(index);
    return values[index] + (values[index + 1] - values[index]) * within;
}

double SpeedProfile::speed_at(double distance_m) const {
    return interpolate(speed_, distance_m);
}
double SpeedProfile::accel_at(double distance_m) const {
    return interpolate(accel_, distance_m);
}
double SpeedProfile::time_at(double distance_m) const {
    return interpolate(time_, distance_m);
}

double SpeedProfile::distance_at_time(double time_s) const {
    const double t = std::clamp(time_s, 0.0, time_.back());
    const auto upper = std::upper_bound(time_.begin(), time_.end(), t);
    const auto index = std::clamp<std::ptrdiff_t>(upper - time_.begin() - 1, 0,
                                                  static_cast<std::ptrdiff_t>(time_.size()) - 2);
    const double start = time_[index];
    const double span = time_[index + 1] - start;
    const double within = span > 0.0 ? (t - start) / span : 0.0;
    return (static_cast<double>(index) + within) * step_m_;
}

}  // namespace corvel::lmu_sim
