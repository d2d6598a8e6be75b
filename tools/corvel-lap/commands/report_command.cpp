// `corvel-lap report`: loads the lap (and the reference), builds the page's data from the
// shared per-sample timeline and `compare`'s comparison, and writes the page beside the lap.
#include "commands/report_command.hpp"

#include <optional>
#include <ostream>

#include "commands/command_support.hpp"
#include "lap_format/utf8_path.hpp"
#include "export/report/report_data.hpp"
#include "export/report/report_page.hpp"

namespace corvel {
namespace {

constexpr std::string_view kReportUsage =
    "Usage: corvel-lap report FILE.bin [--compare REFERENCE.bin] [--names FILE] [-o OUT.html]\n"
    "\n"
    "Writes one self-contained HTML page (open it in any current browser; it needs no network)\n"
    "to explore the lap: its metadata, the track map coloured by speed, and stacked panels\n"
    "against lap distance: speed, throttle and brake, steering, gear, RPM, lateral and\n"
    "longitudinal g. One cursor is shared by every panel and the map: hover a trace to see the\n"
    "car on the map and every channel's value there; drag to zoom on a stretch, double-click\n"
    "to zoom out again.\n"
    "\n"
    "With --compare, the reference lap is drawn on the same distance axis, the map is coloured\n"
    "by where this lap gains or loses time, and a delta panel and the minisector table of\n"
    "`corvel-lap compare` are added (the same comparison, on its 2 m grid), with its corner\n"
    "table and sentences. The corners (see corvel-lap corners --help) are labelled on the map\n"
    "and along every panel; click a corner in the table to zoom every panel to it. The delta is\n";

constexpr std::string_view kReportOptions =
    "\n"
    "Options:\n"
    "  -o, --output OUT.html     where to write; \"-\" writes to standard output.\n"
    "                            Default: FILE.html beside FILE.bin (same stem).\n"
    "  --compare REFERENCE.bin   the lap to compare against (same track).\n"
    "  --names FILE              corner names (see corvel-lap corners --help).\n";

// The delta is worded by the comparison itself, so every help text and the page say the same.
std::string report_help() {
    return std::string(kReportUsage) + std::string(kDeltaConvention) + ".\n" + std::string(kReportOptions);
}

std::string report_title(const LapFile& lap, bool comparing) {
    std::string title = "corvel lap report";
    if (lap.metadata) {
        title = lap.metadata->track_name + " \u00b7 " + lap.metadata->car_name + " \u00b7 lap " +
                std::to_string(lap.metadata->lap_number);
    }
    return comparing ? title + " vs reference" : title;
}

// -o must not name the reference lap or its metadata either (the lap's own are checked on
// writing).
CommandResult check_output_spares(const CommandArgs& args, const LapFile& reference) {
    if (!args.output || *args.output == "-") return {};
    const std::filesystem::path target = path_from_utf8(*args.output);
    std::error_code ec;
    for (const auto& own : {reference.path, reference.metadata_path}) {
        if (std::filesystem::equivalent(target, own, ec) ||
            std::filesystem::absolute(target, ec).lexically_normal() ==
                std::filesystem::absolute(own, ec).lexically_normal()) {
            return std::unexpected("refusing to overwrite the reference's own file " + display_name(own));
        }
    }
    return {};
}

}  // namespace

CommandResult run_report(std::span<const std::string> args, CommandIo& io) {
    const auto command =
        parse_file_command("report", args, {.output = true, .compare = true, .names = true}, report_help(), io);
    if (!command) return std::unexpected(command.error());
    if (!*command) return {};  // --help
    const CommandArgs& parsed = (*command)->args;
    const std::string& file = (*command)->file;

    const auto names = load_corner_names(parsed.names);
    if (!names) return std::unexpected("report: " + names.error());
    const auto lap = load_lap(file);
    if (!lap) return std::unexpected(lap.error());
    std::optional<LapFile> reference;
    if (parsed.compare) {
        auto loaded = load_lap(*parsed.compare);
        if (!loaded) return std::unexpected(loaded.error());
        if (const auto spared = check_output_spares(parsed, *loaded); !spared) return spared;
        reference = std::move(*loaded);
    }
    const auto data = make_report_data(*lap, file, reference ? &*reference : nullptr,
                                       parsed.compare.value_or(std::string()), *names ? &**names : nullptr);
    if (!data) return std::unexpected(data.error());
    for (const std::string& warning : data->warnings) {
        io.err << "Warning: " << warning << "\n";
    }
    const std::string page = render_report_page(report_title(*lap, parsed.compare.has_value()), data->json);
    return write_command_output(parsed, *lap, ".html", page, io);
}

}  // namespace corvel
