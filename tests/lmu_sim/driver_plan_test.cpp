// One car's session over time: laps of differing times, lap times published with the next lap,
// the out-lap from the pits, invalidated laps, falling fuel and parking in the garage.
#include "driver_plan.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace corvel::lmu_sim {
namespace {

class Driver : public ::testing::Test {
  protected:
    DriverPlan plan(DriverSetup setup) { return DriverPlan(track_, profile_, car_, std::move(setup)); }

    static DriverSetup timed(double lap_time_s = 30.0) {
        DriverSetup setup;
        setup.slot_id = 3;
        setup.lap_time_s = lap_time_s;
        return setup;
    }

    Track track_{1000.0};
    CarSpec car_;
    SpeedProfile profile_{track_, car_};
};

TEST(VariedLapTime, ConsecutiveLapsDifferByMoreThanAMillisecond) {
    for (const double base : {2.0, 8.0, 90.0, 210.0}) {
        for (std::int64_t n = 1; n < 2000; ++n) {
            EXPECT_GT(std::abs(varied_lap_time(base, n + 1) - varied_lap_time(base, n)), 0.001)
                << base << " " << n;
        }
        for (std::int64_t n = 2'147'483'640; n < 2'147'483'660; ++n) {
            EXPECT_GT(std::abs(varied_lap_time(base, n + 1) - varied_lap_time(base, n)), 0.001) << n;
        }
    }
}

TEST(VariedLapTime, StaysCloseToTheBase) {
    for (std::int64_t n = 1; n < 100; ++n) {
        EXPECT_NEAR(varied_lap_time(90.0, n), 90.0, 0.6);
        EXPECT_NEAR(varied_lap_time(5.0, n), 5.0, 0.031);
    }
}

TEST_F(Driver, LapsFollowEachOtherWithTheirOwnTimes) {
    auto p = plan(timed());
    const LapPlan first = p.lap(1);
    const LapPlan second = p.lap(2);
    EXPECT_EQ(first.start_s, 0.0);
    EXPECT_DOUBLE_EQ(second.start_s, first.end_s());
    EXPECT_EQ(first.duration_s, varied_lap_time(30.0, 1));
    EXPECT_EQ(second.duration_s, varied_lap_time(30.0, 2));
    EXPECT_NE(first.duration_s, second.duration_s);
}

TEST_F(Driver, LapNumberRisesAtTheLineAndTheTimeOfTheLapBeforeComesWithIt) {
    auto p = plan(timed());
    const double line = p.lap(1).end_s();
    const auto before = *p.state_at(line - 0.01);
    const auto after = *p.state_at(line + 0.01);
    EXPECT_EQ(before.laps_completed, 0);
    EXPECT_FALSE(before.last_lap_s);
    EXPECT_GT(before.lap_distance_m, 990.0);
    EXPECT_EQ(after.laps_completed, 1);
    EXPECT_EQ(after.last_lap_s, p.lap(1).duration_s);
    EXPECT_EQ(after.best_lap_s, p.lap(1).duration_s);
    EXPECT_LT(after.lap_distance_m, 10.0);
    EXPECT_DOUBLE_EQ(after.lap_start_s, line);
}

TEST_F(Driver, DrivesPlausiblyThroughAWholeLap) {
    auto p = plan(timed());
    double previous_fuel = 1e9;
    bool braked = false;
    bool flat_out = false;
    for (double t = 0.0; t < p.lap(1).end_s(); t += 0.01) {
        const auto s = *p.state_at(t);
        EXPECT_GT(s.speed_mps, 5.0);
        EXPECT_LT(s.speed_mps, 90.0);
        EXPECT_GE(s.controls.throttle, 0.0);
        EXPECT_LE(s.controls.throttle, 1.0);
        EXPECT_GE(s.controls.brake, 0.0);
        EXPECT_LE(s.controls.brake, 1.0);
        EXPECT_FALSE(s.controls.throttle > 0.0 && s.controls.brake > 0.0);
        EXPECT_LE(std::abs(s.controls.steering), 1.0);
        EXPECT_GE(s.controls.gear, 1);
        EXPECT_LE(s.controls.gear, 7);
        EXPECT_LE(s.controls.rpm, car_.rev_limit_rpm);
        EXPECT_LT(std::abs(s.lat_accel_mps2), 40.0);
        EXPECT_LE(s.fuel_l, previous_fuel);
        EXPECT_EQ(s.phase, CarPhase::Racing);
        previous_fuel = s.fuel_l;
        braked = braked || s.controls.brake > 0.5;
        flat_out = flat_out || s.controls.throttle == 1.0;
    }
    EXPECT_TRUE(braked);
    EXPECT_TRUE(flat_out);
}

TEST_F(Driver, JoinsPartWayRoundWithTheFuelItWasGiven) {
    auto setup = timed();
    setup.start_fraction = 0.5;
    setup.appear_at_s = 4.0;
    setup.fuel_l = 40.0;
    auto p = plan(setup);
    EXPECT_FALSE(p.state_at(3.9));
    const auto s = *p.state_at(4.0);
    EXPECT_NEAR(s.lap_distance_m, 500.0, 0.01);
    EXPECT_NEAR(s.fuel_l, 40.0, 1e-9);
    EXPECT_LT(p.lap(1).start_s, 4.0);
    EXPECT_EQ(p.lap(1).joined_at_fraction, 0.5);
}

TEST_F(Driver, CarriesTheTimeOfTheLapBeforeWhenJoiningARunningSession) {
    auto setup = timed();
    setup.laps_before = 4;
    auto p = plan(setup);
    const auto s = *p.state_at(0.0);
    EXPECT_EQ(s.laps_completed, 4);
    EXPECT_EQ(p.first_lap_number(), 5);
    EXPECT_EQ(s.last_lap_s, varied_lap_time(30.0, 4));
}

TEST_F(Driver, OutLapLeavesThePitBoxOnTheLimiterAndPublishesNoTime) {
    auto setup = timed();
    setup.out_lap = true;
    auto p = plan(setup);
    const auto pits = pit_lane_for(1000.0);
    const auto standing = *p.state_at(1.0);
    EXPECT_EQ(standing.phase, CarPhase::PitBox);
    EXPECT_EQ(standing.speed_mps, 0.0);
    EXPECT_EQ(standing.controls.gear, 0);
    EXPECT_NEAR(standing.lap_distance_m, pits.box_m, 1e-9);
    EXPECT_TRUE(standing.in_pits());
    EXPECT_EQ(standing.counting, LapCounting::LapOnly);

    const auto pulling_away = *p.state_at(kPitBoxWaitS + 0.5);
    EXPECT_EQ(pulling_away.phase, CarPhase::PitLane);
    EXPECT_GT(pulling_away.controls.clutch, 0.0);
    EXPECT_TRUE(pulling_away.limiter_on());

    double t = kPitBoxWaitS;
    while (p.state_at(t)->phase == CarPhase::PitLane) {
        EXPECT_LE(p.state_at(t)->speed_mps, kPitSpeedLimitMps + 1e-9);
        t += 0.05;
    }
    EXPECT_GE(p.state_at(t)->lap_distance_m, pits.exit_m);

    const LapPlan out = p.lap(1);
    EXPECT_TRUE(out.out_lap);
    EXPECT_FALSE(out.published_time_s());
    const auto next = *p.state_at(out.end_s() + 0.01);
    EXPECT_EQ(next.laps_completed, 1);
    EXPECT_FALSE(next.last_lap_s);
    EXPECT_FALSE(next.in_pits());
    EXPECT_GT(next.speed_mps, kPitSpeedLimitMps);
}

TEST_F(Driver, InvalidatedLapIsMarkedFromPartWayAndNeverCountsAsBest) {
    auto setup = timed();
    setup.invalid_laps = {2};
    auto p = plan(setup);
    const LapPlan lap2 = p.lap(2);
    const auto early = *p.state_at(lap2.start_s + 0.1 * lap2.duration_s);
    const auto late = *p.state_at(lap2.start_s + 0.9 * lap2.duration_s);
    EXPECT_FALSE(early.lap_invalid);
    EXPECT_EQ(early.counting, LapCounting::LapAndTime);
    EXPECT_TRUE(late.lap_invalid);
    EXPECT_EQ(late.counting, LapCounting::NotCounted);

    const auto after = *p.state_at(lap2.end_s() + 0.01);
    EXPECT_EQ(after.last_lap_s, lap2.duration_s);
    EXPECT_EQ(after.best_lap_s, p.lap(1).duration_s);
    EXPECT_FALSE(after.lap_invalid);
}

TEST_F(Driver, ParksInTheGarageAfterItsLaps) {
    auto setup = timed();
    setup.garage_after_laps = 2;
    auto p = plan(setup);
    EXPECT_EQ(p.garage_at_s(), p.lap(2).end_s());
    const auto parked = *p.state_at(p.lap(2).end_s() + 10.0);
    EXPECT_EQ(parked.phase, CarPhase::Garage);
    EXPECT_EQ(parked.speed_mps, 0.0);
    EXPECT_EQ(parked.laps_completed, 2);
    EXPECT_EQ(parked.last_lap_s, p.lap(2).duration_s);
    EXPECT_TRUE(parked.in_pits());
}

TEST_F(Driver, RefillsTheTankAtTheLineBeforeItRunsDry) {
    auto setup = timed(10.0);
    setup.fuel_l = 1.0;
    auto p = plan(setup);
    for (std::int64_t n = 1; n < 50; ++n) {
        EXPECT_GT(p.lap(n).fuel_at_line_l - car_.fuel_per_minute_l * 10.0 / 60.0, 0.0) << n;
    }
}

TEST_F(Driver, PassesAFractionOfTheLapAtTheTimeItSays) {
    auto p = plan(timed());
    const double t = p.lap(3).start_s + p.time_into_lap(3, 0.25);
    EXPECT_NEAR(p.state_at(t)->lap_distance_m, 250.0, 0.01);
}

}  // namespace
}  // namespace corvel::lmu_sim
