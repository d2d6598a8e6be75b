// The per-sample timeline and the distance comparison on synthetic laps.
#include "analysis/lap_comparison.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "corvel_lap/synthetic_lap.hpp"

namespace corvel {
namespace {

LapFile synthetic_file(const testing::SyntheticLapOptions& options = {}) {
    testing::SyntheticLap lap = testing::make_synthetic_lap(options);
    LapFile file;
    file.path = "lap.bin";
    file.samples = std::move(lap.samples);
    file.metadata = std::move(lap.metadata);
    return file;
}

TEST(LapTimeline, IsMonotonicAndSpansTheTrackFromTheLine) {
    const LapFile lap = synthetic_file();
    const LapTimeline timeline = compute_lap_timeline(lap.samples, lap.metadata);
    ASSERT_EQ(timeline.lap_time_s.size(), lap.samples.size());
    EXPECT_EQ(timeline.lap_time_s.front(), 0.0);
    EXPECT_TRUE(std::ranges::is_sorted(timeline.lap_time_s));
    EXPECT_TRUE(std::ranges::is_sorted(timeline.distance_m));
    EXPECT_NEAR(timeline.distance_m.back(), lap.metadata->track_length_m, 1e-6);
}

TEST(LapComparison, LapAgainstItselfHasNoDeltaAnywhere) {
    const LapFile lap = synthetic_file();
    const auto comparison = compare_laps(lap, lap, 25);
    ASSERT_TRUE(comparison) << comparison.error();
    for (const double delta : comparison->delta_s) EXPECT_NEAR(delta, 0.0, 0.001);
    for (const Minisector& m : comparison->minisectors) EXPECT_FALSE(m.worst);
}

TEST(LapComparison, RefusesLapsOfDifferentTracks) {
    const LapFile lap = synthetic_file();
    LapFile other = lap;
    other.metadata->track_id = "ELSEWHERE";
    const auto comparison = compare_laps(lap, other, 25);
    ASSERT_FALSE(comparison);
    EXPECT_NE(comparison.error().find("different tracks"), std::string::npos);
}

}  // namespace
}  // namespace corvel
