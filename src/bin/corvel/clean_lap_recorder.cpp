// The clean-lap state machine: numbers laps, waits for the scoring sync after each lap
// change, drops laps that gained incidents or have no time, and hands over the first
// clean lap.
#include "corvel/clean_lap_recorder.hpp"
#include "corvel/lap_sample_from_snapshot.hpp"

#include <algorithm>
#include <cmath>

namespace corvel {
namespace {

std::uint16_t fuel_tenths(float fuel_l) {
    // Same quantisation as the samples' fuel field, so the figures agree.
    const double tenths = std::max(static_cast<double>(fuel_l), 0.0) * 10.0;
    if (!(tenths > 0.0)) return 0;  // also NaN
    if (tenths >= 65535.0) return 65535;
    return static_cast<std::uint16_t>(tenths);
}

bool drives_meaningfully(const sim_bridge::TelemetrySnapshot& s) {
    if (s.in_pit_lane || s.in_pits) return false;
    return s.speed_kmh > 20.0f || s.lap_fraction > 0.02f || s.current_lap_time_s > 5.0;
}

std::int32_t non_negative(std::int32_t lap) {
    return std::max(lap, 0);
}

// One stable pass over the buffer: samples of lap `number` go to `taken` (when given),
// the others close up in place, keeping their order.
void extract_lap_samples(std::vector<LapSample>& samples, std::uint16_t number,
                         std::vector<LapSample>* taken) {
    auto keep = samples.begin();
    for (const LapSample& sample : samples) {
        if (sample.lap != number)
            *keep++ = sample;
        else if (taken != nullptr)
            taken->push_back(sample);
    }
    samples.erase(keep, samples.end());
}

// Incident counts come from another program; subtract without overflow.
std::int64_t incidents_gained(std::int32_t start, std::int32_t end) {
    return static_cast<std::int64_t>(end) - static_cast<std::int64_t>(start);
}

}  // namespace

std::uint16_t sample_lap_number(std::int64_t lap) {
    return static_cast<std::uint16_t>(static_cast<std::uint64_t>(std::max<std::int64_t>(lap, 0)) & 0xFFFFu);
}

CleanLapRecorder::LapStart CleanLapRecorder::lap_start_from(const sim_bridge::TelemetrySnapshot& s) {
    LapStart start;
    start.fuel_dl = fuel_tenths(s.fuel_l);
    start.incidents = s.incident_count;
    start.track_pct = s.lap_fraction;
    start.started_mid_lap = s.lap_fraction >= 0.05f && s.lap_fraction < 0.95f;
    return start;
}

RecordOutcome CleanLapRecorder::record_snapshot(const sim_bridge::TelemetrySnapshot& s) {
    sim_lap_ = s.lap_number;
    if (started_ && sim_lap_ < last_sim_lap_) last_sim_lap_ = non_negative(sim_lap_);  // restart
    if (drives_meaningfully(s)) meaningful_drive_ = true;

    if (!started_) {
        last_sim_lap_ = non_negative(sim_lap_);
        // The simulator counts the lap in progress one behind ours. 64-bit, so the
        // largest 32-bit lap count still has a successor.
        active_lap_ = sim_lap_ >= 1 ? static_cast<std::int64_t>(sim_lap_) + 1 : 1;
        lap_start_ = lap_start_from(s);
        started_ = true;
    }

    // The sample carries the 16-bit form of our lap number (make_lap_sample takes 32 bits).
    LapSample sample = make_lap_sample(s, 0);
    sample.lap = sample_lap_number(active_lap_);
    samples_.push_back(sample);
    ++poll_count_;

    const bool lap_changed = sim_lap_ > last_sim_lap_;

    std::optional<RecordOutcome> settled_outcome;
    if (pending_lap_ && should_settle(*pending_lap_, s, lap_changed)) {
        const CompletedLap settled = *pending_lap_;
        pending_lap_.reset();
        settled_outcome = settle(settled, s);
        // corvel stops at its lap; the stint must still see this snapshot's lap change, or
        // the next lap would swallow the one after it.
        if (settled_outcome && mode_ == RecorderMode::FirstCleanLap) return std::move(*settled_outcome);
    }

    if (lap_changed) {
        pending_lap_ = CompletedLap{
            .lap = active_lap_,
            .boundary_lap_time = s.last_lap_time_s,
            .boundary_poll = poll_count_,
            .start = lap_start_,
            .end_fuel_l = s.fuel_l,
            .end_incidents = s.incident_count,
        };
        // Only one lap per change, however far the simulator's count jumped; one lap per
        // poll at most, so this cannot come near the 64-bit limit.
        ++active_lap_;
        last_sim_lap_ = sim_lap_;
        // The snapshot that ended the old lap also begins the new one.
        lap_start_ = lap_start_from(s);
    }
    if (settled_outcome) return std::move(*settled_outcome);
    return Continue{};
}

bool CleanLapRecorder::should_settle(const CompletedLap& pending, const sim_bridge::TelemetrySnapshot& s,
                                     bool lap_changed) const {
    // NaN fails every comparison here, so a NaN time never settles a lap early.
    bool time_settled = false;
    if (s.last_lap_time_s) {
        const double t = *s.last_lap_time_s;
        time_settled =
            pending.boundary_lap_time ? std::fabs(t - *pending.boundary_lap_time) > 0.001 : t > 0.0;
    } else {
        time_settled = pending.boundary_lap_time.has_value();  // the time vanished
    }
    const std::uint64_t waited =
        poll_count_ >= pending.boundary_poll ? poll_count_ - pending.boundary_poll : 0;
    return lap_changed || time_settled || waited > kScoringSyncMaxPolls;
}

std::optional<RecordOutcome> CleanLapRecorder::settle(const CompletedLap& lap,
                                                      const sim_bridge::TelemetrySnapshot& s) {
    // Samples are compared in the 16-bit form they carry, so laps above 65535 still own
    // their samples; the pending lap and the one after it never share that form.
    const std::uint16_t number = sample_lap_number(lap.lap);
    const bool clean = incidents_gained(lap.start.incidents, lap.end_incidents) <= 0 &&
                       s.last_lap_time_s.has_value() && *s.last_lap_time_s > 0.0;
    if (!clean) {
        extract_lap_samples(samples_, number, nullptr);
        return std::nullopt;
    }

    std::vector<LapSample> own;
    extract_lap_samples(samples_, number, &own);
    if (own.size() < kMinCleanLapSamples) {
        if (mode_ == RecorderMode::Continuing) return RecordOutcome{ShortCleanLap{lap.lap, own.size()}};
        return RecordOutcome{RecorderFailure{"Lap " + std::to_string(lap.lap) +
                                             " looked clean but only had " + std::to_string(own.size()) +
                                             " samples; aborting to avoid partial output"}};
    }

    CleanLap clean_lap;
    clean_lap.lap = lap.lap;
    clean_lap.samples = std::move(own);
    clean_lap.lap_time_s = *s.last_lap_time_s;
    clean_lap.fuel_start_l = static_cast<double>(lap.start.fuel_dl) / 10.0;
    clean_lap.fuel_end_l = lap.end_fuel_l;
    const double used = clean_lap.fuel_start_l - static_cast<double>(lap.end_fuel_l);
    clean_lap.fuel_used_l = used > 0.0 ? used : 0.0;  // also 0 for a NaN end figure
    clean_lap.incident_delta = 0;                     // a clean lap gained none
    clean_lap.start_track_pct = lap.start.track_pct;
    clean_lap.started_mid_lap = lap.start.started_mid_lap;
    return RecordOutcome{std::move(clean_lap)};
}

}  // namespace corvel
