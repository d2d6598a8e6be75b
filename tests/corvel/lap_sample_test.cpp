// make_lap_sample's quantisation and the 41-byte record.
#include "corvel/lap_sample_from_snapshot.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace corvel {
namespace {

using sim_bridge::TelemetrySnapshot;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

LapSample sample_with(auto&& edit, std::int32_t lap = 1) {
    TelemetrySnapshot snapshot;
    edit(snapshot);
    return make_lap_sample(snapshot, lap);
}

std::uint8_t throttle_of(float v) {
    return sample_with([&](TelemetrySnapshot& s) { s.throttle = v; }).throttle;
}
std::int8_t steering_of(float v) {
    return sample_with([&](TelemetrySnapshot& s) { s.steering = v; }).steering;
}
std::uint8_t gear_of(std::int8_t v) {
    return sample_with([&](TelemetrySnapshot& s) { s.gear = v; }).gear;
}
std::int8_t lateral_g_of(float v) {
    return sample_with([&](TelemetrySnapshot& s) { s.lateral_g = v; }).lateral_g;
}

TEST(MakeLapSample, PedalsClampScaleAndTruncate) {
    EXPECT_EQ(throttle_of(0.5f), 127);
    EXPECT_EQ(throttle_of(1.0f), 255);
    EXPECT_EQ(throttle_of(1.3f), 255);
    EXPECT_EQ(throttle_of(-0.2f), 0);
    EXPECT_EQ(throttle_of(kNaN), 0);
}

TEST(MakeLapSample, SteeringTruncatesTowardZero) {
    EXPECT_EQ(steering_of(-0.5f), -63);
    EXPECT_EQ(steering_of(1.0f), 127);
    EXPECT_EQ(steering_of(-1.0f), -127);
    EXPECT_EQ(steering_of(2.0f), 127);
    EXPECT_EQ(steering_of(kNaN), 0);
}

TEST(MakeLapSample, GearMapsReverseAndCapsHighGears) {
    EXPECT_EQ(gear_of(-1), 255);
    EXPECT_EQ(gear_of(-3), 255);
    EXPECT_EQ(gear_of(0), 0);
    EXPECT_EQ(gear_of(7), 7);
    EXPECT_EQ(gear_of(12), 10);
}

TEST(MakeLapSample, SpeedFuelAndRpmUseTheirOwnLimits) {
    EXPECT_EQ(sample_with([](TelemetrySnapshot& s) { s.speed_kmh = 101.9f; }).speed_kmh, 101);
    EXPECT_EQ(sample_with([](TelemetrySnapshot& s) { s.speed_kmh = 700.0f; }).speed_kmh, 655);
    EXPECT_EQ(sample_with([](TelemetrySnapshot& s) { s.speed_kmh = 654.99f; }).speed_kmh, 654);
    EXPECT_EQ(sample_with([](TelemetrySnapshot& s) { s.fuel_l = 45.67f; }).fuel_dl, 456);
    EXPECT_EQ(sample_with([](TelemetrySnapshot& s) { s.fuel_l = 6553.5f; }).fuel_dl, 65535);
    EXPECT_EQ(sample_with([](TelemetrySnapshot& s) { s.fuel_l = 7000.0f; }).fuel_dl, 65535);
    EXPECT_EQ(sample_with([](TelemetrySnapshot& s) { s.engine_rpm = 1e9f; }).engine_rpm, 65535);
    EXPECT_EQ(sample_with([](TelemetrySnapshot& s) { s.engine_rpm = kNaN; }).engine_rpm, 0);
}

TEST(MakeLapSample, GForcesClampAndKeepSinglePrecisionError) {
    EXPECT_EQ(lateral_g_of(13.0f), 127);
    EXPECT_EQ(lateral_g_of(-20.0f), -127);
    // The widened floats lie just below 12.7 and 1.27.
    EXPECT_EQ(lateral_g_of(12.7f), 126);
    EXPECT_EQ(lateral_g_of(1.27f), 12);
    EXPECT_EQ(sample_with([](TelemetrySnapshot& s) { s.longitudinal_g = -1.27f; }).longitudinal_g, -12);
}

TEST(MakeLapSample, CentimetreFieldsSaturateAtTheirRange) {
    EXPECT_EQ(sample_with([](TelemetrySnapshot&) {}).path_lateral_cm, 0);
    EXPECT_EQ(sample_with([](TelemetrySnapshot& s) { s.path_lateral_m = 1.234f; }).path_lateral_cm, 123);
    EXPECT_EQ(sample_with([](TelemetrySnapshot& s) { s.path_lateral_m = 400.0f; }).path_lateral_cm, 32700);
    EXPECT_EQ(sample_with([](TelemetrySnapshot& s) { s.path_lateral_m = -400.0f; }).path_lateral_cm, -32700);
    EXPECT_EQ(sample_with([](TelemetrySnapshot&) {}).track_edge_cm, 0);
    EXPECT_EQ(sample_with([](TelemetrySnapshot& s) { s.track_edge_m = -3.5f; }).track_edge_cm, 350);
    EXPECT_EQ(sample_with([](TelemetrySnapshot& s) { s.track_edge_m = 1000.0f; }).track_edge_cm, 65500);
}

TEST(MakeLapSample, LapKeepsLow16BitsOfNonNegativeNumber) {
    EXPECT_EQ(sample_with([](TelemetrySnapshot&) {}, -4).lap, 0);
    EXPECT_EQ(sample_with([](TelemetrySnapshot&) {}, 70000).lap, 4464);
    EXPECT_EQ(sample_with([](TelemetrySnapshot&) {}, 3).lap, 3);
}

TEST(MakeLapSample, AuxCounterIsNonNegativeLow32Bits) {
    EXPECT_EQ(sample_with([](TelemetrySnapshot&) {}).aux_counter, 0u);
    EXPECT_EQ(sample_with([](TelemetrySnapshot& s) { s.aux_counter = -9; }).aux_counter, 0u);
    EXPECT_EQ(sample_with([](TelemetrySnapshot& s) { s.aux_counter = 0x1'0000'0005LL; }).aux_counter, 5u);
}

TEST(MakeLapSample, FlagsCarryExactlyOnePitLaneBit) {
    EXPECT_EQ(sample_with([](TelemetrySnapshot&) {}).flags, 1);
    EXPECT_EQ(sample_with([](TelemetrySnapshot& s) { s.in_pit_lane = true; }).flags, 2);
    const LapSample all = sample_with([](TelemetrySnapshot& s) {
        s.in_pit_lane = true;
        s.yellow_flag = s.abs_active = s.tc_active = s.limiter_active = s.lap_invalid = true;
        s.drs_active = true;
    });
    EXPECT_EQ(all.flags, 0xFE);
    EXPECT_EQ(sample_with([](TelemetrySnapshot& s) { s.drs_active = false; }).flags, 1);
}

TEST(MakeLapSample, CopiesFloatsAndRoundsSessionTime) {
    const LapSample sample = sample_with([](TelemetrySnapshot& s) {
        s.session_time_s = 1234.56789;
        s.lap_fraction = 0.25f;
        s.pos_x_m = -12.5f;
        s.pos_z_m = kNaN;
    });
    EXPECT_EQ(sample.session_time, static_cast<float>(1234.56789));
    EXPECT_EQ(sample.lap_fraction, 0.25f);
    EXPECT_EQ(sample.pos_x, -12.5f);
    EXPECT_TRUE(std::isnan(sample.pos_z));
    EXPECT_EQ(sample.constant_30, 30);
}

TEST(LapSampleEncoding, WritesFieldsLittleEndianAtTheirOffsets) {
    LapSample sample;
    sample.session_time = 1.0f;  // 0x3F800000
    sample.lap = 0x0102;
    sample.aux_counter = 0x0A0B0C0D;
    sample.steering = -1;
    sample.speed_kmh = 0x0304;
    sample.pos_z = -2.0f;  // 0xC0000000
    sample.flags = 0x81;
    sample.path_lateral_cm = -2;  // 0xFFFE
    sample.track_edge_cm = 0x0506;

    EncodedLapSample bytes{};
    encode_lap_sample(sample, bytes);
    const auto at = [&](std::size_t i) { return std::to_integer<int>(bytes[i]); };
    EXPECT_EQ(at(3), 0x3F);
    EXPECT_EQ(at(2), 0x80);
    EXPECT_EQ(at(8), 0x02);
    EXPECT_EQ(at(9), 0x01);
    EXPECT_EQ(at(10), 0x0D);
    EXPECT_EQ(at(13), 0x0A);
    EXPECT_EQ(at(17), 0xFF);
    EXPECT_EQ(at(19), 0x04);
    EXPECT_EQ(at(20), 0x03);
    EXPECT_EQ(at(32), 0xC0);
    EXPECT_EQ(at(35), 30);
    EXPECT_EQ(at(36), 0x81);
    EXPECT_EQ(at(37), 0xFE);
    EXPECT_EQ(at(38), 0xFF);
    EXPECT_EQ(at(39), 0x06);
    EXPECT_EQ(at(40), 0x05);
}

TEST(LapSampleEncoding, DecodeReadsBackWhatEncodeWrote) {
    TelemetrySnapshot snapshot;
    snapshot.session_time_s = 99.5;
    snapshot.lap_fraction = 0.75f;
    snapshot.throttle = 0.9f;
    snapshot.brake = 0.1f;
    snapshot.clutch = 0.3f;
    snapshot.steering = -0.7f;
    snapshot.gear = 4;
    snapshot.speed_kmh = 201.4f;
    snapshot.engine_rpm = 8123.0f;
    snapshot.fuel_l = 33.3f;
    snapshot.pos_x_m = 101.25f;
    snapshot.pos_z_m = -77.5f;
    snapshot.lateral_g = -2.5f;
    snapshot.longitudinal_g = 1.1f;
    snapshot.path_lateral_m = -1.5f;
    snapshot.track_edge_m = 6.0f;
    snapshot.tc_active = true;
    const LapSample sample = make_lap_sample(snapshot, 12);

    EncodedLapSample bytes{};
    encode_lap_sample(sample, bytes);
    EXPECT_EQ(decode_lap_sample(bytes), sample);
}

}  // namespace
}  // namespace corvel
