// What corvel-lap's per-sample timeline and the distance comparison cost as laps grow: a car
// circling a 5 km track polled every 16 ms with a 5 Hz scoring (session clock and lap fraction),
// at 100k and 1M samples.
// The ratio of the two sizes shows whether the cost grows linearly with the samples.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>

#include "analysis/lap_comparison.hpp"
#include "analysis/lap_timeline.hpp"

namespace corvel::bench {
namespace {

constexpr double kRadiusM = 800.0;
constexpr double kPollS = 0.016;

// `count` polls round and round the circle at `speed_ms`, the scoring stepping at 5 Hz.
LapFile circling_lap(std::size_t count, double speed_ms) {
    LapFile lap;
    lap.path = "circle.bin";
    lap.samples.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) * kPollS;
        const double angle = speed_ms * t / kRadiusM;
        LapSample& s = lap.samples[i];
        const double scored_at = std::floor((600.07 + t) / 0.2) * 0.2;
        s.session_time = static_cast<float>(scored_at);
        const double scored_turns = speed_ms * (scored_at - 600.07) / (2.0 * std::numbers::pi * kRadiusM);
        s.lap_fraction = static_cast<float>(scored_turns - std::floor(scored_turns));
        s.pos_x = static_cast<float>(kRadiusM * std::cos(angle));
        s.pos_z = static_cast<float>(kRadiusM * std::sin(angle));
        s.speed_kmh = static_cast<std::uint16_t>(std::lround(speed_ms * 3.6));
    }
    LapMetadata metadata;
    metadata.track_name = "Circle";
    metadata.track_length_m = static_cast<float>(2.0 * std::numbers::pi * kRadiusM);
    lap.metadata = metadata;
    return lap;
}

void BM_ComputeLapTimeline(benchmark::State& state) {
    const LapFile lap = circling_lap(static_cast<std::size_t>(state.range(0)), 60.0);
    for (auto _ : state) {
        LapTimeline timeline = compute_lap_timeline(lap.samples, lap.metadata);
        benchmark::DoNotOptimize(timeline);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ComputeLapTimeline)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

void BM_CompareLaps(benchmark::State& state) {
    const LapFile lap = circling_lap(static_cast<std::size_t>(state.range(0)), 58.0);
    const LapFile reference = circling_lap(static_cast<std::size_t>(state.range(0)), 60.0);
    for (auto _ : state) {
        auto comparison = compare_laps(lap, reference);
        benchmark::DoNotOptimize(comparison);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CompareLaps)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvel::bench

BENCHMARK_MAIN();
