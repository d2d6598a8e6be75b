// Laps are planned one after another as time moves on: each knows its start, its own
// duration and the fuel it starts with, so any moment of the session maps to one lap and one
// point of the speed profile (or of the out-lap's own motion, which starts from standstill).
#include "driver_plan.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace corvel::lmu_sim {
namespace {

constexpr double kPitLaneAccelMps2 = 4.0;
constexpr double kPullAwayS = 1.0;
constexpr double kOutLapStepS = 0.005;
constexpr double kGarageOffsetM = -9.0;  // the garages lie beside the pit lane

}  // namespace

PitLane pit_lane_for(double length_m) {
    const double box = std::min(0.03 * length_m, 150.0);
    return {box, box + std::min(0.1 * length_m, 400.0)};
}

double varied_lap_time(double base_s, std::int64_t number) {
    const double step = std::max(0.002, base_s * 0.001);
    // (number * 7919) mod 13: consecutive laps land two slots apart.
    const auto slot = static_cast<int>((static_cast<std::uint64_t>(number) % 13U) * 2U % 13U);
    return base_s + step * static_cast<double>(slot - 6);
}

DriverPlan::DriverPlan(const Track& track, const SpeedProfile& profile, const CarSpec& car, DriverSetup setup)
    : track_(&track),
      profile_(&profile),
      car_(&car),
      setup_(std::move(setup)),
      pit_(pit_lane_for(track.length_m())) {
    const double length = track_->length_m();
    LapPlan first;
    first.number = first_lap_number();
    first.invalid = is_invalid(first.number);
    first.invalid_from_m = kInvalidFromFraction * length;
    if (setup_.out_lap) {
        plan_out_lap_motion();
        first.out_lap = true;
        first.start_s = setup_.appear_at_s;
        first.duration_s = out_lap_motion_.back().time_s;
        first.joined_at_fraction = pit_.box_m / length;
    } else {
        plan_racing_lap(first);
        const double into = first.driven ? first.driven->profile->time_at(setup_.start_fraction * length)
                                         : profile_->time_at(setup_.start_fraction * length) *
                                               first.duration_s / profile_->lap_time_s();
        first.start_s = setup_.appear_at_s - into;
        first.joined_at_fraction = setup_.start_fraction;
    }
    // Fuel falls along the lap from its line, so the car holds fuel_l where it appears.
    first.fuel_at_line_l =
        setup_.fuel_l + (first.driven ? first.driven->profile->fuel_used_at(first.joined_at_fraction * length)
                                      : fuel_per_m() * first.joined_at_fraction * length);
    if (!first.driven) first.fuel_used_l = fuel_per_m() * length;
    const auto counted = first.published_time_s();
    first.best_after_s = history_lap_s();
    if (counted && !first.invalid) {
        first.best_after_s = std::min(first.best_after_s.value_or(*counted), *counted);
    }
    laps_.push_back(first);
}

double DriverPlan::fuel_per_m() const {
    // The lap model burns what the engine's power needs; the ring a fixed amount per minute.
    if (profile_->is_lap_model()) {
        return profile_->fuel_used_at(track_->length_m()) * profile_->lap_time_s() / setup_.lap_time_s /
               track_->length_m();
    }
    return car_->fuel_per_minute_l * setup_.lap_time_s / 60.0 / track_->length_m();
}

void DriverPlan::plan_racing_lap(LapPlan& lap) const {
    const double length = track_->length_m();
    lap.invalid = is_invalid(lap.number);
    lap.invalid_from_m = kInvalidFromFraction * length;
    if (setup_.driver) {
        lap.driven = std::make_shared<const DrivenLap>(setup_.driver->drive(lap.number));
        lap.duration_s = lap.driven->profile->lap_time_s();
        lap.fuel_used_l = lap.driven->profile->fuel_used_at(length);
        if (const auto off = lap.driven->off_track_from_m) {
            lap.invalid_from_m = lap.invalid ? std::min(lap.invalid_from_m, *off) : *off;
            lap.invalid = true;
        }
        return;
    }
    lap.duration_s = setup_.vary_lap_times ? varied_lap_time(setup_.lap_time_s, lap.number) : setup_.lap_time_s;
    lap.fuel_used_l = fuel_per_m() * length;
}

