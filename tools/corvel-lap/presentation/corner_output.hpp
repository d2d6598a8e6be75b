// The corner map and the corner table as the commands print them: `corners`, `compare` and
// `report` share the names file, the JSON members and the table.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "analysis/corner_metrics.hpp"
#include "analysis/corner_names.hpp"
#include "analysis/lap_comparison.hpp"

namespace corvel {

void name_corners(CornerComparison& table, const CornerNames& names);

// A number rounded to 1/per_unit; NaN and infinities, and nothing, become null.
[[nodiscard]] nlohmann::ordered_json json_number(std::optional<double> value, double per_unit);

// {"number", "name", "direction", "startM", "apexM", "endM"}
[[nodiscard]] nlohmann::ordered_json corner_json(const TrackCorner& corner);

// One lap's map: corner_json plus that lap's "minSpeedKmh" and "minSpeedAtM" (null where the
// lap does not cover the corner); `metrics` as measure_corners gives them.
[[nodiscard]] nlohmann::ordered_json corner_map_json(const CornerMap& map,
                                                     const std::vector<std::optional<CornerLapMetrics>>& metrics);

// compare's "corners" and "straights" members.
[[nodiscard]] nlohmann::ordered_json corners_json(const CornerComparison& table, const LapComparison& comparison);
[[nodiscard]] nlohmann::ordered_json straights_json(const CornerComparison& table);

// The sentence for each corner that loses time (nothing where it does not).
[[nodiscard]] std::optional<std::string> corner_advice_of(const CornerDelta& corner, const LapComparison& comparison);

// The table after the minisectors: sorted by time lost, or in track order.
[[nodiscard]] std::string corner_table_text(const CornerComparison& table, const LapComparison& comparison,
                                            bool track_order);

}  // namespace corvel
