// CleanLapRecorder: lap numbering, the deferred scoring sync, clean/unclean judgement and
// which samples belong to which lap.
#include "corvel/clean_lap_recorder.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace corvel {
namespace {

using sim_bridge::TelemetrySnapshot;

TelemetrySnapshot on_lap(std::int32_t lap_number, std::optional<double> last_lap_time = std::nullopt) {
    TelemetrySnapshot s;
    s.lap_number = lap_number;
    s.last_lap_time_s = last_lap_time;
    s.speed_kmh = 150.0f;
    s.fuel_l = 50.0f;
    return s;
}

class RecorderTest : public ::testing::Test {
  protected:
    RecordOutcome feed(const TelemetrySnapshot& s) { return recorder.record_snapshot(s); }

    // Feeds `count` copies, expecting the recorder to go on after each.
    void feed_continuing(const TelemetrySnapshot& s, int count) {
        for (int i = 0; i < count; ++i) {
            ASSERT_TRUE(std::holds_alternative<Continue>(feed(s))) << "at copy " << i;
        }
    }

    // A first lap of `samples` snapshots on simulator lap 0 whose last one is the lap
    // change to 1 with boundary time `boundary`.
    void drive_first_lap(int samples, std::optional<double> boundary = 90.0) {
        feed_continuing(on_lap(0, boundary), samples - 1);
        feed_continuing(on_lap(1, boundary), 1);
        ASSERT_TRUE(recorder.has_pending_lap());
    }

