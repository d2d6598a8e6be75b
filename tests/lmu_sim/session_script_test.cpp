// The scripted session: the menus, the field, the scoring moment lagging the telemetry's and
// the moment the script ends.
#include "session_script.hpp"

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
