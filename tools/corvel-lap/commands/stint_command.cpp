// `corvel-lap stint`: every lap of a folder by track and car: best, median and ideal lap,
// consistency and the corners to work on, as a table, one JSON document or a stint page.
#include <ostream>

#include "analysis/corner_map.hpp"
#include "analysis/stint_summary.hpp"
#include "commands/command_support.hpp"
#include "export/stint_report/stint_report.hpp"
#include "lap_format/utf8_path.hpp"
#include "presentation/stint_output.hpp"

namespace corvel {
namespace {

std::string stint_help() {
    const std::string share = comparable_share_text();
    return "Usage: corvel-lap stint DIR [--recursive] [--track ID] [--car NAME] [--json]\n"
           "                       [--html [OUT.html]] [--lap-reports]\n"
           "\n"
           "Every lap (.bin) in the folder DIR, grouped by track and car (the names list shows).\n"
           "A lap counts when it began at the line, stayed off the pit lane and was not\n"
           "invalidated; laps slower than " + share + " of the group's best are listed but left out of\n"
           "the figures. Lap times are line to line. For each track and car:\n"
           "  - the laps in the order they were driven: lap time, gap to the best, fuel used,\n"
           "    counted or why not;\n"
           "  - the best lap, and the median of the counted laps (the typical pace);\n"
           "  - the ideal lap: the track cut into the best lap's corners (see corvel-lap corners\n"
           "    --help) and the straights between them, from the line to the line; the best time\n"
           "    of each part over the counted laps, their sum and which lap each came from. It\n"
           "    leans a little low: the best of several measured times picks the luckiest;\n"
           "  - consistency: the sample standard deviation of the lap times (in seconds and % of\n"
           "    the median), and per corner of its time, brake point and minimum speed (a lap\n"
           "    that began mid-lap counts in the corners it covers);\n"
           "  - the corners to work on: the three with the most time between best and median.\n"
           "Files that cannot be read are listed with the reason.\n"
           "\n"
           "Options:\n"
           "  -r, --recursive    also the folders inside DIR (links to folders are not followed)\n"
           "  --track ID         only the tracks whose id or name holds ID (any case): monza\n"
           "  --car NAME         only the cars whose name or id holds NAME (any case)\n"
           "  --json             one JSON document on standard output: {\"groups\": [{\"track\",\n"
           "                     \"car\", \"laps\": [{\"file\", \"lapTimeS\", \"gapS\", \"fuelUsedL\",\n"
           "                     \"included\", \"note\"}], \"bestLap\": {\"file\", \"lapTimeS\"},\n"
           "                     \"medianLapS\", \"idealLapS\", \"idealParts\": [{\"kind\", \"number\",\n"
           "                     \"startM\", \"endM\", \"bestS\", \"fromFile\"}], \"lapTimeStdDevS\",\n"
           "                     \"lapTimeStdDevPct\", \"corners\": [{\"number\", \"name\", \"apexM\",\n"
           "                     \"bestS\", \"medianS\", \"timeStdDevS\", \"brakePointStdDevM\",\n"
           "                     \"minSpeedStdDevKmh\"}], \"workOn\": [corner numbers]}],\n"
           "                     \"unreadable\": [{\"file\", \"error\"}]}; files relative to DIR with\n"
           "                     \"/\", distances on compare's axis, null for anything unknown\n"
           "  --html [OUT.html]  a stint page per track and car instead of the table, by default\n"
           "                     DIR/stint-<track>-<car>.html; OUT.html (a name ending in .html)\n"
           "                     when --track and --car leave one track and car\n"
           "  --lap-reports      with --html: each lap's report against the best lap beside the page\n";
}

struct StintRequest {
    std::string folder;
    StintOptions options;
    bool json = false;
    bool html = false;
    std::optional<std::string> html_output;
    bool lap_reports = false;
};

bool names_html_file(std::string_view arg) {
    if (arg.starts_with("-") || arg.size() < 5) return false;
    std::string tail(arg.substr(arg.size() - 5));
    for (char& c : tail) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return tail == ".html";
}

std::expected<std::optional<StintRequest>, std::string> parse_stint(std::span<const std::string> args,
                                                                    CommandIo& io) {
    StintRequest request;
    std::vector<std::string> folders;
    bool options_done = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_done || arg == "-" || !arg.starts_with("-")) {
            folders.push_back(arg);
        } else if (arg == "--") {
            options_done = true;
        } else if (arg == "-h" || arg == "--help") {
            io.out << stint_help();
            return std::nullopt;
        } else if (arg == "-r" || arg == "--recursive") {
            request.options.recursive = true;
        } else if (arg == "--json") {
            request.json = true;
        } else if (arg == "--lap-reports") {
            request.lap_reports = true;
        } else if (arg == "--html" || arg.starts_with("--html=")) {
            if (request.html) return std::unexpected(std::string("--html given twice"));
            request.html = true;
            if (arg.starts_with("--html=")) {
                request.html_output = arg.substr(7);
                if (request.html_output->empty()) return std::unexpected(std::string("--html= needs a file name"));
            } else if (i + 1 < args.size() && names_html_file(args[i + 1])) {
                request.html_output = args[++i];
            }
        } else {
            const auto eq = arg.find('=');
            const std::string name = arg.substr(0, eq);
            std::optional<std::string>* target = name == "--track" ? &request.options.track
                                                 : name == "--car" ? &request.options.car
                                                                   : nullptr;
            if (!target) return std::unexpected("unknown option " + arg + " (see --help)");
            if (target->has_value()) return std::unexpected(name + " given twice");
            if (eq == std::string::npos && i + 1 >= args.size()) return std::unexpected(name + " needs a value");
            std::string value = eq == std::string::npos ? args[++i] : arg.substr(eq + 1);
            if (value.empty()) return std::unexpected(name + " needs a non-empty value");
            *target = std::move(value);
        }
    }
    if (folders.empty()) return std::unexpected(std::string("missing the folder (DIR)"));
    if (folders.size() > 1) {
        return std::unexpected("one folder expected, got " + std::to_string(folders.size()) + " arguments: " +
                               folders[1] + " is extra");
    }
    if (request.lap_reports && !request.html) return std::unexpected(std::string("--lap-reports goes with --html"));
    if (request.json && request.html) {
        return std::unexpected(std::string("--json and --html: choose one (the page holds what the document does)"));
    }
    request.folder = folders.front();
    return request;
}

