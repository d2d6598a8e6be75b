// The block the stand-in writes, read back through the adapter's own conversions: what corvel
// will see is what the script says, and the hostile switches break exactly what they promise.
#include "block_writer.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "adapters/lmu/block_conversion.hpp"
#include "adapters/lmu/vehicle_name_map.hpp"

namespace corvel::lmu_sim {
namespace {

namespace lmu = sim_bridge::lmu;

class Writer : public ::testing::Test {
  protected:
    void SetUp() override {
        options_.track_length_m = 400.0;
        options_.lap_time_s = 8.0;
    }

    // The block as published at `time_s`, with the scoring written from its older moment.
    BlockImage publish_at(double time_s) {
        if (!script_) {
            script_ = std::make_unique<SessionScript>(options_);
            writer_ = std::make_unique<BlockWriter>(options_, *script_);
        }
        writer_->write_scoring(image_, script_->at(std::max(0.0, time_s - kScoringLagS)));
        writer_->write_telemetry(image_, script_->at(time_s));
        return image_;
    }

    static lmu::BlockView view(const BlockImage& image) {
        return lmu::BlockView(image.bytes().data(), lmu::kBlockSize);
    }

    SimOptions options_;
    std::unique_ptr<SessionScript> script_;
    std::unique_ptr<BlockWriter> writer_;
    BlockImage image_;
    lmu::VehicleNameMap no_names_;
};

TEST_F(Writer, TelemetryReadsBackAsThePlayersCar) {
    const auto image = publish_at(3.0);
    const auto car = script_->at(3.0).cars[script_->player_index()];
    const auto s = lmu::convert_telemetry(view(image));

    EXPECT_FLOAT_EQ(s.speed_mps, static_cast<float>(car.speed_mps));
    EXPECT_FLOAT_EQ(s.throttle, static_cast<float>(car.controls.throttle));
    EXPECT_FLOAT_EQ(s.brake, static_cast<float>(car.controls.brake));
    EXPECT_FLOAT_EQ(s.steering, static_cast<float>(car.controls.steering));
    EXPECT_EQ(s.gear, car.controls.gear);
    EXPECT_FLOAT_EQ(s.engine_rpm, static_cast<float>(car.controls.rpm));
    EXPECT_FLOAT_EQ(s.engine_max_rpm, 9000.0f);
    EXPECT_FLOAT_EQ(s.fuel_l, static_cast<float>(car.fuel_l));
    EXPECT_FLOAT_EQ(s.fuel_capacity_l, 90.0f);
    EXPECT_FLOAT_EQ(s.pos_x_m, static_cast<float>(car.point.x_m));
    EXPECT_FLOAT_EQ(s.pos_z_m, static_cast<float>(car.point.z_m));
    EXPECT_NEAR(std::remainder(*s.heading_rad - car.point.heading_rad, 2 * std::numbers::pi), 0.0, 1e-5);
    EXPECT_NEAR(s.lateral_g, car.lat_accel_mps2 / 9.81, 1e-4);
    EXPECT_NEAR(s.longitudinal_g, car.long_accel_mps2 / 9.81, 1e-4);
    EXPECT_EQ(s.lap_number, 0);
    EXPECT_NEAR(s.current_lap_time_s, 3.0, 1e-9);
    EXPECT_FLOAT_EQ(s.track_length_m, 400.0f);
    EXPECT_GT(s.lap_fraction, 0.0f);
    EXPECT_LT(s.lap_fraction, 1.0f);
    EXPECT_FALSE(s.in_pits);
    EXPECT_FALSE(s.in_pit_lane);
    EXPECT_FALSE(s.lap_invalid);
    EXPECT_FALSE(s.last_lap_time_s);
}

TEST_F(Writer, LastLapTimeFollowsTheLapNumberAfterTheScoringLag) {
    publish_at(0.0);
    const double line = script_->player().lap(1).end_s();
    const auto just_after = lmu::convert_telemetry(view(publish_at(line + 0.01)));
    EXPECT_EQ(just_after.lap_number, 1);
    EXPECT_FALSE(just_after.last_lap_time_s);
    EXPECT_GT(just_after.lap_fraction, 0.9f);  // the scoring's lap distance is still the old lap's

    const auto settled = lmu::convert_telemetry(view(publish_at(line + kScoringLagS + 0.01)));
    EXPECT_EQ(settled.lap_number, 1);
    EXPECT_EQ(settled.last_lap_time_s, script_->player().lap(1).duration_s);
    EXPECT_LT(settled.lap_fraction, 0.1f);
}

TEST_F(Writer, SessionReadsBackWithTrackWeatherAndPlayerLaps) {
    options_.session_number = 11;
    options_.weather = 7;
    options_.rain = 0.5;
    const auto info = lmu::build_session_info(view(publish_at(2.0)));
    EXPECT_EQ(info.track_name, "Synthetic Ring");
    EXPECT_EQ(info.track_layout, "Endurance");
    EXPECT_EQ(info.session_kind, sim_bridge::SessionKind::Race);
    EXPECT_EQ(info.session_phase, sim_bridge::SessionPhase::Running);
    EXPECT_TRUE(info.in_realtime);
    EXPECT_EQ(info.vehicle_count, 4u);
    EXPECT_EQ(info.player_laps, 0);
    EXPECT_EQ(info.game_version, "1200");
    EXPECT_EQ(info.weather_text, "Overcast with light rain");
    EXPECT_FLOAT_EQ(info.rain_intensity, 0.5f);
    EXPECT_TRUE(info.track_wet);
    EXPECT_FLOAT_EQ(info.track_length_m, 400.0f);
    EXPECT_TRUE(info.time_remaining_s);
    EXPECT_GT(info.wind_speed_mps, 0.0f);
}

TEST_F(Writer, PlayerVehicleReadsBackWithItsTexts) {
    const auto image = publish_at(1.0);
    const auto slot = lmu::player_slot_id(view(image));
    ASSERT_TRUE(slot);
    const auto v = lmu::build_vehicle_info(view(image), *slot, no_names_);
    EXPECT_TRUE(v.is_player);
    EXPECT_FALSE(v.is_remote);
    EXPECT_EQ(v.driver_name, "Sim Driver");
    EXPECT_EQ(v.car_name, "Synthetic LMH");
    EXPECT_EQ(v.car_class, "Hypercar");
    EXPECT_EQ(v.vehicle_name, "Corvel Racing #7");
    EXPECT_EQ(v.vehicle_file, "CORVEL_HY_07.VEH");
    EXPECT_EQ(v.car_id, "CORVEL_HY_07.VEH");
}

TEST_F(Writer, OtherEntriesAreFoundBySlotIdAcrossDifferentlyOrderedLists) {
    const auto image = publish_at(1.0);
    const auto remote = lmu::build_vehicle_info(view(image), 2, no_names_);
    EXPECT_EQ(remote.driver_name, "Remote Driver");
    EXPECT_TRUE(remote.is_remote);
    EXPECT_EQ(remote.model_name, "Synthetic LMP2");
    EXPECT_NE(BlockWriter::telemetry_index(script_->player_index(), 4), script_->player_index());
}

TEST_F(Writer, MenusPublishNoPlayerAndNoTrack) {
    options_.stay_in_menus = true;
    const auto image = publish_at(5.0);
    const auto info = lmu::build_session_info(view(image));
    EXPECT_EQ(info.track_name, "");
    EXPECT_FALSE(info.in_realtime);
    EXPECT_EQ(info.vehicle_count, 0u);
    EXPECT_FALSE(lmu::player_slot_id(view(image)));
    EXPECT_EQ(lmu::convert_telemetry(view(image)).speed_mps, 0.0f);
}

TEST_F(Writer, OutLapShowsThePitsAndTheLimiter) {
    options_.out_lap = true;
    const auto s = lmu::convert_telemetry(view(publish_at(kPitBoxWaitS + 0.5)));
    EXPECT_TRUE(s.in_pits);
    EXPECT_TRUE(s.in_pit_lane);
    EXPECT_TRUE(s.limiter_active);
    EXPECT_GT(s.clutch, 0.0f);
}

TEST_F(Writer, InvalidatedLapReachesTheReader) {
    options_.invalid_laps = {1};
    const auto s = lmu::convert_telemetry(view(publish_at(0.9 * 8.0)));
    EXPECT_TRUE(s.lap_invalid);
}

TEST_F(Writer, UpdateWordsMoveWithTheirParts) {
    publish_at(0.0);
    const auto scoring_before = image_.get<std::uint32_t>(lmu::header::kScoringEventWord);
    const auto telemetry_before = image_.get<std::uint32_t>(lmu::header::kTelemetryEventWord);
    writer_->write_telemetry(image_, script_->at(0.01));
    EXPECT_EQ(image_.get<std::uint32_t>(lmu::header::kScoringEventWord), scoring_before);
    EXPECT_EQ(image_.get<std::uint32_t>(lmu::header::kTelemetryEventWord), telemetry_before + 1);
    writer_->write_scoring(image_, script_->at(0.01));
    EXPECT_EQ(image_.get<std::uint32_t>(lmu::header::kScoringEventWord), scoring_before + 1);
}

TEST_F(Writer, HostileCountsAreOutOfRangeYetThePlayerIsStillFound) {
    options_.hostile.counts = true;
    const auto image = publish_at(2.0);
    EXPECT_EQ(image.get<std::int32_t>(lmu::header::kVehicleCount), INT32_MAX);
    EXPECT_EQ(image.get<std::uint8_t>(lmu::telemetry::kActiveCount), 255);
    EXPECT_GT(lmu::convert_telemetry(view(image)).speed_mps, 0.0f);
}

TEST_F(Writer, HostileTextsFillTheirFieldsWithBrokenBytes) {
    options_.hostile.texts = true;
    const auto image = publish_at(1.0);
    EXPECT_NE(image.get<char>(lmu::header::kTrackName + lmu::header::kTrackNameSize - 1), '\0');
    const auto at = lmu::scoring::entry_offset(script_->player_index());
    EXPECT_NE(image.get<char>(at + lmu::scoring::kDriverName + lmu::scoring::kDriverNameSize - 1), '\0');
    const auto v = lmu::build_vehicle_info(view(image), *lmu::player_slot_id(view(image)), no_names_);
    EXPECT_EQ(v.car_name, "Le Mans Ultimate Vehicle");  // the model name holds a control character
    EXPECT_NE(v.driver_name.find("\xEF\xBF\xBD"), std::string::npos);
    EXPECT_NE(lmu::build_session_info(view(image)).track_name.find("\xEF\xBF\xBD"), std::string::npos);
}

TEST_F(Writer, HostileNumbersSpareWhatALapDependsOn) {
    options_.hostile.numbers = true;
    const auto image = publish_at(2.0);
    const auto s = lmu::convert_telemetry(view(image));
    EXPECT_TRUE(std::isnan(s.clutch));
    EXPECT_TRUE(std::isinf(s.steering));
    EXPECT_TRUE(std::isfinite(s.speed_mps));
    EXPECT_TRUE(std::isfinite(s.lap_fraction));
    EXPECT_TRUE(std::isfinite(s.fuel_l));
    EXPECT_TRUE(std::isnan(lmu::build_session_info(view(image)).rain_intensity));
}

TEST_F(Writer, HostileLapNumbersWrapPastTheThirtyTwoBitLimit) {
    EXPECT_EQ(wrap_lap_number(2'147'483'647), 2'147'483'647);
    EXPECT_EQ(wrap_lap_number(2'147'483'648), INT32_MIN);
    options_.hostile.laps = true;
    EXPECT_EQ(lmu::convert_telemetry(view(publish_at(1.0))).lap_number, 2'147'483'644);
}

TEST(FitText, CutsWithoutSplittingACharacter) {
    EXPECT_EQ(fit_text("abc", 8), "abc");
    EXPECT_EQ(fit_text("abcdef", 4), "abcd");
    EXPECT_EQ(fit_text("ab\xC3\xA9", 3), "ab");  // é would be cut in half
    EXPECT_EQ(fit_text("ab\xC3\xA9", 4), "ab\xC3\xA9");
}

}  // namespace
}  // namespace corvel::lmu_sim
