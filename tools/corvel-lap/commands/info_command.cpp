// `corvel-lap info`: what a lap holds, from its metadata and its samples.
#include <cmath>
#include <ostream>

#include "commands/command_support.hpp"
#include "analysis/lap_analysis.hpp"
#include "analysis/lap_timeline.hpp"
#include "presentation/lap_text.hpp"
#include "presentation/number_text.hpp"

namespace corvel {
namespace {

constexpr std::string_view kInfoHelp =
    "Usage: corvel-lap info FILE.bin\n"
    "\n"
    "Shows what a captured lap holds: track, layout, car, class, driver, session, lap number\n"
    "and time (from the metadata document FILE.json beside it, when present), the number of\n"
    "samples, the recorded duration and mean sample rate, the speed range, the fuel used, and\n"
    "how much of the lap was in the pit lane, invalidated or under a yellow flag, and where the\n"
    "lap stands against LMU's line: its line-to-line time and where its first sample lies.\n";

void line(std::ostream& out, std::string_view label, const std::string& value) {
    out << label;
    for (std::size_t i = label.size(); i < 14; ++i) {
        out << ' ';
    }
    out << value << "\n";
}

std::string optional_text(const std::optional<std::string>& text) {
    return text ? *text : "-";
}

std::string litres(double value) {
    return std::isfinite(value) ? fixed_text(value, 2) + " l" : "unknown";
}

std::string flag_text(const FlagShare& share) {
    if (share.samples == 0) {
        return "none";
    }
    return std::to_string(share.samples) + " samples, " + fixed_text(share.seconds, 2) + " s (" +
           fixed_text(share.share * 100.0, 1) + " % of the samples)";
}

void print_metadata(std::ostream& out, const LapMetadata& m) {
    std::string track = track_text(m);
    if (const auto length = track_length_m(m); length) {
        track += ", " + fixed_text(*length, 0) + " m";
    }
    if (m.track_id) {
        track += "  [id " + *m.track_id + "]";
    }
    line(out, "Track", track);
    line(out, "Layout", optional_text(m.track_config));
    line(out, "Car", m.car_name.empty() ? "unknown" : m.car_name);
    line(out, "Class", optional_text(m.car_class));
    line(out, "Driver", m.driver_name.empty() ? "unknown" : m.driver_name);
    line(out, "Session", m.session_type + (m.session_id ? "  [id " + *m.session_id + "]" : ""));
    line(out, "Lap", std::to_string(m.lap_number) + ", time " + lap_time_text(m.lap_time_seconds));
    line(out, "Recording",
         std::string(m.started_mid_lap ? "began mid-lap" : "began at the line") + ", at lap fraction " +
             fixed_text(m.start_track_pct, 4) + "; " + std::to_string(m.incident_delta) + " incidents");
}

}  // namespace

CommandResult run_info(std::span<const std::string> args, CommandIo& io) {
    const auto command = parse_file_command("info", args, {}, kInfoHelp, io);
    if (!command) return std::unexpected(command.error());
    if (!*command) return {};  // --help
    const std::string& file = (*command)->file;
    const auto lap = load_lap(file);
    if (!lap) {
        return std::unexpected(lap.error());
    }
    std::ostream& out = io.out;
    line(out, "File", display_name(lap->path.filename()));
    if (lap->metadata) {
        print_metadata(out, *lap->metadata);
    } else if (lap->metadata_error) {
        line(out, "Metadata", "unreadable: " + lap->metadata_error->message);
        io.err << "Warning: " << lap->metadata_error->message << "\n";
    } else {
        line(out, "Metadata",
             "none (no " + display_name(lap->metadata_path.filename()) + " beside the file)");
    }

    const LapSummary summary = summarize_lap(lap->samples);
    line(out, "Samples", std::to_string(summary.sample_count));
    std::string recorded = fixed_text(summary.duration_s, 3) + " s";
    if (summary.mean_rate_hz) {
        recorded += ", mean rate " + fixed_text(*summary.mean_rate_hz, 2) + " Hz";
    }
    line(out, "Recorded", recorded);
    const LapTimeline timeline = compute_lap_timeline(lap->samples, lap->metadata);
    line(out, "Line", line_text(timeline));
    line(out, "Line to line", line_to_line_text(timeline));
    for (std::size_t k = timeline.line_anchored ? 0 : 1; k < timeline.notes.size(); ++k) line(out, "", timeline.notes[k]);
    for (const std::string& warning : timeline.warnings) io.err << "Warning: " << warning << "\n";
    if (summary.min_speed_kmh && summary.max_speed_kmh) {
        line(
            out, "Speed",
            fixed_text(*summary.min_speed_kmh, 0) + " to " + fixed_text(*summary.max_speed_kmh, 0) + " km/h");
    }
    std::string fuel;
    if (lap->metadata) {
        const auto& used = lap->metadata->fuel_used_liters;
        fuel = (used ? litres(*used) : "unknown") + " (metadata)";
    }
    if (summary.fuel_start_l && summary.fuel_end_l) {
        fuel += std::string(fuel.empty() ? "" : "; ") + litres(*summary.fuel_start_l - *summary.fuel_end_l) +
                " by the samples, " + fixed_text(*summary.fuel_start_l, 1) + " to " +
                fixed_text(*summary.fuel_end_l, 1) + " l";
    }
    line(out, "Fuel used", fuel.empty() ? "unknown" : fuel);
    line(out, "Pit lane", flag_text(summary.pit_lane));
    line(out, "Invalidated", flag_text(summary.invalid));
    line(out, "Yellow flag", flag_text(summary.yellow));
    return {};
}

}  // namespace corvel
