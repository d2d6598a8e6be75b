// What corvel-lap's per-sample timeline and the distance comparison cost as laps grow: one lap
// of a circle as corvel records it (polls every 16 ms seeing a 100 Hz telemetry, so some polls
// repeat a tick; a 5 Hz scoring of session time and lap fraction that reaches the poller 50 ms
// late; the first sample just after the line, the last just past the next crossing), with the
// circle as long as 100k or 1M polls at 60 m/s. The timeline is line-anchored, as on real laps.
// The ratio of the two sizes shows whether the cost grows linearly with the samples.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>

#include "analysis/lap_comparison.hpp"
#include "analysis/lap_timeline.hpp"

namespace corvel::bench {
namespace {

constexpr double kPollS = 0.016;
constexpr double kTickS = 0.01;
constexpr double kScoringS = 0.2;
constexpr double kScoringDelayS = 0.05;
constexpr double kSessionStartS = 600.0;
constexpr double kReferenceSpeedMs = 60.0;

// The circle's length for a lap of `polls` polls at the reference speed.
double circumference_m(std::size_t polls) {
    return kReferenceSpeedMs * kPollS * static_cast<double>(polls - 1) - 0.12;
}

// One lap of a circle `length_m` long at `speed_ms`: the car crosses the line 4 ms before the
// telemetry's first tick after session time kSessionStartS; polled until a tick past the next
// crossing is seen.
LapFile circling_lap(double length_m, double speed_ms) {
    const double radius = length_m / (2.0 * std::numbers::pi);
    const auto turns_at = [&](double session_s) { return speed_ms * (session_s - kSessionStartS + 0.004) / length_m; };
    LapFile lap;
    lap.path = "circle.bin";
    for (std::size_t i = 0;; ++i) {
        const double poll = kSessionStartS + 0.003 + static_cast<double>(i) * kPollS;
        const double tick = std::floor(poll / kTickS) * kTickS;
        const double scored = std::floor((poll - kScoringDelayS) / kScoringS) * kScoringS;
        const double turns = turns_at(tick);
        const double scored_turns = turns_at(scored);
        LapSample s;
        s.session_time = static_cast<float>(scored);
        s.lap_fraction = static_cast<float>(scored_turns - std::floor(scored_turns));
        s.pos_x = static_cast<float>(radius * std::cos(2.0 * std::numbers::pi * turns));
        s.pos_z = static_cast<float>(radius * std::sin(2.0 * std::numbers::pi * turns));
        s.speed_kmh = static_cast<std::uint16_t>(std::lround(speed_ms * 3.6));
        lap.samples.push_back(s);
        if (turns >= 1.0) break;
    }
    LapMetadata metadata;
    metadata.track_name = "Circle";
    metadata.track_length_m = static_cast<float>(length_m);
    metadata.lap_time_seconds = length_m / speed_ms;
    lap.metadata = metadata;
    return lap;
}

void BM_ComputeLapTimeline(benchmark::State& state) {
    const LapFile lap = circling_lap(circumference_m(static_cast<std::size_t>(state.range(0))), kReferenceSpeedMs);
    for (auto _ : state) {
        LapTimeline timeline = compute_lap_timeline(lap.samples, lap.metadata);
        benchmark::DoNotOptimize(timeline);
    }
    // 1 when the line was placed, as it must be for the figure to mean anything.
    state.counters["anchored"] = compute_lap_timeline(lap.samples, lap.metadata).line_anchored ? 1.0 : 0.0;
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lap.samples.size()));
}
BENCHMARK(BM_ComputeLapTimeline)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

void BM_CompareLaps(benchmark::State& state) {
    const double length = circumference_m(static_cast<std::size_t>(state.range(0)));
    const LapFile lap = circling_lap(length, 0.97 * kReferenceSpeedMs);
    const LapFile reference = circling_lap(length, kReferenceSpeedMs);
    for (auto _ : state) {
        auto comparison = compare_laps(lap, reference);
        benchmark::DoNotOptimize(comparison);
    }
    const auto comparison = compare_laps(lap, reference);
    state.counters["anchored"] = comparison && comparison->since_line ? 1.0 : 0.0;
    state.SetItemsProcessed(state.iterations() *
                            static_cast<std::int64_t>(lap.samples.size() + reference.samples.size()));
}
BENCHMARK(BM_CompareLaps)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvel::bench

BENCHMARK_MAIN();
