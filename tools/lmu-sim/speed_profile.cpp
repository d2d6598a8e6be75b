// The profile is built on a grid around the loop: each point's cornering limit, then a forward
// pass (what the engine can reach) and a backward pass (what the brakes allow), both started
// at the slowest corner so that the profile closes on itself.
#include "speed_profile.hpp"

#include <algorithm>
#include <cmath>

namespace corvel::lmu_sim {
namespace {

constexpr double kGridStepM = 2.0;

}  // namespace

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
