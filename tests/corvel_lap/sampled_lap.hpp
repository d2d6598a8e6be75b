// Laps whose truth is known at every sample, recorded the way corvel records LMU: telemetry
// ticking at its own rate (50 or 100 Hz) and seen by jittered 16 ms polls (so some polls see
// an old tick again), scoring pairs (session time, lap fraction) every 200 ms published 50 ms
// after the moment they describe, the lap number changing with the telemetry, and the lap's
// samples cut where the recorder cuts them: from the poll after the one that first saw the new
// lap number (or from a late join) to the poll that first saw the next one.
//
// The car drives a circular reference path (LMU's lap distance is the angle along it) on a
// line that weaves across it, so its path length differs from the lap distance, at a speed
// that varies along the lap.
#pragma once

#include <vector>

#include "lap_format/lap_metadata.hpp"
#include "lap_format/lap_sample.hpp"

namespace corvel::testing {

struct DriveOptions {
    double telemetry_hz = 50.0;
    double tick_phase_s = 0.0;     // where the telemetry's grid lies, 0..one period
    double scoring_phase_s = 0.0;  // where the 200 ms scoring moments lie, 0..0.2
    double scoring_delay_s = 0.05;
    double poll_jitter_s = 0.0015;  // each poll interval is 16 ms plus up to this either way
    unsigned seed = 1;              // the poll jitter's
    // Below 0: recording began before the line and the lap is recorded from it; otherwise the
    // recording began this long after the line.
    double joined_after_line_s = -1.0;
    double pace = 1.0;  // lap-distance speed multiplied by this everywhere
    // Lap-distance speed multiplied by slow_factor from slow_from_m to slow_to_m (a corner lost).
    double slow_from_m = 0.0;
    double slow_to_m = 0.0;
    double slow_factor = 1.0;
};

struct SampledLap {
    std::vector<LapSample> samples;
    LapMetadata metadata;            // track length and the true lap time as the official one
    std::vector<double> true_time_s;      // per sample: its tick's time since the start line
    std::vector<double> true_distance_m;  // per sample: lap distance at its tick
    double lap_time_s = 0.0;              // the true line-to-line time
    double length_m = 0.0;
    // The truth as functions of lap distance (metres from the start line).
    double time_at(double distance_m) const;

    std::vector<double> truth_times_;  // time since the start line every kTruthStepM metres
};

[[nodiscard]] SampledLap sample_lap(const DriveOptions& options);

}  // namespace corvel::testing
