// `corvel-lap csv`: every sample as a CSV row in physical units.
#include <ostream>

#include "commands/command_support.hpp"
#include "export/csv_export.hpp"
#include "analysis/lap_analysis.hpp"
#include "analysis/lap_timeline.hpp"

namespace corvel {
namespace {

constexpr std::string_view kCsvHelp =
    "Usage: corvel-lap csv FILE.bin [-o OUT.csv]\n"
    "\n"
    "Exports every sample as one CSV row (RFC 4180: a header row, CRLF line ends, fields\n"
    "quoted when needed) in physical units, for spreadsheets, pandas or R.\n"
    "\n"
    "Options:\n"
    "  -o, --output OUT.csv  where to write; \"-\" writes to standard output.\n"
    "                        Default: FILE.csv beside FILE.bin (same stem).\n"
    "\n"
    "Columns: sample (index), elapsed_s (since the first sample), session_time_s, lap_fraction\n"
    "(0..1 as recorded), lap_distance_m (lap progress times the metadata's track length, empty\n"
    "when unknown), lap, speed_kmh, throttle, brake, clutch (0..1), steering (-1..1), gear\n"
    "(R, N, 1, 2, ...), engine_rpm, fuel_l, pos_x_m, pos_z_m, lateral_g, longitudinal_g,\n"
    "path_lateral_m, track_edge_m, aux_counter, and one 0/1 column per flag: in_pit_lane,\n"
    "yellow_flag, abs_active, tc_active, drs_active, limiter_active, lap_invalid; then the\n"
    "lap timeline, fresh at every sample: lap_time_s (seconds since the first sample, the\n"
    "session clock's scoring steps spread evenly over the polls) and distance_m (metres along\n"
    "the car's path, scaled to the track length when the metadata gives one).\n"
    "elapsed_s and lap_distance_m are as recorded and move only with LMU's scoring updates\n"
    "(about 5 Hz); plot against lap_time_s and distance_m instead.\n"
    "Values that are not numbers in the file are written nan, inf or -inf.\n";

}  // namespace

CommandResult run_csv(std::span<const std::string> args, CommandIo& io) {
    const auto command = parse_file_command("csv", args, {.output = true}, kCsvHelp, io);
    if (!command) return std::unexpected(command.error());
    if (!*command) return {};  // --help
    const CommandArgs& parsed = (*command)->args;
    const std::string& file = (*command)->file;
    const auto lap = load_lap(file);
    if (!lap) {
        return std::unexpected(lap.error());
    }
    if (lap->metadata_error) {
        io.err << "Warning: " << lap->metadata_error->message
               << "; lap_distance_m left empty, distance_m is the car's path length\n";
    }
    const LapTimeline timeline = compute_lap_timeline(lap->samples, lap->metadata);
    return write_command_output(parsed, *lap, ".csv",
                                lap_csv(lap->samples, timeline, track_length_m(lap->metadata)), io);
}

}  // namespace corvel
