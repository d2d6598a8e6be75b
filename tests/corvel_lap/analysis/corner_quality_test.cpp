// Corners on laps of real circuits against the truth the generator records: the corner with a
// scripted mistake is found where the model's apex is, loses most, is timed and measured like
// the truth says and gets the right sentence; the map holds across laps; damaged and extreme
// laps give a sound result.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <nlohmann/json.hpp>

#include "analysis/corner_map.hpp"
#include "analysis/corner_metrics.hpp"
#include "analysis/lap_comparison.hpp"
#include "analysis/lap_timeline.hpp"
#include "lap_generator/lap_generator.hpp"
#include "presentation/corner_text.hpp"

namespace corvel {
namespace {

using lap_generator::GeneratedLap;
using lap_generator::GeneratedSession;
using lap_generator::GeneratorOptions;

// A session as lmu-sim's command line describes it (the circuit sets length and pace).
GeneratedSession session_of(std::vector<std::string> sim_args, std::uint64_t capture_seed = 1,
                            double join_after_line_s = 0.0) {
    GeneratorOptions o;
    auto sim = lmu_sim::parse_options(sim_args);
    EXPECT_TRUE(sim) << (sim ? "" : sim.error());
    if (!sim) return {};
    o.sim = *sim;
    o.seed = capture_seed;
    o.join_after_line_s = join_after_line_s;
    o.mode = RecorderMode::Continuing;
    auto session = lap_generator::generate_laps(o);
    EXPECT_TRUE(session) << (session ? "" : session.error());
    return session ? std::move(*session) : GeneratedSession{};
}

LapTimeline timeline_of(const GeneratedLap& g) { return compute_lap_timeline(g.lap.samples, g.metadata); }

nlohmann::json truth_corner(const GeneratedLap& g, int number) {
    const nlohmann::json model = nlohmann::json::parse(g.truth.model_json);
    for (const auto& c : model["corners"]) {
        if (c["corner"] == number) return c;
    }
    return nullptr;
}

// The true time from the line to lap distance `m`, from the per-sample truth.
double true_time_at(const GeneratedLap& g, double m) {
    std::vector<double> d;
    std::vector<double> t;
    for (const auto& s : g.truth.samples) {
        if (!d.empty() && s.lap_distance_m <= d.back()) continue;
        d.push_back(s.lap_distance_m);
        t.push_back(s.since_line_s);
    }
    return interpolate_at(d, t, m);
}

struct MistakeCase {
    const char* mistake;  // lmu-sim's LAP:CORNER:KIND:SIZE, on lap 2
    int corner;           // the model's corner number
    const char* cause;    // what the sentence must say
    // The corner's time against the truth's (on the line-anchored timeline every case measured
    // under 0.5 ms off).
    double time_tolerance_s = 0.010;
};

class ScriptedMistake : public ::testing::TestWithParam<MistakeCase> {};

TEST_P(ScriptedMistake, IsFoundTimedAndExplained) {
    const MistakeCase m = GetParam();
    // The reference is the same lap of the same seed without the mistake: the driver's own
    // lap-to-lap variation would otherwise compete with the mistake for the biggest loss.
    const GeneratedSession s = session_of({"--track", "monza", "--laps", "3", "--seed", "3", "--mistake", m.mistake});
    const GeneratedSession clean = session_of({"--track", "monza", "--laps", "3", "--seed", "3"});
    ASSERT_EQ(s.laps.size(), 3U);
    ASSERT_EQ(clean.laps.size(), 3U);
    const GeneratedLap& lap = s.laps[1];
    const GeneratedLap& ref = clean.laps[1];
    const LapTimeline lt = timeline_of(lap);
    const LapTimeline rt = timeline_of(ref);
    const double length = lap.metadata.track_length_m;
    const CornerComparison table =
        compare_corners(lap.lap.samples, lt, ref.lap.samples, rt, std::max(lt.distance_m.front(), rt.distance_m.front()),
                        std::min(lt.distance_m.back(), rt.distance_m.back()), length);
    ASSERT_FALSE(table.corners.empty());

    const nlohmann::json truth = truth_corner(lap, m.corner);
    const nlohmann::json truth_ref = truth_corner(ref, m.corner);
    ASSERT_FALSE(truth.is_null());
    const auto found = std::ranges::min_element(table.corners, {}, [&](const CornerDelta& d) {
        return std::abs(d.corner.apex_m - truth["apex_m"].get<double>());
    });
    EXPECT_LT(std::abs(found->corner.apex_m - truth["apex_m"].get<double>()), 30.0);
    const auto worst = std::ranges::max_element(table.corners, {}, &CornerDelta::delta_s);
    EXPECT_EQ(worst->corner.number, found->corner.number);

    const double true_delta = (true_time_at(lap, found->corner.end_m) - true_time_at(lap, found->corner.start_m)) -
                              (true_time_at(ref, found->corner.end_m) - true_time_at(ref, found->corner.start_m));
    EXPECT_NEAR(found->delta_s, true_delta, m.time_tolerance_s);
    if (found->lap.brake_point_m && found->reference.brake_point_m) {
        const double true_brake = truth["brake_m"].get<double>() - truth_ref["brake_m"].get<double>();
        EXPECT_NEAR(*found->lap.brake_point_m - *found->reference.brake_point_m, true_brake, 3.0);
    }
    const double true_min = 3.6 * (truth["min_speed_mps"].get<double>() - truth_ref["min_speed_mps"].get<double>());
    EXPECT_NEAR(found->lap.min_speed_kmh - found->reference.min_speed_kmh, true_min, 2.0);

    const auto advice = corner_advice(*found, corner_thirds(*found, lt, rt));
    ASSERT_TRUE(advice);
    EXPECT_NE(advice->find(m.cause), std::string::npos) << *advice;

    // Corners and straights add up to the delta at the end, counted from the line: both laps
    // are line-anchored, so the first straight starts at the line, where both clocks read 0.
    ASSERT_TRUE(lt.line_anchored && rt.line_anchored);
    double sum = 0.0;
    for (const auto& c : table.corners) sum += c.delta_s;
    for (const auto& st : table.straights) sum += st.delta_s;
    EXPECT_EQ(table.straights.front().start_m, 0.0);
    const double to = table.straights.back().end_m;
    EXPECT_NEAR(sum, time_at_distance(lt, to) - time_at_distance(rt, to), 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Monza, ScriptedMistake,
                         ::testing::Values(MistakeCase{"2:5:early-brake:30", 5, "earlier"},
                                           MistakeCase{"2:3:over-slow:12", 3, "slower at the apex"},
                                           MistakeCase{"2:6:late-throttle:40", 6, "full throttle"}));

// Ten laps of one circuit, two seeds (so two lines and paces), one joined after the line:
// one map, and every slow corner of the model on it.
TEST(CornerMap, IsTheSameFromEveryLap) {
    std::vector<GeneratedLap> laps = session_of({"--track", "spa", "--laps", "8", "--seed", "3"}).laps;
    for (GeneratedLap& g : session_of({"--track", "spa", "--laps", "2", "--seed", "11"}, 11, 0.4).laps) laps.push_back(std::move(g));
    ASSERT_EQ(laps.size(), 10U);
    const double length = laps.front().metadata.track_length_m;
    const CornerMap first = find_corner_map(laps.front().lap.samples, timeline_of(laps.front()).distance_m, length);
    ASSERT_GE(first.corners.size(), 10U);
    for (const GeneratedLap& g : laps) {
        SCOPED_TRACE("lap " + std::to_string(g.lap.lap) + (g.metadata.started_mid_lap ? " (joined late)" : ""));
        const CornerMap map = find_corner_map(g.lap.samples, timeline_of(g).distance_m, length);
        ASSERT_EQ(map.corners.size(), first.corners.size());
        for (std::size_t i = 0; i < map.corners.size(); ++i) {
            EXPECT_EQ(map.corners[i].number, first.corners[i].number);
            EXPECT_EQ(map.corners[i].direction, first.corners[i].direction);
            EXPECT_NEAR(map.corners[i].apex_m, first.corners[i].apex_m, 30.0) << "T" << map.corners[i].number;
        }
    }
    const nlohmann::json model = nlohmann::json::parse(laps.front().truth.model_json);
    ASSERT_TRUE(model.contains("corners"));
    for (const auto& c : model["corners"]) {
        if (c["min_speed_mps"].get<double>() * 3.6 >= 200.0) continue;
        // On the map: an apex within 30 m, or inside a corner the map joins with its neighbour
        // of the same direction (a double apex is one corner).
        const double apex = c["apex_m"].get<double>();
        EXPECT_TRUE(std::ranges::any_of(first.corners, [&](const TrackCorner& t) {
            return std::abs(t.apex_m - apex) < 30.0 || (t.start_m <= apex && apex <= t.end_m);
        }))
            << "model corner " << c["corner"] << " at " << apex << " m";
    }
}

// Damaged and extreme laps: each gives a map and metrics without crashing, and what it does
// give stays sound.
TEST(CornerMap, SurvivesDamagedAndExtremeLaps) {
    const GeneratedSession s = session_of({"--track", "sakhir", "--laps", "1", "--seed", "5"});
    ASSERT_EQ(s.laps.size(), 1U);
    const GeneratedLap& g = s.laps.front();
    const double length = g.metadata.track_length_m;
    const std::size_t whole = find_corner_map(g.lap.samples, timeline_of(g).distance_m, length).corners.size();
    ASSERT_GE(whole, 8U);

    struct Damage {
        const char* name;
        std::function<std::vector<LapSample>(std::vector<LapSample>)> apply;
        bool same_map;
    };
    const std::vector<Damage> damages{
        {"NaN positions", [](std::vector<LapSample> v) {
             for (std::size_t i = 0; i < v.size(); i += 7) v[i].pos_x = std::nanf("");
             return v;
         }, true},
        {"a jump of the car (a reset)", [](std::vector<LapSample> v) {
             for (std::size_t i = v.size() / 3; i < v.size(); ++i) v[i].pos_x += 300.0F;
             return v;
         }, true},
        {"no braking", [](std::vector<LapSample> v) {
             for (auto& x : v) x.brake = 0;
             return v;
         }, true},
        {"a spin", [](std::vector<LapSample> v) {
             for (std::size_t i = v.size() / 2; i < v.size() / 2 + 200; ++i) {
                 v[i].speed_kmh = 0;
                 v[i].pos_x = v[v.size() / 2].pos_x;
                 v[i].pos_z = v[v.size() / 2].pos_z;
             }
             return v;
         }, false},
        {"300 samples", [](std::vector<LapSample> v) {
             v.resize(300);
             return v;
         }, false},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        const std::vector<LapSample> samples = d.apply(g.lap.samples);
        const LapTimeline t = compute_lap_timeline(samples, g.metadata);
        const CornerMap map = find_corner_map(samples, t.distance_m, length);
        if (d.same_map) {
            EXPECT_EQ(map.corners.size(), whole);
        }
        const auto metrics = measure_corners(samples, t, map);
        for (const auto& m : metrics) {
            if (!m) continue;
            EXPECT_TRUE(std::isfinite(m->time_s) && m->time_s >= 0.0);
            if (std::string(d.name) == "no braking") {
                EXPECT_FALSE(m->brake_point_m);
            }
        }
    }

    // A million polls of one lap: the same corners as the lap itself, in linear time.
    std::vector<LapSample> dense;
    dense.reserve(1'000'000);
    const auto& v = g.lap.samples;
    const std::size_t per = 1'000'000 / (v.size() - 1);
    for (std::size_t i = 0; i + 1 < v.size(); ++i) {
        for (std::size_t k = 0; k < per; ++k) {
            LapSample p = v[i];
            const float share = static_cast<float>(k) / static_cast<float>(per);
            p.pos_x = v[i].pos_x + share * (v[i + 1].pos_x - v[i].pos_x);
            p.pos_z = v[i].pos_z + share * (v[i + 1].pos_z - v[i].pos_z);
            dense.push_back(p);
        }
    }
    const LapTimeline t = compute_lap_timeline(dense, g.metadata);
    EXPECT_EQ(find_corner_map(dense, t.distance_m, length).corners.size(), whole);
}

}  // namespace
}  // namespace corvel
