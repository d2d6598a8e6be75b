// The lap as one self-contained SVG (no scripts, no external resources): a track map from
// the positions coloured by speed, with start and direction marked, and below it speed,
// throttle and brake, gear and steering against the lap timeline's distance or time. With a
// reference lap, that lap is overlaid and a time-delta trace shows where time was won or lost.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "analysis/corner_map.hpp"
#include "analysis/lap_comparison.hpp"
#include "lap_format/json/lap_file.hpp"

namespace corvel {

// What the traces stand on: the timeline's distance along the lap, or its lap time.
enum class PlotAxis { Distance, Time };

// "distance" or "time"; nothing for any other text.
[[nodiscard]] std::optional<PlotAxis> plot_axis_from_text(std::string_view text);

// A lap drawn against another: the reference's file and the comparison of the two
// (compare_laps(lap, reference)), whose timelines and delta the plot draws.
// `corners`, when given, are marked along the distance axis (compare's map).
struct PlotReference {
    const LapFile& file;
    const LapComparison& comparison;
    const CornerMap* corners = nullptr;
};

// `reference` may be null. Any samples (none, one, NaN or infinite values, a standing car)
// give a well-formed document.
[[nodiscard]] std::string render_lap_plot(const LapFile& lap, const PlotReference* reference,
                                          PlotAxis axis = PlotAxis::Distance);

}  // namespace corvel
