// A driver model simple enough to read at a glance: full throttle when the profile accelerates,
// brake pressure in proportion to the deceleration, part throttle through steady corners, and
// the lowest gear that keeps the engine under its limit.
#include "car_state.hpp"

#include <algorithm>
#include <cmath>

namespace corvel::lmu_sim {
namespace {

constexpr double kSteadyThrottle = 0.55;
constexpr double kLaunchRpm = 2800.0;

}  // namespace

void select_gear(const CarSpec& car, double speed_mps, Controls& controls) {
    const auto& tops = car.gear_top_speed_mps;
    int gear = static_cast<int>(tops.size());
    for (std::size_t g = 0; g < tops.size(); ++g) {
        if (speed_mps <= 0.97 * tops[g]) {
            gear = static_cast<int>(g) + 1;
            break;
        }
    }
    const double rpm = car.rev_limit_rpm * speed_mps / tops[static_cast<std::size_t>(gear - 1)];
    const double floor = gear == 1 ? kLaunchRpm : car.idle_rpm;
    controls.gear = gear;
    controls.rpm = std::clamp(rpm, floor, car.rev_limit_rpm);
}

Controls driving_controls(const CarSpec& car, double speed_mps, double base_speed_mps, double base_accel_mps2,
                          double curvature_per_m) {
    Controls c;
    const double available = drive_accel(car, base_speed_mps);
    if (base_accel_mps2 < -0.5) {
        c.brake = std::clamp(-base_accel_mps2 / car.braking_mps2, 0.0, 1.0);
    } else if (base_accel_mps2 > 0.05 * available && available > 0.0) {
        c.throttle = std::clamp(0.35 + 0.65 * base_accel_mps2 / available, 0.0, 1.0);
    } else {
        // Flat out at the top of a straight, part throttle through a steady corner.
        c.throttle = base_speed_mps >= 0.98 * car.top_speed_mps ? 1.0 : kSteadyThrottle;
    }
    c.steering = std::clamp(curvature_per_m * car.wheelbase_m / car.full_lock_rad, -1.0, 1.0);
    select_gear(car, speed_mps, c);
    c.abs_active = c.brake > 0.9 && speed_mps > 25.0;
    c.tc_active = c.throttle > 0.95 && c.gear <= 2;
    return c;
}

Controls lap_model_controls(const CarSpec& car, const SpeedProfile& profile, double distance_m, double speed_mps,
                            double curvature_per_m) {
    Controls c;
    c.throttle = profile.throttle_at(distance_m);
    c.brake = profile.brake_at(distance_m);
    c.steering = std::clamp(curvature_per_m * car.wheelbase_m / car.full_lock_rad, -1.0, 1.0);
    select_gear(car, speed_mps, c);
    c.abs_active = c.brake > 0.95 && speed_mps > 25.0;
    c.tc_active = c.throttle > 0.3 && c.throttle < 0.95 && c.gear <= 3;
    return c;
}

}  // namespace corvel::lmu_sim
