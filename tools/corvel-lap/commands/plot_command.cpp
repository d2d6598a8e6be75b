// `corvel-lap plot`: the lap as one self-contained SVG, optionally against a reference lap.
#include <ostream>

#include "analysis/corner_metrics.hpp"
#include "analysis/lap_analysis.hpp"
#include "commands/command_support.hpp"
#include "analysis/lap_comparison.hpp"
#include "export/lap_plot.hpp"

namespace corvel {
namespace {

constexpr std::string_view kPlotHelpStart =
    "Usage: corvel-lap plot FILE.bin [-o OUT.svg] [--x distance|time] [--compare REFERENCE.bin]\n"
    "\n"
    "Draws the lap as one self-contained SVG (no scripts, no external resources; open it in\n"
    "any browser): the track map from the car's positions, coloured by speed, with the start\n"
    "and the direction of travel marked; below it speed, throttle and brake, gear and steering\n"
    "against the lap timeline, fresh at every sample: distance along the car's path (scaled to\n"
    "the metadata's track length when it gives one) or lap time (LMU's session clock steps\n"
    "with its scoring, about 5 Hz; those steps are spread evenly over the polls).\n"
    "\n"
    "Options:\n"
    "  -o, --output OUT.svg     where to write; \"-\" writes to standard output.\n"
    "                           Default: FILE.svg beside FILE.bin (same stem).\n"
    "  --x distance|time        what the traces stand on (default: distance).\n"
    "  --compare REFERENCE.bin  the reference lap (same track): drawn on the same distance\n"
    "                           axis, with a time-delta trace from the two laps' times at\n"
    "                           equal distance.\n"
    "\n"
    "The reference is the lap named after --compare. The delta is always\n";
constexpr std::string_view kPlotHelpEnd =
    ".\n"
    "Laps of different tracks or sharing less than 100 m are refused. A lap without metadata\n"
    "is compared by its samples alone, with a warning.\n";

void warn_about_metadata(const LapFile& lap, CommandIo& io) {
    if (lap.metadata_error) {
        io.err << "Warning: " << lap.metadata_error->message << "; plotting without it\n";
    }
}

}  // namespace

CommandResult run_plot(std::span<const std::string> args, CommandIo& io) {
    const std::string help =
        std::string(kPlotHelpStart) + std::string(kDeltaConvention) + std::string(kPlotHelpEnd);
    const auto command =
        parse_file_command("plot", args, {.output = true, .compare = true, .x_axis = true}, help, io);
    if (!command) return std::unexpected(command.error());
    if (!*command) return {};  // --help
    const CommandArgs& parsed = (*command)->args;
    const std::string& file = (*command)->file;
    PlotAxis axis = PlotAxis::Distance;
    if (parsed.x_axis) {
        const auto chosen = plot_axis_from_text(*parsed.x_axis);
        if (!chosen) {
            return std::unexpected("plot: --x must be distance or time, not \"" + *parsed.x_axis + "\"");
        }
        axis = *chosen;
    }
    const auto lap = load_lap(file);
    if (!lap) {
        return std::unexpected(lap.error());
    }
    if (!parsed.compare) {
        warn_about_metadata(*lap, io);
        return write_command_output(parsed, *lap, ".svg", render_lap_plot(*lap, nullptr, axis), io);
    }
    const auto reference = load_lap(*parsed.compare);
    if (!reference) {
        return std::unexpected(reference.error());
    }
    const auto comparison = compare_laps(*lap, *reference);
    if (!comparison) {
        return std::unexpected(comparison.error());
    }
    // The comparison names a lap without usable metadata itself.
    for (const std::string& warning : comparison->warnings) {
        io.err << "Warning: " << warning << "\n";
    }
    std::optional<double> length = track_length_m(lap->metadata);
    if (!length) length = track_length_m(reference->metadata);
    const CornerComparison corners =
        compare_corners(lap->samples, comparison->lap, reference->samples, comparison->reference, comparison->from_m,
                        comparison->to_m, length);
    const PlotReference against{*reference, *comparison, &corners.map};
    return write_command_output(parsed, *lap, ".svg", render_lap_plot(*lap, &against, axis), io);
}

}  // namespace corvel
