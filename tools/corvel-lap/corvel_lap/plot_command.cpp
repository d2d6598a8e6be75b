// `corvel-lap plot`: the lap as one self-contained SVG, optionally against a second lap.
#include <ostream>

#include "corvel_lap/command_support.hpp"
#include "corvel_lap/lap_plot.hpp"

namespace corvel {
namespace {

constexpr std::string_view kPlotHelp =
    "Usage: corvel-lap plot FILE.bin [-o OUT.svg] [--compare OTHER.bin]\n"
    "\n"
    "Draws the lap as one self-contained SVG (no scripts, no external resources; open it in\n"
    "any browser): the track map from the car's positions, coloured by speed, with the start\n"
    "and the direction of travel marked; below it speed, throttle and brake, gear and steering\n"
    "against lap distance (lap fraction times the track length from the metadata, or the lap\n"
    "fraction when the length is unknown).\n"
    "\n"
    "Options:\n"
    "  -o, --output OUT.svg   where to write; \"-\" writes to standard output.\n"
    "                         Default: FILE.svg beside FILE.bin (same stem).\n"
    "  --compare OTHER.bin    overlay a second lap of the same track and add a time-delta\n"
    "                         trace: this lap's elapsed time minus the other's at equal lap\n"
    "                         fraction, above zero where this lap is slower.\n";

void warn_about_metadata(const LapFile& lap, CommandIo& io) {
    if (lap.metadata_error) {
        io.err << "Warning: " << lap.metadata_error->message << "; plotting without it\n";
    }
}

}  // namespace

CommandResult run_plot(std::span<const std::string> args, CommandIo& io) {
    const auto command = parse_file_command("plot", args, {.output = true, .compare = true}, kPlotHelp, io);
    if (!command) return std::unexpected(command.error());
    if (!*command) return {};  // --help
    const CommandArgs& parsed = (*command)->args;
    const std::string& file = (*command)->file;
    const auto lap = load_lap(file);
    if (!lap) {
        return std::unexpected(lap.error());
    }
    warn_about_metadata(*lap, io);
    std::optional<LapFile> compare;
    if (parsed.compare) {
        auto other = load_lap(*parsed.compare);
        if (!other) {
            return std::unexpected(other.error());
        }
        warn_about_metadata(*other, io);
        compare = std::move(*other);
    }
    const std::string svg = render_lap_plot(*lap, compare ? &*compare : nullptr);
    return write_command_output(parsed, *lap, ".svg", svg, io);
}

}  // namespace corvel
