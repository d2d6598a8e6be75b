// `corvel-lap compare`: a lap against a reference lap by distance, as a table or one JSON
// document.
#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>
#include <ostream>

#include "commands/command_support.hpp"
#include "presentation/corner_output.hpp"
#include "analysis/lap_analysis.hpp"
#include "analysis/lap_comparison.hpp"
#include "presentation/lap_text.hpp"
#include "presentation/number_text.hpp"

namespace corvel {
namespace {

using Json = nlohmann::ordered_json;

// Built from the constants the comparison uses, so the help cannot drift from what it does.
std::string compare_help() {
    return "Usage: corvel-lap compare LAP.bin REFERENCE.bin [--segments N] [--by loss|track]\n"
           "                         [--names FILE] [--json]\n"
           "\n"
           "Compares LAP with REFERENCE by distance along the lap, the way race engineers do: both\n"
           "laps' per-sample timelines (time and distance fresh at every sample) are resampled onto\n"
           "one " +
           fixed_text(kComparisonGridStepM, 0) +
           " m distance grid over the distance both laps cover.\n"
           "\n"
           "Delta: " +
           std::string(kDeltaConvention) +
           ".\n"
           "REFERENCE is the second lap named. Both laps stand on LMU's lap distance, with time and\n"
           "distance 0 where each crossed the line; at the end line the delta equals LAP's\n"
           "line-to-line time minus REFERENCE's (the official lap times when the samples agree with\n"
           "them within 0.05 s). Each lap says whether it is line-anchored and where its first sample\n"
           "lies after the line.\n"
           "\n"
           "Prints both laps, the delta at the line, and the common distance cut into N equal\n"
           "minisectors: each lap's time through it, the delta, each lap's lowest and highest speed.\n"
           "The three minisectors where LAP loses most (delta above zero) are marked with *.\n"
           "Then the corners (see corvel-lap corners --help; the reference's map, or LAP's when\n"
           "the reference does not cover the whole lap): each lap's time through each corner, the\n"
           "delta and the differences in brake point, apex speed and full-throttle point, and for\n"
           "each corner that loses more than 20 ms one sentence saying why. The corners' and\n"
           "the straights' deltas add up to the delta at the line.\n"
           "\n"
           "Options:\n"
           "  --segments N   the number of minisectors, 1 to " +
           std::to_string(kMaxMinisectors) + " (default " + std::to_string(kDefaultMinisectors) +
           ").\n"
           "  --by loss|track  the corner table by time lost (default) or in track order.\n"
           "  --names FILE   corner names (see corvel-lap corners --help).\n"
           "  --json         one JSON document on standard output instead of the table: \"lap\" and\n"
           "                 \"reference\" ({\"file\", \"lapTimeS\", \"metadataLapTimeS\", \"samples\",\n"
           "                 \"track\", \"car\", \"lineAnchored\", \"firstSampleAfterLineS\",\n"
           "                 \"firstSampleAfterLineM\"}), \"deltaS\", \"officialDeltaS\", \"trackLengthM\"\n"
           "                 and \"segments\" ({\"startM\",\n"
           "                 \"endM\", \"lapS\", \"referenceS\", \"deltaS\", \"lapMinSpeedKmh\",\n"
           "                 \"lapMaxSpeedKmh\", \"referenceMinSpeedKmh\", \"referenceMaxSpeedKmh\",\n"
           "                 \"worst\"}), \"corners\" (in track order: {\"number\", \"name\",\n"
           "                 \"direction\", \"startM\", \"apexM\", \"endM\", \"lapS\", \"referenceS\",\n"
           "                 \"deltaS\", \"lap\", \"reference\", \"advice\"}, where \"lap\" and \"reference\"\n"
           "                 are {\"brakePointM\", \"peakBrake\", \"entrySpeedKmh\", \"minSpeedKmh\",\n"
           "                 \"minSpeedAtM\", \"throttlePickupM\", \"exitSpeedKmh\", \"coastingM\",\n"
           "                 \"absM\", \"tcM\", \"widthUsed\"}) and \"straights\" ({\"startM\",\n"
           "                 \"endM\", \"lapS\", \"referenceS\", \"deltaS\"}); null for anything\n"
           "                 unknown.\n"
           "\n"
           "Laps of different tracks (track id, name or layout, or track lengths more than 1 % apart)\n"
           "or sharing less than " +
           fixed_text(kMinCommonDistanceM, 0) +
           " m are refused. A lap without metadata is compared by its samples\n"
           "alone, with a warning.\n";
}

struct CompareRequest {
    std::string lap;
    std::string reference;
    std::size_t segments = kDefaultMinisectors;
    bool json = false;
    bool corners_in_track_order = false;
    std::optional<std::string> names;
};

std::expected<std::optional<CompareRequest>, std::string> parse_compare(std::span<const std::string> args,
                                                                        CommandIo& io) {
    auto parsed = parse_command_args(args, {.segments = true, .names = true, .by = true, .json = true});
    if (!parsed) return std::unexpected("compare: " + parsed.error());
    if (parsed->help) {
        io.out << compare_help();
        return std::nullopt;
    }
    if (parsed->positionals.size() != 2) {
        return std::unexpected("compare: two lap files expected (LAP.bin REFERENCE.bin), got " +
                               std::to_string(parsed->positionals.size()));
    }
    CompareRequest request{parsed->positionals[0], parsed->positionals[1], kDefaultMinisectors, parsed->json,
                           parsed->by == "track", parsed->names};
    if (parsed->by && *parsed->by != "track" && *parsed->by != "loss") {
        return std::unexpected("compare: --by must be loss or track, not " + *parsed->by);
    }
    if (parsed->segments) {
        const std::string& text = *parsed->segments;
        std::size_t value = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec != std::errc() || end != text.data() + text.size() || value < 1 || value > kMaxMinisectors) {
            return std::unexpected("compare: --segments must be a whole number from 1 to " +
                                   std::to_string(kMaxMinisectors) + ", not " + text);
        }
        request.segments = value;
    }
    return request;
}

// Times to the microsecond, distances to the millimetre, speeds to 0.1 km/h: plain numbers
// without binary noise; NaN and infinities become null.
Json rounded(double value, double per_unit) {
    if (!std::isfinite(value)) return nullptr;
    return std::round(value * per_unit) / per_unit;
}

Json text_or_null(const std::optional<LapMetadata>& m, const std::string LapMetadata::*member) {
    if (!m || (*m).*member == "") return nullptr;
    return (*m).*member;
}

// The metadata's lap time when it states one: a zero or negative time means none was recorded.
std::optional<double> recorded_lap_time(const LapFile& lap) {
    if (!lap.metadata) return std::nullopt;
    const double seconds = lap.metadata->lap_time_seconds;
    if (!std::isfinite(seconds) || seconds <= 0.0) return std::nullopt;
    return seconds;
}

Json lap_json(const std::string& file, const LapFile& lap, double lap_time_s, const LapTimeline& timeline) {
    Json j;
    j["file"] = file;
    j["lapTimeS"] = rounded(lap_time_s, 1e6);
    const std::optional<double> recorded = recorded_lap_time(lap);
    j["metadataLapTimeS"] = recorded ? rounded(*recorded, 1e6) : Json(nullptr);
    j["samples"] = lap.samples.size();
    j["track"] = text_or_null(lap.metadata, &LapMetadata::track_name);
    j["car"] = text_or_null(lap.metadata, &LapMetadata::car_name);
    const bool anchored = timeline.line_anchored && !timeline.lap_time_s.empty();
    j["lineAnchored"] = anchored;
    j["firstSampleAfterLineS"] = anchored ? rounded(timeline.lap_time_s.front(), 1e6) : Json(nullptr);
    j["firstSampleAfterLineM"] = anchored ? rounded(timeline.distance_m.front(), 1e3) : Json(nullptr);
    return j;
}

// The difference of the metadata's lap times, when both state one.
std::optional<double> official_delta(const LapFile& lap, const LapFile& reference) {
    const std::optional<double> a = recorded_lap_time(lap);
    const std::optional<double> b = recorded_lap_time(reference);
    if (!a || !b) return std::nullopt;
    return *a - *b;
}

std::optional<double> common_track_length(const LapFile& lap, const LapFile& reference) {
    if (auto length = track_length_m(lap.metadata)) return length;
    return track_length_m(reference.metadata);
}

std::string comparison_json(const CompareRequest& request, const LapFile& lap, const LapFile& reference,
                            const LapComparison& c, const CornerComparison& corners) {
    Json doc;
    doc["lap"] = lap_json(request.lap, lap, c.lap_time_s, c.lap);
    doc["reference"] = lap_json(request.reference, reference, c.reference_time_s, c.reference);
    doc["deltaS"] = rounded(c.delta_at_end_s, 1e6);
    const std::optional<double> official = official_delta(lap, reference);
    doc["officialDeltaS"] = official ? rounded(*official, 1e6) : Json(nullptr);
    const std::optional<double> length = common_track_length(lap, reference);
    doc["trackLengthM"] = length ? rounded(*length, 1e3) : Json(nullptr);
    Json segments = Json::array();
    for (const Minisector& m : c.minisectors) {
        segments.push_back({{"startM", rounded(m.start_m, 1e3)},
                            {"endM", rounded(m.end_m, 1e3)},
                            {"lapS", rounded(m.lap_s, 1e6)},
                            {"referenceS", rounded(m.reference_s, 1e6)},
                            {"deltaS", rounded(m.delta_s, 1e6)},
                            {"lapMinSpeedKmh", rounded(m.lap_min_speed_kmh, 10.0)},
                            {"lapMaxSpeedKmh", rounded(m.lap_max_speed_kmh, 10.0)},
                            {"referenceMinSpeedKmh", rounded(m.reference_min_speed_kmh, 10.0)},
                            {"referenceMaxSpeedKmh", rounded(m.reference_max_speed_kmh, 10.0)},
                            {"worst", m.worst}});
    }
    doc["segments"] = std::move(segments);
    doc["corners"] = corners_json(corners, c);
    doc["straights"] = straights_json(corners);
    return doc.dump(2) + "\n";
}

std::string signed_text(double value, int decimals) {
    return (value >= 0.0 ? "+" : "") + fixed_text(value, decimals);
}

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) text.insert(0, width - text.size(), ' ');
    return text;
}

