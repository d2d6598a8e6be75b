// The recorder's cost per poll: one snapshot taken in during a lap, the settle of a finished
// 3.5-minute lap (13,000 samples moved out of the buffer) and one sample record built.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <variant>
#include <vector>

#include "corvel/clean_lap_recorder.hpp"
#include "corvel/lap_sample_from_snapshot.hpp"
#include "realistic_block.hpp"

namespace corvel::bench {
namespace {

std::vector<sim_bridge::TelemetrySnapshot> lap_snapshots(std::int32_t lap_number) {
    std::vector<sim_bridge::TelemetrySnapshot> lap;
    lap.reserve(kLapSamples);
    for (std::size_t i = 0; i < kLapSamples; ++i) lap.push_back(lap_snapshot(i, kLapSamples, lap_number));
    return lap;
}

// Steady state: polls in the middle of a lap. One iteration feeds a whole lap to a fresh
// recorder, so the buffer grows as it does in a capture; the time is reported per snapshot.
void BM_RecordSnapshotSteady(benchmark::State& state) {
    const auto lap = lap_snapshots(3);
    for (auto _ : state) {
        CleanLapRecorder recorder;
        for (const auto& snapshot : lap) {
            auto outcome = recorder.record_snapshot(snapshot);
            benchmark::DoNotOptimize(outcome);
        }
        benchmark::DoNotOptimize(recorder.buffered_samples());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lap.size()));
}
BENCHMARK(BM_RecordSnapshotSteady)->Unit(benchmark::kMicrosecond);

// The poll that settles a finished lap: 13,000 samples of lap 1 buffered, the lap change seen,
// and now the scoring delivers the lap's time; the lap's samples are moved into the CleanLap.
void BM_RecordSnapshotLapSettle(benchmark::State& state) {
    CleanLapRecorder prepared;
    for (const auto& snapshot : lap_snapshots(0)) (void)prepared.record_snapshot(snapshot);
    auto boundary = lap_snapshot(0, kLapSamples, 1);
    (void)prepared.record_snapshot(boundary);  // lap change: the lap waits for its time
    auto timed = boundary;
    timed.last_lap_time_s = 210.6;

    for (auto _ : state) {
        state.PauseTiming();
        CleanLapRecorder recorder = prepared;
        state.ResumeTiming();
        auto outcome = recorder.record_snapshot(timed);
        if (!std::holds_alternative<CleanLap>(outcome)) state.SkipWithError("the lap did not settle");
        benchmark::DoNotOptimize(outcome);
    }
}
BENCHMARK(BM_RecordSnapshotLapSettle)->Unit(benchmark::kMicrosecond);

void BM_MakeLapSample(benchmark::State& state) {
    const auto snapshot = lap_snapshot(4'321, kLapSamples, 3);
    for (auto _ : state) {
        auto sample = make_lap_sample(snapshot, 4);
        benchmark::DoNotOptimize(sample);
    }
}
BENCHMARK(BM_MakeLapSample);

}  // namespace
}  // namespace corvel::bench

BENCHMARK_MAIN();
