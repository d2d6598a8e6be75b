// Builds the report's data blob with nlohmann/json from the shared lap timeline and the lap
// comparison. Numbers are rounded to what the channel can show (a centimetre, a millisecond,
// a tenth of a percent), which keeps a 100,000-sample lap's page to a few megabytes; the page
// scales nothing itself.
#include "export/report/report_data.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "analysis/corner_metrics.hpp"
#include "analysis/lap_analysis.hpp"
#include "lap_format/lap_metadata.hpp"
#include "presentation/corner_output.hpp"
#include "analysis/lap_timeline.hpp"
#include "lap_format/sample_units.hpp"
#include "presentation/lap_text.hpp"

namespace corvel {
namespace {

using nlohmann::json;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// NaN stays NaN (written as null).
// Divides by a whole number, so the result is the double nearest to k / 10^n and prints short.
double rounded(double value, double step) {
    if (!std::isfinite(value)) return kNaN;
    const double per_unit = std::round(1.0 / step);
    return std::round(value * per_unit) / per_unit;
}

json rounded_array(std::span<const double> values, double step) {
    json out = json::array();
    out.get_ref<json::array_t&>().reserve(values.size());
    for (const double v : values) {
        // Whole numbers as integers: "312" rather than "312.0".
        if (step >= 1.0 && std::isfinite(v) && std::abs(v) < 1e15) {
            out.push_back(static_cast<std::int64_t>(std::round(v)));
        } else {
            out.push_back(rounded(v, step));
        }
    }
    return out;
}

template <typename Field>
std::vector<double> channel(const std::vector<LapSample>& samples, Field field) {
    std::vector<double> out;
    out.reserve(samples.size());
    for (const LapSample& s : samples) {
        out.push_back(static_cast<double>(field(s)));
    }
    return out;
}

struct Channel {
    const char* key;
    double step;
    bool stepped;  // held between samples (gear), not interpolated
    std::vector<double> (*values)(const std::vector<LapSample>&);
};

const Channel kChannels[] = {
    {"speed", 1.0, false,
     [](const auto& s) { return channel(s, [](const LapSample& x) { return x.speed_kmh; }); }},
    {"throttle", 0.1, false,
     [](const auto& s) { return channel(s, [](const LapSample& x) { return units::throttle(x) * 100.0; }); }},
    {"brake", 0.1, false,
     [](const auto& s) { return channel(s, [](const LapSample& x) { return units::brake(x) * 100.0; }); }},
    {"steering", 0.1, false,
     [](const auto& s) { return channel(s, [](const LapSample& x) { return units::steering(x) * 100.0; }); }},
    {"gear", 1.0, true, [](const auto& s) { return channel(s, units::gear_number); }},
    {"rpm", 1.0, false,
     [](const auto& s) { return channel(s, [](const LapSample& x) { return x.engine_rpm; }); }},
    {"latG", 0.1, false, [](const auto& s) { return channel(s, units::lateral_g); }},
    {"lonG", 0.1, false, [](const auto& s) { return channel(s, units::longitudinal_g); }},
};

json optional_text(const std::optional<std::string>& text) {
    return text ? json(*text) : json(nullptr);
}

json metadata_json(const LapFile& file) {
    if (!file.metadata) return nullptr;
    const LapMetadata& m = *file.metadata;
    return {
        {"trackName", m.track_name},
        {"trackId", optional_text(m.track_id)},
        {"trackConfig", optional_text(m.track_config)},
        {"trackLengthM", m.track_length_m > 0.0f ? json(m.track_length_m) : json(nullptr)},
        {"carName", m.car_name},
        {"carClass", optional_text(m.car_class)},
        {"driverName", m.driver_name},
        {"sessionType", m.session_type},
        {"lapNumber", m.lap_number},
        {"lapTimeSeconds", rounded(m.lap_time_seconds, 0.001)},
        {"createdAt", format_created_at(m.created_at)},
        {"startedMidLap", m.started_mid_lap},
        {"startTrackPct", rounded(m.start_track_pct, 0.0001)},
        {"fuelUsedLiters", m.fuel_used_liters ? json(rounded(*m.fuel_used_liters, 0.01)) : json(nullptr)},
    };
}

bool any_flag(const std::vector<LapSample>& samples, std::uint8_t flag) {
    return std::ranges::any_of(samples, [flag](const LapSample& s) { return units::has_flag(s, flag); });
}

json lap_header_json(const ReportLap& lap) {
    const LapFile& file = lap.file;
    return {
        {"file", lap.label},
        {"samples", file.samples.size()},
        {"lapTimeS", lap.lap_time_s.empty()           ? json(nullptr)
                     : lap.timeline.line_anchored ? json(rounded(lap.timeline.line_to_line_s, 0.001))
                                                  : json(rounded(lap.lap_time_s.back(), 0.001))},
        {"lineAnchored", lap.timeline.line_anchored},
        {"line", line_text(lap.timeline)},
        {"lineToLine", line_to_line_text(lap.timeline)},
        {"lineNotes", lap.timeline.notes},
        {"metadata", metadata_json(file)},
        {"metadataProblem", file.metadata_error ? json(file.metadata_error->message)
                            : file.metadata     ? json(nullptr)
                                                : json("no metadata document beside the lap")},
        {"pitLane", any_flag(file.samples, sample_flag::kInPitLane)},
        {"invalidated", any_flag(file.samples, sample_flag::kLapInvalid)},
    };
}

// Every kept point is at least `spacing` further along than the last one; positions that are
// not finite are left out (the page draws the path around them).
json map_json(const ReportLap& lap) {
    json d = json::array(), x = json::array(), z = json::array();
    const auto& samples = lap.file.samples;
    const double length = lap.distance_m.empty() ? 0.0 : lap.distance_m.back() - lap.distance_m.front();
    const double spacing = std::max(0.5, std::isfinite(length) ? length / kMapPoints : 0.0);
    double last_kept = -std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double px = samples[i].pos_x;
        const double pz = samples[i].pos_z;
        if (!std::isfinite(px) || !std::isfinite(pz)) continue;
        const bool last = i + 1 == samples.size();
        if (lap.distance_m[i] - last_kept < spacing && !last) continue;
        last_kept = lap.distance_m[i];
        d.push_back(rounded(lap.distance_m[i], 0.01));
        x.push_back(rounded(px, 0.01));
        z.push_back(rounded(pz, 0.01));
    }
    return {{"d", std::move(d)}, {"x", std::move(x)}, {"z", std::move(z)}};
}

// `values` (given at the rising positions `at`) read at each of `where`: NaN outside `at`'s
// range; between two positions either interpolated or held from the earlier one (a gear is
// never 2.5).
std::vector<double> values_at(std::span<const double> at, std::span<const double> values,
                              std::span<const double> where, bool interpolate) {
    std::vector<double> out;
    out.reserve(where.size());
    for (const double w : where) {
        if (at.empty() || !(w >= at.front() && w <= at.back())) {
            out.push_back(kNaN);
            continue;
        }
        const auto upper = std::upper_bound(at.begin(), at.end(), w);
        const std::size_t j = static_cast<std::size_t>(upper - at.begin());
        if (!interpolate || j == at.size()) {  // held, or w is the last point
            out.push_back(values[j - 1]);
            continue;
        }
        const double a = at[j - 1], b = at[j];
        const double share = b > a ? (w - a) / (b - a) : 0.0;
        out.push_back(values[j - 1] + share * (values[j] - values[j - 1]));
    }
    return out;
}

json channels_json(const ReportLap& lap, const ReportLap* resampled_onto) {
    json out = json::object();
    for (const Channel& c : kChannels) {
        std::vector<double> values = c.values(lap.file.samples);
        if (resampled_onto) {
            values = values_at(lap.distance_m, values, resampled_onto->distance_m, !c.stepped);
        }
        out[c.key] = rounded_array(values, c.step);
    }
    return out;
}

json segments_json(std::span<const Minisector> segments) {
    json out = json::array();
    for (const Minisector& s : segments) {
        out.push_back({
            {"startM", rounded(s.start_m, 0.1)},
            {"endM", rounded(s.end_m, 0.1)},
            {"lapS", rounded(s.lap_s, 0.001)},
            {"referenceS", rounded(s.reference_s, 0.001)},
            {"deltaS", rounded(s.delta_s, 0.001)},
            {"lapMinSpeedKmh", rounded(s.lap_min_speed_kmh, 1.0)},
            {"lapMaxSpeedKmh", rounded(s.lap_max_speed_kmh, 1.0)},
            {"referenceMinSpeedKmh", rounded(s.reference_min_speed_kmh, 1.0)},
            {"referenceMaxSpeedKmh", rounded(s.reference_max_speed_kmh, 1.0)},
            {"worst", s.worst},
        });
    }
    return out;
}

// The reference's lap time where it reaches each of `where`, the way compare reads it; NaN
// beyond the distance the reference covers.
std::vector<double> reference_times_at(const ReportLap& reference, std::span<const double> where) {
    std::vector<double> out;
    out.reserve(where.size());
    const auto& d = reference.distance_m;
    for (const double w : where) {
        const bool covered = !d.empty() && w >= d.front() && w <= d.back();
        out.push_back(covered ? interpolate_at(d, reference.lap_time_s, w) : kNaN);
    }
    return out;
}

std::vector<std::string> metadata_warnings(const LapFile& lap, std::string_view label) {
    if (lap.metadata_error) {
        return {lap.metadata_error->message + "; reporting " + std::string(label) + " without it"};
    }
    if (!lap.metadata) return {std::string(label) + " has no metadata beside it; reporting from the samples"};
    return {};
}

json track_length_json(const LapFile& file) {
    if (file.metadata && file.metadata->track_length_m > 0.0f) return file.metadata->track_length_m;
    return nullptr;
}

}  // namespace