std::string lap_line(std::string_view role, const std::string& file, const LapFile& lap, double lap_time_s,
                     const LapTimeline& timeline) {
    std::string line = std::string(role) + file + "\n           " + lap_time_text(lap_time_s) +
                       (timeline.line_anchored ? " line to line" : "") + " from " +
                       std::to_string(lap.samples.size()) + " samples";
    if (const std::optional<double> recorded = recorded_lap_time(lap)) {
        line += " (metadata lap time " + lap_time_text(*recorded) + ")";
    }
    if (lap.metadata) {
        line += ", " + track_text(*lap.metadata) + ", " + car_text(*lap.metadata);
    }
    line += "\n           " + line_text(timeline);
    for (std::size_t k = timeline.line_anchored ? 0 : 1; k < timeline.notes.size(); ++k) {
        line += "\n           " + timeline.notes[k];
    }
    return line + "\n";
}

std::string comparison_table(const CompareRequest& request, const LapFile& lap, const LapFile& reference,
                             const LapComparison& c, const CornerComparison& corners) {
    std::string out = lap_line("Lap:       ", request.lap, lap, c.lap_time_s, c.lap);
    out += lap_line("Reference: ", request.reference, reference, c.reference_time_s, c.reference);
    const std::string where = c.ends_at_line ? "the line" : fixed_text(c.to_m, 1) + " m";
    out += "Delta at " + where + ": " + signed_text(c.delta_at_end_s, 3) + " s";
    if (const std::optional<double> official = official_delta(lap, reference)) {
        out += " (official difference " + signed_text(*official, 3) + " s)";
    }
    out += "\n";
    out += "Delta: " + std::string(kDeltaConvention) + ".\n";
    out += "Compared over " + fixed_text(c.from_m, 1) + " to " + fixed_text(c.to_m, 1) + " m on a " +
           fixed_text(kComparisonGridStepM, 0) + " m grid, " + std::to_string(c.minisectors.size()) +
           " minisectors:\n\n";
    out += "  #    from m      to m     lap s     ref s   delta s   lap km/h   ref km/h\n";
    for (std::size_t k = 0; k < c.minisectors.size(); ++k) {
        const Minisector& m = c.minisectors[k];
        const auto speeds = [](double low, double high) {
            return fixed_text(low, 0) + "-" + fixed_text(high, 0);
        };
        out += padded(std::to_string(k + 1), 3) + padded(fixed_text(m.start_m, 1), 10) +
               padded(fixed_text(m.end_m, 1), 10) + padded(fixed_text(m.lap_s, 3), 10) +
               padded(fixed_text(m.reference_s, 3), 10) + padded(signed_text(m.delta_s, 3), 10) +
               padded(speeds(m.lap_min_speed_kmh, m.lap_max_speed_kmh), 11) +
               padded(speeds(m.reference_min_speed_kmh, m.reference_max_speed_kmh), 11) +
               (m.worst ? "  *" : "") + "\n";
    }
    out += "\n* where the lap loses most\n";
    out += corner_table_text(corners, c, request.corners_in_track_order);
    return out;
}

}  // namespace

