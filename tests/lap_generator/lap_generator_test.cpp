// Generated laps against the truth they come with: what corvel-lap reads back from the files
// is what the recorder kept, and every sample is what the poll could see at its moment.
#include "lap_generator/lap_generator.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "lap_format/lap_file_reader.hpp"
#include "analysis/lap_verification.hpp"
#include "lap_generator/command_line.hpp"
#include "support/test_files.hpp"

namespace corvel::lap_generator {
namespace {

GeneratorOptions stint_of(int laps, double telemetry_hz) {
    GeneratorOptions o;
    o.sim.lap_time_s = 30.0;
    o.sim.track_length_m = 1200.0;
    o.sim.telemetry_hz = telemetry_hz;
    o.sim.laps = laps;
    o.mode = RecorderMode::Continuing;
    return o;
}

struct RateCase {
    double telemetry_hz;
    double stale_share;  // polls that see the tick the poll before saw: 1 - tick period / poll period
};

class AtRate : public ::testing::TestWithParam<RateCase> {};

TEST_P(AtRate, LapsReadBackAndMatchTheirTruth) {
    const RateCase rate = GetParam();
    const testing::TempDir dir;
    GeneratorOptions options = stint_of(3, rate.telemetry_hz);
    options.join_after_line_s = 0.4;  // the first lap begins late; 2 and 3 are whole
    options.output_dir = dir.path();
    const auto session = generate_laps(options);
    ASSERT_TRUE(session) << session.error();
    ASSERT_EQ(session->laps.size(), 3U);

    const double period = 1.0 / rate.telemetry_hz;
    for (const GeneratedLap& g : session->laps) {
        SCOPED_TRACE("lap " + std::to_string(g.lap.lap));
        const LapTruth& truth = g.truth;
        const auto file = read_lap_file(g.paths.telemetry);
        ASSERT_TRUE(file) << file.error().message;
        ASSERT_TRUE(file->metadata);
        EXPECT_EQ(file->samples, g.lap.samples);
        EXPECT_EQ(*file->metadata, g.metadata);
        EXPECT_TRUE(verify_lap(*file).empty());
        ASSERT_TRUE(std::filesystem::exists(g.truth_path));

        // The published time, the line crossings and the lap number agree.
        ASSERT_TRUE(truth.official_lap_time_s);
        EXPECT_EQ(g.lap.lap_time_s, *truth.official_lap_time_s);
        EXPECT_NEAR(truth.end_line_session_s - truth.start_line_session_s, *truth.official_lap_time_s, 1e-9);
        EXPECT_EQ(truth.lap, g.lap.lap);

        // Sample count against the polls: mean pause 16 ms (uniform jitter averages out to
        // well under 0.1 ms over thousands of polls).
        const auto& s = truth.samples;
        ASSERT_EQ(s.size(), g.lap.samples.size());
        const double covered = s.back().poll_session_s - s.front().poll_session_s;
        EXPECT_NEAR(covered / static_cast<double>(s.size() - 1), 0.016, 1e-4);
        if (truth.lap > 1) {
            // First sample: the poll after the one that first saw the new lap's tick; last:
            // the poll that first saw the next lap's.
            const double longest_pause = 0.016 + 0.0015;
            EXPECT_GT(covered, *truth.official_lap_time_s - period - 2 * longest_pause);
            EXPECT_LT(covered, *truth.official_lap_time_s + period + 0.003);
        }

        // Each poll shows the newest tick by its moment; the first sample lies after the
        // lap's start line, the last just past its end line.
        std::size_t stale = 0;
        for (std::size_t i = 0; i < s.size(); ++i) {
            const LapSample& sample = g.lap.samples[i];
            EXPECT_EQ(sample.lap, static_cast<std::uint16_t>(g.lap.lap));
            EXPECT_EQ(sample.session_time, static_cast<float>(s[i].scoring_session_s)) << i;
            EXPECT_LE(s[i].tick_session_s, s[i].poll_session_s + 1e-9) << i;
            EXPECT_GT(s[i].tick_session_s + period, s[i].poll_session_s) << i;
            // The scoring describes a moment 50 ms before the tick that wrote it, at 5 Hz.
            const double scoring_age = s[i].tick_session_s - s[i].scoring_session_s;
            EXPECT_GE(scoring_age, 0.05 - 1e-9) << i;
            EXPECT_LT(scoring_age, 0.05 + 0.2 + period) << i;
            if (i > 0 && s[i].tick == s[i - 1].tick) ++stale;
        }
        EXPECT_EQ(s.front().tick_lap, truth.lap);
        EXPECT_GE(s.front().tick_session_s, truth.start_line_session_s);
        EXPECT_EQ(s.back().tick_lap, truth.lap + 1);
        EXPECT_LT(s.back().since_line_s, 0.016 + 0.0015 + period);
        EXPECT_NEAR(static_cast<double>(stale) / static_cast<double>(s.size()), rate.stale_share, 0.03);
    }
    // The first lap was joined 0.4 s after its line, the others from it.
    EXPECT_NEAR(session->laps[0].truth.samples.front().since_line_s, 0.4, period + 1e-9);
    EXPECT_LT(session->laps[1].truth.samples.front().since_line_s, 0.016 + 0.0015 + period);
}

INSTANTIATE_TEST_SUITE_P(Telemetry, AtRate,
                         ::testing::Values(RateCase{100.0, 0.0}, RateCase{50.0, 1.0 - 0.016 / 0.020}),
                         [](const auto& named) { return std::to_string(static_cast<int>(named.param.telemetry_hz)) + "Hz"; });

TEST(LapGenerator, SameOptionsGiveTheSameBytes) {
    const testing::TempDir first;
    const testing::TempDir second;
    const testing::TempDir reseeded;
    GeneratorOptions options = stint_of(2, 50.0);
    options.output_dir = first.path();
    ASSERT_TRUE(generate_laps(options));
    options.output_dir = second.path();
    ASSERT_TRUE(generate_laps(options));
    options.output_dir = reseeded.path();
    options.seed = 2;
    ASSERT_TRUE(generate_laps(options));

    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(first.path())) {
        const auto name = entry.path().filename();
        SCOPED_TRACE(name.string());
        EXPECT_EQ(testing::read_bytes(entry.path()), testing::read_bytes(second.path() / name));
        if (name.extension() == ".bin") {
            EXPECT_NE(testing::read_bytes(entry.path()), testing::read_bytes(reseeded.path() / name));
        }
        ++files;
    }
    EXPECT_EQ(files, 6U);  // .bin, .json and .truth.json of two laps
}

// corvel's mode keeps the first clean lap, however late the capture joined it; the metadata
// says whether that was mid-lap by the recorder's rule (a start fraction of 0.05 to 0.95).
TEST(LapGenerator, LateJoinIsFlaggedByTheRecordersRule) {
    struct Case {
        double join_after_line_s;
        bool mid_lap;
    };
    for (const Case c : {Case{0.0, false}, Case{0.9, false}, Case{6.0, true}}) {
        SCOPED_TRACE(c.join_after_line_s);
        GeneratorOptions options = stint_of(3, 100.0);
        options.mode = RecorderMode::FirstCleanLap;
        options.join_after_line_s = c.join_after_line_s;
        const auto session = generate_laps(options);
        ASSERT_TRUE(session) << session.error();
        ASSERT_EQ(session->laps.size(), 1U);
        const GeneratedLap& g = session->laps.front();
        EXPECT_EQ(g.lap.lap, 1);
        EXPECT_EQ(g.metadata.started_mid_lap, c.mid_lap);
        // The start fraction is the scoring's lap distance the first poll saw.
        const SampleTruth& first = g.truth.samples.front();
        EXPECT_FLOAT_EQ(g.metadata.start_track_pct,
                        static_cast<float>(first.scoring_lap_distance_m) / static_cast<float>(g.truth.track_length_m));
        EXPECT_NEAR(first.since_line_s, c.join_after_line_s, 0.01 + 1e-9);
    }
}

// Joined while the simulator is still in its menus, the capture waits for the session as
// corvel does and records from the first poll that sees it: the names are the track's.
TEST(LapGenerator, WaitsForTheSessionAsCorvelDoes) {
    GeneratorOptions options = stint_of(2, 100.0);
    options.mode = RecorderMode::FirstCleanLap;
    options.sim.menu_secs = 3.0;
    const auto session = generate_laps(options);
    ASSERT_TRUE(session) << session.error();
    const GeneratedLap& g = session->laps.front();
    EXPECT_EQ(g.metadata.track_name, "Synthetic Ring");
    EXPECT_EQ(g.truth.start_line_session_s, g.truth.capture.session_clock_origin_s + 3.0);
    // The scoring shows the car on track at its first tick 50 ms after it appeared.
    EXPECT_GE(session->joined_s, 3.05);
    EXPECT_LT(session->joined_s, 3.05 + 0.2 + 0.25);
}

TEST(LapGenerator, RefusesWhatItCannotDo) {
    GeneratorOptions unbounded = stint_of(1, 100.0);
    unbounded.sim.laps.reset();
    GeneratorOptions frozen = stint_of(1, 100.0);
    frozen.sim.freeze_after_s = 5.0;
    GeneratorOptions too_short = stint_of(3, 100.0);  // corvel's own failure: lap 1 is 0.5 s long
    too_short.mode = RecorderMode::FirstCleanLap;
    too_short.join_lap = 2;
    too_short.join_after_line_s = -0.5;
    for (const auto& [options, error] :
         {std::pair{unbounded, "nothing ends the session"}, std::pair{frozen, "--freeze-after"},
          std::pair{too_short, "Lap 1 looked clean but only had "}}) {
        const auto session = generate_laps(options);
        ASSERT_FALSE(session);
        EXPECT_NE(session.error().find(error), std::string::npos) << session.error();
    }
}

TEST(LapGeneratorCommandLine, SplitsTheCapturesOptionsFromLmuSims) {
    const std::vector<std::string> args = {"--output-dir", "laps", "--laps", "3", "--keep=2", "--telemetry-hz",
                                           "50", "--poll-ms", "20", "--mode", "corvel", "--out-lap"};
    const auto line = parse_command_line(args);
    ASSERT_TRUE(line) << line.error();
    EXPECT_EQ(line->options.output_dir, std::filesystem::path("laps"));
    EXPECT_EQ(line->options.laps_to_keep, 2U);
    EXPECT_EQ(line->options.poll_period_s, 0.020);
    EXPECT_EQ(line->options.mode, RecorderMode::FirstCleanLap);
    EXPECT_EQ(line->options.sim.laps, 3);
    EXPECT_EQ(line->options.sim.telemetry_hz, 50.0);
    EXPECT_TRUE(line->options.sim.out_lap);

    using Args = std::vector<std::string>;
    for (const auto& [bad, error] : {std::pair{Args{"--laps", "2"}, "--output-dir is required"},
                                     std::pair{Args{"--output-dir", "d", "--bogus"}, "unknown option --bogus"},
                                     std::pair{Args{"--output-dir", "d", "--mode", "x"}, "--mode must be"},
                                     std::pair{Args{"--output-dir", "d", "--truth", "t"}, "--truth is lmu-sim's"}}) {
        const auto refused = parse_command_line(bad);
        ASSERT_FALSE(refused);
        EXPECT_NE(refused.error().find(error), std::string::npos) << refused.error();
    }
}

}  // namespace
}  // namespace corvel::lap_generator
