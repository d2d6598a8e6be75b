// CleanLapRecorder in its continuing mode (corvel-stint): every clean lap of a scripted
// stream is handed over, short ones are reported, unclean ones vanish, and every snapshot
// ends up in exactly one written lap or in none.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

#include "corvel/clean_lap_recorder.hpp"

namespace corvel {
namespace {

using sim_bridge::TelemetrySnapshot;

// A stream in which every snapshot carries its own index as the session time, so each
// sample can be traced back to the poll that made it.
class Stream {
  public:
    // `polls` snapshots on simulator lap `lap`; the first carries `last_lap_time`.
    void drive(std::int32_t lap, int polls, std::optional<double> last_lap_time, std::int32_t incidents = 0) {
        for (int i = 0; i < polls; ++i) {
            TelemetrySnapshot s;
            s.lap_number = lap;
            s.last_lap_time_s = last_lap_time;
            s.incident_count = incidents;
            s.speed_kmh = 150.0f;
            s.fuel_l = 50.0f;
            s.session_time_s = static_cast<double>(snapshots.size());
            snapshots.push_back(s);
        }
    }
    std::vector<TelemetrySnapshot> snapshots;
};

struct Played {
    std::vector<CleanLap> laps;
    std::vector<ShortCleanLap> short_laps;
    std::size_t failures = 0;
};

Played play(const Stream& stream) {
    CleanLapRecorder recorder(RecorderMode::Continuing);
    Played played;
    for (const TelemetrySnapshot& s : stream.snapshots) {
        RecordOutcome outcome = recorder.record_snapshot(s);
        if (auto* lap = std::get_if<CleanLap>(&outcome)) played.laps.push_back(std::move(*lap));
        if (auto* short_lap = std::get_if<ShortCleanLap>(&outcome)) played.short_laps.push_back(*short_lap);
        if (std::holds_alternative<RecorderFailure>(outcome)) ++played.failures;
    }
    return played;
}

std::vector<int> polls_of(const CleanLap& lap) {
    std::vector<int> polls;
    for (const LapSample& sample : lap.samples) polls.push_back(static_cast<int>(sample.session_time));
    return polls;
}

std::vector<int> range(int first, int last) {
    std::vector<int> polls;
    for (int i = first; i <= last; ++i) polls.push_back(i);
    return polls;
}

TEST(ContinuingRecorder, ConsecutiveCleanLapsOwnContiguousSamplesWithNoneLostOrShared) {
    Stream stream;
    stream.drive(0, 400, std::nullopt);  // polls 0..399: lap 1
    stream.drive(1, 50, std::nullopt);   // 400: the change ends lap 1; its time comes later
    stream.drive(1, 350, 91.0);          // 450 settles lap 1; lap 2 goes on
    stream.drive(2, 100, 91.0);          // 800 ends lap 2
    stream.drive(2, 100, 90.5);          // 900 settles lap 2

    const Played played = play(stream);

    ASSERT_EQ(played.laps.size(), 2u);
    EXPECT_EQ(played.laps[0].lap, 1);
    EXPECT_EQ(polls_of(played.laps[0]), range(0, 400));
    EXPECT_DOUBLE_EQ(played.laps[0].lap_time_s, 91.0);
    EXPECT_EQ(played.laps[1].lap, 2);
    EXPECT_EQ(polls_of(played.laps[1]), range(401, 800));  // starts one poll after lap 1 ended
    EXPECT_DOUBLE_EQ(played.laps[1].lap_time_s, 90.5);
    EXPECT_EQ(played.failures, 0u);
}

TEST(ContinuingRecorder, ALapSettledWithTheOldTimeIsStillFollowedByItsNextLap) {
    Stream stream;
    stream.drive(0, 400, 80.0);  // polls 0..399: lap 1
    stream.drive(1, 400, 80.0);  // 400 ends lap 1; the scoring never changes, 521 settles it
    stream.drive(2, 1, 91.0);    // 800 ends lap 2
    stream.drive(2, 10, 92.0);   // 801 settles lap 2
    stream.drive(3, 1, 92.0);

    const Played played = play(stream);

    // Lap 1 settled on its 121st poll with the old time, so it is written with 80 s.
    ASSERT_EQ(played.laps.size(), 2u);
    EXPECT_EQ(polls_of(played.laps[0]), range(0, 400));
    EXPECT_EQ(polls_of(played.laps[1]), range(401, 800));
    EXPECT_EQ(played.laps[1].lap, 2);
}

TEST(ContinuingRecorder, ChangeThatSettlesTheWaitingLapAlsoStartsTheNextOne) {
    Stream stream;
    stream.drive(0, 300, std::nullopt);  // lap 1: polls 0..299
    stream.drive(1, 100, std::nullopt);  // 300 ends lap 1; no time within 100 polls
    stream.drive(2, 1, 88.0);            // 400: the change settles lap 1 with 88 s and ends lap 2
    stream.drive(2, 399, 89.0);          // 401 settles lap 2 (only 100 samples); lap 3 goes on
    stream.drive(3, 1, 89.0);            // 800 ends lap 3
    stream.drive(3, 5, 90.0);            // 801 settles lap 3

    const Played played = play(stream);

    ASSERT_EQ(played.laps.size(), 2u);
    EXPECT_EQ(polls_of(played.laps[0]), range(0, 300));
    EXPECT_DOUBLE_EQ(played.laps[0].lap_time_s, 88.0);
    EXPECT_EQ(played.short_laps, (std::vector<ShortCleanLap>{{2, 100}}));
    EXPECT_EQ(played.laps[1].lap, 3);
    EXPECT_EQ(polls_of(played.laps[1]), range(401, 800));
    EXPECT_DOUBLE_EQ(played.laps[1].lap_time_s, 90.0);
}

TEST(ContinuingRecorder, ShortUncleanAndRestartedLapsAreLeftOutAndTheRestKeepTheirOwnSamples) {
    Stream stream;
    stream.drive(0, 100, std::nullopt);  // lap 1: clean but short (polls 0..100)
    stream.drive(1, 400, 60.0);          // 100 ends lap 1, settled at 221 with 60 s; lap 2
    stream.drive(2, 1, 60.0, 1);         // 500 ends lap 2 with an incident
    stream.drive(2, 399, 95.0, 1);       // 501 settles lap 2 as unclean; lap 3 from 1 incident
    stream.drive(0, 200, 95.0, 1);       // 900..1099: the session restarted, lap 3 goes on
    stream.drive(1, 1, 95.0, 1);         // 1100 ends lap 3
    stream.drive(1, 20, 93.0, 1);        // 1101 settles lap 3 as clean
    stream.drive(2, 1, 93.0, 1);

    const Played played = play(stream);

    ASSERT_EQ(played.short_laps.size(), 1u);
    EXPECT_EQ(played.short_laps[0], (ShortCleanLap{1, 101}));
    ASSERT_EQ(played.laps.size(), 1u);
    EXPECT_EQ(played.laps[0].lap, 3);
    EXPECT_EQ(polls_of(played.laps[0]), range(501, 1100));
    EXPECT_DOUBLE_EQ(played.laps[0].lap_time_s, 93.0);
    EXPECT_EQ(played.failures, 0u);
}

TEST(ContinuingRecorder, NoPollIsInTwoLapsAcrossALongStint) {
    Stream stream;
    for (int lap = 0; lap < 30; ++lap) {
        const double time = 80.0 + lap;  // a new time each lap, published 3 polls after the line
        stream.drive(lap, 3, lap == 0 ? std::nullopt : std::optional<double>(time - 1.0));
        stream.drive(lap, 310 + lap % 7, time);
    }
    stream.drive(30, 1, 108.0);
    stream.drive(30, 5, 200.0);

    const Played played = play(stream);

    ASSERT_EQ(played.laps.size(), 30u);
    std::set<int> seen;
    int expected_first = 0;
    for (std::size_t i = 0; i < played.laps.size(); ++i) {
        const std::vector<int> polls = polls_of(played.laps[i]);
        EXPECT_EQ(played.laps[i].lap, static_cast<std::int64_t>(i) + 1);
        EXPECT_EQ(polls.front(), expected_first) << "lap " << i + 1;
        for (std::size_t k = 1; k < polls.size(); ++k) EXPECT_EQ(polls[k], polls[k - 1] + 1);
        for (int poll : polls) EXPECT_TRUE(seen.insert(poll).second) << "poll " << poll << " in two laps";
        expected_first = polls.back() + 1;
    }
}

TEST(FirstCleanLapRecorder, StillFailsAShortCleanLap) {
    CleanLapRecorder recorder;
    Stream stream;
    stream.drive(0, 100, std::nullopt);
    stream.drive(1, 1, std::nullopt);
    stream.drive(1, 1, 60.0);

    RecordOutcome last;
    for (const auto& s : stream.snapshots) last = recorder.record_snapshot(s);

    ASSERT_TRUE(std::holds_alternative<RecorderFailure>(last));
}

}  // namespace
}  // namespace corvel
