// One car's whole session as a function of time: its laps (each with its own lap time), an
// optional out-lap from the pit box, invalidated laps and parking in the garage. Any moment
// can be asked for, so the scoring can be published from a slightly older moment than the
// telemetry, as LMU does.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "car_state.hpp"
#include "lap_driver.hpp"
#include "speed_profile.hpp"
#include "track.hpp"

namespace corvel::lmu_sim {

struct DriverSetup {
    std::uint32_t slot_id = 0;
    double lap_time_s = 90.0;
    bool vary_lap_times = true;
    std::int64_t laps_before = 0;  // laps completed when the car appears
    double start_fraction = 0.0;   // where on its lap it appears (ignored with an out-lap)
    bool out_lap = false;          // appears in the pit box and drives an untimed out-lap
    double appear_at_s = 0.0;
    std::optional<std::int64_t> garage_after_laps;  // parks after this many laps
    std::vector<std::int64_t> invalid_laps;         // lap numbers, as LapPlan::number
    double fuel_l = 62.0;
    double line_phase = 0.0;  // varies the racing line between cars
    // Real circuits: the player's driver, who drives every racing lap his own way (each lap its
    // own profile); without one, laps are the session's profile scaled to their lap time.
    const LapDriver* driver = nullptr;
};

struct LapPlan {
    // Laps completed once this lap ends; the car's first lap of the session is number 1.
    std::int64_t number = 1;
    double start_s = 0.0;  // before the car appeared when it joined this lap part-way
    double duration_s = 0.0;
    bool out_lap = false;  // no time is published for it
    bool invalid = false;  // invalidated part-way round (from kInvalidFromFraction)
    double joined_at_fraction = 0.0;
    double fuel_at_line_l = 0.0;         // fuel at its start line (for a joined lap: as if driven whole)
    std::optional<double> best_after_s;  // best counted lap time once this lap is done
    double invalid_from_m = 0.0;         // along the path, when `invalid`
    // Driven by a LapDriver: the lap's own profile, its departures from the line, its fuel.
    std::shared_ptr<const DrivenLap> driven;
    double fuel_used_l = 0.0;

    [[nodiscard]] double end_s() const { return start_s + duration_s; }
    [[nodiscard]] std::optional<double> published_time_s() const {
        return out_lap ? std::nullopt : std::optional<double>(duration_s);
    }
};

inline constexpr double kInvalidFromFraction = 0.4;
inline constexpr double kPitBoxWaitS = 2.0;
inline constexpr double kPitSpeedLimitMps = 60.0 / 3.6;

// Where the pit box and the pit-lane exit lie on a track of `length_m`.
struct PitLane {
    double box_m;
    double exit_m;
};
[[nodiscard]] PitLane pit_lane_for(double length_m);

// The lap time of lap `number` around `base_s`. Consecutive laps always differ by at least
// two steps of max(2 ms, 0.1 % of the lap), so a reader sees every new time as a change.
[[nodiscard]] double varied_lap_time(double base_s, std::int64_t number);

class DriverPlan {
  public:
    DriverPlan(const Track& track, const SpeedProfile& profile, const CarSpec& car, DriverSetup setup);

    // Nothing before the car appears.
    [[nodiscard]] std::optional<CarState> state_at(double time_s);
    // The lap with this number; laps are planned on demand, so any later lap can be asked for.
    // The reference stays valid while later laps are planned.
    [[nodiscard]] const LapPlan& lap(std::int64_t number);
    [[nodiscard]] std::int64_t first_lap_number() const { return setup_.laps_before + 1; }
    // When the car parks, if it ever does.
    [[nodiscard]] std::optional<double> garage_at_s();
    // Time into lap `number` at which the car passes `fraction` of the track.
    [[nodiscard]] double time_into_lap(std::int64_t number, double fraction);
    [[nodiscard]] const DriverSetup& setup() const { return setup_; }

  private:
    struct MotionPoint {
        double time_s;
        double distance_m;
        double speed_mps;
        double accel_mps2;
    };

    void plan_out_lap_motion();
    [[nodiscard]] LapPlan next_lap_after(const LapPlan& previous) const;
    [[nodiscard]] std::size_t lap_index_at(double time_s);
    [[nodiscard]] CarState racing_state(const LapPlan& lap, double time_s) const;
    [[nodiscard]] CarState out_lap_state(const LapPlan& lap, double time_s) const;
    [[nodiscard]] CarState garage_state(double time_s);
    void finish_state(const LapPlan& lap, double distance_m, CarState& state) const;
    [[nodiscard]] double fuel_per_m() const;
    [[nodiscard]] bool is_invalid(std::int64_t number) const;
    [[nodiscard]] std::optional<double> history_lap_s() const;
    // Fills duration, fuel use and invalidity of a racing lap from its number.
    void plan_racing_lap(LapPlan& lap) const;
    [[nodiscard]] Controls controls_at(double distance_m, double speed_mps, double base_speed_mps,
                                       double base_accel_mps2, double curvature_per_m) const;

    const Track* track_;
    const SpeedProfile* profile_;
    const CarSpec* car_;
    DriverSetup setup_;
    PitLane pit_;
    std::deque<LapPlan> laps_;  // a deque: planning a lap moves none already handed out
    std::vector<MotionPoint> out_lap_motion_;
};

}  // namespace corvel::lmu_sim