Controls DriverPlan::controls_at(double distance_m, double speed_mps, double base_speed_mps, double base_accel_mps2,
                                 double curvature_per_m) const {
    if (profile_->is_lap_model()) return lap_model_controls(*car_, *profile_, distance_m, speed_mps, curvature_per_m);
    return driving_controls(*car_, speed_mps, base_speed_mps, base_accel_mps2, curvature_per_m);
}

bool DriverPlan::is_invalid(std::int64_t number) const {
    return std::find(setup_.invalid_laps.begin(), setup_.invalid_laps.end(), number) !=
           setup_.invalid_laps.end();
}

// A car that joins with laps behind it has a previous lap time, as in a running session.
std::optional<double> DriverPlan::history_lap_s() const {
    if (setup_.laps_before <= 0 || setup_.out_lap) return std::nullopt;
    return setup_.vary_lap_times ? varied_lap_time(setup_.lap_time_s, setup_.laps_before) : setup_.lap_time_s;
}

void DriverPlan::plan_out_lap_motion() {
    const double length = track_->length_m();
    const double ratio = profile_->lap_time_s() / setup_.lap_time_s;
    out_lap_motion_ = {{0.0, pit_.box_m, 0.0, 0.0}, {kPitBoxWaitS, pit_.box_m, 0.0, 0.0}};
    double t = kPitBoxWaitS;
    double s = pit_.box_m;
    double v = 0.0;
    while (s < length) {
        double target = kPitSpeedLimitMps;
        double accel = kPitLaneAccelMps2;
        if (s >= pit_.exit_m) {
            // Out of the pit lane: the car of this lap time, accelerating until it meets the profile.
            target = profile_->speed_at(s) * ratio;
            accel = drive_accel(*car_, v / ratio) * ratio * ratio;
        }
        const double next_v = std::min(target, v + accel * kOutLapStepS);
        const double next_s = s + (v + next_v) / 2.0 * kOutLapStepS;
        const double a = (next_v - v) / kOutLapStepS;
        if (next_s >= length) {
            const double part = (length - s) / (next_s - s);
            out_lap_motion_.push_back({t + part * kOutLapStepS, length, next_v, a});
            break;
        }
        t += kOutLapStepS;
        s = next_s;
        v = next_v;
        out_lap_motion_.push_back({t, s, v, a});
    }
}

LapPlan DriverPlan::next_lap_after(const LapPlan& previous) const {
    const double length = track_->length_m();
    LapPlan lap;
    lap.number = previous.number + 1;
    lap.start_s = previous.end_s();
    plan_racing_lap(lap);
    double fuel = previous.fuel_at_line_l - previous.fuel_used_l;
    // The tank is refilled at the line when it would not last another lap: a session of any
    // length keeps a falling fuel level without running dry.
    if (fuel < 1.5 * fuel_per_m() * length + 1.0) fuel = setup_.fuel_l;
    lap.fuel_at_line_l = fuel;
    lap.best_after_s = previous.best_after_s;
    if (!lap.invalid) lap.best_after_s = std::min(lap.best_after_s.value_or(lap.duration_s), lap.duration_s);
    return lap;
}

const LapPlan& DriverPlan::lap(std::int64_t number) {
    while (laps_.back().number < number) laps_.push_back(next_lap_after(laps_.back()));
    const auto index = std::max<std::int64_t>(0, number - laps_.front().number);
    return laps_[static_cast<std::size_t>(index)];
}

std::size_t DriverPlan::lap_index_at(double time_s) {
    while (laps_.back().end_s() <= time_s) laps_.push_back(next_lap_after(laps_.back()));
    const auto after = std::upper_bound(laps_.begin(), laps_.end(), time_s,
                                        [](double t, const LapPlan& lap) { return t < lap.start_s; });
    return after == laps_.begin() ? 0 : static_cast<std::size_t>(after - laps_.begin() - 1);
}

