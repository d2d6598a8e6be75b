// lmu-sim's command line: defaults, each kind of value, and one clear line per mistake.
#include "sim_options.hpp"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "speed_profile.hpp"

namespace corvel::lmu_sim {
namespace {

std::expected<SimOptions, std::string> parse(std::initializer_list<const char*> args) {
    const std::vector<std::string> list(args.begin(), args.end());
    return parse_options(list);
}

TEST(SimOptions, DefaultsPublishTheRealNamesAtLmusRates) {
    const auto o = parse({});
    ASSERT_TRUE(o);
    EXPECT_EQ(o->telemetry_hz, 100.0);
    EXPECT_EQ(o->scoring_hz, 5.0);
    EXPECT_EQ(o->map_size, 324'820u);
    EXPECT_EQ(o->name_prefix, "");
    EXPECT_EQ(o->name_suffix, "");
    EXPECT_FALSE(o->laps);
    EXPECT_FALSE(o->hostile.any());
    EXPECT_EQ(effective_start_lap(*o), 0);
}

TEST(SimOptions, ReadsValuesInBothForms) {
    const auto o =
        parse({"--lap-time", "8.5", "--track-length=400", "--laps", "3", "--after-laps", "idle",
               "--invalid-lap", "2", "--invalid-lap=3", "--track-name", "Spa (Endurance)", "--out-lap",
               "--map-size", "4096", "--name-prefix", "t1_", "--truth", "truth.jsonl", "--loading-secs", "2.5"});
    ASSERT_TRUE(o) << o.error();
    EXPECT_EQ(o->lap_time_s, 8.5);
    EXPECT_EQ(o->track_length_m, 400.0);
    EXPECT_EQ(o->laps, 3);
    EXPECT_EQ(o->after_laps, AfterLaps::Idle);
    EXPECT_EQ(o->invalid_laps, (std::vector<std::int64_t>{2, 3}));
    EXPECT_EQ(o->texts.track, "Spa (Endurance)");
    EXPECT_TRUE(o->out_lap);
    EXPECT_EQ(o->map_size, 4096u);
    EXPECT_EQ(o->name_prefix, "t1_");
    EXPECT_EQ(o->truth_path, "truth.jsonl");
    EXPECT_EQ(o->loading_secs, 2.5);
}

TEST(SimOptions, TrackLengthAndLapTimeFollowEachOther) {
    const auto from_time = parse({"--lap-time", "60"});
    ASSERT_TRUE(from_time);
    EXPECT_NEAR(natural_lap_time(from_time->track_length_m, CarSpec{}), 60.0, 0.1);
    const auto from_length = parse({"--track-length", "2000"});
    ASSERT_TRUE(from_length);
    EXPECT_NEAR(from_length->lap_time_s, natural_lap_time(2000.0, CarSpec{}), 0.001);
    const auto quick = parse({"--lap-time", "5"});
    ASSERT_TRUE(quick);
    EXPECT_EQ(quick->track_length_m, kShortestTrackM);
    EXPECT_EQ(quick->lap_time_s, 5.0);
}

TEST(SimOptions, HostileTakesAListOrAll) {
    const auto some = parse({"--hostile", "texts,laps"});
    ASSERT_TRUE(some);
    EXPECT_TRUE(some->hostile.texts);
    EXPECT_TRUE(some->hostile.laps);
    EXPECT_FALSE(some->hostile.counts);
    EXPECT_EQ(effective_start_lap(*some), 2'147'483'644);
    const auto all = parse({"--hostile", "all"});
    ASSERT_TRUE(all);
    EXPECT_TRUE(all->hostile.counts && all->hostile.texts && all->hostile.numbers && all->hostile.laps);
    EXPECT_EQ(parse({"--hostile", "texts,bogus"}).error(),
              "--hostile takes a comma-separated list of counts, texts, numbers, laps or all");
}

TEST(SimOptions, HelpNeedsNothingElse) {
    const auto o = parse({"--help"});
    ASSERT_TRUE(o);
    EXPECT_TRUE(o->help);
    EXPECT_NE(usage_text().find("--truth FILE"), std::string::npos);
    EXPECT_NE(usage_text().find("LMU.exe"), std::string::npos);
}

TEST(SimOptions, RejectsMistakesWithOneLine) {
    EXPECT_EQ(parse({"--bogus"}).error(), "unknown option --bogus (see --help)");
    EXPECT_EQ(parse({"--laps"}).error(), "--laps needs a value");
    EXPECT_EQ(parse({"--laps", "0"}).error(), "--laps must be a number of laps from 1 to 1000000");
    EXPECT_EQ(parse({"--lap-time", "fast"}).error(), "--lap-time must be a time in seconds from 2 to 36000");
    EXPECT_EQ(parse({"--lap-time", "nan"}).error(), "--lap-time must be a time in seconds from 2 to 36000");
    EXPECT_EQ(parse({"--start-fraction", "1"}).error(), "--start-fraction must be at least 0 and below 1");
    EXPECT_EQ(parse({"--after-laps", "stop"}).error(), "--after-laps must be exit or idle");
    EXPECT_EQ(parse({"--out-lap=yes"}).error(), "--out-lap takes no value");
    EXPECT_EQ(parse({"--scoring-hz", "200", "--telemetry-hz", "100"}).error(),
              "--scoring-hz must not exceed --telemetry-hz");
    EXPECT_EQ(parse({"--out-lap", "--start-fraction", "0.5"}).error(),
              "--out-lap starts in the pit box; it cannot be combined with --start-fraction");
    EXPECT_EQ(parse({"--name-prefix", "a/b"}).error(),
              "--name-prefix and --name-suffix must not contain / or \\");
    EXPECT_EQ(parse({"--map-size", "10"}).error(), "--map-size must be a size in bytes from 64 to 67108864");
    EXPECT_EQ(parse({"--loading-secs", "-1"}).error(), "--loading-secs must be a time in seconds from 0 to 86400");
}

TEST(SimOptions, RealCircuitsPublishTheirNamesAndCentreLineLength) {
    const auto monza = parse({"--track", "monza", "--car", "gt3", "--seed", "9", "--no-variation", "--spread",
                              "3:6", "--mistake", "2:1:over-slow", "--mistake=4:9:early-brake:12.5"});
    ASSERT_TRUE(monza) << monza.error();
    EXPECT_EQ(monza->texts.track, "Autodromo Nazionale Monza (Grand Prix)");
    EXPECT_NEAR(monza->track_length_m, 5790.0, 5.0);
    EXPECT_GT(monza->lap_time_s, 100.0);  // a GT3 car
    EXPECT_EQ(monza->driver.seed, 9u);
    EXPECT_FALSE(monza->driver.vary);
    ASSERT_EQ(monza->driver.spreads.size(), 1u);
    EXPECT_EQ(monza->driver.spreads[0].brake_m, 6.0);
    ASSERT_EQ(monza->driver.mistakes.size(), 2u);
    EXPECT_EQ(monza->driver.mistakes[0].size, default_mistake_size(MistakeKind::OverSlow));
    EXPECT_EQ(monza->driver.mistakes[1].lap, 4);
    EXPECT_EQ(monza->driver.mistakes[1].corner, 9);
    EXPECT_EQ(monza->driver.mistakes[1].size, 12.5);
    const auto named = parse({"--track", "spa", "--track-name", "Spa (Endurance)"});
    ASSERT_TRUE(named);
    EXPECT_EQ(named->texts.track, "Spa (Endurance)");
    EXPECT_EQ(parse({"--track", "sakhir"})->texts.track, "Bahrain International Circuit (Grand Prix)");

    const struct {
        std::initializer_list<const char*> args;
        const char* error;
    } wrong[] = {
        {{"--track", "nurburgring"}, "--track must be ring, spa, monza or sakhir"},
        {{"--track", "spa", "--lap-time", "90"}, "--lap-time and --track-length apply to --track ring only"},
        {{"--track", "monza", "--track-length", "5000"}, "--lap-time and --track-length apply to --track ring only"},
        {{"--raceline", "line.csv"}, "--raceline goes with --track-file"},
        {{"--track", "spa", "--track-file", "a.csv"}, "--track and --track-file exclude each other"},
        {{"--track-file", "/nonexistent/a.csv"}, "cannot read \"/nonexistent/a.csv\""},
        {{"--car", "lmp2"}, "--car must be hypercar or gt3"},
        {{"--spread", "3"}, "--spread must be CORNER:METRES, a corner number and a spread from 0 to 200 m"},
        {{"--mistake", "1:2:spin"},
         "--mistake must be LAP:CORNER:KIND[:SIZE] with KIND early-brake, late-brake, over-slow, late-throttle "
         "or off-track, and SIZE from 0 to 500"},
        {{"--mistake", "0:2:late-brake"},
         "--mistake must be LAP:CORNER:KIND[:SIZE] with KIND early-brake, late-brake, over-slow, late-throttle "
         "or off-track, and SIZE from 0 to 500"},
    };
    for (const auto& w : wrong) EXPECT_EQ(parse(w.args).error(), w.error);
}

// Whole numbers reach their field's full range and no further: nothing wraps on the way in.
TEST(SimOptions, WholeNumbersStopAtTheirFieldsLimits) {
    const auto o = parse({"--weather", "255", "--game-version", "-2147483648", "--session", "-1000",
                          "--start-lap", "4000000000"});
    ASSERT_TRUE(o) << o.error();
    EXPECT_EQ(o->weather, 255);
    EXPECT_EQ(o->game_version, INT32_MIN);
    EXPECT_EQ(o->session_number, -1000);
    EXPECT_EQ(o->start_lap, 4'000'000'000LL);
    EXPECT_EQ(parse({"--weather", "256"}).error(), "--weather must be a weather index from 0 to 255 (LMU uses 0 to 10)");
    EXPECT_EQ(parse({"--game-version", "2147483648"}).error(), "--game-version must be a 32-bit number");
    EXPECT_EQ(parse({"--start-lap", "-1"}).error(), "--start-lap must be a lap count from 0 to 4000000000");
    EXPECT_EQ(parse({"--laps", "1.5"}).error(), "--laps must be a number of laps from 1 to 1000000");
}

}  // namespace
}  // namespace corvel::lmu_sim
