// CleanLapRecorder: the state machine that turns the stream of snapshots of the recording
// phase into the first clean lap. Pure: no I/O, no clock; it counts time in polls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "lap_format/lap_sample.hpp"
#include "sim_bridge/telemetry_snapshot.hpp"

namespace corvel {

// Samples a clean lap must hold to be written; fewer fails the run.
inline constexpr std::size_t kMinCleanLapSamples = 300;
// Polls after a lap change after which the waiting lap is settled with whatever time is present.
inline constexpr std::uint64_t kScoringSyncMaxPolls = 120;

// The accepted lap. The recorder's lap numbers are 64-bit: the simulator's count is a
// signed 32-bit value that is taken one ahead, so 2147483647 must still give a next lap.
struct CleanLap {
    std::int64_t lap = 0;
    std::vector<LapSample> samples;  // recording order, at least kMinCleanLapSamples
    double lap_time_s = 0.0;
    double fuel_start_l = 0.0;  // tenths of a litre at the lap's start, / 10
    float fuel_end_l = 0.0f;
    double fuel_used_l = 0.0;         // never negative
    std::int32_t incident_delta = 0;  // never negative
    float start_track_pct = 0.0f;
    bool started_mid_lap = false;

    bool operator==(const CleanLap&) const = default;
};

struct Continue {
    bool operator==(const Continue&) const = default;
};

// A clean lap with too few samples; ends the run (first-lap mode).
struct RecorderFailure {
    std::string message;
    bool operator==(const RecorderFailure&) const = default;
};

// A clean lap with too few samples in continuing mode: dropped, recording goes on.
struct ShortCleanLap {
    std::int64_t lap = 0;
    std::size_t samples = 0;
    bool operator==(const ShortCleanLap&) const = default;
};

using RecordOutcome = std::variant<Continue, CleanLap, RecorderFailure, ShortCleanLap>;

enum class RecorderMode {
    FirstCleanLap,  // corvel: the first clean lap ends recording; a short one fails the run
    Continuing,     // corvel-stint: every clean lap is handed over and recording goes on
};

class CleanLapRecorder {
  public:
    explicit CleanLapRecorder(RecorderMode mode = RecorderMode::FirstCleanLap) : mode_(mode) {}

    // Feed the snapshots in order. In first-lap mode do not feed again after a CleanLap or a
    // RecorderFailure; in continuing mode feed on after any outcome (it never fails).
    [[nodiscard]] RecordOutcome record_snapshot(const sim_bridge::TelemetrySnapshot& snapshot);

    // For the heartbeat line.
    [[nodiscard]] std::int32_t sim_lap() const { return sim_lap_; }
    [[nodiscard]] std::int64_t active_lap() const { return active_lap_; }
    [[nodiscard]] std::size_t buffered_samples() const { return samples_.size(); }
    [[nodiscard]] bool meaningful_drive() const { return meaningful_drive_; }
    [[nodiscard]] std::uint64_t poll_count() const { return poll_count_; }

    // For tests and diagnostics.
    [[nodiscard]] std::int32_t last_sim_lap() const { return last_sim_lap_; }
    [[nodiscard]] bool has_pending_lap() const { return pending_lap_.has_value(); }

  private:
    struct LapStart {
        std::uint16_t fuel_dl = 0;
        std::int32_t incidents = 0;
        float track_pct = 0.0f;
        bool started_mid_lap = false;
    };
    struct CompletedLap {
        std::int64_t lap = 0;
        std::optional<double> boundary_lap_time;
        std::uint64_t boundary_poll = 0;
        LapStart start;
        float end_fuel_l = 0.0f;
        std::int32_t end_incidents = 0;
    };

    static LapStart lap_start_from(const sim_bridge::TelemetrySnapshot& snapshot);
    [[nodiscard]] bool should_settle(const CompletedLap& pending,
                                     const sim_bridge::TelemetrySnapshot& snapshot, bool lap_changed) const;
    // Judges the settled lap: a CleanLap or failure when clean, nullopt when dropped.
    [[nodiscard]] std::optional<RecordOutcome> settle(const CompletedLap& lap,
                                                      const sim_bridge::TelemetrySnapshot& snapshot);

    RecorderMode mode_;
    bool started_ = false;
    std::int32_t sim_lap_ = 0;
    std::int32_t last_sim_lap_ = 0;
    std::int64_t active_lap_ = 1;
    std::uint64_t poll_count_ = 0;
    std::vector<LapSample> samples_;
    bool meaningful_drive_ = false;
    LapStart lap_start_;
    std::optional<CompletedLap> pending_lap_;
};

// The 16-bit lap number that a sample of lap `lap` carries: negatives become 0, then the
// low 16 bits.
[[nodiscard]] std::uint16_t sample_lap_number(std::int64_t lap);

}  // namespace corvel