std::optional<double> DriverPlan::garage_at_s() {
    if (!setup_.garage_after_laps) return std::nullopt;
    return lap(first_lap_number() + *setup_.garage_after_laps - 1).end_s();
}

double DriverPlan::time_into_lap(std::int64_t number, double fraction) {
    const LapPlan plan = lap(number);
    const double distance = fraction * track_->length_m();
    if (plan.driven) return plan.driven->profile->time_at(distance);
    if (!plan.out_lap) return profile_->time_at(distance) * plan.duration_s / profile_->lap_time_s();
    const auto after = std::lower_bound(out_lap_motion_.begin(), out_lap_motion_.end(), distance,
                                        [](const MotionPoint& p, double d) { return p.distance_m < d; });
    if (after == out_lap_motion_.end()) return plan.duration_s;
    return after->time_s;
}

std::optional<CarState> DriverPlan::state_at(double time_s) {
    if (time_s < setup_.appear_at_s) return std::nullopt;
    if (const auto parked = garage_at_s(); parked && time_s >= *parked) return garage_state(time_s);
    const LapPlan& plan = laps_[lap_index_at(time_s)];
    return plan.out_lap ? out_lap_state(plan, time_s) : racing_state(plan, time_s);
}

CarState DriverPlan::racing_state(const LapPlan& lap, double time_s) const {
    const double into = std::clamp(time_s - lap.start_s, 0.0, lap.duration_s);
    CarState state;
    state.phase = CarPhase::Racing;
    if (lap.driven) {
        const SpeedProfile& own = *lap.driven->profile;
        const double distance = own.distance_at_time(into);
        const double curvature = track_->at(distance).curvature_per_m;
        state.speed_mps = own.speed_at(distance);
        state.long_accel_mps2 = own.accel_at(distance);
        state.lat_accel_mps2 = state.speed_mps * state.speed_mps * curvature;
        state.controls = lap_model_controls(*car_, own, distance, state.speed_mps, curvature);
        finish_state(lap, distance, state);
        return state;
    }
    const double ratio = profile_->lap_time_s() / lap.duration_s;
    const double distance = profile_->distance_at_time(into * ratio);
    const double base_speed = profile_->speed_at(distance);
    const double base_accel = profile_->accel_at(distance);
    const double curvature = track_->at(distance).curvature_per_m;

    state.speed_mps = base_speed * ratio;
    state.long_accel_mps2 = base_accel * ratio * ratio;
    state.lat_accel_mps2 = state.speed_mps * state.speed_mps * curvature;
    state.controls = controls_at(distance, state.speed_mps, base_speed, base_accel, curvature);
    finish_state(lap, distance, state);
    return state;
}

CarState DriverPlan::out_lap_state(const LapPlan& lap, double time_s) const {
    const double into = std::clamp(time_s - lap.start_s, 0.0, lap.duration_s);
    const auto after = std::upper_bound(out_lap_motion_.begin(), out_lap_motion_.end(), into,
                                        [](double t, const MotionPoint& p) { return t < p.time_s; });
    const auto& hi = after == out_lap_motion_.end() ? out_lap_motion_.back() : *after;
    const auto& lo = after == out_lap_motion_.begin() ? hi : *(after - 1);
    const double span = hi.time_s - lo.time_s;
    const double within = span > 0.0 ? (into - lo.time_s) / span : 0.0;
    const double distance = lo.distance_m + (hi.distance_m - lo.distance_m) * within;
    const double speed = lo.speed_mps + (hi.speed_mps - lo.speed_mps) * within;
    const double curvature = track_->at(distance).curvature_per_m;

    CarState state;
    state.speed_mps = speed;
    state.long_accel_mps2 = hi.accel_mps2;
    state.lat_accel_mps2 = speed * speed * curvature;
    auto& c = state.controls;
    if (into < kPitBoxWaitS) {
        state.phase = CarPhase::PitBox;
        c.gear = 0;
        c.rpm = car_->idle_rpm;
    } else {
        state.phase = distance < pit_.exit_m ? CarPhase::PitLane : CarPhase::Racing;
        const double ratio = profile_->lap_time_s() / setup_.lap_time_s;
        const bool catching_up =
            state.phase == CarPhase::Racing && speed < profile_->speed_at(distance) * ratio - 0.5;
        if (state.phase == CarPhase::Racing && !catching_up) {
            c = controls_at(distance, speed, profile_->speed_at(distance), profile_->accel_at(distance), curvature);
        } else {
            c.throttle = hi.accel_mps2 > 0.1 ? (catching_up ? 1.0 : 0.6) : 0.25;
            c.steering = std::clamp(curvature * car_->wheelbase_m / car_->full_lock_rad, -1.0, 1.0);
            select_gear(*car_, speed, c);
        }
        const double pulling_away = into - kPitBoxWaitS;
        if (pulling_away < kPullAwayS) c.clutch = 1.0 - pulling_away / kPullAwayS;
    }
    finish_state(lap, distance, state);
    return state;
}

