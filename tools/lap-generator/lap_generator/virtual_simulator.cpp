// lmu-sim's publishing loop without the waiting: every telemetry tick writes the telemetry,
// and the tick at or after each scoring tick writes the scoring first, as lmu-sim does. The
// scoring describes the moment kScoringLagS older than its publication, but not before the
// car appeared (lmu-sim's rule).
#include "lap_generator/virtual_simulator.hpp"

#include <algorithm>

namespace corvel::lap_generator {
namespace {

// Ticks are computed as index * period; this absorbs the rounding when two fall together.
constexpr double kSameMomentS = 1e-9;

}  // namespace

VirtualSimulator::VirtualSimulator(const lmu_sim::SimOptions& options, double scoring_phase_s)
    : options_(options),
      script_(options_),
      writer_(options_, script_),
      clock_origin_s_(lmu_sim::session_clock_origin(options_)),
      telemetry_period_s_(1.0 / options_.telemetry_hz),
      scoring_period_s_(1.0 / options_.scoring_hz),
      scoring_phase_s_(scoring_phase_s) {
    // The first block holds both parts, as lmu-sim's; the phase then places the later scoring.
    publish_scoring(0.0);
    publish_telemetry(0);
    next_tick_ = 1;
    next_scoring_ = scoring_phase_s_ > kSameMomentS ? 0 : 1;
}

sim_bridge::lmu::BlockView VirtualSimulator::block() const {
    return sim_bridge::lmu::BlockView(image_.bytes().data(), sim_bridge::lmu::kBlockSize);
}

double VirtualSimulator::scoring_tick_s(std::int64_t index) const {
    return scoring_phase_s_ + static_cast<double>(index) * scoring_period_s_;
}

void VirtualSimulator::advance_to(double time_s) {
    for (;;) {
        const double tick_s = static_cast<double>(next_tick_) * telemetry_period_s_;
        if (tick_s > time_s + kSameMomentS) return;
        // lmu-sim's rule: a scoring tick is written with the first telemetry tick at or after it.
        const bool scoring_due = tick_s + kSameMomentS >= scoring_tick_s(next_scoring_);
        while (scoring_tick_s(next_scoring_) <= tick_s + kSameMomentS) ++next_scoring_;
        if (scoring_due) publish_scoring(tick_s);
        publish_telemetry(next_tick_++);
    }
}

std::optional<lmu_sim::CarState> VirtualSimulator::player_in(const lmu_sim::WorldState& world) const {
    const auto index = script_.player_index();
    if (index >= world.cars.size()) return std::nullopt;
    return world.cars[index];
}

void VirtualSimulator::publish_scoring(double time_s) {
    double moment = time_s - lmu_sim::kScoringLagS;
    const auto on_track = script_.on_track_at_s();
    if (on_track && time_s >= *on_track) moment = std::max(moment, *on_track);
    const lmu_sim::WorldState world = script_.at(moment);
    writer_.write_scoring(image_, world);
    scoring_ = {time_s, moment, player_in(world)};
}

void VirtualSimulator::publish_telemetry(std::int64_t index) {
    const double time_s = static_cast<double>(index) * telemetry_period_s_;
    const lmu_sim::WorldState world = script_.at(time_s);
    writer_.write_telemetry(image_, world);
    tick_ = {index, time_s, player_in(world)};
}

}  // namespace corvel::lap_generator
