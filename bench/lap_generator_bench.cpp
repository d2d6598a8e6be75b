// The virtual-clock lap generator: one 90 s lap of the default 4.2 km ring, captured from
// the line in corvel's mode, at both telemetry rates, in memory and written to files. A lap
// must take well under a second: tests generate dozens.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>

#include "lap_generator/lap_generator.hpp"

namespace {

using corvel::lap_generator::GeneratorOptions;

GeneratorOptions one_lap(double telemetry_hz) {
    GeneratorOptions options;
    options.sim.telemetry_hz = telemetry_hz;
    options.sim.laps = 2;
    return options;
}

void generate(benchmark::State& state, GeneratorOptions options) {
    std::size_t samples = 0;
    for (auto _ : state) {
        auto session = corvel::lap_generator::generate_laps(options);
        if (!session) {
            state.SkipWithError(session.error().c_str());
            return;
        }
        samples = session->laps.front().lap.samples.size();
        benchmark::DoNotOptimize(session);
    }
    state.counters["samples"] = static_cast<double>(samples);
}

void BM_GenerateLap(benchmark::State& state) {
    generate(state, one_lap(static_cast<double>(state.range(0))));
}
BENCHMARK(BM_GenerateLap)->Arg(100)->Arg(50)->Unit(benchmark::kMillisecond);

void BM_GenerateLapToFiles(benchmark::State& state) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("corvel-bench-laps-" + std::to_string(std::random_device{}()));
    GeneratorOptions options = one_lap(static_cast<double>(state.range(0)));
    options.output_dir = dir;
    generate(state, options);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}
BENCHMARK(BM_GenerateLapToFiles)->Arg(100)->Arg(50)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
