// A synthetic captured lap for the MoTeC export tests and the committed example: one lap of a
// 500 m ring at 36..44 m/s, polled about every 16 ms with a deterministic jitter, so the
// samples are unevenly spaced like a real capture. Also the metadata document beside it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "lap_format/lap_sample.hpp"

namespace motec_test {

inline constexpr double kRingLengthM = 500.0;
inline constexpr double kRingLapTimeS = 12.5;

struct SyntheticLap {
    std::vector<corvel::LapSample> samples;
    double lap_time_s = kRingLapTimeS;
    double track_length_m = kRingLengthM;
    int lap_number = 3;
};

[[nodiscard]] SyntheticLap make_synthetic_lap();

// The lap's metadata document as the capture tool writes it. `track_length` is written as
// given (e.g. "500.0" or "null").
[[nodiscard]] std::string synthetic_metadata_json(const SyntheticLap& lap, std::string_view file_name,
                                                  std::string_view track_length = "500.0");

}  // namespace motec_test
