// `corvel-lap corners`: the corner map of one lap, as a table or one JSON document.
#include <algorithm>
#include <numbers>
#include <ostream>

#include "analysis/corner_map.hpp"
#include "analysis/corner_metrics.hpp"
#include "analysis/lap_analysis.hpp"
#include "analysis/lap_timeline.hpp"
#include "commands/command_support.hpp"
#include "presentation/corner_output.hpp"
#include "presentation/corner_text.hpp"
#include "presentation/number_text.hpp"

namespace corvel {
namespace {

using Json = nlohmann::ordered_json;

std::string corners_help() {
    return "Usage: corvel-lap corners LAP.bin [--json] [--names FILE]\n"
           "\n"
           "The corners of the lap's track, found from the curvature of its path on the distance\n"
           "axis compare uses: a corner begins where the curvature (smoothed over " +
           fixed_text(2.0 * kCurvatureWindowM, 0) + " m) rises above\n1/" +
           fixed_text(1.0 / kCornerEntryCurvature, 0) + " per metre (a " + fixed_text(1.0 / kCornerEntryCurvature, 0) +
           " m radius) and lasts while it stays above 1/" + fixed_text(1.0 / kCornerExitCurvature, 0) +
           " per metre;\na change of direction splits an S-bend, "
           "same-direction parts less than " +
           fixed_text(kCornerMergeGapM, 0) +
           " m apart\nare one corner, bends that turn the car by less than " +
           fixed_text(kMinCornerTurnRad * 180.0 / std::numbers::pi, 0) + " degrees are left out.\n"
           "The apex is the point of highest curvature. Corners are numbered from the line, T1 first.\n"
           "\n"
           "Options:\n"
           "  --json        one JSON document: {\"file\", \"trackLengthM\", \"corners\": [{\"number\",\n"
           "                \"name\", \"direction\", \"startM\", \"apexM\", \"endM\", \"minSpeedKmh\",\n"
           "                \"minSpeedAtM\"}]}\n"
           "  --names FILE  a JSON object naming corners by number or apex distance, e.g.\n"
           "                {\"1\": \"La Source\", \"@402\": \"La Source\"} (an apex within " +
           fixed_text(kCornerNameMatchM, 0) +
           " m);\n"
           "                compare and report take it too.\n";
}

}  // namespace

CommandResult run_corners(std::span<const std::string> args, CommandIo& io) {
    auto command = parse_file_command("corners", args, {.names = true, .json = true}, corners_help(), io);
    if (!command) return std::unexpected(command.error());
    if (!*command) return {};
    const auto names = load_corner_names((*command)->args.names);
    if (!names) return std::unexpected("corners: " + names.error());
    const auto lap = load_lap((*command)->file);
    if (!lap) return std::unexpected(lap.error());

    const LapTimeline timeline = compute_lap_timeline(lap->samples, lap->metadata);
    const std::optional<double> length = track_length_m(lap->metadata);
    CornerMap map = find_corner_map(lap->samples, timeline.distance_m, length);
    if (*names) apply_corner_names(map, **names);
    const auto metrics = measure_corners(lap->samples, timeline, map);

    std::string out;
    if ((*command)->args.json) {
        Json doc;
        doc["file"] = (*command)->file;
        doc["trackLengthM"] = json_number(length, 1e3);
        doc["corners"] = corner_map_json(map, metrics);
        out = doc.dump(2) + "\n";
    } else {
        out = (*command)->file + ": " + std::to_string(map.corners.size()) + " corners\n\n";
        std::size_t label_width = 14;  // the label column fits the longest name
        for (const TrackCorner& c : map.corners) label_width = std::max(label_width, corner_label(c).size() + 2);
        out += "  " + std::string("corner") + std::string(label_width - 6, ' ') +
               "direction   start m    apex m     end m   min km/h   at m\n";
        for (std::size_t i = 0; i < map.corners.size(); ++i) {
            const TrackCorner& c = map.corners[i];
            std::string label = corner_label(c);
            label.resize(label_width, ' ');
            const auto pad = [](std::string text, std::size_t width) {
                if (text.size() < width) text.insert(0, width - text.size(), ' ');
                return text;
            };
            out += "  " + label + pad(std::string(direction_text(c.direction)), 9) + pad(fixed_text(c.start_m, 0), 10) +
                   pad(fixed_text(c.apex_m, 0), 10) + pad(fixed_text(c.end_m, 0), 10) +
                   (metrics[i] ? pad(fixed_text(metrics[i]->min_speed_kmh, 0), 11) +
                                     pad(fixed_text(metrics[i]->min_speed_at_m, 0), 7)
                               : std::string("          -      -")) +
                   "\n";
        }
    }
    io.out << out;
    io.out.flush();
    if (!io.out) return std::unexpected(std::string("cannot write to standard output"));
    return {};
}

}  // namespace corvel
