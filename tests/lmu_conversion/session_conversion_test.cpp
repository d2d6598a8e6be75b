// build_session_info on hand-built blocks: track names, session tables, the player's flag,
// remaining time and weather.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "adapters/lmu/block_conversion.hpp"
#include "block_builder.hpp"

namespace sim_bridge::lmu {
namespace {

using testing::BlockBuilder;

SessionInfo session_with_track(std::string_view track) {
    BlockBuilder b;
    b.put_text(header::kTrackName, header::kTrackNameSize, track);
    return build_session_info(b.view());
}

TEST(BuildSessionInfo, SplitsParenthesisedTrackLayout) {
    const SessionInfo info = session_with_track("  Spa (Endurance) ");
    EXPECT_EQ(info.track_raw_name, "Spa (Endurance)");
    EXPECT_EQ(info.track_name, "Spa");
    EXPECT_EQ(info.track_layout, "Endurance");
    EXPECT_EQ(info.track_full_name, "Spa - Endurance");
}

TEST(BuildSessionInfo, NormalisesSeparatorInFullName) {
    const SessionInfo info = session_with_track("Monza, GP");
    EXPECT_EQ(info.track_name, "Monza");
    EXPECT_EQ(info.track_layout, "GP");
    EXPECT_EQ(info.track_full_name, "Monza - GP");
}

TEST(BuildSessionInfo, KeepsTrackWithoutLayoutWhole) {
    const SessionInfo info = session_with_track("Le Mans");
    EXPECT_EQ(info.track_name, "Le Mans");
    EXPECT_FALSE(info.track_layout.has_value());
    EXPECT_EQ(info.track_full_name, "Le Mans");
}

TEST(BuildSessionInfo, ReportsNoTrackAsEmptyNameWithoutRawName) {
    const SessionInfo info = session_with_track(" ");
    EXPECT_EQ(info.track_name, "");
    EXPECT_EQ(info.track_full_name, "");
    EXPECT_FALSE(info.track_raw_name.has_value());
}

TEST(BuildSessionInfo, MapsSessionNumbersToKinds) {
    const std::vector<std::pair<std::int32_t, SessionKind>> table = {
        {0, SessionKind::OfflineTesting}, {1, SessionKind::Practice}, {4, SessionKind::Practice},
        {5, SessionKind::Qualify},        {8, SessionKind::Qualify},  {9, SessionKind::Warmup},
        {10, SessionKind::Race},          {13, SessionKind::Race},    {14, SessionKind::Unknown},
        {-1, SessionKind::Unknown},
    };
    BlockBuilder b;
    for (const auto& [number, kind] : table) {
        b.put(header::kSessionNumber, number);
        EXPECT_EQ(build_session_info(b.view()).session_kind, kind) << "session number " << number;
    }
}

TEST(BuildSessionInfo, MapsGamePhasesIncludingPausedToUnknown) {
    const std::vector<std::pair<std::uint8_t, SessionPhase>> table = {
        {0, SessionPhase::NotStarted}, {1, SessionPhase::PreRace},  {2, SessionPhase::PreRace},
        {3, SessionPhase::Starting},   {4, SessionPhase::Starting}, {5, SessionPhase::Running},
        {6, SessionPhase::Running},    {7, SessionPhase::Stopped},  {8, SessionPhase::Over},
        {9, SessionPhase::Unknown},    {10, SessionPhase::Unknown}, {255, SessionPhase::Unknown},
    };
    BlockBuilder b;
    for (const auto& [phase, expected] : table) {
        b.put(header::kGamePhase, phase);
        EXPECT_EQ(build_session_info(b.view()).session_phase, expected) << "game phase " << int{phase};
    }
}

FlagState flag_for(std::int8_t yellow, std::int8_t finish, std::uint8_t car_flag) {
    BlockBuilder b = BlockBuilder::with_player();
    b.put(header::kYellowFlagState, yellow);
    b.scoring(0, scoring::kFinishStatus, finish).scoring(0, scoring::kFlag, car_flag);
    return build_session_info(b.view()).flag_state;
}

TEST(BuildSessionInfo, ChoosesFlagByFirstApplyingRule) {
    EXPECT_EQ(flag_for(7, 1, 6), FlagState::Chequered);
    EXPECT_EQ(flag_for(7, 0, 6), FlagState::Blue);
    EXPECT_EQ(flag_for(1, 0, 0), FlagState::Yellow);
    EXPECT_EQ(flag_for(6, 0, 3), FlagState::Yellow);
    EXPECT_EQ(flag_for(7, 0, 0), FlagState::Red);
    EXPECT_EQ(flag_for(0, 0, 0), FlagState::Green);
    EXPECT_EQ(flag_for(-1, 2, 0), FlagState::Green);
    EXPECT_EQ(flag_for(8, 0, 0), FlagState::Green);
    EXPECT_EQ(flag_for(0, 0, 3), FlagState::None);
}

TEST(BuildSessionInfo, IgnoresPlayerEntryWithoutTelemetryForFlagAndLaps) {
    BlockBuilder b = BlockBuilder::with_player(7);
    b.telemetry(0, telemetry::kSlotId, std::uint32_t{99});
    b.scoring(0, scoring::kFinishStatus, std::int8_t{1})
        .scoring(0, scoring::kFlag, std::uint8_t{3})
        .scoring(0, scoring::kLapsCompleted, std::int16_t{12});

    const SessionInfo info = build_session_info(b.view());
    EXPECT_EQ(info.flag_state, FlagState::Green);
    EXPECT_EQ(info.player_laps, 0);
}

TEST(BuildSessionInfo, SignExtendsPlayerLaps) {
    BlockBuilder b = BlockBuilder::with_player();
    b.scoring(0, scoring::kLapsCompleted, std::int16_t{12});
    EXPECT_EQ(build_session_info(b.view()).player_laps, 12);
    b.scoring(0, scoring::kLapsCompleted, std::int16_t{-2});
    EXPECT_EQ(build_session_info(b.view()).player_laps, -2);
}

TEST(BuildSessionInfo, PrefersRemainingTimeFieldOverEndTime) {
    BlockBuilder b;
    b.put(header::kCurrentSessionTime, 100.0).put(header::kSessionEndTime, 600.0);
    EXPECT_EQ(build_session_info(b.view()).time_remaining_s, 500.0);

    b.put(header::kTimeRemaining, 42.5f);
    EXPECT_EQ(build_session_info(b.view()).time_remaining_s, 42.5);

    b.put(header::kTimeRemaining, -1.0f).put(header::kSessionEndTime, 100.0);
    EXPECT_FALSE(build_session_info(b.view()).time_remaining_s.has_value());
    b.put(header::kSessionEndTime, 0.0).put(header::kCurrentSessionTime, -50.0);
    EXPECT_FALSE(build_session_info(b.view()).time_remaining_s.has_value());
}

TEST(BuildSessionInfo, KeepsOnlyPositiveLapLimitAndVersion) {
    BlockBuilder b;
    EXPECT_FALSE(build_session_info(b.view()).max_laps.has_value());
    EXPECT_FALSE(build_session_info(b.view()).game_version.has_value());

    b.put(header::kMaxLaps, std::int32_t{25}).put(header::kGameVersion, std::int32_t{1203});
    const SessionInfo info = build_session_info(b.view());
    EXPECT_EQ(info.max_laps, 25);
    EXPECT_EQ(info.game_version, "1203");

    b.put(header::kGameVersion, std::int32_t{-4});
    EXPECT_FALSE(build_session_info(b.view()).game_version.has_value());
}

TEST(BuildSessionInfo, ClampsVehicleCount) {
    BlockBuilder b;
    b.vehicle_count(-3);
    EXPECT_EQ(build_session_info(b.view()).vehicle_count, 0u);
    b.vehicle_count(std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(build_session_info(b.view()).vehicle_count, 104u);
    b.vehicle_count(20);
    EXPECT_EQ(build_session_info(b.view()).vehicle_count, 20u);
}

TEST(BuildSessionInfo, ComputesWindSpeedAndDirection) {
    BlockBuilder b;
    b.put(header::kWindX, 3.0).put(header::kWindY, 4.0).put(header::kWindZ, -3.0);
    const SessionInfo info = build_session_info(b.view());
    EXPECT_FLOAT_EQ(info.wind_speed_mps, 5.8309519f);
    EXPECT_EQ(info.wind_direction_deg, 135.0f);
}

TEST(BuildSessionInfo, CalmWindOfExactly1CmPerSecondHasNoDirection) {
    BlockBuilder b;
    b.put(header::kWindX, 0.01);
    const SessionInfo calm = build_session_info(b.view());
    EXPECT_EQ(calm.wind_speed_mps, 0.01f);
    EXPECT_EQ(calm.wind_direction_deg, 0.0f);

    b.put(header::kWindX, 0.0101);
    EXPECT_EQ(build_session_info(b.view()).wind_direction_deg, 90.0f);
}

TEST(BuildSessionInfo, NamesWeatherByIndexAndKeepsTheCode) {
    BlockBuilder b;
    EXPECT_EQ(build_session_info(b.view()).weather_text, "Clear");
    EXPECT_EQ(build_session_info(b.view()).weather_code, 0);

    b.put(header::kWeatherIndex, std::uint8_t{10});
    EXPECT_EQ(build_session_info(b.view()).weather_text, "Overcast with storm");

    b.put(header::kWeatherIndex, std::uint8_t{11});
    const SessionInfo info = build_session_info(b.view());
    EXPECT_EQ(info.weather_text, "Unknown");
    EXPECT_EQ(info.weather_code, 11);
}

TEST(BuildSessionInfo, CopiesConditionsAndJudgesWetTrackInDoublePrecision) {
    BlockBuilder b;
    b.put(header::kAmbientTemp, 21.5)
        .put(header::kTrackTemp, 33.25)
        .put(header::kRaining, 0.5)
        .put(header::kAvgPathWetness, 0.1)
        .put(header::kLapLength, 13626.0)
        .put(header::kInRealtime, std::uint8_t{1});
    SessionInfo info = build_session_info(b.view());
    EXPECT_EQ(info.ambient_temp_c, 21.5f);
    EXPECT_EQ(info.track_temp_c, 33.25f);
    EXPECT_EQ(info.rain_intensity, 0.5f);
    EXPECT_EQ(info.path_wetness_avg, 0.1f);
    EXPECT_EQ(info.track_length_m, 13626.0f);
    EXPECT_TRUE(info.in_realtime);
    // 0.1f is above 0.1 as a double; the comparison uses the double as written.
    EXPECT_FALSE(info.track_wet);

    b.put(header::kAvgPathWetness, 0.10000001);
    EXPECT_TRUE(build_session_info(b.view()).track_wet);
}

TEST(BuildSessionInfo, LeavesSessionIdAbsent) {
    EXPECT_FALSE(build_session_info(BlockBuilder::with_player().view()).session_id.has_value());
}

}  // namespace
}  // namespace sim_bridge::lmu
