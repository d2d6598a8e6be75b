// The stand-in simulator on a virtual clock: the same session script and block writer as
// lmu-sim, writing a block at every telemetry tick, with the scoring part at the scoring rate
// from a chosen phase. Advancing to a moment leaves the block as a reader would find it in
// shared memory then: the newest block whose telemetry tick has happened.
#pragma once

#include <cstdint>
#include <optional>

#include "block_writer.hpp"
#include "car_state.hpp"
#include "session_script.hpp"
#include "sim_bridge/lmu/block_layout.hpp"
#include "sim_options.hpp"

namespace corvel::lap_generator {

// The newest telemetry tick in the block: its index (tick k is at k / telemetry_hz) and the
// player's car as written.
struct PublishedTick {
    std::int64_t index = 0;
    double time_s = 0.0;
    std::optional<lmu_sim::CarState> player;
};

// The newest scoring in the block: when it was written and the older moment it describes.
struct PublishedScoring {
    double published_s = 0.0;
    double moment_s = 0.0;
    std::optional<lmu_sim::CarState> player;
};

class VirtualSimulator {
  public:
    // `scoring_phase_s`: the scoring ticks lie at phase + j / scoring_hz (after one at 0,
    // written with the first block as lmu-sim does); each is written with the first
    // telemetry tick at or after it. Phase 0 is lmu-sim's own schedule.
    VirtualSimulator(const lmu_sim::SimOptions& options, double scoring_phase_s);
    VirtualSimulator(const VirtualSimulator&) = delete;
    VirtualSimulator& operator=(const VirtualSimulator&) = delete;

    // Writes every tick due by `time_s` (simulation seconds); never goes back.
    void advance_to(double time_s);

    [[nodiscard]] sim_bridge::lmu::BlockView block() const;
    [[nodiscard]] const PublishedTick& telemetry() const { return tick_; }
    [[nodiscard]] const PublishedScoring& scoring() const { return scoring_; }
    [[nodiscard]] lmu_sim::SessionScript& script() { return script_; }
    [[nodiscard]] const lmu_sim::SimOptions& options() const { return options_; }
    // The session clock LMU publishes is this plus simulation seconds.
    [[nodiscard]] double session_clock_origin_s() const { return clock_origin_s_; }

  private:
    void publish_scoring(double time_s);
    void publish_telemetry(std::int64_t index);
    [[nodiscard]] double scoring_tick_s(std::int64_t index) const;
    [[nodiscard]] std::optional<lmu_sim::CarState> player_in(const lmu_sim::WorldState& world) const;

    lmu_sim::SimOptions options_;  // the writer keeps a pointer to it
    lmu_sim::SessionScript script_;
    lmu_sim::BlockWriter writer_;
    lmu_sim::BlockImage image_;
    double clock_origin_s_;
    double telemetry_period_s_;
    double scoring_period_s_;
    double scoring_phase_s_;
    std::int64_t next_tick_ = 0;
    std::int64_t next_scoring_ = 0;  // index of the next scoring tick after the one at 0
    PublishedTick tick_;
    PublishedScoring scoring_;
};

}  // namespace corvel::lap_generator