CommandResult write_pages(const StintRequest& request, const StintSummary& summary, CommandIo& io) {
    if (summary.groups.empty()) return std::unexpected("no laps in " + request.folder + " to write a stint page for");
    if (request.html_output && summary.groups.size() > 1) {
        return std::unexpected("--html " + *request.html_output + " writes one page, but the folder holds " +
                               std::to_string(summary.groups.size()) +
                               " tracks and cars: choose one with --track and --car, or leave out OUT.html");
    }
    StintPageOptions options;
    options.folder = path_from_utf8(request.folder);
    if (request.html_output) options.output = path_from_utf8(*request.html_output);
    options.lap_reports = request.lap_reports;
    const auto written = write_stint_pages(summary, options);
    if (!written) return std::unexpected(written.error());
    for (const std::filesystem::path& path : *written) io.out << "Wrote " << display_name(path) << "\n";
    return {};
}

}  // namespace

CommandResult run_stint(std::span<const std::string> args, CommandIo& io) {
    const auto request = parse_stint(args, io);
    if (!request) return std::unexpected("stint: " + request.error());
    if (!*request) return {};  // --help
    const StintRequest& r = **request;
    const auto summary = summarize_stint(path_from_utf8(r.folder), r.options);
    if (!summary) return std::unexpected("stint: " + summary.error());

    if (r.html) {
        if (auto pages = write_pages(r, *summary, io); !pages) return std::unexpected("stint: " + pages.error());
        for (const UnreadableLap& u : summary->unreadable) io.err << "Warning: not read: " << u.file << ": " << u.error << "\n";
    } else if (r.json) {
        io.out << stint_json(*summary).dump(2) << "\n";
    } else if (summary->groups.empty() && summary->unreadable.empty()) {
        io.out << "No laps (.bin files)" << (r.options.track || r.options.car ? " of that track and car" : "") << " in "
               << r.folder << "\n";
    } else {
        io.out << stint_text(*summary);
    }
    io.out.flush();
    if (!io.out) return std::unexpected(std::string("cannot write to standard output"));
    return {};
}

}  // namespace corvel