CarState DriverPlan::garage_state(double time_s) {
    const LapPlan last = lap(first_lap_number() + *setup_.garage_after_laps - 1);
    CarState state;
    state.slot_id = setup_.slot_id;
    state.phase = CarPhase::Garage;
    state.laps_completed = last.number;
    state.lap_start_s = std::min(time_s, last.end_s());
    state.path_distance_m = pit_.box_m;
    state.point = track_->at(pit_.box_m);
    state.lap_distance_m = state.point.lap_distance_m;
    state.path_lateral_m = kGarageOffsetM;
    state.point.x_m += kGarageOffsetM * std::cos(state.point.heading_rad);
    state.point.z_m -= kGarageOffsetM * std::sin(state.point.heading_rad);
    state.point.curvature_per_m = 0.0;
    state.controls.rpm = car_->idle_rpm;
    state.fuel_l = std::max(0.0, last.fuel_at_line_l - last.fuel_used_l);
    state.last_lap_s = last.published_time_s();
    state.best_lap_s = last.best_after_s;
    return state;
}

void DriverPlan::finish_state(const LapPlan& lap, double distance_m, CarState& state) const {
    const double length = track_->length_m();
    state.slot_id = setup_.slot_id;
    state.laps_completed = lap.number - 1;
    state.lap_start_s = lap.start_s;
    state.path_distance_m = distance_m;
    state.point = track_->at(distance_m);
    state.lap_distance_m = state.point.lap_distance_m;
    double aside = 0.0;  // off the path
    if (track_->is_ring()) {
        // The ring's racing line swings across the centre line a few times per lap.
        const double swing = 2.0 * std::numbers::pi * (4.0 * distance_m / length) + setup_.line_phase;
        aside = 3.0 * std::sin(swing);
    } else if (lap.driven) {
        for (const auto& bump : lap.driven->bumps) aside += bump.at(distance_m);
    }
    state.path_lateral_m = state.point.lateral_m + aside;
    state.point.x_m += aside * std::cos(state.point.heading_rad);
    state.point.z_m -= aside * std::sin(state.point.heading_rad);
    state.fuel_l = std::max(0.0, lap.fuel_at_line_l - (lap.driven ? lap.driven->profile->fuel_used_at(distance_m)
                                                                  : fuel_per_m() * distance_m));

    state.lap_invalid = lap.invalid && distance_m >= lap.invalid_from_m;
    if (state.lap_invalid) {
        state.counting = LapCounting::NotCounted;
    } else {
        state.counting = lap.out_lap ? LapCounting::LapOnly : LapCounting::LapAndTime;
    }

    const auto index = static_cast<std::size_t>(lap.number - laps_.front().number);
    if (index == 0) {
        state.last_lap_s = history_lap_s();
        state.best_lap_s = history_lap_s();
    } else {
        state.last_lap_s = laps_[index - 1].published_time_s();
        state.best_lap_s = laps_[index - 1].best_after_s;
    }
}

}  // namespace corvel::lmu_sim
