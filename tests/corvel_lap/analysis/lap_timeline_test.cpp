// The per-sample timeline and the distance comparison against laps whose true time and
// distance are known: a car circling at a set speed, polled every 16 ms, with LMU's session
// clock moving only at its 5 Hz scoring updates and the lap starting anywhere inside a
// scoring period. Also damaged and extreme laps, which must still give sound timelines.
#include "analysis/lap_timeline.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <random>

#include "analysis/lap_comparison.hpp"

namespace corvel {
namespace {

constexpr double kPollS = 0.016;
constexpr double kScoringS = 0.2;

struct CircleLapOptions {
    double radius_m = 800.0;
    // Where inside the scoring period the first poll falls, and how far past the line (as a
    // share of one poll's travel) the first sample lies.
    double clock_phase_s = 0.0;
    double line_phase = 0.0;
    double start_fraction = 0.0;  // above 0: the lap began mid-lap there
    std::size_t max_samples = std::numeric_limits<std::size_t>::max();
    std::function<double(double)> speed_ms = [](double) { return 60.0; };  // by distance from the line
};

struct CircleLap {
    std::vector<LapSample> samples;
    std::vector<double> true_time_s;      // since the first sample
    std::vector<double> true_distance_m;  // from the line
    double length_m = 0.0;
};

// Drives the circle from the start to the line; past max_samples it simply keeps going round.
CircleLap circle_lap(const CircleLapOptions& options) {
    CircleLap lap;
    lap.length_m = 2.0 * std::numbers::pi * options.radius_m;
    double s = options.start_fraction * lap.length_m + options.line_phase * options.speed_ms(0.0) * kPollS;
    const double clock_start_s = 600.0 + options.clock_phase_s;
    for (std::size_t i = 0; i < options.max_samples; ++i) {
        if (options.max_samples == std::numeric_limits<std::size_t>::max() && s >= lap.length_m) break;
        const double speed = options.speed_ms(std::fmod(s, lap.length_m));
        const double wall_s = clock_start_s + static_cast<double>(i) * kPollS;
        LapSample sample;
        sample.session_time = static_cast<float>(std::floor(wall_s / kScoringS) * kScoringS);
        sample.pos_x = static_cast<float>(options.radius_m * std::cos(s / options.radius_m));
        sample.pos_z = static_cast<float>(options.radius_m * std::sin(s / options.radius_m));
        sample.speed_kmh = static_cast<std::uint16_t>(std::lround(speed * 3.6));
        lap.samples.push_back(sample);
        lap.true_time_s.push_back(static_cast<double>(i) * kPollS);
        lap.true_distance_m.push_back(s);
        s += speed * kPollS;
    }
    return lap;
}

LapMetadata circle_metadata(const CircleLap& lap, const CircleLapOptions& options) {
    LapMetadata metadata;
    metadata.track_name = "Circle";
    metadata.track_id = "CIRCLE";
    metadata.track_length_m = static_cast<float>(lap.length_m);
    metadata.started_mid_lap = options.start_fraction > 0.0;
    metadata.start_track_pct = static_cast<float>(options.start_fraction);
    metadata.sample_count = static_cast<std::uint32_t>(lap.samples.size());
    return metadata;
}

LapFile circle_file(const CircleLapOptions& options) {
    CircleLap lap = circle_lap(options);
    LapFile file;
    file.path = "circle.bin";
    file.metadata = circle_metadata(lap, options);
    file.samples = std::move(lap.samples);
    return file;
}

// Seeded, so a failure repeats; phases anywhere inside the scoring period and the first poll.
std::vector<CircleLapOptions> random_starts(std::size_t count) {
    std::mt19937 random(20261208);
    std::uniform_real_distribution<double> clock(0.0, kScoringS);
    std::uniform_real_distribution<double> line(0.0, 1.0);
    std::vector<CircleLapOptions> starts(count);
    for (CircleLapOptions& options : starts) {
        options.clock_phase_s = clock(random);
        options.line_phase = line(random);
    }
    return starts;
}

double distance_tolerance_m(double length_m) {
    return std::max(0.002 * length_m, 5.0);
}

void expect_sound(const LapTimeline& timeline, std::size_t samples) {
    ASSERT_EQ(timeline.lap_time_s.size(), samples);
    ASSERT_EQ(timeline.distance_m.size(), samples);
    if (samples == 0) return;
    EXPECT_EQ(timeline.lap_time_s.front(), 0.0);
    EXPECT_EQ(timeline.distance_m.front(), 0.0);
    EXPECT_TRUE(std::ranges::is_sorted(timeline.lap_time_s));
    EXPECT_TRUE(std::ranges::is_sorted(timeline.distance_m));
    EXPECT_TRUE(std::ranges::all_of(timeline.lap_time_s, [](double t) { return std::isfinite(t); }));
    EXPECT_TRUE(std::ranges::all_of(timeline.distance_m, [](double d) { return std::isfinite(d); }));
}

TEST(LapTimeline, TimeIsWithinOnePollOfTheTruthWhereverTheLapStartsInTheScoringPeriod) {
    for (const CircleLapOptions& options : random_starts(12)) {
        const CircleLap lap = circle_lap(options);

        const LapTimeline timeline = compute_lap_timeline(lap.samples, circle_metadata(lap, options));

        ASSERT_EQ(timeline.lap_time_s.size(), lap.samples.size());
        double worst = 0.0;
        for (std::size_t i = 0; i < lap.samples.size(); ++i) {
            worst = std::max(worst, std::abs(timeline.lap_time_s[i] - lap.true_time_s[i]));
        }
        EXPECT_LE(worst, kPollS) << "clock phase " << options.clock_phase_s;
        EXPECT_NEAR(timeline.mean_poll_interval_s, kPollS, 1e-4);
    }
}

TEST(LapTimeline, DistanceFollowsTheCarsPathWithAndWithoutATrackLength) {
    for (const CircleLapOptions& options : random_starts(6)) {
        const CircleLap lap = circle_lap(options);
        const double tolerance = distance_tolerance_m(lap.length_m);

        const LapTimeline scaled = compute_lap_timeline(lap.samples, circle_metadata(lap, options));
        const LapTimeline unscaled = compute_lap_timeline(lap.samples, std::nullopt);

        EXPECT_TRUE(scaled.scaled_to_track_length);
        EXPECT_FALSE(unscaled.scaled_to_track_length);
        EXPECT_NEAR(scaled.distance_m.back(), static_cast<float>(lap.length_m), 1e-6);
        for (std::size_t i = 0; i < lap.samples.size(); ++i) {
            ASSERT_NEAR(scaled.distance_m[i], lap.true_distance_m[i], tolerance) << "sample " << i;
            ASSERT_NEAR(unscaled.distance_m[i], lap.true_distance_m[i] - lap.true_distance_m.front(),
                        tolerance)
                << "sample " << i;
        }
    }
}

TEST(LapTimeline, LapBegunMidLapStartsWhereTheMetadataSaysItBegan) {
    CircleLapOptions options;
    options.start_fraction = 0.37;
    const CircleLap lap = circle_lap(options);

    const LapTimeline timeline = compute_lap_timeline(lap.samples, circle_metadata(lap, options));

    EXPECT_NEAR(timeline.distance_m.front(), 0.37 * lap.length_m, 0.01);
    EXPECT_NEAR(timeline.distance_m.back(), static_cast<float>(lap.length_m), 1e-6);
    for (std::size_t i = 0; i < lap.samples.size(); ++i) {
        ASSERT_NEAR(timeline.distance_m[i], lap.true_distance_m[i], distance_tolerance_m(lap.length_m));
    }
    EXPECT_EQ(timeline.lap_time_s.front(), 0.0);
}

TEST(LapTimeline, StaysSoundOnDamagedSamples) {
    const CircleLap lap = circle_lap({});
    const std::size_t n = lap.samples.size();
    const auto at = [n](double share) { return static_cast<std::size_t>(share * static_cast<double>(n)); };
    const float nan = std::numeric_limits<float>::quiet_NaN();

    std::vector<LapSample> nan_positions = lap.samples;
    for (std::size_t i = at(0.2); i < at(0.2) + 40; i += 2) nan_positions[i].pos_x = nan;
    nan_positions[at(0.6)].pos_z = std::numeric_limits<float>::infinity();

    std::vector<LapSample> bad_times = lap.samples;
    bad_times[0].session_time = nan;
    bad_times[at(0.3)].session_time = nan;
    bad_times[at(0.5)].session_time -= 30.0f;  // one sample from long before
    for (std::size_t i = at(0.7); i < at(0.7) + 50; ++i)
        bad_times[i].session_time -= 1.0f;  // a clock set back
    bad_times[n - 1].session_time = -std::numeric_limits<float>::infinity();

    std::vector<LapSample> repeated;
    for (const LapSample& s : lap.samples) repeated.insert(repeated.end(), 3, s);

    std::vector<LapSample> teleported = lap.samples;
    for (std::size_t i = at(0.5); i < n; ++i) teleported[i].pos_x += 400.0f;

    for (const auto& [name, samples] :
         {std::pair{"NaN positions", &nan_positions}, std::pair{"bad session times", &bad_times},
          std::pair{"repeated samples", &repeated}, std::pair{"a teleport", &teleported}}) {
        SCOPED_TRACE(name);
        const LapTimeline timeline = compute_lap_timeline(*samples, std::nullopt);
        expect_sound(timeline, samples->size());
        // None of these adds length: the path stays the circle's.
        EXPECT_NEAR(timeline.distance_m.back(), lap.true_distance_m.back() - lap.true_distance_m.front(),
                    distance_tolerance_m(lap.length_m));
    }
    const LapTimeline times = compute_lap_timeline(bad_times, std::nullopt);
    EXPECT_NEAR(times.lap_time_s.back(), lap.true_time_s.back(), 0.5);
}

TEST(LapTimeline, StaysSoundOnTinyAndHugeLaps) {
    CircleLapOptions short_lap;
    short_lap.max_samples = 300;
    CircleLapOptions long_lap;
    long_lap.radius_m = 1500.0;
    long_lap.max_samples = 1'000'000;  // over four hours of polls, round and round

    for (const CircleLapOptions& options : {short_lap, long_lap}) {
        const CircleLap lap = circle_lap(options);
        const LapTimeline timeline = compute_lap_timeline(lap.samples, circle_metadata(lap, options));
        expect_sound(timeline, options.max_samples);
        EXPECT_NEAR(timeline.lap_time_s.back(), lap.true_time_s.back(), kPollS);
    }
    for (const std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{2}}) {
        const std::vector<LapSample> samples(n);  // one place, one time
        expect_sound(compute_lap_timeline(samples, std::nullopt), n);
    }
}

// The curve's value at x by its definition, one plain scan: where it first reaches x.
double first_reach(const std::vector<double>& xs, const std::vector<double>& ys, double x) {
    if (!(x > xs.front())) return ys.front();
    if (!(x < xs.back())) return ys.back();
    std::size_t j = 0;
    while (xs[j] <= x) ++j;
    std::size_t i = j - 1;
    if (xs[i] == x) {
        while (i > 0 && xs[i - 1] == x) --i;
        return ys[i];
    }
    return ys[i] + (x - xs[i]) / (xs[j] - xs[i]) * (ys[j] - ys[i]);
}

TEST(CurveReader, ReadsLikeTheDefinitionWhateverOrderTheXsComeIn) {
    // A curve with stand-stills (runs of equal x) and 300 points, so a rise can skip far ahead.
    std::vector<double> xs;
    std::vector<double> ys;
    for (int k = 0; k < 300; ++k) {
        xs.push_back(k % 37 == 5 ? xs.back() : static_cast<double>(k) * 1.5);
        ys.push_back(static_cast<double>(k) * 0.1);
    }
    std::vector<double> rising;
    for (double x = -2.0; x < 460.0; x += 0.7) rising.push_back(x);
    std::vector<double> exact(xs.begin(), xs.end());
    std::vector<double> jumps{1.0, 200.0, 201.0, 449.0, 450.0, 3.0, 3.0, 120.0, 119.0};
    std::mt19937 random(5);
    std::vector<double> shuffled = rising;
    std::ranges::shuffle(shuffled, random);
    for (const auto& [name, queries] : {std::pair{"rising", rising}, std::pair{"falling", std::vector(rising.rbegin(), rising.rend())},
                                        std::pair{"on every point", exact}, std::pair{"jumps", jumps},
                                        std::pair{"shuffled", shuffled}}) {
        SCOPED_TRACE(name);
        CurveReader reader(xs);
        for (const double x : queries) ASSERT_EQ(reader.at(ys, x), first_reach(xs, ys, x)) << "x " << x;
    }
    CurveReader empty(std::span<const double>{});
    EXPECT_EQ(empty.at({}, 1.0), 0.0);
}

TEST(LapComparison, SameDrivingSeenAtAnotherScoringPhaseHasNoDelta) {
    CircleLapOptions reference_start;
    CircleLapOptions lap_start;
    lap_start.clock_phase_s = 0.13;
    const LapFile reference = circle_file(reference_start);
    const LapFile lap = circle_file(lap_start);

    const auto itself = compare_laps(lap, lap);
    const auto shifted = compare_laps(lap, reference);

    ASSERT_TRUE(itself && shifted);
    for (const double delta : itself->delta_s) ASSERT_NEAR(delta, 0.0, 0.001);
    for (const double delta : shifted->delta_s) ASSERT_NEAR(delta, 0.0, kPollS);
}

TEST(LapComparison, LapBegunMidLapIsComparedOverTheDistanceBothCover) {
    CircleLapOptions mid_lap;
    mid_lap.start_fraction = 0.4;
    mid_lap.clock_phase_s = 0.11;
    const LapFile lap = circle_file(mid_lap);
    const LapFile reference = circle_file({});

    const auto c = compare_laps(lap, reference, 10);

    ASSERT_TRUE(c) << c.error();
    const double length = static_cast<float>(2.0 * std::numbers::pi * 800.0);
    EXPECT_NEAR(c->from_m, 0.4 * length, 0.01);
    EXPECT_NEAR(c->to_m, length, 1e-6);
    EXPECT_TRUE(c->ends_at_line);
    EXPECT_NEAR(c->minisectors.front().start_m, c->from_m, 1e-9);
    // Same speed over the same stretch: nothing gained or lost, though the lap's clock started
    // 40 % of a lap later.
    for (const double delta : c->delta_s) ASSERT_NEAR(delta, 0.0, kPollS);
    for (const Minisector& m : c->minisectors) EXPECT_NEAR(m.delta_s, 0.0, kPollS);
}

TEST(LapComparison, UniformlySlowerLapLosesInProportionToDistance) {
    constexpr double kSpeed = 60.0;
    CircleLapOptions reference_start;
    reference_start.clock_phase_s = 0.05;
    CircleLapOptions lap_start;
    lap_start.clock_phase_s = 0.17;
    lap_start.speed_ms = [](double) { return kSpeed / 1.02; };
    const LapFile lap = circle_file(lap_start);
    const LapFile reference = circle_file(reference_start);

    const auto c = compare_laps(lap, reference, 20);

    ASSERT_TRUE(c) << c.error();
    // Taking 2 % longer over every metre: 0.02 / v seconds lost per metre.
    const double loss_per_m = 0.02 / kSpeed;
    for (std::size_t k = 0; k < c->distance_m.size(); ++k) {
        ASSERT_NEAR(c->delta_s[k], loss_per_m * (c->distance_m[k] - c->from_m), kPollS)
            << "at " << c->distance_m[k];
    }
    EXPECT_NEAR(c->delta_at_end_s, c->lap_time_s - c->reference_time_s, 1e-9);
    double sum = 0.0;
    for (const Minisector& m : c->minisectors) {
        EXPECT_NEAR(m.delta_s, loss_per_m * (m.end_m - m.start_m), kPollS) << "from " << m.start_m;
        sum += m.delta_s;
    }
    EXPECT_NEAR(sum, c->delta_at_end_s, 1e-9);
}

TEST(LapComparison, TimeLostInOneStretchIsChargedToItsMinisectorAlone) {
    constexpr double kSpeed = 60.0;
    constexpr double kSlowSpeed = 45.0;
    constexpr std::size_t kSegments = 25;
    constexpr std::size_t kSlowSegment = 7;
    CircleLapOptions reference_start;
    const double length = circle_lap(reference_start).length_m;
    const double segment = length / kSegments;
    const double slow_from = (kSlowSegment + 0.25) * segment;
    const double slow_to = (kSlowSegment + 0.75) * segment;
    CircleLapOptions lap_start;
    lap_start.clock_phase_s = 0.09;
    lap_start.speed_ms = [=](double s) { return s >= slow_from && s < slow_to ? kSlowSpeed : kSpeed; };

    const auto c = compare_laps(circle_file(lap_start), circle_file(reference_start), kSegments);

    ASSERT_TRUE(c) << c.error();
    const double lost = (slow_to - slow_from) * (1.0 / kSlowSpeed - 1.0 / kSpeed);
    ASSERT_EQ(c->minisectors.size(), kSegments);
    for (std::size_t k = 0; k < kSegments; ++k) {
        const Minisector& m = c->minisectors[k];
        if (k == kSlowSegment) {
            EXPECT_TRUE(m.worst);
            EXPECT_NEAR(m.delta_s, lost, 2 * kPollS);
            EXPECT_NEAR(m.lap_min_speed_kmh, kSlowSpeed * 3.6, 1.0);
            EXPECT_NEAR(m.reference_min_speed_kmh, kSpeed * 3.6, 1.0);
        } else {
            EXPECT_LT(m.delta_s, kPollS) << "minisector " << k;
        }
    }
    for (std::size_t k = 0; k < c->distance_m.size(); ++k) {
        const double d = c->distance_m[k];
        if (d < slow_from) {
            ASSERT_NEAR(c->delta_s[k], 0.0, kPollS) << "at " << d;
        } else if (d > slow_to) {
            ASSERT_NEAR(c->delta_s[k], lost, 2 * kPollS) << "at " << d;
        }
    }
}

}  // namespace
}  // namespace corvel
