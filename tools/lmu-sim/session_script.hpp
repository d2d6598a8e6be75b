// The whole scripted session: the menus, then the player's car and a few other cars on the
// synthetic track, each with its entry texts. Asked for any moment, it tells what LMU would
// publish about it; it also knows when the script wants the simulator to exit.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "driver_plan.hpp"
#include "sim_options.hpp"
#include "speed_profile.hpp"
#include "track.hpp"

namespace corvel::lmu_sim {

// Texts and identity of one entry of the vehicle list.
struct Entrant {
    std::uint32_t slot_id = 0;
    std::string driver;
    std::string vehicle_name;
    std::string vehicle_class;
    std::string vehicle_file;
    std::string model_name;
    bool is_player = false;
    std::int8_t control = 1;  // 0 the local player, 1 AI, 2 a remote participant
};

struct WorldState {
    double time_s = 0.0;
    bool on_track = false;  // false: in the menus, nothing but the version is published
    bool in_realtime = false;
    // In the order of the vehicle list; empty in the menus.
    std::vector<CarState> cars;
};

// How much older the moment published in the scoring part is than the telemetry's.
inline constexpr double kScoringLagS = 0.05;
// How long the simulator keeps publishing after the last of its --laps (at least two
// scoring periods).
inline constexpr double kExitGraceS = 1.0;
// The session clock LMU publishes starts here, so that a lap joined part-way began at a
// positive session time.
[[nodiscard]] double session_clock_origin(const SimOptions& options);

class SessionScript {
  public:
    explicit SessionScript(const SimOptions& options);
    SessionScript(const SessionScript&) = delete;
    SessionScript& operator=(const SessionScript&) = delete;

    [[nodiscard]] WorldState at(double time_s);
    [[nodiscard]] const std::vector<Entrant>& entrants() const { return entrants_; }
    [[nodiscard]] std::size_t player_index() const { return player_index_; }
    [[nodiscard]] DriverPlan& player() { return drivers_[player_index_]; }
    [[nodiscard]] const Track& track() const { return track_; }
    [[nodiscard]] const SpeedProfile& profile() const { return profile_; }
    [[nodiscard]] const CarSpec& car() const { return car_; }
    // Real circuits: the player's driver and the corners he drives; nothing on the ring.
    [[nodiscard]] const LapDriver* lap_driver() const { return lap_driver_.get(); }
    // When the car appears on track; nothing when it stays in the menus.
    [[nodiscard]] std::optional<double> on_track_at_s() const;
    // When the script is over and the simulator should exit (--laps with exit, --exit-at-fraction).
    [[nodiscard]] std::optional<double> exit_at_s();

  private:
    SimOptions options_;  // a copy: callers often pass a temporary
    Track track_;
    CarSpec car_;
    SpeedProfile profile_;
    std::unique_ptr<LapDriver> lap_driver_;
    std::vector<Entrant> entrants_;
    std::vector<DriverPlan> drivers_;  // same order as entrants_
    std::size_t player_index_ = 0;
};

}  // namespace corvel::lmu_sim
