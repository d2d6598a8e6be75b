// A plausible lap without a simulator: a closed circuit drawn as a smooth spline, a speed
// profile limited by grip, acceleration and braking, and the driver's inputs derived from
// it, sampled like the recorder does. Used by the tests and to render the docs' example.
#pragma once

#include <expected>
#include <filesystem>
#include <string>
#include <vector>

#include "lap_format/lap_metadata.hpp"
#include "lap_format/lap_sample.hpp"

namespace corvel::testing {

struct SyntheticLapOptions {
    std::int64_t lap = 3;
    double poll_s = 0.016;
    // Grip varies along the lap by this share (0 = even), so two laps differ corner by corner.
    double grip_wobble = 0.0;
    double brake_scale = 1.0;   // share of the full braking deceleration used
    bool yellow_sector = true;  // a yellow flag over part of the lap
};

struct SyntheticLap {
    std::vector<LapSample> samples;
    LapMetadata metadata;
};

[[nodiscard]] SyntheticLap make_synthetic_lap(const SyntheticLapOptions& options = {});

// Writes <stem>.bin and <stem>.json into `dir` (named the way corvel names them); returns
// the .bin path.
[[nodiscard]] std::expected<std::filesystem::path, std::string> write_synthetic_lap(
    const std::filesystem::path& dir, const SyntheticLapOptions& options = {});

}  // namespace corvel::testing
