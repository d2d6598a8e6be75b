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

TEST(LapTimeline, SyntheticLapIsAnchoredToItsLine) {
    const LapFile lap = synthetic_file();
    const LapTimeline timeline = compute_lap_timeline(lap.samples, lap.metadata);
    ASSERT_EQ(timeline.lap_time_s.size(), lap.samples.size());
    EXPECT_TRUE(timeline.line_anchored);
    EXPECT_TRUE(timeline.from_the_line);
    // Its first sample lies 0.9 m past the line, on the main straight at about 300 km/h; the
    // scoring delay is bounded to within half a poll, so the sample moves along the drive by
    // up to that much: its time and distance still agree.
    const double speed_ms = lap.samples.front().speed_kmh / 3.6;
    EXPECT_NEAR(timeline.distance_m.front(), 0.9, 0.008 * speed_ms);
    EXPECT_NEAR(timeline.lap_time_s.front(), timeline.distance_m.front() / speed_ms, 0.002);
    EXPECT_EQ(timeline.line_to_line_s, lap.metadata->lap_time_seconds);
    EXPECT_TRUE(std::ranges::is_sorted(timeline.lap_time_s));
    EXPECT_TRUE(std::ranges::is_sorted(timeline.distance_m));
    EXPECT_GE(timeline.distance_m.back(), lap.metadata->track_length_m);
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
