// What one poll and one session query cost: the conversions of a full 104-car block whose
// player entry is the last one in both lists, so every search runs its whole length.
#include <benchmark/benchmark.h>

#include "adapters/lmu/block_conversion.hpp"
#include "adapters/lmu/vehicle_name_map.hpp"
#include "realistic_block.hpp"

namespace corvel::bench {
namespace {

void BM_ConvertTelemetry(benchmark::State& state) {
    const RealisticBlock block;
    for (auto _ : state) {
        auto snapshot = sim_bridge::lmu::convert_telemetry(block.view());
        benchmark::DoNotOptimize(snapshot);
    }
}
BENCHMARK(BM_ConvertTelemetry);

void BM_BuildSessionInfo(benchmark::State& state) {
    const RealisticBlock block;
    for (auto _ : state) {
        auto info = sim_bridge::lmu::build_session_info(block.view());
        benchmark::DoNotOptimize(info);
    }
}
BENCHMARK(BM_BuildSessionInfo);

void BM_BuildVehicleInfo(benchmark::State& state) {
    const RealisticBlock block;
    const sim_bridge::lmu::VehicleNameMap names;
    for (auto _ : state) {
        auto info = sim_bridge::lmu::build_vehicle_info(block.view(), kPlayerSlot, names);
        benchmark::DoNotOptimize(info);
    }
}
BENCHMARK(BM_BuildVehicleInfo);

}  // namespace
}  // namespace corvel::bench

BENCHMARK_MAIN();
