// The stint summary as the `stint` command prints it: one JSON document, or a table per track
// and car for a person.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "analysis/stint_summary.hpp"

namespace corvel {

// {"groups": [...], "unreadable": [...]}; members as docs/corvel-lap.md lists them, numbers
// rounded (times to the microsecond, distances to the millimetre), null for what is unknown.
[[nodiscard]] nlohmann::ordered_json stint_json(const StintSummary& summary);

// Every group: its laps, the best, median and ideal lap, the ideal lap's parts, the corner
// consistency and the corners to work on; then the files that could not be read.
[[nodiscard]] std::string stint_text(const StintSummary& summary);

// "slower than 107 % of the best": the share as the notes and help texts write it.
[[nodiscard]] std::string comparable_share_text();

}  // namespace corvel
