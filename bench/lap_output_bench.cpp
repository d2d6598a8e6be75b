// What writing the captured lap costs: the raw lap file (encode, zstd level 3, write) and the
// metadata document, for a 3.5-minute lap of 13,000 samples, into a scratch directory.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>
#include <variant>

#include "adapters/lmu/block_conversion.hpp"
#include "adapters/lmu/vehicle_name_map.hpp"
#include "corvel/clean_lap_recorder.hpp"
#include "lap_format/lap_file_writer.hpp"
#include "corvel/lap_metadata_from_capture.hpp"
#include "realistic_block.hpp"

namespace corvel::bench {
namespace {

class ScratchDir {
  public:
    ScratchDir() {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() / ("corvel-bench-" + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// The lap as the recorder hands it over: 13,000 samples from a lap driven start to finish.
CleanLap recorded_lap() {
    CleanLapRecorder recorder;
    for (std::size_t i = 0; i < kLapSamples; ++i)
        (void)recorder.record_snapshot(lap_snapshot(i, kLapSamples, 0));
    auto boundary = lap_snapshot(0, kLapSamples, 1);
    (void)recorder.record_snapshot(boundary);
    boundary.last_lap_time_s = 210.6;
    auto outcome = recorder.record_snapshot(boundary);
    return std::get<CleanLap>(std::move(outcome));
}

void BM_CompressSampleBlock(benchmark::State& state) {
    const CleanLap lap = recorded_lap();
    for (auto _ : state) {
        auto block = encode_sample_block(lap.samples);
        auto frame = compress_sample_block(block);
        benchmark::DoNotOptimize(frame);
    }
    state.counters["samples"] = static_cast<double>(lap.samples.size());
}
BENCHMARK(BM_CompressSampleBlock)->Unit(benchmark::kMicrosecond);

void BM_WriteLapTelemetry(benchmark::State& state) {
    const CleanLap lap = recorded_lap();
    const ScratchDir dir;
    const auto path = dir.path() / "lap.bin";
    for (auto _ : state) {
        auto written = write_lap_telemetry(path, lap.samples);
        if (!written) state.SkipWithError("write_lap_telemetry failed");
    }
    state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(path));
    state.counters["samples"] = static_cast<double>(lap.samples.size());
}
BENCHMARK(BM_WriteLapTelemetry)->Unit(benchmark::kMicrosecond);

void BM_WriteLapMetadata(benchmark::State& state) {
    const RealisticBlock block;
    const sim_bridge::lmu::VehicleNameMap names;
    const auto session = sim_bridge::lmu::build_session_info(block.view());
    const auto vehicle = sim_bridge::lmu::build_vehicle_info(block.view(), kPlayerSlot, names);
    const CleanLap lap = recorded_lap();
    const ScratchDir dir;
    const auto telemetry_path = dir.path() / "lap.bin";
    const auto path = dir.path() / "lap.json";
    for (auto _ : state) {
        const LapMetadata metadata = make_lap_metadata(session, vehicle, lap, telemetry_path, utc_now());
        auto written = write_lap_metadata(path, metadata);
        if (!written) state.SkipWithError("write_lap_metadata failed");
    }
}
BENCHMARK(BM_WriteLapMetadata)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace corvel::bench

BENCHMARK_MAIN();
