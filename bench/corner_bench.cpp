// What the corner table adds to compare: the corner map and the per-corner metrics of a lap
// and its reference on Monza, each stretched to 100,000 samples (16 polls between the
// recorded ones, positions in between), beside compare_laps on the same pair.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "analysis/corner_metrics.hpp"
#include "analysis/lap_analysis.hpp"
#include "analysis/lap_comparison.hpp"
#include "lap_generator/lap_generator.hpp"

namespace corvel::bench {
namespace {

constexpr std::size_t kSamples = 100'000;

// Laps 2 and 3 of a Monza session, each stretched to kSamples.
std::pair<LapFile, LapFile> monza_pair() {
    lap_generator::GeneratorOptions o;
    const std::vector<std::string> args{"--track", "monza", "--laps", "3", "--seed", "3"};
    o.sim = *lmu_sim::parse_options(args);
    o.mode = RecorderMode::Continuing;
    const auto session = lap_generator::generate_laps(o);
    const auto stretched = [](const lap_generator::GeneratedLap& g) {
        LapFile file;
        file.path = "lap.bin";
        file.metadata = g.metadata;
        const auto& v = g.lap.samples;
        const std::size_t per = kSamples / (v.size() - 1) + 1;
        for (std::size_t i = 0; i + 1 < v.size() && file.samples.size() < kSamples; ++i) {
            for (std::size_t k = 0; k < per && file.samples.size() < kSamples; ++k) {
                LapSample s = v[i];
                const float share = static_cast<float>(k) / static_cast<float>(per);
                s.pos_x = v[i].pos_x + share * (v[i + 1].pos_x - v[i].pos_x);
                s.pos_z = v[i].pos_z + share * (v[i + 1].pos_z - v[i].pos_z);
                file.samples.push_back(s);
            }
        }
        return file;
    };
    return {stretched(session->laps[1]), stretched(session->laps[2])};
}

const std::pair<LapFile, LapFile>& pair() {
    static const std::pair<LapFile, LapFile> laps = monza_pair();
    return laps;
}

void BM_CompareLaps(benchmark::State& state) {
    const auto& [lap, reference] = pair();
    for (auto _ : state) {
        auto comparison = compare_laps(lap, reference);
        benchmark::DoNotOptimize(comparison);
    }
}
BENCHMARK(BM_CompareLaps)->Unit(benchmark::kMillisecond);

// The map (from the reference) and both laps' metrics, on compare's timelines.
void BM_CompareCorners(benchmark::State& state) {
    const auto& [lap, reference] = pair();
    const auto comparison = compare_laps(lap, reference);
    for (auto _ : state) {
        auto table = compare_corners(lap.samples, comparison->lap, reference.samples, comparison->reference,
                                     comparison->from_m, comparison->to_m, track_length_m(lap.metadata));
        benchmark::DoNotOptimize(table);
    }
    state.counters["corners"] = static_cast<double>(
        compare_corners(lap.samples, comparison->lap, reference.samples, comparison->reference, comparison->from_m,
                        comparison->to_m, track_length_m(lap.metadata))
            .corners.size());
}
BENCHMARK(BM_CompareCorners)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvel::bench

BENCHMARK_MAIN();
