// The motec subcommand: reads the lap and its metadata, builds the log, writes OUT.ld and then
// OUT.ldx. Nothing is written unless the whole export could be built in memory first.
#include "commands/motec_command.hpp"

#include <optional>
#include <ostream>
#include <string_view>
#include <system_error>

#include "lap_format/output_file.hpp"
#include "lap_format/utf8_path.hpp"
#include "export/motec/lap_to_motec.hpp"
#include "export/motec/ldx_file.hpp"

namespace corvel::motec {
namespace {

constexpr std::string_view kHelp =
    "Usage: corvel-lap motec FILE.bin [-o OUT.ld]\n"
    "\n"
    "Exports a captured lap to a MoTeC i2 log: OUT.ld holds the lap's channels in physical\n"
    "units (speed, pedals, steering, gear, rpm, fuel, position, g forces, lap distance, flags),\n"
    "OUT.ldx beside it marks the lap so that i2 shows one full lap with its lap time.\n"
    "Header texts (driver, car, track, session, date), the lap time and the track length come\n"
    "from FILE's metadata (.json beside it); without it the log is still written, without them.\n"
    "The captured samples are not evenly spaced, so they are resampled onto an even time grid\n"
    "at the lap's mean rate (linear interpolation; gear and flags hold the last sample). Time\n"
    "and Lap Distance are the lap timeline that plot and compare use: time and LMU's lap\n"
    "distance since the line, fresh at every telemetry tick. The log starts at the line (a lap\n"
    "joined late shows its first sample at its time since the line, the first sample held back\n"
    "to it) and the .ldx beacons lie on both line crossings. When the samples cannot place the\n"
    "line, time 0 is the first sample and the distance follows the car's path.\n"
    "\n"
    "Options:\n"
    "  -o, --output OUT.ld   where to write the log (default: FILE's stem + .ld, beside FILE);\n"
    "                        the .ldx goes beside it with the same stem\n"
    "  -h, --help            show this help\n";

bool same_file(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

CommandResult write_file(const std::filesystem::path& path, std::span<const std::byte> bytes) {
    const std::string name = display_name(path);
    auto file = OutputFile::create(path);
    if (!file) return std::unexpected("cannot create " + name + ": " + file.error().display());
    if (auto written = write_all(*file, bytes, "failed to write the whole file"); !written)
        return std::unexpected("cannot write " + name + ": " + written.error().display());
    if (auto closed = file->close(); !closed)
        return std::unexpected("cannot write " + name + ": " + closed.error().display());
    return {};
}

std::span<const std::byte> as_bytes(const std::string& text) {
    return std::as_bytes(std::span<const char>(text.data(), text.size()));
}

}  // namespace

std::filesystem::path default_ld_path(const std::filesystem::path& lap_path) {
    std::filesystem::path path = lap_path;
    path.replace_extension(".ld");
    return path;
}

std::filesystem::path ldx_path_for(const std::filesystem::path& ld_path) {
    std::filesystem::path path = ld_path;
    path.replace_extension(".ldx");
    return path;
}

CommandResult run_motec(std::span<const std::string> args, CommandIo& io) {
    const auto command = parse_file_command("motec", args, {.output = true}, kHelp, io);
    if (!command) return std::unexpected(command.error());
    if (!*command) return {};  // --help
    const CommandArgs& parsed = (*command)->args;
    const std::string& file = (*command)->file;
    if (parsed.output == "-")
        return std::unexpected(std::string("motec: the log is two files, so -o needs a file name, not -"));
    const auto lap = load_lap(file);
    if (!lap) return std::unexpected(lap.error());

    const std::filesystem::path ld_path =
        parsed.output ? path_from_utf8(*parsed.output) : default_ld_path(lap->path);
    const std::filesystem::path ldx_path = ldx_path_for(ld_path);
    for (const std::filesystem::path& target : {ld_path, ldx_path}) {
        if (same_file(target, lap->path) || same_file(target, lap->metadata_path))
            return std::unexpected("refusing to overwrite the lap's own file " + display_name(target));
    }

    const MotecLapDetails details =
        details_from_metadata(lap->metadata, lap->samples, display_name(lap->path.filename()));
    const LapTimeline timeline = compute_lap_timeline(lap->samples, lap->metadata);
    auto exported = export_lap_to_motec(lap->samples, timeline, details);
    if (!exported) return std::unexpected(file + ": " + exported.error());

    if (auto written = write_file(ld_path, exported->ld); !written) return written;
    if (auto written = write_file(ldx_path, as_bytes(exported->ldx)); !written) return written;

    constexpr std::string_view kLeftOut = "the log has no driver, car, track, lap time or Lap Distance";
    if (lap->metadata_error) {
        io.err << "Warning: " << lap->metadata_error->message << "; " << kLeftOut << "\n";
    } else if (!lap->metadata) {
        io.err << "Warning: no metadata beside the lap (" << display_name(lap->metadata_path.filename())
               << "); " << kLeftOut << "\n";
    } else if (!exported->has_lap_distance) {
        io.err << "Warning: the metadata has no usable track length; the log has no Lap Distance channel\n";
    }
    io.out << "Wrote " << display_name(ld_path) << ": " << exported->channels << " channels, "
           << exported->points << " samples each at " << exported->rate_hz << " Hz\n";
    const std::string lap_time = details.lap_time_s ? format_lap_time(*details.lap_time_s) : std::string();
    io.out << "Wrote " << display_name(ldx_path) << ": lap " << details.lap_number << ", "
           << (lap_time.empty() ? std::string("no lap time") : lap_time) << "\n";
    return {};
}

}  // namespace corvel::motec
