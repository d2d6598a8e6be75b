// The truth document. Numbers are written in their shortest exact form (nlohmann/json), so a
// reader compares them bit for bit with what was published.
#include "lap_generator/lap_truth.hpp"

#include <nlohmann/json.hpp>

namespace corvel::lap_generator {
namespace {

using nlohmann::ordered_json;

template <class Member>
ordered_json column(const std::vector<SampleTruth>& samples, Member member) {
    ordered_json values = ordered_json::array();
    for (const SampleTruth& sample : samples) values.push_back(sample.*member);
    return values;
}

ordered_json capture_json(const CaptureTruth& c) {
    return {{"telemetry_hz", c.telemetry_hz},         {"scoring_hz", c.scoring_hz},
            {"scoring_lag_s", c.scoring_lag_s},       {"scoring_phase_s", c.scoring_phase_s},
            {"poll_period_s", c.poll_period_s},       {"poll_jitter_s", c.poll_jitter_s},
            {"seed", c.seed},                         {"session_clock_origin_s", c.session_clock_origin_s},
            {"joined_session_s", c.joined_session_s}};
}

}  // namespace

std::string format_lap_truth(const LapTruth& truth) {
    ordered_json doc;
    doc["lap"] = truth.lap;
    doc["start_line_session_s"] = truth.start_line_session_s;
    doc["end_line_session_s"] = truth.end_line_session_s;
    doc["official_lap_time_s"] =
        truth.official_lap_time_s ? ordered_json(*truth.official_lap_time_s) : ordered_json(nullptr);
    doc["track_length_m"] = truth.track_length_m;
    doc["out_lap"] = truth.out_lap;
    doc["invalid"] = truth.invalid;
    doc["capture"] = capture_json(truth.capture);
    doc["model"] = ordered_json::parse(truth.model_json);
    const auto& s = truth.samples;
    doc["samples"] = {
        {"count", s.size()},
        {"poll_session_s", column(s, &SampleTruth::poll_session_s)},
        {"tick", column(s, &SampleTruth::tick)},
        {"tick_session_s", column(s, &SampleTruth::tick_session_s)},
        {"tick_lap", column(s, &SampleTruth::tick_lap)},
        {"since_line_s", column(s, &SampleTruth::since_line_s)},
        {"lap_distance_m", column(s, &SampleTruth::lap_distance_m)},
        {"path_distance_m", column(s, &SampleTruth::path_distance_m)},
        {"scoring_session_s", column(s, &SampleTruth::scoring_session_s)},
        {"scoring_lap_distance_m", column(s, &SampleTruth::scoring_lap_distance_m)},
    };
    return doc.dump();
}

}  // namespace corvel::lap_generator
