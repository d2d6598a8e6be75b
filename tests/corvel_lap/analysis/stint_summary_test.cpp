// The stint summary against the truth of a generated stint (ten laps of Monza with seeded
// variation and one corner braked with a wide spread), and the edges of a stint folder: one
// lap, several cars, unreadable files, a lap joined after the line.
#include "analysis/stint_summary.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iostream>
#include <nlohmann/json.hpp>

#include "analysis/lap_statistics.hpp"
#include "analysis/lap_timeline.hpp"
#include "generated_stint.hpp"
#include "support/test_files.hpp"

namespace corvel {
namespace {

using lap_generator::GeneratedLap;
using testing::TempDir;
using testing::copy_lap;
using testing::file_name;
using testing::stint;
using testing::Stint;
using testing::truth_lap_time;
using testing::kSpreadCorner;

// The true time since the line at lap distance `m`, from the per-sample truth: 0 at the line,
// the true lap time at the end line.
double true_time_at(const GeneratedLap& g, double m) {
    std::vector<double> d{0.0};
    std::vector<double> t{0.0};
    for (const auto& s : g.truth.samples) {
        if (s.tick_lap != g.truth.lap || s.lap_distance_m <= d.back()) continue;
        d.push_back(s.lap_distance_m);
        t.push_back(s.since_line_s);
    }
    d.push_back(g.truth.track_length_m);
    t.push_back(truth_lap_time(g));
    return interpolate_at(d, t, m);
}

const nlohmann::json& truth_corner(const nlohmann::json& model, int number) {
    for (const auto& c : model["corners"]) {
        if (c["corner"] == number) return c;
    }
    static const nlohmann::json none;
    return none;
}

TEST(StintSummary, MatchesTheTruthOfAGeneratedStint) {
    const Stint& s = stint();
    ASSERT_EQ(s.laps.laps.size(), 10U);
    const auto summary = summarize_stint(s.dir / "stint", {});
    ASSERT_TRUE(summary) << summary.error();
    ASSERT_EQ(summary->groups.size(), 1U);
    EXPECT_TRUE(summary->unreadable.empty());
    const StintGroup& g = summary->groups.front();
    ASSERT_EQ(g.laps.size(), 10U);

    // The truth's counted laps: valid laps from the line within 107 % of the truth's best.
    double true_best = INFINITY;
    for (const GeneratedLap& lap : s.laps.laps) {
        if (!lap.truth.invalid && !lap.truth.out_lap) true_best = std::min(true_best, truth_lap_time(lap));
    }
    std::vector<const GeneratedLap*> counted;
    for (const GeneratedLap& lap : s.laps.laps) {
        const bool counts = !lap.truth.invalid && !lap.truth.out_lap && truth_lap_time(lap) <= kComparableLapShare * true_best;
        if (counts) counted.push_back(&lap);
        const auto shown = std::ranges::find(g.laps, file_name(lap), &StintLap::file);
        ASSERT_NE(shown, g.laps.end());
        EXPECT_EQ(shown->included, counts) << shown->file;
        ASSERT_TRUE(shown->lap_time_s);
        EXPECT_NEAR(*shown->lap_time_s, truth_lap_time(lap), 0.001) << shown->file;  // line to line, to the ms
    }
    ASSERT_GE(counted.size(), 5U);

    ASSERT_TRUE(g.best_lap);
    const GeneratedLap* truth_best =
        *std::ranges::min_element(counted, {}, [](const GeneratedLap* lap) { return truth_lap_time(*lap); });
    EXPECT_EQ(g.laps[*g.best_lap].file, file_name(*truth_best));

    std::vector<double> true_times;
    for (const GeneratedLap* lap : counted) true_times.push_back(truth_lap_time(*lap));
    ASSERT_TRUE(g.lap_time_std_dev_s && g.median_lap_s);
    EXPECT_NEAR(*g.lap_time_std_dev_s, *sample_std_dev(true_times), 0.005);
    EXPECT_NEAR(*g.median_lap_s, *median(true_times), 0.001);

    // The ideal lap against the truth's best of each of the tool's own parts.
    ASSERT_TRUE(g.ideal_lap_s);
    ASSERT_GT(g.ideal_parts.size(), 10U);
    EXPECT_EQ(g.ideal_parts.front().start_m, 0.0);
    EXPECT_EQ(g.ideal_parts.back().end_m, g.track_length_m);
    double true_ideal = 0.0;
    double worst_part = 0.0;
    for (const IdealPart& part : g.ideal_parts) {
        double best_part = INFINITY;
        for (const GeneratedLap* lap : counted) {
            best_part = std::min(best_part, true_time_at(*lap, part.end_m) - true_time_at(*lap, part.start_m));
        }
        true_ideal += best_part;
        worst_part = std::max(worst_part, std::abs(part.best_s - best_part));
    }
    EXPECT_NEAR(*g.ideal_lap_s, true_ideal, 0.100);
    EXPECT_LE(*g.ideal_lap_s, g.laps[*g.best_lap].lap_time_s.value());
    std::cout << "ideal lap " << *g.ideal_lap_s << " s, truth's " << true_ideal << " s: leans "
              << (*g.ideal_lap_s - true_ideal) * 1000.0 << " ms; worst part off by " << worst_part * 1000.0 << " ms\n";

    // The corner with the widest brake-point spread is the scripted one, and the spread is the truth's.
    const auto widest = std::ranges::max_element(
        g.corners, {}, [](const StintCorner& c) { return c.brake_point_std_dev_m.value_or(0.0); });
    ASSERT_NE(widest, g.corners.end());
    const nlohmann::json model = nlohmann::json::parse(counted.front()->truth.model_json);
    const nlohmann::json& scripted = truth_corner(model, kSpreadCorner);
    ASSERT_FALSE(scripted.is_null());
    EXPECT_NEAR(widest->apex_m, scripted["apex_m"].get<double>(), 30.0);
    std::vector<double> true_brakes;
    for (const GeneratedLap* lap : counted) {
        true_brakes.push_back(truth_corner(nlohmann::json::parse(lap->truth.model_json), kSpreadCorner)["brake_m"].get<double>());
    }
    EXPECT_NEAR(*widest->brake_point_std_dev_m, *sample_std_dev(true_brakes), 3.0);
    ASSERT_FALSE(g.work_on.empty());
    EXPECT_LE(g.work_on.size(), 3U);
}

struct EdgeCase {
    const char* name;
    std::function<void(const std::filesystem::path&)> fill;  // the stint folder
    StintOptions options;
    std::function<void(const StintSummary&)> check;
};

void broken_file(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Rewrites one member of a lap's metadata document.
void set_metadata(const std::filesystem::path& json_path, const std::string& key, const std::string& value) {
    nlohmann::ordered_json doc = nlohmann::ordered_json::parse(testing::read_text(json_path));
    doc[key] = value;
    std::ofstream(json_path, std::ios::binary) << doc.dump(2);
}

const std::vector<EdgeCase>& edge_cases() {
    static const std::vector<EdgeCase> cases{
        {"one lap: its own best, median and ideal; no spreads",
         [](const auto& dir) { copy_lap(stint().laps.laps[3], dir); }, {},
         [](const StintSummary& s) {
             ASSERT_EQ(s.groups.size(), 1U);
             const StintGroup& g = s.groups.front();
             ASSERT_TRUE(g.best_lap && g.median_lap_s && g.ideal_lap_s);
             // One lap's parts add up to its line-to-line time.
             EXPECT_NEAR(*g.ideal_lap_s, *g.laps[0].lap_time_s, 1e-6);
             EXPECT_EQ(*g.median_lap_s, *g.laps[0].lap_time_s);
             EXPECT_FALSE(g.lap_time_std_dev_s || g.lap_time_std_dev_pct);
             ASSERT_FALSE(g.corners.empty());
             for (const StintCorner& c : g.corners) EXPECT_FALSE(c.time_std_dev_s || c.brake_point_std_dev_m);
             EXPECT_TRUE(g.work_on.empty());
         }},
        {"two cars: --track and --car keep the laps whose names hold the texts",
         [](const auto& dir) {
             for (int i = 0; i < 3; ++i) copy_lap(stint().laps.laps[i], dir);
             set_metadata(dir / stint().laps.laps[0].paths.metadata.filename(), "carName", "Another Car");
         },
         StintOptions{false, "MONZA", "another"},
         [](const StintSummary& s) {
             ASSERT_EQ(s.groups.size(), 1U);
             EXPECT_EQ(s.groups[0].car.rfind("Another Car", 0), 0U);
             EXPECT_EQ(s.groups[0].laps.size(), 1U);
         }},
        {"a lap slower than 107 % of the best is listed, not counted",
         [](const auto& dir) {
             copy_lap(stint().ring_fast.laps[1], dir);
             copy_lap(stint().ring_slow.laps[1], dir);
         },
         {},
         [](const StintSummary& s) {
             ASSERT_EQ(s.groups.size(), 1U);
             const StintGroup& g = s.groups.front();
             ASSERT_EQ(g.laps.size(), 2U);
             const auto slow = std::ranges::find(g.laps, file_name(stint().ring_slow.laps[1]), &StintLap::file);
             ASSERT_NE(slow, g.laps.end());
             EXPECT_FALSE(slow->included);
             EXPECT_EQ(slow->note, "slower than 107 % of the best");
             EXPECT_NEAR(slow->gap_s.value_or(0.0), truth_lap_time(stint().ring_slow.laps[1]) -
                                                         truth_lap_time(stint().ring_fast.laps[1]), 0.002);
             EXPECT_EQ(g.median_lap_s, g.laps[*g.best_lap].lap_time_s);
         }},
        {"unreadable files are listed with their error, the rest summarised",
         [](const auto& dir) {
             copy_lap(stint().laps.laps[0], dir / "monday");
             broken_file(dir / "monday" / "broken.bin", "not a lap");
             broken_file(dir / "empty.bin", "");
         },
         StintOptions{true, std::nullopt, std::nullopt},
         [](const StintSummary& s) {
             ASSERT_EQ(s.groups.size(), 1U);
             EXPECT_EQ(s.groups[0].laps[0].file, "monday/" + file_name(stint().laps.laps[0]));
             ASSERT_EQ(s.unreadable.size(), 2U);
             EXPECT_EQ(s.unreadable[0].file, "empty.bin");
             EXPECT_EQ(s.unreadable[1].file, "monday/broken.bin");
             for (const UnreadableLap& u : s.unreadable) EXPECT_FALSE(u.error.empty());
         }},
        {"a lap joined after the line counts in the corners it covers, not in the lap figures",
         [](const auto& dir) {
             copy_lap(stint().joined.laps[0], dir);
             copy_lap(stint().joined.laps[1], dir);
         },
         {},
         [](const StintSummary& s) {
             ASSERT_EQ(s.groups.size(), 1U);
             const StintGroup& g = s.groups.front();
             ASSERT_EQ(g.laps.size(), 2U);
             EXPECT_FALSE(g.laps[0].included);
             EXPECT_EQ(g.laps[0].note, "began mid-lap");
             EXPECT_TRUE(g.laps[1].included);
             EXPECT_EQ(g.best_lap, 1U);
             EXPECT_FALSE(g.lap_time_std_dev_s);  // one counted lap
             const double joined_m = stint().joined.laps[0].truth.samples.front().lap_distance_m;
             ASSERT_GT(joined_m, 500.0);
             for (std::size_t i = 0; i < g.corners.size(); ++i) {
                 const TrackCorner& c = g.map.corners[i];
                 if (c.start_m > joined_m + 10.0) {
                     EXPECT_TRUE(g.corners[i].time_std_dev_s) << "T" << c.number;
                 } else if (c.end_m < joined_m) {
                     EXPECT_FALSE(g.corners[i].time_std_dev_s) << "T" << c.number;
                 }
             }
         }},
        {"an empty folder",
         [](const auto&) {}, {},
         [](const StintSummary& s) { EXPECT_TRUE(s.groups.empty() && s.unreadable.empty()); }},
    };
    return cases;
}

class StintEdges : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(StintEdges, GiveASoundSummary) {
    SCOPED_TRACE(GetParam().name);
    const TempDir dir;
    GetParam().fill(dir.path());
    const auto summary = summarize_stint(dir.path(), GetParam().options);
    ASSERT_TRUE(summary) << summary.error();
    GetParam().check(*summary);
}

INSTANTIATE_TEST_SUITE_P(Folders, StintEdges, ::testing::ValuesIn(edge_cases()));

TEST(StintSummary, RefusesAFolderThatIsNotThere) {
    const TempDir dir;
    const auto summary = summarize_stint(dir / "missing", {});
    ASSERT_FALSE(summary);
    EXPECT_NE(summary.error().find("no folder"), std::string::npos);
}

}  // namespace
}  // namespace corvel
