// convert_telemetry on hand-built blocks: the player search, clamped counts, field conversions
// and values the simulator should never write (NaN, infinities, huge numbers).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

#include "adapters/lmu/block_conversion.hpp"
#include "adapters/lmu/player_lookup.hpp"
#include "block_builder.hpp"

namespace sim_bridge::lmu {
namespace {

using testing::BlockBuilder;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(ConvertTelemetry, FillsOnlySessionFieldsWhenNoPlayer) {
    BlockBuilder b;
    b.put(header::kCurrentSessionTime, 12.5)
        .put(header::kLapLength, 5000.0)
        .put(header::kYellowFlagState, std::int8_t{3})
        .vehicle_count(1)
        .telemetry_count(1)
        .car(0, 0, 4, /*player=*/false);
    b.scoring(0, scoring::kLapDistance, 100.0);

    TelemetrySnapshot expected;
    expected.session_time_s = 12.5;
    expected.session_time_ms = 12500;
    expected.track_length_m = 5000.0f;
    expected.yellow_flag = true;
    EXPECT_EQ(convert_telemetry(b.view()), expected);
}

TEST(ConvertTelemetry, TreatsPlayerWithoutTelemetryEntryAsNoPlayer) {
    BlockBuilder b = BlockBuilder::with_player(7);
    b.telemetry(0, telemetry::kSlotId, std::uint32_t{8});
    b.telemetry(0, telemetry::kLapNumber, std::int32_t{3});

    const TelemetrySnapshot s = convert_telemetry(b.view());
    EXPECT_EQ(s.lap_number, 0);
    EXPECT_FALSE(s.drs_active.has_value());
    EXPECT_FALSE(find_player_vehicle(b.view()).has_value());
    EXPECT_EQ(player_slot_id(b.view()), 7u);
}

TEST(ConvertTelemetry, FindsPlayerByTelemetrySlotNotByIndex) {
    BlockBuilder b;
    b.vehicle_count(3).telemetry_count(3);
    b.car(0, 2, 10).car(1, 0, 11).car(2, 1, 12, /*player=*/true);
    b.telemetry(1, telemetry::kLapNumber, std::int32_t{5});  // slot 12's entry
    b.telemetry(2, telemetry::kLapNumber, std::int32_t{9});

    EXPECT_EQ(convert_telemetry(b.view()).lap_number, 5);
}

TEST(ConvertTelemetry, ReadsNoScoringEntryForNegativeVehicleCount) {
    BlockBuilder b = BlockBuilder::with_player();
    b.vehicle_count(-1);
    EXPECT_FALSE(convert_telemetry(b.view()).drs_active.has_value());
    EXPECT_EQ(scoring_entry_count(b.view()), 0u);
}

TEST(ConvertTelemetry, ClampsVehicleCountTo104) {
    BlockBuilder b;
    b.vehicle_count(1'000'000).telemetry_count(2);
    b.car(103, 0, 50, /*player=*/true);
    EXPECT_TRUE(convert_telemetry(b.view()).drs_active.has_value());

    // An entry just past the list is never read, even when flagged as the player's.
    BlockBuilder beyond;
    beyond.vehicle_count(105).telemetry_count(1);
    beyond.car(104, 0, 51, /*player=*/true);
    EXPECT_FALSE(convert_telemetry(beyond.view()).drs_active.has_value());
    EXPECT_EQ(scoring_entry_count(beyond.view()), 104u);
}

TEST(ConvertTelemetry, ClampsTelemetryCountByteTo104) {
    BlockBuilder b;
    b.vehicle_count(1).telemetry_count(200);
    b.car(0, 103, 60, /*player=*/true);
    EXPECT_TRUE(convert_telemetry(b.view()).drs_active.has_value());
    EXPECT_EQ(telemetry_entry_count(b.view()), 104u);

    b.telemetry_count(103);
    EXPECT_FALSE(convert_telemetry(b.view()).drs_active.has_value());
}

TEST(ConvertTelemetry, ComputesLapTimingFromScoringAndTelemetry) {
    BlockBuilder b = BlockBuilder::with_player();
    b.put(header::kLapLength, 1000.0);
    b.scoring(0, scoring::kLapDistance, 250.0)
        .scoring(0, scoring::kBestLapTime, 100.0)
        .scoring(0, scoring::kLastLapTime, 101.5);
    b.telemetry(0, telemetry::kElapsedTime, 130.0)
        .telemetry(0, telemetry::kLapStartTime, 100.0)
        .telemetry(0, telemetry::kLapNumber, std::int32_t{4});

    const TelemetrySnapshot s = convert_telemetry(b.view());
    EXPECT_EQ(s.lap_distance_m, 250.0f);
    EXPECT_EQ(s.lap_fraction, 0.25f);
    EXPECT_EQ(s.current_lap_time_s, 30.0);
    EXPECT_EQ(s.best_lap_time_s, 100.0);
    EXPECT_EQ(s.last_lap_time_s, 101.5);
    EXPECT_EQ(s.delta_best_s, 5.0f);
    EXPECT_EQ(s.lap_number, 4);
}

TEST(ConvertTelemetry, LeavesBestAndDeltaAbsentWithoutBestLap) {
    BlockBuilder b = BlockBuilder::with_player();
    b.scoring(0, scoring::kBestLapTime, 0.0).scoring(0, scoring::kLastLapTime, -1.0);
    b.telemetry(0, telemetry::kElapsedTime, 50.0).telemetry(0, telemetry::kLapStartTime, 20.0);

    const TelemetrySnapshot s = convert_telemetry(b.view());
    EXPECT_FALSE(s.best_lap_time_s.has_value());
    EXPECT_FALSE(s.delta_best_s.has_value());
    EXPECT_FALSE(s.last_lap_time_s.has_value());
    EXPECT_EQ(s.current_lap_time_s, 30.0);
}

TEST(ConvertTelemetry, LapFractionIsZeroWithoutTrackLengthAndUnclampedBeyondIt) {
    BlockBuilder b = BlockBuilder::with_player();
    b.scoring(0, scoring::kLapDistance, 1500.0);
    EXPECT_EQ(convert_telemetry(b.view()).lap_fraction, 0.0f);

    b.put(header::kLapLength, 1000.0);
    EXPECT_EQ(convert_telemetry(b.view()).lap_fraction, 1.5f);
}

TEST(ConvertTelemetry, DerivesSpeedHeadingAndG) {
    BlockBuilder b = BlockBuilder::with_player();
    b.telemetry(0, telemetry::kLocalVelX, 3.0)
        .telemetry(0, telemetry::kLocalVelY, -4.0)
        .telemetry(0, telemetry::kLocalVelZ, 12.0)
        .telemetry(0, telemetry::kOrientationRow2X, 1.0)
        .telemetry(0, telemetry::kOrientationRow2Z, 0.0)
        .telemetry(0, telemetry::kLocalAccelX, 9.81)
        .telemetry(0, telemetry::kLocalAccelZ, -19.62);

    const TelemetrySnapshot s = convert_telemetry(b.view());
    EXPECT_EQ(s.speed_mps, 13.0f);
    EXPECT_EQ(s.speed_kmh, 13.0f * 3.6f);
    EXPECT_EQ(s.speed_mph, 13.0f * 2.23694f);
    EXPECT_EQ(s.heading_rad, std::numbers::pi_v<float> / 2.0f);
    EXPECT_EQ(s.lateral_g, 1.0f);
    EXPECT_EQ(s.longitudinal_g, -2.0f);
}

TEST(ConvertTelemetry, CopiesCarStateWithoutScaling) {
    BlockBuilder b = BlockBuilder::with_player();
    b.telemetry(0, telemetry::kEngineRpm, 7500.25)
        .telemetry(0, telemetry::kEngineMaxRpm, 8800.0)
        .telemetry(0, telemetry::kUnfilteredThrottle, 0.75)
        .telemetry(0, telemetry::kUnfilteredBrake, 0.125)
        .telemetry(0, telemetry::kUnfilteredClutch, 1.0)
        .telemetry(0, telemetry::kUnfilteredSteering, -0.5)
        .telemetry(0, telemetry::kGear, std::int32_t{0x7FFF'FFFF})  // only the low byte counts
        .telemetry(0, telemetry::kFuel, 42.5)
        .telemetry(0, telemetry::kFuelCapacity, 90.0)
        .telemetry(0, telemetry::kPosX, 1.5)
        .telemetry(0, telemetry::kPosY, 2.5)
        .telemetry(0, telemetry::kPosZ, 0.1);
    b.scoring(0, scoring::kPathLateral, -3.25).scoring(0, scoring::kTrackEdge, 6.0);

    const TelemetrySnapshot s = convert_telemetry(b.view());
    EXPECT_EQ(s.engine_rpm, 7500.25f);
    EXPECT_EQ(s.engine_max_rpm, 8800.0f);
    EXPECT_EQ(s.throttle, 0.75f);
    EXPECT_EQ(s.brake, 0.125f);
    EXPECT_EQ(s.clutch, 1.0f);
    EXPECT_EQ(s.steering, -0.5f);
    EXPECT_EQ(s.gear, -1);
    EXPECT_EQ(s.fuel_l, 42.5f);
    EXPECT_EQ(s.fuel_capacity_l, 90.0f);
    EXPECT_EQ(s.pos_x_m, 1.5f);
    EXPECT_EQ(s.pos_y_m, 2.5f);
    EXPECT_EQ(s.pos_z_m, 0.1f);  // rounded to the nearest single
    EXPECT_EQ(s.path_lateral_m, -3.25f);
    EXPECT_EQ(s.track_edge_m, 6.0f);
    EXPECT_EQ(s.incident_count, 0);
    EXPECT_FALSE(s.aux_counter.has_value());
}

TEST(ConvertTelemetry, FoundPlayerHasPresentOptionalsAndClearFlags) {
    const TelemetrySnapshot s = convert_telemetry(BlockBuilder::with_player().view());
    EXPECT_EQ(s.drs_active, false);
    EXPECT_TRUE(s.pos_y_m && s.heading_rad && s.path_lateral_m && s.track_edge_m);
    EXPECT_FALSE(s.in_pits || s.in_pit_lane || s.limiter_active || s.lap_invalid || s.abs_active ||
                 s.tc_active || s.yellow_flag);
}

TEST(ConvertTelemetry, CombinesPitLimiterAndLapFlags) {
    BlockBuilder pit_lane = BlockBuilder::with_player();
    pit_lane.telemetry(0, telemetry::kCurrentSector, std::int32_t{-2'147'483'647 - 1});
    const TelemetrySnapshot lane = convert_telemetry(pit_lane.view());
    EXPECT_TRUE(lane.in_pit_lane);
    EXPECT_FALSE(lane.in_pits);

    BlockBuilder in_pits = BlockBuilder::with_player();
    in_pits.scoring(0, scoring::kInPits, std::uint8_t{1});
    in_pits.telemetry(0, telemetry::kSpeedLimiter, std::uint8_t{1});
    in_pits.scoring(0, scoring::kCountLapFlag, std::uint8_t{0});
    const TelemetrySnapshot pits = convert_telemetry(in_pits.view());
    EXPECT_TRUE(pits.in_pits && pits.in_pit_lane && pits.limiter_active && pits.lap_invalid);

    BlockBuilder assists = BlockBuilder::with_player();
    assists.telemetry(0, telemetry::kSpeedLimiterActive, std::uint8_t{1})
        .telemetry(0, telemetry::kLapInvalidated, std::uint8_t{1})
        .telemetry(0, telemetry::kAbsActive, std::uint8_t{1})
        .telemetry(0, telemetry::kTcActive, std::uint8_t{2});
    assists.scoring(0, scoring::kDrsState, std::uint8_t{1});
    const TelemetrySnapshot a = convert_telemetry(assists.view());
    EXPECT_TRUE(a.limiter_active && a.lap_invalid && a.abs_active && a.tc_active);
    EXPECT_EQ(a.drs_active, true);
}

TEST(ConvertTelemetry, SessionMillisecondsTruncateClampAndSaturate) {
    BlockBuilder b;
    const auto ms_for = [&](double seconds) {
        b.put(header::kCurrentSessionTime, seconds);
        return convert_telemetry(b.view()).session_time_ms;
    };
    EXPECT_EQ(ms_for(1.2349), 1234u);
    EXPECT_EQ(ms_for(-5.0), 0u);
    EXPECT_EQ(ms_for(kNan), 0u);
    EXPECT_EQ(ms_for(-kInf), 0u);
    EXPECT_EQ(ms_for(1e300), std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(ms_for(kInf), std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(ms_for(18446744073709551.616), std::numeric_limits<std::uint64_t>::max());

    b.put(header::kCurrentSessionTime, -5.0);
    EXPECT_EQ(convert_telemetry(b.view()).session_time_s, -5.0);
}

TEST(ConvertTelemetry, PassesNonFiniteValuesThrough) {
    BlockBuilder b = BlockBuilder::with_player();
    b.put(header::kLapLength, 1e300);  // rounds to an infinite single
    b.scoring(0, scoring::kLapDistance, kNan).scoring(0, scoring::kBestLapTime, kInf);
    b.telemetry(0, telemetry::kLocalVelX, kNan)
        .telemetry(0, telemetry::kEngineRpm, -1e300)
        .telemetry(0, telemetry::kOrientationRow2X, kNan);

    const TelemetrySnapshot s = convert_telemetry(b.view());
    EXPECT_EQ(s.track_length_m, std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(s.lap_fraction));
    EXPECT_EQ(s.best_lap_time_s, kInf);
    ASSERT_TRUE(s.delta_best_s.has_value());
    EXPECT_TRUE(std::isnan(*s.delta_best_s));
    EXPECT_TRUE(std::isnan(s.speed_mps));
    EXPECT_EQ(s.engine_rpm, -std::numeric_limits<float>::infinity());
    ASSERT_TRUE(s.heading_rad.has_value());
    EXPECT_TRUE(std::isnan(*s.heading_rad));
}

}  // namespace
}  // namespace sim_bridge::lmu
