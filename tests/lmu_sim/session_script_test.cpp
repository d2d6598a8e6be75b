// The scripted session: the menus, the field, the scoring moment lagging the telemetry's and
// the moment the script ends.
#include "session_script.hpp"

#include "truth_log.hpp"

#include <gtest/gtest.h>

namespace corvel::lmu_sim {
namespace {

SimOptions quick_session() {
    SimOptions options;
    options.track_length_m = 400.0;
    options.lap_time_s = 8.0;
    return options;
}

TEST(SessionScript, PublishesNoCarWhileInTheMenus) {
    auto options = quick_session();
    options.menu_secs = 3.0;
    SessionScript script(options);
    const auto menus = script.at(2.9);
    EXPECT_FALSE(menus.on_track);
    EXPECT_FALSE(menus.in_realtime);
    EXPECT_TRUE(menus.cars.empty());
    const auto driving = script.at(3.0);
    EXPECT_TRUE(driving.on_track);
    EXPECT_TRUE(driving.in_realtime);
    EXPECT_EQ(driving.cars.size(), 4u);
}

TEST(SessionScript, StaysInTheMenusForGoodWhenAsked) {
    auto options = quick_session();
    options.stay_in_menus = true;
    SessionScript script(options);
    EXPECT_FALSE(script.at(1000.0).on_track);
    EXPECT_FALSE(script.exit_at_s());
}

TEST(SessionScript, PlayerIsNotTheFirstEntryAndOnlyThePlayerIsFlagged) {
    SessionScript script(quick_session());
    const auto& entrants = script.entrants();
    ASSERT_GT(script.player_index(), 0u);
    for (std::size_t i = 0; i < entrants.size(); ++i)
        EXPECT_EQ(entrants[i].is_player, i == script.player_index());
    EXPECT_EQ(entrants[script.player_index()].driver, "Sim Driver");
    EXPECT_EQ(script.at(1.0).cars[script.player_index()].slot_id, entrants[script.player_index()].slot_id);
}

TEST(SessionScript, ScoringStillShowsTheOldLapWhenTheTelemetrysLapNumberRises) {
    SessionScript script(quick_session());
    const auto me = script.player_index();
    const double line = script.player().lap(1).end_s();
    const auto telemetry = script.at(line + 0.001);
    const auto scoring = script.at(line + 0.001 - kScoringLagS);
    EXPECT_EQ(telemetry.cars[me].laps_completed, 1);
    EXPECT_EQ(scoring.cars[me].laps_completed, 0);
    EXPECT_FALSE(scoring.cars[me].last_lap_s);
    EXPECT_EQ(script.at(line + kScoringLagS).cars[me].last_lap_s, script.player().lap(1).duration_s);
}

TEST(SessionScript, ExitsAfterItsLapsOnceTheLastTimeIsPublished) {
    auto options = quick_session();
    options.laps = 2;
    SessionScript script(options);
    const double second_line = script.player().lap(2).end_s();
    EXPECT_NEAR(*script.exit_at_s(), second_line + kExitGraceS, 1e-9);

    options.scoring_hz = 0.5;  // a slow scoring needs longer
    SessionScript slow(options);
    EXPECT_NEAR(*slow.exit_at_s(), second_line + 4.0 + kScoringLagS, 1e-9);
}

TEST(SessionScript, IdlesInsteadOfExitingWhenAsked) {
    auto options = quick_session();
    options.laps = 1;
    options.after_laps = AfterLaps::Idle;
    SessionScript script(options);
    EXPECT_FALSE(script.exit_at_s());
    const auto parked = script.at(script.player().lap(1).end_s() + 5.0);
    EXPECT_EQ(parked.cars[script.player_index()].phase, CarPhase::Garage);
    EXPECT_FALSE(parked.in_realtime);
}

TEST(SessionScript, ExitsMidLapAtTheFractionAsked) {
    auto options = quick_session();
    options.exit_at_fraction = 0.5;
    SessionScript script(options);
    const double exit = *script.exit_at_s();
    EXPECT_NEAR(script.at(exit).cars[script.player_index()].lap_distance_m, 200.0, 0.01);
    EXPECT_EQ(script.at(exit).cars[script.player_index()].laps_completed, 0);

    options.laps = 2;
    SessionScript later(options);
    EXPECT_EQ(later.at(*later.exit_at_s()).cars[later.player_index()].laps_completed, 2);
}

TEST(SessionScript, ExitFractionAlreadyPassedMeansTheNextLap) {
    auto options = quick_session();
    options.start_fraction = 0.7;
    options.exit_at_fraction = 0.5;
    SessionScript script(options);
    const auto at_exit = script.at(*script.exit_at_s()).cars[script.player_index()];
    EXPECT_EQ(at_exit.laps_completed, 1);
    EXPECT_NEAR(at_exit.lap_distance_m, 200.0, 0.01);
}

TEST(SessionScript, HostileLapsStartJustBelowTheThirtyTwoBitLimit) {
    auto options = quick_session();
    options.hostile.laps = true;
    SessionScript script(options);
    EXPECT_EQ(script.at(0.0).cars[script.player_index()].laps_completed, 2'147'483'644);
}

}  // namespace
}  // namespace corvel::lmu_sim

namespace corvel::lmu_sim {
namespace {

// A session on a real circuit, sampled every telemetry tick of its first two laps: what is
// published is consistent with itself, with the corner truth, and the same for the same seed.
TEST(SessionScript, RealCircuitLapsAreConsistentAndReproducible) {
    const std::vector<std::string> args = {"--track", "monza", "--seed", "4", "--mistake", "2:9:off-track:3"};
    const auto options = parse_options(args);
    ASSERT_TRUE(options) << options.error();
    SessionScript script(*options);
    SessionScript again(*options);
    const double lap_length = script.track().lap_length_m();
    const LapPlan lap1 = script.player().lap(1);  // copies: planning more laps moves them
    const LapPlan lap2 = script.player().lap(2);
    EXPECT_FALSE(lap1.invalid);
    EXPECT_TRUE(lap2.invalid) << "off track: LMU invalidates the lap";
    EXPECT_EQ(lap2.start_s, lap1.end_s());

    double furthest_out = -1e9;  // beyond the track edge, metres
    CarState previous;
    for (double t = 0.0; t < lap2.end_s() - 0.01; t += 0.01) {
        const CarState car = script.at(t).cars[script.player_index()];
        const CarState same = again.at(t).cars[script.player_index()];
        ASSERT_EQ(car.point.x_m, same.point.x_m) << t;
        ASSERT_EQ(car.speed_mps, same.speed_mps) << t;
        const auto& c = car.controls;
        ASSERT_TRUE(c.gear >= 1 && c.gear <= 7) << t;
        ASSERT_FALSE(c.throttle > 0.0 && c.brake > 0.0) << t;
        ASSERT_GE(car.lap_distance_m, 0.0);
        ASSERT_LE(car.lap_distance_m, lap_length);
        if (t > 0.0 && car.laps_completed == previous.laps_completed) {
            ASSERT_GE(car.lap_distance_m, previous.lap_distance_m) << t;
            ASSERT_GT(car.path_distance_m, previous.path_distance_m) << t;
            ASSERT_LT(car.fuel_l, previous.fuel_l + 1e-12) << t;
        }
        const double edge = car.path_lateral_m >= 0.0 ? car.point.width_positive_m : car.point.width_negative_m;
        if (car.laps_completed == 1) {
            furthest_out = std::max(furthest_out, std::abs(car.path_lateral_m) - edge);
            if (std::abs(car.path_lateral_m) > edge + 0.5) {
                EXPECT_TRUE(car.lap_invalid) << t;
            }
        }
        previous = car;
    }
    EXPECT_NEAR(furthest_out, 3.0, 0.5);

    // The corner truth is what the car published: at each minimum-speed point's time, that speed.
    const auto corners = script.lap_driver()->corner_truth(*lap1.driven);
    ASSERT_EQ(corners.size(), script.lap_driver()->corners().size());
    for (const auto& c : corners) {
        const double when = lap1.start_s + lap1.driven->profile->time_at(c.min_speed_m);
        const CarState car = script.at(when).cars[script.player_index()];
        EXPECT_NEAR(car.speed_mps, c.min_speed_mps, 0.01) << "T" << c.number;
        EXPECT_NEAR(car.path_distance_m, c.min_speed_m, 0.01) << "T" << c.number;
        EXPECT_LT(c.start_time_s, c.apex_time_s) << "T" << c.number;
        EXPECT_LT(c.apex_time_s, c.end_time_s) << "T" << c.number;
    }
    EXPECT_NE(lap_truth_json(script, 1).str().find("\"corners\":[{\"corner\":1,"), std::string::npos);
}

}  // namespace
}  // namespace corvel::lmu_sim
