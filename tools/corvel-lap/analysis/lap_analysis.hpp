// What a lap's samples say as a whole: lap progress along the track, elapsed time, the
// summary that `info` prints, and the time delta between two laps.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "lap_format/lap_metadata.hpp"
#include "lap_format/lap_sample.hpp"

namespace corvel {

// Each sample's position in the lap, unwrapped: the lap fraction plus whole laps, so that
// a recording that begins just before the line (0.998, 0.999, 0.001 ...) reads -0.002,
// -0.001, 0.001 ... and the values rise through the lap. NaN where the fraction is not finite.
[[nodiscard]] std::vector<double> lap_progress(std::span<const LapSample> samples);

// Seconds since the first sample (session time is stored as a 32-bit float).
[[nodiscard]] double elapsed_s(std::span<const LapSample> samples, std::size_t index);

// The track length from the metadata when it is a usable length, else nullopt.
[[nodiscard]] std::optional<double> track_length_m(const std::optional<LapMetadata>& metadata);

struct FlagShare {
    std::size_t samples = 0;
    double seconds = 0.0;  // each sample counts until the next one
    double share = 0.0;    // of all samples, 0..1
};

struct LapSummary {
    std::size_t sample_count = 0;
    double duration_s = 0.0;             // first to last sample with a finite time
    std::optional<double> mean_rate_hz;  // samples per second, when the duration is positive
    std::optional<double> min_speed_kmh;
    std::optional<double> max_speed_kmh;
    std::optional<double> fuel_start_l;  // first and last sample
    std::optional<double> fuel_end_l;
    FlagShare pit_lane;
    FlagShare invalid;
    FlagShare yellow;
};

[[nodiscard]] LapSummary summarize_lap(std::span<const LapSample> samples);

}  // namespace corvel
