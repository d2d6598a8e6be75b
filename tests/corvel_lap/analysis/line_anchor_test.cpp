// The line-anchored timeline and the comparison on it, held to the truth of laps recorded the
// way corvel records LMU (sampled_lap.hpp): 50 and 100 Hz telemetry, random scoring and tick
// phases, jittered polls, laps from the line and joined up to 1 s late.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "analysis/lap_comparison.hpp"
#include "analysis/lap_timeline.hpp"
#include "analysis/line_anchor.hpp"
#include "corvel_lap/sampled_lap.hpp"

namespace corvel {
namespace {

using testing::DriveOptions;
using testing::SampledLap;
using testing::sample_lap;

// Seeded, so a failure repeats: rate, phases and jitter drawn per lap.
std::vector<DriveOptions> drives(std::size_t count, double joined_after_line_s, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<DriveOptions> out(count);
    for (std::size_t k = 0; k < count; ++k) {
        DriveOptions& o = out[k];
        o.telemetry_hz = k % 2 == 0 ? 50.0 : 100.0;
        o.tick_phase_s = unit(random) / o.telemetry_hz;
        o.scoring_phase_s = unit(random) * 0.2;
        o.seed = static_cast<unsigned>(random());
        o.joined_after_line_s = joined_after_line_s;
    }
    return out;
}

LapFile as_file(const SampledLap& lap, const char* name, bool official = true) {
    LapFile file;
    file.path = name;
    file.metadata = lap.metadata;
    if (!official) file.metadata->lap_time_seconds = 0.0;
    file.samples = lap.samples;
    return file;
}

std::string described(const DriveOptions& o) {
    return std::to_string(o.telemetry_hz) + " Hz, tick phase " + std::to_string(o.tick_phase_s) +
           ", scoring phase " + std::to_string(o.scoring_phase_s) + ", joined " +
           std::to_string(o.joined_after_line_s);
}

TEST(LineAnchor, PlacesTheLineFromTheSamplesAlone) {
    std::mt19937 random(2026);
    std::uniform_real_distribution<double> late(0.0, 1.0);
    for (const DriveOptions& o : drives(12, -1.0, 7)) {
        for (const double joined : {-1.0, late(random)}) {
            DriveOptions drive = o;
            drive.joined_after_line_s = joined;
            SCOPED_TRACE(described(drive));
            const SampledLap lap = sample_lap(drive);
            const LapFile file = as_file(lap, "lap.bin", /*official=*/false);

            const LapTimeline t = compute_lap_timeline(file.samples, file.metadata);

            ASSERT_TRUE(t.line_anchored) << (t.notes.empty() ? "" : t.notes.front());
            EXPECT_FALSE(t.line_to_line_is_official);
            if (joined < 0.0) {
                EXPECT_NEAR(t.estimated_line_to_line_s, lap.lap_time_s, 0.005);
            }
            EXPECT_NEAR(t.lap_time_s.front(), lap.true_time_s.front(), 0.030);
            EXPECT_NEAR(t.distance_m.front(), lap.true_distance_m.front(), 3.0);
            if (std::abs(lap.true_time_s.front() - kFromTheLineS) > 0.03) {
                EXPECT_EQ(t.from_the_line, lap.true_time_s.front() < kFromTheLineS);
            }
            double worst_m = 0.0;
            for (std::size_t i = 0; i < t.distance_m.size(); ++i) {
                worst_m = std::max(worst_m, std::abs(t.distance_m[i] - lap.true_distance_m[i]));
            }
            EXPECT_LE(worst_m, 3.0);
        }
    }
}

TEST(LineAnchor, OfficialTimeIsTheSpanWhenItAgreesAndCountsALateLapBack) {
    for (const DriveOptions& o : drives(6, 0.6, 11)) {
        SCOPED_TRACE(described(o));
        DriveOptions from_line = o;
        from_line.joined_after_line_s = -1.0;
        for (const DriveOptions& drive : {from_line, o}) {
            const SampledLap lap = sample_lap(drive);
            const LapTimeline t = compute_lap_timeline(lap.samples, lap.metadata);
            ASSERT_TRUE(t.line_anchored);
            EXPECT_TRUE(t.line_to_line_is_official);
            EXPECT_EQ(t.line_to_line_s, lap.lap_time_s);
            EXPECT_NEAR(t.lap_time_s.front(), lap.true_time_s.front(), 0.030);
            for (std::size_t i = 0; i < t.lap_time_s.size(); ++i) {
                // Where the sample lies on the true drive: its time at its distance.
                ASSERT_NEAR(t.lap_time_s[i], lap.time_at(t.distance_m[i]), 0.005) << "sample " << i;
            }
        }
    }
    // An official time 40 ms longer (within the check) is the span: every time since the line
    // stretches by that share once, so the end line is reached at the official time exactly.
    SampledLap stretched = sample_lap({});
    stretched.metadata.lap_time_seconds += 0.04;
    const LapTimeline s = compute_lap_timeline(stretched.samples, stretched.metadata);
    ASSERT_TRUE(s.line_to_line_is_official);
    const double share = stretched.metadata.lap_time_seconds / stretched.lap_time_s;
    const auto end = std::ranges::lower_bound(s.distance_m, stretched.length_m);
    ASSERT_TRUE(end != s.distance_m.begin() && end != s.distance_m.end());
    const std::size_t k = static_cast<std::size_t>(end - s.distance_m.begin());
    EXPECT_NEAR(s.lap_time_s[k], stretched.time_at(s.distance_m[k] - stretched.length_m) + stretched.metadata.lap_time_seconds, 0.003);
    EXPECT_NEAR(s.lap_time_s[k / 2], stretched.time_at(s.distance_m[k / 2]) * share, 0.003);

    // An official time that disagrees is said, and the samples' own time used.
    SampledLap lap = sample_lap({});
    lap.metadata.lap_time_seconds += 0.2;
    const LapTimeline t = compute_lap_timeline(lap.samples, lap.metadata);
    EXPECT_FALSE(t.line_to_line_is_official);
    ASSERT_EQ(t.warnings.size(), 1u);
    EXPECT_NE(t.warnings.front().find("using the samples' time"), std::string::npos);
}

TEST(LineAnchor, SameDrivingRecordedTwiceHasNoDeltaAnywhere) {
    const std::vector<DriveOptions> first = drives(6, -1.0, 23);
    const std::vector<DriveOptions> again = drives(6, 0.7, 24);
    for (std::size_t k = 0; k < first.size(); ++k) {
        SCOPED_TRACE(described(first[k]) + " against " + described(again[k]));
        const SampledLap reference = sample_lap(first[k]);
        const SampledLap lap = sample_lap(again[k]);

        const auto c = compare_laps(as_file(lap, "late.bin"), as_file(reference, "whole.bin"), 50);

        ASSERT_TRUE(c) << c.error();
        EXPECT_TRUE(c->since_line);
        EXPECT_NEAR(c->delta_at_end_s, 0.0, 0.010);
        for (const Minisector& m : c->minisectors) EXPECT_NEAR(m.delta_s, 0.0, 0.005) << "from " << m.start_m;
        for (const double delta : c->delta_s) ASSERT_NEAR(delta, 0.0, 0.010);
    }
}

TEST(LineAnchor, TimeLostInOneCornerIsFoundThereAndNowhereElse) {
    const std::vector<DriveOptions> references = drives(4, -1.0, 31);
    std::vector<DriveOptions> laps = drives(4, -1.0, 32);
    laps[1].joined_after_line_s = 0.4;
    for (std::size_t k = 0; k < laps.size(); ++k) {
        DriveOptions& slow = laps[k];
        slow.slow_from_m = 2000.0;
        slow.slow_to_m = 2100.0;
        slow.slow_factor = 0.8;
        SCOPED_TRACE(described(slow));
        const SampledLap reference = sample_lap(references[k]);
        const SampledLap lap = sample_lap(slow);

        const auto c = compare_laps(as_file(lap, "slow.bin"), as_file(reference, "fast.bin"), 50);

        ASSERT_TRUE(c) << c.error();
        EXPECT_NEAR(c->delta_at_end_s, lap.lap_time_s - reference.lap_time_s, 0.010);
        const Minisector* worst = &c->minisectors.front();
        for (const Minisector& m : c->minisectors) {
            const double truth = (lap.time_at(m.end_m) - lap.time_at(m.start_m)) -
                                 (reference.time_at(m.end_m) - reference.time_at(m.start_m));
            EXPECT_NEAR(m.delta_s, truth, 0.010) << "from " << m.start_m;
            if (m.delta_s > worst->delta_s) worst = &m;
        }
        EXPECT_LE(worst->start_m, 2100.0);
        EXPECT_GE(worst->end_m, 2000.0);
    }
}

TEST(LineAnchor, StaysSoundOnDamagedLaps) {
    const SampledLap lap = sample_lap({});
    const std::size_t n = lap.samples.size();
    const auto at = [n](double share) { return static_cast<std::size_t>(share * static_cast<double>(n)); };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<std::pair<const char*, std::vector<LapSample>>> cases;
    auto& nans = cases.emplace_back("NaN positions and fractions", lap.samples).second;
    for (std::size_t i = at(0.2); i < at(0.2) + 40; i += 2) nans[i].pos_x = nan;
    for (std::size_t i = at(0.4); i < at(0.4) + 40; i += 3) nans[i].lap_fraction = nan;
    auto& teleport = cases.emplace_back("a teleport", lap.samples).second;
    for (std::size_t i = at(0.5); i < n; ++i) teleport[i].pos_x += 400.0f;
    auto& repeated = cases.emplace_back("repeated samples", std::vector<LapSample>{}).second;
    for (const LapSample& s : lap.samples) repeated.insert(repeated.end(), 3, s);
    auto& jumps = cases.emplace_back("a session clock that jumps", lap.samples).second;
    for (std::size_t i = at(0.3); i < n; ++i) jumps[i].session_time += 30.0f;
    for (std::size_t i = at(0.7); i < at(0.7) + 50; ++i) jumps[i].session_time -= 60.0f;
    jumps[at(0.9)].session_time = nan;

    for (const auto& [name, samples] : cases) {
        SCOPED_TRACE(name);
        for (const bool with_metadata : {true, false}) {
            const LapTimeline t =
                compute_lap_timeline(samples, with_metadata ? std::optional(lap.metadata) : std::nullopt);
            ASSERT_EQ(t.lap_time_s.size(), samples.size());
            ASSERT_EQ(t.distance_m.size(), samples.size());
            EXPECT_TRUE(std::ranges::is_sorted(t.lap_time_s));
            EXPECT_TRUE(std::ranges::is_sorted(t.distance_m));
            EXPECT_TRUE(std::ranges::all_of(t.lap_time_s, [](double v) { return std::isfinite(v); }));
            EXPECT_TRUE(std::ranges::all_of(t.distance_m, [](double v) { return std::isfinite(v); }));
        }
    }
    // A lap cut short before half way round: its lap fraction, unwrapped to end near one
    // turn, would put the end line on its first sample and every sample past the line.
    const std::vector<LapSample> cut(lap.samples.begin(), lap.samples.begin() + static_cast<std::ptrdiff_t>(at(0.4)));
    const LapTimeline t = compute_lap_timeline(cut, lap.metadata);
    EXPECT_FALSE(t.line_anchored);
    EXPECT_LE(t.distance_m.back(), lap.length_m);
}

}  // namespace
}  // namespace corvel
