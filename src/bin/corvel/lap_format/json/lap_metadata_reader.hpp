// Parsing the lap metadata document back into a LapMetadata. Every one of the 23 keys must
// be present with its type (null where the writer may write null); extra keys are ignored.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "lap_format/lap_metadata.hpp"

namespace corvel {

// The reason is a person's text, e.g. "\"lapNumber\" must be an integer, found a string".
[[nodiscard]] std::expected<LapMetadata, std::string> parse_lap_metadata(std::string_view json_text);

// "2026-01-15T18:04:12.345678900+00:00" (fraction of 1 to 9 digits optional); nullopt when
// the text has another form or names an impossible date.
[[nodiscard]] std::optional<UtcTime> parse_created_at(std::string_view text);

}  // namespace corvel
