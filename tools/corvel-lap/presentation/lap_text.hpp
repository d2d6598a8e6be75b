// Short texts about a lap shared by `info` and `plot`: lap times and the names of track
// and car as the metadata gives them.
#pragma once

#include <optional>
#include <string>

#include "lap_format/lap_metadata.hpp"
#include "analysis/lap_timeline.hpp"

namespace corvel {

// "1:42.345" (minutes only when there are any: "58.120"); "unknown" for NaN or negative.
[[nodiscard]] std::string lap_time_text(double seconds);

// "Example Ring (Grand Prix)", falling back to the track id, or "unknown track".
[[nodiscard]] std::string track_text(const LapMetadata& metadata);

// "Example Car 963 (Hypercar)", or "unknown car".
[[nodiscard]] std::string car_text(const LapMetadata& metadata);

// Where the lap stands against the line: "line-anchored; first sample 25.4 m, 0.31 s after
// the line", or "not line-anchored (why): ...".
[[nodiscard]] std::string line_text(const LapTimeline& timeline);

// The line-to-line time and where it comes from: "1:19.222 line to line (the official lap
// time; the samples say 1:19.219)" or "1:19.219 from the samples".
[[nodiscard]] std::string line_to_line_text(const LapTimeline& timeline);

}  // namespace corvel