    CleanLapRecorder recorder;
};

TEST_F(RecorderTest, NumbersLapsFromTheFirstSnapshot) {
    feed_continuing(on_lap(0), 1);
    EXPECT_EQ(recorder.active_lap(), 1);
    EXPECT_EQ(recorder.last_sim_lap(), 0);

    CleanLapRecorder negative;
    (void)negative.record_snapshot(on_lap(-3));
    EXPECT_EQ(negative.active_lap(), 1);
    EXPECT_EQ(negative.last_sim_lap(), 0);

    CleanLapRecorder mid_race;
    (void)mid_race.record_snapshot(on_lap(7));
    EXPECT_EQ(mid_race.active_lap(), 8);
    EXPECT_EQ(mid_race.last_sim_lap(), 7);
}

TEST_F(RecorderTest, LapChangeMakesThePreviousLapPendingWithItsLastSample) {
    feed_continuing(on_lap(0), 9);
    feed_continuing(on_lap(1), 1);
    EXPECT_TRUE(recorder.has_pending_lap());
    EXPECT_EQ(recorder.active_lap(), 2);
    EXPECT_EQ(recorder.buffered_samples(), 10u);
    EXPECT_EQ(recorder.poll_count(), 10u);
}

TEST_F(RecorderTest, SettlesPendingLapWhenScoringTimeChanges) {
    drive_first_lap(300, 92.5);
    feed_continuing(on_lap(1, 92.5004), 1);  // within a millisecond: still the old time
    EXPECT_TRUE(recorder.has_pending_lap());

    const RecordOutcome outcome = feed(on_lap(1, 91.2));
    ASSERT_TRUE(std::holds_alternative<CleanLap>(outcome));
    const CleanLap& lap = std::get<CleanLap>(outcome);
    EXPECT_EQ(lap.lap, 1);
    EXPECT_EQ(lap.lap_time_s, 91.2);
    EXPECT_EQ(lap.samples.size(), 300u);
    EXPECT_EQ(lap.incident_delta, 0);
    // The two snapshots after the change belong to lap 2 and stay behind.
    EXPECT_EQ(recorder.buffered_samples(), 2u);
}

TEST_F(RecorderTest, SettlesOnAnyPositiveTimeWhenTheBoundaryHadNone) {
    drive_first_lap(300, std::nullopt);
    feed_continuing(on_lap(1), 3);
    const RecordOutcome outcome = feed(on_lap(1, 88.0));
    ASSERT_TRUE(std::holds_alternative<CleanLap>(outcome));
    EXPECT_EQ(std::get<CleanLap>(outcome).lap_time_s, 88.0);
}

TEST_F(RecorderTest, SettlesOnThe121stPollWithTheTimeThenPresent) {
    drive_first_lap(300, 90.0);
    feed_continuing(on_lap(1, 90.0), 120);
    EXPECT_TRUE(recorder.has_pending_lap());
    const RecordOutcome outcome = feed(on_lap(1, 90.0));
    ASSERT_TRUE(std::holds_alternative<CleanLap>(outcome));
    EXPECT_EQ(std::get<CleanLap>(outcome).lap_time_s, 90.0);
}

TEST_F(RecorderTest, DropsLapWithoutTimeAfterWaiting) {
    drive_first_lap(300, std::nullopt);
    feed_continuing(on_lap(1), 121);
    EXPECT_FALSE(recorder.has_pending_lap());
    EXPECT_EQ(recorder.buffered_samples(), 121u);  // only lap 2's samples remain
}

TEST_F(RecorderTest, DropsLapWhoseTimeDisappears) {
    drive_first_lap(300, 90.0);
    feed_continuing(on_lap(1), 1);
    EXPECT_FALSE(recorder.has_pending_lap());
    EXPECT_EQ(recorder.buffered_samples(), 1u);
}

TEST_F(RecorderTest, NaNTimeNeverSettlesEarlyNorMakesALapClean) {
    drive_first_lap(300, 90.0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    feed_continuing(on_lap(1, nan), 121);
    EXPECT_FALSE(recorder.has_pending_lap());
    EXPECT_EQ(recorder.buffered_samples(), 121u);
}

TEST_F(RecorderTest, DropsLapThatGainedAnIncidentAndStartsNextFromNewCount) {
    TelemetrySnapshot driving = on_lap(0, 90.0);
    feed_continuing(driving, 299);
    TelemetrySnapshot change = on_lap(1, 90.0);
    change.incident_count = 1;
    feed_continuing(change, 1);
    TelemetrySnapshot next = on_lap(1, 89.0);
    next.incident_count = 1;
    feed_continuing(next, 299);  // settles lap 1 as unclean on the first of these
    EXPECT_EQ(recorder.buffered_samples(), 299u);

    TelemetrySnapshot second_change = on_lap(2, 89.0);
    second_change.incident_count = 1;
    feed_continuing(second_change, 1);
    const RecordOutcome outcome = feed(on_lap(2, 87.5));
    ASSERT_TRUE(std::holds_alternative<CleanLap>(outcome));
    EXPECT_EQ(std::get<CleanLap>(outcome).lap, 2);
    EXPECT_EQ(std::get<CleanLap>(outcome).samples.size(), 300u);
}

TEST_F(RecorderTest, SecondLapChangeSettlesTheWaitingLapFirst) {
    TelemetrySnapshot change = on_lap(1, 90.0);
    feed_continuing(on_lap(0, 90.0), 299);
    change.incident_count = 2;  // lap 1 gained incidents
    feed_continuing(change, 1);
    TelemetrySnapshot lap2 = on_lap(1, 90.0);
    lap2.incident_count = 2;
    feed_continuing(lap2, 50);
    TelemetrySnapshot change2 = on_lap(2, 90.0);
    change2.incident_count = 2;
    feed_continuing(change2, 1);

    EXPECT_TRUE(recorder.has_pending_lap());  // lap 2 now waits; lap 1 was dropped
    EXPECT_EQ(recorder.active_lap(), 3);
    EXPECT_EQ(recorder.buffered_samples(), 51u);
}

TEST_F(RecorderTest, FailsACleanLapWith299Samples) {
    drive_first_lap(299, 90.0);
    const RecordOutcome outcome = feed(on_lap(1, 91.0));
    ASSERT_TRUE(std::holds_alternative<RecorderFailure>(outcome));
    EXPECT_EQ(std::get<RecorderFailure>(outcome).message,
              "Lap 1 looked clean but only had 299 samples; aborting to avoid partial output");
}

TEST_F(RecorderTest, JumpOfSeveralSimulatorLapsIsOneLapChange) {
    feed_continuing(on_lap(3), 5);
    feed_continuing(on_lap(5), 1);
    EXPECT_TRUE(recorder.has_pending_lap());
    EXPECT_EQ(recorder.active_lap(), 5);
    EXPECT_EQ(recorder.last_sim_lap(), 5);
}

TEST_F(RecorderTest, SimulatorLapGoingBackIsFollowedWithoutLapChange) {
    feed_continuing(on_lap(5), 3);
    feed_continuing(on_lap(0), 1);
    EXPECT_EQ(recorder.last_sim_lap(), 0);
    EXPECT_EQ(recorder.active_lap(), 6);
    EXPECT_FALSE(recorder.has_pending_lap());
    EXPECT_EQ(recorder.sim_lap(), 0);

    feed_continuing(on_lap(1), 1);
    EXPECT_TRUE(recorder.has_pending_lap());
    EXPECT_EQ(recorder.active_lap(), 7);
}

TEST_F(RecorderTest, FuelFiguresComeFromStartTenthsAndEndFloat) {
    TelemetrySnapshot start = on_lap(0, 90.0);
    start.fuel_l = 61.27f;
    feed_continuing(start, 299);
    TelemetrySnapshot end = on_lap(1, 90.0);
    end.fuel_l = 58.5f;
    feed_continuing(end, 1);
    const RecordOutcome outcome = feed(on_lap(1, 91.0));
    ASSERT_TRUE(std::holds_alternative<CleanLap>(outcome));
    const CleanLap& lap = std::get<CleanLap>(outcome);
    EXPECT_EQ(lap.fuel_start_l, 61.2);
    EXPECT_EQ(lap.fuel_end_l, 58.5f);
    EXPECT_DOUBLE_EQ(lap.fuel_used_l, 61.2 - 58.5);
}

TEST_F(RecorderTest, FuelUsedIsNeverNegativeAndStartFuelSaturates) {
    TelemetrySnapshot start = on_lap(0, 90.0);
    start.fuel_l = 1e6f;
    feed_continuing(start, 299);
    TelemetrySnapshot end = on_lap(1, 90.0);
    end.fuel_l = 1e7f;
    feed_continuing(end, 1);
    const RecordOutcome outcome = feed(on_lap(1, 91.0));
    ASSERT_TRUE(std::holds_alternative<CleanLap>(outcome));
    EXPECT_EQ(std::get<CleanLap>(outcome).fuel_start_l, 6553.5);
    EXPECT_EQ(std::get<CleanLap>(outcome).fuel_used_l, 0.0);

    CleanLapRecorder empty_tank;
    TelemetrySnapshot negative = on_lap(0, 90.0);
    negative.fuel_l = -1.0f;
    for (int i = 0; i < 299; ++i) (void)empty_tank.record_snapshot(negative);
    (void)empty_tank.record_snapshot(on_lap(1, 90.0));
    const RecordOutcome second = empty_tank.record_snapshot(on_lap(1, 91.0));
    ASSERT_TRUE(std::holds_alternative<CleanLap>(second));
    EXPECT_EQ(std::get<CleanLap>(second).fuel_start_l, 0.0);
}

TEST(CleanLapRecorderStart, MidLapIsFromFivePercentUpToNinetyFive) {
    const auto started_mid_lap = [](float fraction) {
        CleanLapRecorder recorder;
        TelemetrySnapshot start = on_lap(0, 90.0);
        start.lap_fraction = fraction;
        for (int i = 0; i < 299; ++i) (void)recorder.record_snapshot(start);
        (void)recorder.record_snapshot(on_lap(1, 90.0));
        const RecordOutcome outcome = recorder.record_snapshot(on_lap(1, 91.0));
        EXPECT_TRUE(std::holds_alternative<CleanLap>(outcome));
        EXPECT_EQ(std::get<CleanLap>(outcome).start_track_pct, fraction);
        return std::get<CleanLap>(outcome).started_mid_lap;
    };
    EXPECT_TRUE(started_mid_lap(0.05f));
    EXPECT_TRUE(started_mid_lap(0.5f));
    EXPECT_FALSE(started_mid_lap(0.95f));
    EXPECT_FALSE(started_mid_lap(0.049f));
}

TEST_F(RecorderTest, MeaningfulDriveIsStickyAndIgnoresThePits) {
    TelemetrySnapshot pits = on_lap(0);
    pits.speed_kmh = 80.0f;
    pits.in_pits = pits.in_pit_lane = true;
    feed_continuing(pits, 1);
    EXPECT_FALSE(recorder.meaningful_drive());

    TelemetrySnapshot slow = on_lap(0);
    slow.speed_kmh = 5.0f;
    slow.current_lap_time_s = 5.5;
    feed_continuing(slow, 1);
    EXPECT_TRUE(recorder.meaningful_drive());

    feed_continuing(pits, 1);
    EXPECT_TRUE(recorder.meaningful_drive());
}

TEST_F(RecorderTest, LargestSimulatorLapCountHasASuccessor) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    feed_continuing(on_lap(kMax - 1, 90.0), 299);
    EXPECT_EQ(recorder.active_lap(), kMax);
    feed_continuing(on_lap(kMax, 90.0), 1);
    EXPECT_EQ(recorder.active_lap(), std::int64_t{kMax} + 1);
    feed_continuing(on_lap(kMax, 90.0), 5);

    const RecordOutcome outcome = feed(on_lap(kMax, 91.0));
    ASSERT_TRUE(std::holds_alternative<CleanLap>(outcome));
    EXPECT_EQ(std::get<CleanLap>(outcome).lap, kMax);
    EXPECT_EQ(std::get<CleanLap>(outcome).samples.size(), 300u);
    EXPECT_EQ(recorder.buffered_samples(), 6u);
}

TEST_F(RecorderTest, LapAbove65535OwnsExactlyItsSamples) {
    // Our lap 65536 is stored as 0 in the samples' 16-bit field, the next one as 1.
    feed_continuing(on_lap(65535, 90.0), 299);
    feed_continuing(on_lap(65536, 90.0), 1);
    feed_continuing(on_lap(65536, 90.0), 7);

    const RecordOutcome outcome = feed(on_lap(65536, 91.0));
    ASSERT_TRUE(std::holds_alternative<CleanLap>(outcome));
    const CleanLap& lap = std::get<CleanLap>(outcome);
    EXPECT_EQ(lap.lap, 65536);
    EXPECT_EQ(lap.samples.size(), 300u);
    for (const LapSample& sample : lap.samples) EXPECT_EQ(sample.lap, 0);
    EXPECT_EQ(recorder.buffered_samples(), 8u);
}

TEST(SampleLapNumber, KeepsLow16BitsOfNonNegativeLap) {
    EXPECT_EQ(sample_lap_number(-4), 0);
    EXPECT_EQ(sample_lap_number(70000), 4464);
    EXPECT_EQ(sample_lap_number(std::int64_t{1} << 31), 0);
}

}  // namespace
}  // namespace corvel
