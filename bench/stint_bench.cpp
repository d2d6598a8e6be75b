// What `corvel-lap stint` costs on a big folder: 200 (and 500) laps of Sakhir of about 7,000
// samples each, written once to a temporary folder (five generated laps, each copied under
// several names), then summarised: every file read and decompressed, put on its timeline,
// its corners measured on the best lap's map. The wall time is the one to read (the work is
// spread over the cores); the bar is under 3 s for 200 laps on the 2-core machine.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>
#include <memory>
#include <stdexcept>

#include "analysis/stint_summary.hpp"
#include "lap_generator/lap_generator.hpp"

namespace corvel::bench {
namespace {

class StintFolder {
  public:
    explicit StintFolder(std::size_t laps) {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() / ("corvel-stint-bench-" + std::to_string(random()));
        lap_generator::GeneratorOptions o;
        const std::vector<std::string> args{"--track", "sakhir", "--laps", "5", "--seed", "9"};
        o.sim = *lmu_sim::parse_options(args);
        o.mode = RecorderMode::Continuing;
        o.poll_period_s = 0.015;  // about 7,000 samples a lap
        o.output_dir = path_ / "generated";
        const auto session = lap_generator::generate_laps(o);
        if (!session || session->laps.empty()) throw std::runtime_error("the laps could not be generated");
        samples_ = session->laps.front().lap.samples.size();
        for (std::size_t i = 0; i < laps; ++i) {
            const auto& lap = session->laps[i % session->laps.size()];
            const std::string stem = "lap-" + std::to_string(i);
            std::filesystem::copy_file(lap.paths.telemetry, path_ / (stem + ".bin"));
            std::filesystem::copy_file(lap.paths.metadata, path_ / (stem + ".json"));
        }
        std::filesystem::remove_all(path_ / "generated");
    }
    ~StintFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    StintFolder(const StintFolder&) = delete;
    StintFolder& operator=(const StintFolder&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }
    [[nodiscard]] std::size_t samples_per_lap() const { return samples_; }

  private:
    std::filesystem::path path_;
    std::size_t samples_ = 0;
};

const StintFolder& folder_of(std::size_t laps) {
    static std::map<std::size_t, std::unique_ptr<StintFolder>> folders;
    auto& folder = folders[laps];
    if (!folder) folder = std::make_unique<StintFolder>(laps);
    return *folder;
}

void BM_SummarizeStint(benchmark::State& state) {
    const StintFolder& folder = folder_of(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        auto summary = summarize_stint(folder.path(), {});
        if (!summary || summary->groups.size() != 1) state.SkipWithError("the stint could not be summarised");
        benchmark::DoNotOptimize(summary);
    }
    state.counters["samples_per_lap"] = static_cast<double>(folder.samples_per_lap());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SummarizeStint)
    ->Arg(200)
    ->Arg(500)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvel::bench

BENCHMARK_MAIN();
