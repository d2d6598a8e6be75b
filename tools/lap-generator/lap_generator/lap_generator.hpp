// Laps for tests without waiting: lmu-sim's session, LMU's block conversion, corvel's
// clean-lap recorder and its lap writers, run on a virtual clock. A lap of any length takes
// milliseconds, and each comes with its truth (lap_truth.hpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "corvel/clean_lap_recorder.hpp"
#include "lap_format/lap_metadata.hpp"
#include "corvel/output_naming.hpp"
#include "lap_generator/lap_truth.hpp"
#include "sim_bridge/session_info.hpp"
#include "sim_bridge/vehicle_info.hpp"
#include "sim_options.hpp"

namespace corvel::lap_generator {

inline constexpr double kDefaultPollPeriodS = 0.016;
inline constexpr double kDefaultPollJitterS = 0.0015;
// 2026-01-01T00:00:00Z: the wall clock at the session's start unless told otherwise, so that
// file names and "createdAt" are the same on every run.
inline constexpr std::int64_t kDefaultWallClockAtStart = 1'767'225'600;

struct GeneratorOptions {
    lmu_sim::SimOptions sim;  // the session, exactly as lmu-sim drives it
    // The capture's own randomness: the poll jitter, and the scoring phase when not given.
    std::uint64_t seed = 1;
    double poll_period_s = kDefaultPollPeriodS;
    double poll_jitter_s = kDefaultPollJitterS;  // each pause is the period +- up to this, uniform
    // Offset of the scoring ticks against telemetry tick 0, in [0, 1 / scoring_hz); when
    // absent, drawn from the seed.
    std::optional<double> scoring_phase_s;
    // The capture joins `join_after_line_s` after the car crossed the line that began lap
    // `join_lap` (default: the first lap that begins on track; negative: before that line).
    // From there it waits for the session as corvel does, every 250 ms, then records.
    std::optional<std::int64_t> join_lap;
    double join_after_line_s = 0.0;
    RecorderMode mode = RecorderMode::FirstCleanLap;  // Continuing: every clean lap, as corvel-stint
    // Continuing mode: stop after this many clean laps; absent: every one the session drives.
    std::optional<std::size_t> laps_to_keep;
    std::filesystem::path output_dir;  // empty: nothing is written, the laps stay in memory
    std::string prefix = "lmu-clean-lap";
    std::int64_t wall_clock_at_start = kDefaultWallClockAtStart;  // Unix seconds at simulation time 0
};

struct GeneratedLap {
    CleanLap lap;
    LapMetadata metadata;
    LapTruth truth;
    OutputPaths paths;  // the names corvel gives them (under output_dir, written only when it is set)
    std::filesystem::path truth_path;  // <stem>.truth.json beside them
};

struct GeneratedSession {
    sim_bridge::SessionInfo session;
    sim_bridge::VehicleInfo vehicle;
    std::vector<GeneratedLap> laps;
    std::vector<ShortCleanLap> short_laps;  // clean but under 300 samples (continuing mode)
    std::uint64_t polls = 0;
    double scoring_phase_s = 0.0;
    double joined_s = 0.0;  // simulation seconds of the first recording poll
};

// Runs the session until the recorder has handed over its lap (first-lap mode) or the laps to
// keep (continuing mode), or the session ends. Errors are one line for the user: options that
// cannot be simulated, the recorder's own failure, or a write that failed.
[[nodiscard]] std::expected<GeneratedSession, std::string> generate_laps(const GeneratorOptions& options);

}  // namespace corvel::lap_generator
