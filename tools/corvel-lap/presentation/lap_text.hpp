// Short texts about a lap shared by `info` and `plot`: lap times and the names of track
// and car as the metadata gives them.
#pragma once

#include <optional>
#include <string>

#include "lap_format/lap_metadata.hpp"

namespace corvel {

// "1:42.345" (minutes only when there are any: "58.120"); "unknown" for NaN or negative.
[[nodiscard]] std::string lap_time_text(double seconds);

// "Example Ring (Grand Prix)", falling back to the track id, or "unknown track".
[[nodiscard]] std::string track_text(const LapMetadata& metadata);

// "Example Car 963 (Hypercar)", or "unknown car".
[[nodiscard]] std::string car_text(const LapMetadata& metadata);

}  // namespace corvel
