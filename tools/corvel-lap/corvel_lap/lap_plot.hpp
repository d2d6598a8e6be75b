// The lap as one self-contained SVG (no scripts, no external resources): a track map from
// the positions coloured by speed, with start and direction marked, and below it speed,
// throttle and brake, gear and steering against lap distance. With a second lap, that lap is
// overlaid and a time-delta trace shows where time was won or lost.
#pragma once

#include <string>

#include "corvel_lap/lap_file_reader.hpp"

namespace corvel {

// `compare` may be null. Any samples (none, one, NaN or infinite values, a standing car)
// give a well-formed document.
[[nodiscard]] std::string render_lap_plot(const LapFile& lap, const LapFile* compare);

}  // namespace corvel
