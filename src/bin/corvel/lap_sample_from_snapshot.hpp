// make_lap_sample: what the capture tool keeps of one TelemetrySnapshot, quantised into the
// lap file's 41-byte record.
#pragma once

#include <cstdint>

#include "lap_format/lap_sample.hpp"
#include "sim_bridge/telemetry_snapshot.hpp"

namespace corvel {

// `lap` is the recorder's lap number; negatives become 0, then the low 16 bits are kept.
[[nodiscard]] LapSample make_lap_sample(const sim_bridge::TelemetrySnapshot& snapshot, std::int32_t lap);

}  // namespace corvel