CommandResult run_compare(std::span<const std::string> args, CommandIo& io) {
    const auto request = parse_compare(args, io);
    if (!request) return std::unexpected(request.error());
    if (!*request) return {};  // --help
    const auto lap = load_lap((*request)->lap);
    if (!lap) return std::unexpected(lap.error());
    const auto reference = load_lap((*request)->reference);
    if (!reference) return std::unexpected(reference.error());
    const auto names = load_corner_names((*request)->names);
    if (!names) return std::unexpected("compare: " + names.error());
    const auto comparison = compare_laps(*lap, *reference, (*request)->segments);
    if (!comparison) return std::unexpected(comparison.error());
    CornerComparison corners =
        compare_corners(lap->samples, comparison->lap, reference->samples, comparison->reference, comparison->from_m,
                        comparison->to_m, common_track_length(*lap, *reference));
    if (*names) name_corners(corners, **names);
    for (const std::string& warning : comparison->warnings) {
        io.err << "Warning: " << warning << "\n";
    }
    for (const std::string& warning : corners.warnings) {
        io.err << "Warning: " << warning << "\n";
    }
    io.out << ((*request)->json ? comparison_json(**request, *lap, *reference, *comparison, corners)
                                : comparison_table(**request, *lap, *reference, *comparison, corners));
    io.out.flush();
    if (!io.out) return std::unexpected(std::string("cannot write to standard output"));
    return {};
}

}  // namespace corvel
