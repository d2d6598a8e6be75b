// How fast the stand-in's car goes at every point of the synthetic track: the classic
// "corner speed, then accelerate and brake into it" profile of a prototype race car.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "track.hpp"

namespace corvel::lmu_sim {

// A plausible endurance prototype. Plain numbers, so tests can make a slower or faster car.
struct CarSpec {
    double top_speed_mps = 90.0;
    double lateral_grip_mps2 = 21.0;  // with downforce, a little over 2 g
    double drive_accel_mps2 = 10.0;   // from low speed; fades to nothing at top speed
    double braking_mps2 = 30.0;
    double rev_limit_rpm = 9000.0;
    double idle_rpm = 1150.0;
    // Speed at the rev limit in each forward gear.
    std::array<double, 7> gear_top_speed_mps = {24.0, 36.0, 47.0, 58.0, 69.0, 80.0, 93.0};
    double fuel_capacity_l = 90.0;
    // Burnt per minute of lapping, whatever the track's size, so short test laps use fuel too.
    double fuel_per_minute_l = 2.0;
    double wheelbase_m = 3.0;
    double full_lock_rad = 0.35;  // road-wheel angle at full steering lock

    // The lap model of the real circuits (the ring keeps the simple limits above): a point
    // mass with engine power, drag and downforce growing with v^2, and tyres whose grip, shared
    // between cornering and driving or braking, grows with the load.
    double mass_kg = 1110.0;  // with the driver
    double power_w = 520'000.0;
    double drag_area_m2 = 1.0;        // drag coefficient times frontal area
    double downforce_area_m2 = 3.0;   // lift coefficient times area
    double tyre_mu = 1.6;
    double braking_limit_mps2 = 40.0;  // what the brakes themselves can do
    double drive_grip_share = 0.55;    // share of the grip on the driven wheels
    double rolling_mps2 = 0.15;
    double fuel_l_per_mj = 0.078;  // about 30 % efficiency on 43 MJ/kg fuel of 0.745 kg/l
};

// The cars of --car on real circuits (the ring keeps CarSpec{}).
[[nodiscard]] CarSpec hypercar();
[[nodiscard]] CarSpec gt3();

// How the driver departs from the model's lap: the speed held down over a stretch (an earlier
// brake, a slower apex, a later throttle), and stretches where the car runs a wider line than
// the path and its grip does not limit it (after a late brake). Distances along the path.
struct LapEdits {
    struct Cap {
        double from_m;
        double to_m;
        double speed_mps;
    };
    struct Wide {
        double from_m;
        double to_m;
    };
    std::vector<Cap> caps;
    std::vector<Wide> wide;
};

class SpeedProfile {
  public:
    // The ring's simple limits.
    SpeedProfile(const Track& track, const CarSpec& car);
    // The lap model (real circuits): cornering limit from grip and downforce, a forward pass
    // under power, drag and the friction circle, a backward pass under the braking limit.
    SpeedProfile(const Track& track, const CarSpec& car, const LapEdits& edits);

    // The natural lap time of the profile; laps of another length scale its speeds.
    [[nodiscard]] double lap_time_s() const { return time_.back(); }
    [[nodiscard]] double length_m() const { return length_m_; }

    // All take a distance in [0, length]; values between grid points are interpolated.
    [[nodiscard]] double speed_at(double distance_m) const;
    // Longitudinal acceleration, v dv/ds, positive when speeding up.
    [[nodiscard]] double accel_at(double distance_m) const;
    [[nodiscard]] double time_at(double distance_m) const;
    // The inverse of time_at, for a time in [0, lap_time_s()].
    [[nodiscard]] double distance_at_time(double time_s) const;
    // Lap model only (zero on the ring): fuel burnt since the line, and the driver's pedals.
    [[nodiscard]] double fuel_used_at(double distance_m) const;
    [[nodiscard]] double throttle_at(double distance_m) const;
    [[nodiscard]] double brake_at(double distance_m) const;
    [[nodiscard]] bool is_lap_model() const { return !throttle_.empty(); }
    [[nodiscard]] double step_m() const { return step_m_; }
    [[nodiscard]] std::size_t points() const { return speed_.size() - 1; }
    // Grid values, for the corner finder: speed and longitudinal acceleration at point i.
    [[nodiscard]] double speed_at_point(std::size_t i) const { return speed_[i]; }
    [[nodiscard]] double accel_at_point(std::size_t i) const { return accel_[i]; }
    [[nodiscard]] double throttle_at_point(std::size_t i) const { return throttle_[i]; }
    [[nodiscard]] double brake_at_point(std::size_t i) const { return brake_[i]; }

  private:
    void finish_grid(const std::vector<double>& speed);
    [[nodiscard]] double interpolate(const std::vector<double>& values, double distance_m) const;

    double length_m_;
    double step_m_;
    std::vector<double> speed_;  // at grid points 0..n, the last equal to the first
    std::vector<double> accel_;
    std::vector<double> time_;
    std::vector<double> fuel_;      // lap model: litres since the line
    std::vector<double> throttle_;  // lap model: pedal positions, 0..1
    std::vector<double> brake_;
};

// Drive force fades with speed so that the car can never pass its top speed.
[[nodiscard]] double drive_accel(const CarSpec& car, double speed_mps);

// The pace at which the stand-in's driver laps: this share of the car's limit.
inline constexpr double kNaturalPace = 0.9;
inline constexpr double kShortestTrackM = 100.0;
inline constexpr double kLongestTrackM = 100000.0;
// The lap time the car drives on a track of this length at kNaturalPace.
[[nodiscard]] double natural_lap_time(double track_length_m, const CarSpec& car);
// The track length on which `lap_time_s` is the natural lap time, within the lengths allowed;
// laps quicker than the shortest track allows are driven faster than the car could.
[[nodiscard]] double natural_track_length(double lap_time_s, const CarSpec& car);

}  // namespace corvel::lmu_sim
