// Everything the stand-in publishes about one car at one moment, and the driver's inputs
// that go with a given motion.
#pragma once

#include <cstdint>
#include <optional>

#include "speed_profile.hpp"
#include "track.hpp"

namespace corvel::lmu_sim {

struct Controls {
    double throttle = 0.0;
    double brake = 0.0;
    double clutch = 0.0;
    double steering = 0.0;  // -1..1, same sign as the curvature driven
    int gear = 0;           // -1 reverse, 0 neutral
    double rpm = 0.0;
    bool abs_active = false;
    bool tc_active = false;
};

enum class CarPhase : std::uint8_t {
    PitBox,   // standing in the pit box before an out-lap
    PitLane,  // driving down the pit lane on the limiter
    Racing,
    Garage,  // parked after its laps; still published
};

// LMU's lap-counting byte: whether the lap in progress will count.
enum class LapCounting : std::uint8_t { NotCounted = 0, LapOnly = 1, LapAndTime = 2 };

struct CarState {
    std::uint32_t slot_id = 0;
    CarPhase phase = CarPhase::Racing;
    // Laps completed; also what LMU's telemetry calls the lap number.
    std::int64_t laps_completed = 0;
    double lap_start_s = 0.0;  // simulation time at which the lap in progress began
    double lap_distance_m = 0.0;
    double path_distance_m = 0.0;  // along the car's own path since the line
    TrackPoint point;  // on the racing line, lateral offset applied
    double path_lateral_m = 0.0;
    double speed_mps = 0.0;
    double long_accel_mps2 = 0.0;  // positive when speeding up
    double lat_accel_mps2 = 0.0;   // same sign as the curvature
    Controls controls;
    double fuel_l = 0.0;
    bool lap_invalid = false;
    LapCounting counting = LapCounting::LapAndTime;
    std::optional<double> last_lap_s;
    std::optional<double> best_lap_s;

    [[nodiscard]] bool in_pits() const { return phase != CarPhase::Racing; }
    [[nodiscard]] bool limiter_on() const { return phase == CarPhase::PitLane; }
};

// The inputs of a driver following the speed profile. `base_speed` and `base_accel` are the
// profile's own values (before scaling to the lap time), which tell the phase of the corner.
[[nodiscard]] Controls driving_controls(const CarSpec& car, double speed_mps, double base_speed_mps,
                                        double base_accel_mps2, double curvature_per_m);

// The inputs of the lap model's driver at `distance_m` of `profile` (real circuits).
[[nodiscard]] Controls lap_model_controls(const CarSpec& car, const SpeedProfile& profile, double distance_m,
                                          double speed_mps, double curvature_per_m);

// Gear and engine speed for a car rolling at `speed_mps` in its best gear.
void select_gear(const CarSpec& car, double speed_mps, Controls& controls);

}  // namespace corvel::lmu_sim
