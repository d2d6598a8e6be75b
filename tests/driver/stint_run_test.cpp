// corvel-stint's run against the scripted adapter: every clean lap written as a complete pair
// with its report lines, and the ends of a stint (--laps, a lost LMU) with their statuses.
#include <gtest/gtest.h>

#include "corvel-stint/stint_run.hpp"
#include "driver_fixtures.hpp"

namespace corvel::testing {
namespace {

class StintRunTest : public DriverTest {
protected:
    // The session wait's poll, then `laps` laps of 320 polls each; lap k's time (90 + k) is
    // published on the poll after its line.
    void script_laps(int laps) {
        adapter_.sessions = {active_session()};
        adapter_.player_vehicle = player_car();
        adapter_.telemetry.clear();
        adapter_.telemetry.push_back(driving(1));
        for (int lap = 1; lap <= laps; ++lap) {
            const std::optional<double> previous = lap == 1 ? std::nullopt : std::optional<double>(89.0 + lap);
            for (int i = 0; i < 320; ++i) adapter_.telemetry.push_back(driving(lap, previous));
            adapter_.telemetry.push_back(driving(lap + 1, previous));
            adapter_.telemetry.push_back(driving(lap + 1, 90.0 + lap - (lap == 2 ? 2.0 : 0.0)));
        }
    }

    std::expected<void, RunFailure> run_stint(std::optional<std::uint64_t> laps) {
        StintRun stint(StintOptions{options_, laps}, adapter_, environment(), false);
        auto result = run_task(stint.run());
        written_ = stint.written();
        return result;
    }

    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(output_dir_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::vector<WrittenLap> written_;
};

TEST_F(StintRunTest, WritesEveryCleanLapAsAPairAndStopsAfterTheLapsAskedFor) {
    script_laps(3);

    const auto result = run_stint(2);

    ASSERT_TRUE(result.has_value()) << result.error().report_line();
    ASSERT_EQ(written_.size(), 2u);
    EXPECT_EQ(written_[0].lap, 2);  // the simulator shows lap 1: ours is one ahead
    EXPECT_EQ(written_[1].lap, 3);
    const auto lines = out_lines();
    EXPECT_EQ(lines[3], "Recording every clean lap until 2 laps are written...");
    EXPECT_EQ(count_of(lines, "Lap time: 1:31.000 (best of the stint: 1:31.000, lap 2)"), 1u);
    EXPECT_EQ(count_of(lines, "Lap time: 1:30.000 (best of the stint: 1:30.000, lap 3)"), 1u);
    EXPECT_EQ(lines.back(), "Stint over: 2 laps written, best lap 3 in 1:30.000");
    // Two complete pairs and nothing temporary.
    const auto names = files();
    ASSERT_EQ(names.size(), 4u);
    for (const auto& name : names) EXPECT_TRUE(name.ends_with(".bin") || name.ends_with(".json")) << name;
}

TEST_F(StintRunTest, LosingLmuAfterALapEndsTheStintWithStatusZero) {
    script_laps(3);
    adapter_.disconnect_after_telemetry = 1 + 322 + 30;  // in the middle of lap 2

    const auto result = run_stint(std::nullopt);

    ASSERT_TRUE(result.has_value());
    const auto lines = out_lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], std::string(kDisconnectedText));
    EXPECT_EQ(lines.back(), "Stint over: 1 lap written, best lap 2 in 1:31.000");
    EXPECT_EQ(files().size(), 2u);
}

TEST_F(StintRunTest, LosingLmuBeforeAnyLapFailsWithCorvelsText) {
    script_laps(1);
    adapter_.disconnect_after_telemetry = 50;

    const auto result = run_stint(std::nullopt);

    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), RunFailure(std::string(kDisconnectedText)));
    EXPECT_EQ(out_lines().back(), "Stint over: no lap written");
    EXPECT_TRUE(files().empty());
}

TEST_F(StintRunTest, LapsTakesCorvelsCountRulesAndHelpIsTheStintsOwn) {
    const auto run = [this](std::vector<std::string> args) {
        out_.str("");
        err_.str("");
        return run_task(run_corvel_stint(std::move(args), nullptr, environment()));
    };

    EXPECT_EQ(run({"--laps", "0"}), 1);
    EXPECT_EQ(err_.str(), "Error: \"Argument error: --laps must be greater than 0\"\n");
    EXPECT_EQ(run({"--laps", "x3"}), 1);
    EXPECT_EQ(err_.str(), "Error: \"Argument error: Invalid --laps value 'x3': invalid digit found in string\"\n");
    EXPECT_EQ(run({"--laps"}), 1);
    EXPECT_EQ(err_.str(), "Error: \"Argument error: Missing value for --laps\"\n");
    EXPECT_EQ(run({"--bogus", "--laps", "0"}), 1);
    EXPECT_EQ(err_.str(), "Error: \"Argument error: Unknown argument: --bogus\"\n");
    EXPECT_EQ(run({"--laps", "2", "--help"}), 0);
    EXPECT_EQ(out_.str(), stint_usage_text());
    EXPECT_NE(out_.str().find("Ctrl+C"), std::string::npos);
}

TEST(LapTimeText, IsMinutesSecondsAndMilliseconds) {
    EXPECT_EQ(format_lap_time(91.2), "1:31.200");
    EXPECT_EQ(format_lap_time(7.968), "0:07.968");
    EXPECT_EQ(format_lap_time(59.9996), "1:00.000");
    EXPECT_EQ(format_lap_time(3725.5), "62:05.500");
}

}  // namespace
}  // namespace corvel::testing
