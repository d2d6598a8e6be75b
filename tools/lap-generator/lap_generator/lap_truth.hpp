// What really happened during one generated lap: when the car crossed the line, the time
// LMU published for it, and for every recorded sample the telemetry tick and the scoring
// moment its block showed, with their true session times and places. Tests measure the
// analysis against it; `<stem>.truth.json` holds the same for people and scripts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvel::lap_generator {

// One recorded sample. Session times are the clock LMU publishes (f64, as written).
struct SampleTruth {
    double poll_session_s = 0.0;  // when the capture polled
    std::int64_t tick = 0;        // the telemetry tick the sample shows (tick k at k / telemetry_hz)
    double tick_session_s = 0.0;
    std::int64_t tick_lap = 0;          // the lap the car was driving at that tick
    double since_line_s = 0.0;          // from the line that began tick_lap to the tick
    double lap_distance_m = 0.0;        // at the tick, on lmu-sim's lap-distance axis
    double path_distance_m = 0.0;       // at the tick, along the car's own path since that line
    double scoring_session_s = 0.0;     // the moment the block's scoring part describes
    double scoring_lap_distance_m = 0.0;  // the lap distance it publishes for that moment
};

// The capture's settings, repeated in every lap's truth so that one file tells the whole story.
struct CaptureTruth {
    double telemetry_hz = 0.0;
    double scoring_hz = 0.0;
    double scoring_lag_s = 0.0;
    double scoring_phase_s = 0.0;  // scoring ticks at phase + j / scoring_hz, simulation seconds
    double poll_period_s = 0.0;
    double poll_jitter_s = 0.0;
    std::uint64_t seed = 0;
    double session_clock_origin_s = 0.0;  // session clock = this + simulation seconds
    double joined_session_s = 0.0;        // the first recording poll, after the session wait
};

struct LapTruth {
    std::int64_t lap = 0;  // as corvel numbers it (the file name's and the samples' number)
    double start_line_session_s = 0.0;  // the car crossed the line that began the lap
    double end_line_session_s = 0.0;    // ... and the one that ended it
    std::optional<double> official_lap_time_s;  // as LMU published it; none for an out-lap
    double track_length_m = 0.0;
    bool out_lap = false;
    bool invalid = false;
    CaptureTruth capture;
    // The model's own truth about this lap (corners and the like) as one JSON value; "null"
    // until the model offers it. model_lap_truth() in lap_generator.cpp fills it.
    std::string model_json = "null";
    std::vector<SampleTruth> samples;  // one per recorded sample, in order
};

// The truth document: one line of JSON, samples as columns (one array per member).
[[nodiscard]] std::string format_lap_truth(const LapTruth& truth);

}  // namespace corvel::lap_generator
