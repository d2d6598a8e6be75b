// Lap-wide figures: progress through the lap, the summary of `info`, the time delta.
#include "analysis/lap_analysis.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace corvel {
namespace {

LapSample at(float time, float fraction, std::uint8_t flags = sample_flag::kOnTrack) {
    LapSample s;
    s.session_time = time;
    s.lap_fraction = fraction;
    s.flags = flags;
    return s;
}

TEST(LapProgress, RisesThroughALapThatBeganBeforeTheLine) {
    const std::vector<LapSample> samples{at(0, 0.998f), at(1, 0.999f), at(2, 0.001f), at(3, 0.5f),
                                         at(4, 0.99f)};

    const auto progress = lap_progress(samples);

    EXPECT_NEAR(progress[0], -0.002, 1e-6);
    EXPECT_NEAR(progress[1], -0.001, 1e-6);
    EXPECT_NEAR(progress[2], 0.001, 1e-6);
    EXPECT_NEAR(progress[4], 0.99, 1e-6);
}

TEST(LapProgress, ContinuesPastTheLineAtTheEnd) {
    const std::vector<LapSample> samples{at(0, 0.001f), at(1, 0.5f), at(2, 0.999f), at(3, 0.002f)};

    const auto progress = lap_progress(samples);

    EXPECT_NEAR(progress[0], 0.001, 1e-6);
    EXPECT_NEAR(progress[3], 1.002, 1e-6);
}

TEST(LapProgress, LeavesNonFiniteFractionsOut) {
    const std::vector<LapSample> samples{at(0, 0.1f), at(1, std::numeric_limits<float>::quiet_NaN()),
                                         at(2, 0.3f)};

    const auto progress = lap_progress(samples);

    EXPECT_TRUE(std::isnan(progress[1]));
    EXPECT_NEAR(progress[2], 0.3, 1e-6);
}

TEST(LapSummary, MeasuresDurationRateSpeedAndFuel) {
    std::vector<LapSample> samples{at(10.0f, 0.0f), at(10.5f, 0.3f), at(11.0f, 0.6f)};
    samples[0].speed_kmh = 120;
    samples[1].speed_kmh = 80;
    samples[2].speed_kmh = 250;
    samples[0].fuel_dl = 456;
    samples[2].fuel_dl = 440;

    const LapSummary summary = summarize_lap(samples);

    EXPECT_EQ(summary.sample_count, 3U);
    EXPECT_DOUBLE_EQ(summary.duration_s, 1.0);
    EXPECT_DOUBLE_EQ(summary.mean_rate_hz.value(), 2.0);
    EXPECT_EQ(summary.min_speed_kmh, 80.0);
    EXPECT_EQ(summary.max_speed_kmh, 250.0);
    EXPECT_DOUBLE_EQ(summary.fuel_start_l.value(), 45.6);
    EXPECT_DOUBLE_EQ(summary.fuel_end_l.value(), 44.0);
}

TEST(LapSummary, MeasuresTheDurationOverSamplesWithAFiniteTime) {
    const std::vector<LapSample> samples{at(std::numeric_limits<float>::infinity(), 0.0f), at(10.0f, 0.1f),
                                         at(12.0f, 0.2f), at(std::numeric_limits<float>::quiet_NaN(), 0.3f)};

    const LapSummary summary = summarize_lap(samples);

    EXPECT_DOUBLE_EQ(summary.duration_s, 2.0);
    EXPECT_DOUBLE_EQ(summary.mean_rate_hz.value(), 0.5);
}

TEST(LapSummary, CountsFlaggedSamplesAndTheirTime) {
    const std::uint8_t pit = sample_flag::kInPitLane;
    const std::uint8_t yellow = sample_flag::kOnTrack | sample_flag::kYellow;
    const std::vector<LapSample> samples{at(0.0f, 0.0f, pit), at(1.0f, 0.1f, pit), at(3.0f, 0.2f, yellow),
                                         at(4.0f, 0.3f)};

    const LapSummary summary = summarize_lap(samples);

    EXPECT_EQ(summary.pit_lane.samples, 2U);
    EXPECT_DOUBLE_EQ(summary.pit_lane.seconds, 3.0);  // each sample lasts until the next
    EXPECT_DOUBLE_EQ(summary.pit_lane.share, 0.5);
    EXPECT_EQ(summary.yellow.samples, 1U);
    EXPECT_DOUBLE_EQ(summary.yellow.seconds, 1.0);
    EXPECT_EQ(summary.invalid.samples, 0U);
}

TEST(LapSummary, CopesWithNoSamplesAndWithOne) {
    EXPECT_EQ(summarize_lap({}).sample_count, 0U);
    const std::vector<LapSample> one{at(5.0f, 0.5f, sample_flag::kInPitLane)};
    const LapSummary summary = summarize_lap(one);
    EXPECT_FALSE(summary.mean_rate_hz.has_value());
    EXPECT_EQ(summary.pit_lane.samples, 1U);
    EXPECT_DOUBLE_EQ(summary.pit_lane.seconds, 0.0);
}

}  // namespace
}  // namespace corvel