std::vector<double> resample_at(std::span<const double> at, std::span<const double> values,
                                std::span<const double> where) {
    return values_at(at, values, where, /*interpolate=*/true);
}

std::string script_safe_json(std::string_view json_text) {
    std::string out;
    out.reserve(json_text.size() + json_text.size() / 64);
    for (std::size_t i = 0; i < json_text.size(); ++i) {
        const char c = json_text[i];
        if (c == '<') {
            out += "\\u003c";
        } else if (c == '>') {
            out += "\\u003e";
        } else if (c == '&') {
            out += "\\u0026";
        } else if (c == '\xE2' && i + 2 < json_text.size() && json_text[i + 1] == '\x80' &&
                   (json_text[i + 2] == '\xA8' || json_text[i + 2] == '\xA9')) {
            out += json_text[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::string build_report_data(const ReportLap& lap, const ReportComparison* comparison,
                              const nlohmann::ordered_json* corners) {
    json data = {
        {"version", 1},
        {"lap", lap_header_json(lap)},
        {"trackLengthM", track_length_json(lap.file)},
        {"distanceM", rounded_array(lap.distance_m, 0.01)},
        {"lapTimeS", rounded_array(lap.lap_time_s, 0.001)},
        {"channels", channels_json(lap, nullptr)},
        {"map", map_json(lap)},
        {"reference", nullptr},
    };
    if (comparison) {
        const ReportLap& reference = comparison->reference;
        const LapComparison& c = comparison->comparison;
        json ref = lap_header_json(reference);
        ref["channels"] = channels_json(reference, &lap);
        // Beside its lap time, not over it: the header shows that one.
        ref["timeAtDistanceS"] = rounded_array(reference_times_at(reference, lap.distance_m), 0.001);
        data["reference"] = std::move(ref);
        data["deltaConvention"] = kDeltaConvention;
        data["deltaS"] = rounded_array(resample_at(c.distance_m, c.delta_s, lap.distance_m), 0.001);
        data["deltaAtLineS"] = rounded(c.delta_at_end_s, 0.001);
        const double ours = lap.file.metadata ? lap.file.metadata->lap_time_seconds : 0.0;
        const double theirs = reference.file.metadata ? reference.file.metadata->lap_time_seconds : 0.0;
        data["officialDeltaS"] = ours > 0.0 && theirs > 0.0 ? json(rounded(ours - theirs, 0.001)) : json(nullptr);
        data["deltaEndsAtLine"] = c.ends_at_line;
        data["deltaToM"] = rounded(c.to_m, 0.1);
        data["segments"] = segments_json(c.minisectors);
    }
    if (corners) data["corners"] = json(*corners);
    // Invalid UTF-8 cannot reach here from the metadata reader, but a file name can carry it.
    return script_safe_json(data.dump(-1, ' ', false, json::error_handler_t::replace));
}

std::expected<ReportData, std::string> make_report_data(const LapFile& lap, std::string_view label,
                                                        const LapFile* reference,
                                                        std::string_view reference_label, const CornerNames* names) {
    nlohmann::ordered_json corners;
    if (!reference) {
        const LapTimeline timeline = compute_lap_timeline(lap.samples, lap.metadata);
        CornerMap map = find_corner_map(lap.samples, timeline.distance_m, track_length_m(lap.metadata));
        if (names) apply_corner_names(map, *names);
        corners = {{"mapFrom", "lap"}, {"corners", corner_map_json(map, measure_corners(lap.samples, timeline, map))}};
        const ReportLap view{lap, std::string(label), timeline.lap_time_s, timeline.distance_m, timeline};
        return ReportData{build_report_data(view, nullptr, &corners), metadata_warnings(lap, label)};
    }
    auto comparison = compare_laps(lap, *reference);
    if (!comparison) return std::unexpected(comparison.error());
    std::optional<double> length = track_length_m(lap.metadata);
    if (!length) length = track_length_m(reference->metadata);
    CornerComparison table = compare_corners(lap.samples, comparison->lap, reference->samples, comparison->reference,
                                             comparison->from_m, comparison->to_m, length);
    if (names) name_corners(table, *names);
    corners = {{"mapFrom", table.map_from_reference ? "reference" : "lap"},
               {"corners", corners_json(table, *comparison)},
               {"straights", straights_json(table)}};
    std::vector<std::string> warnings = std::move(comparison->warnings);
    warnings.insert(warnings.end(), table.warnings.begin(), table.warnings.end());
    const ReportLap lap_view{lap, std::string(label), comparison->lap.lap_time_s, comparison->lap.distance_m,
                             comparison->lap};
    const ReportLap reference_view{*reference, std::string(reference_label), comparison->reference.lap_time_s,
                                   comparison->reference.distance_m, comparison->reference};
    const ReportComparison view{reference_view, *comparison};
    return ReportData{build_report_data(lap_view, &view, &corners), std::move(warnings)};
}

}  // namespace corvel
