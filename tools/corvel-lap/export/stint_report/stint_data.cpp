// Builds the stint page's blob with nlohmann/json. Absent figures are null; numbers that are
// not finite are written as null by the library. The best lap's path is rounded to a
// centimetre, which keeps the page small and the map exact to the eye.
#include "export/stint_report/stint_data.hpp"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "export/report/report_data.hpp"

namespace corvel {
namespace {

using nlohmann::ordered_json;

template <typename T>
ordered_json or_null(const std::optional<T>& value) {
    return value ? ordered_json(*value) : ordered_json(nullptr);
}

double centimetres(double value) {
    return std::round(value * 100.0) / 100.0;
}

// The lap's name as the page shows it: its file name without folders and extension.
std::string lap_label(const std::string& file) {
    const std::size_t slash = file.find_last_of('/');
    std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

ordered_json laps_json(const StintGroup& group, const std::vector<StintLapReport>& reports) {
    ordered_json laps = ordered_json::array();
    for (std::size_t i = 0; i < group.laps.size(); ++i) {
        const StintLap& lap = group.laps[i];
        const StintLapReport* report = i < reports.size() ? &reports[i] : nullptr;
        laps.push_back({{"file", lap.file},
                        {"label", lap_label(lap.file)},
                        {"createdAt", lap.created_at},
                        {"lapTimeS", or_null(lap.lap_time_s)},
                        {"gapS", or_null(lap.gap_s)},
                        {"fuelUsedL", or_null(lap.fuel_used_l)},
                        {"included", lap.included},
                        {"note", or_null(lap.note)},
                        {"report", report ? or_null(report->file) : ordered_json(nullptr)},
                        {"reportError", report ? or_null(report->error) : ordered_json(nullptr)}});
    }
    return laps;
}

ordered_json ideal_parts_json(const StintGroup& group) {
    ordered_json parts = ordered_json::array();
    for (const IdealPart& part : group.ideal_parts) {
        parts.push_back({{"kind", part.kind == IdealPartKind::Corner ? "corner" : "straight"},
                         {"number", or_null(part.corner_number)},
                         {"startM", part.start_m},
                         {"endM", part.end_m},
                         {"bestS", part.best_s},
                         {"fromLap", part.from_lap < group.laps.size() ? ordered_json(part.from_lap)
                                                                        : ordered_json(nullptr)}});
    }
    return parts;
}

// The consistency figures of each corner with its stretch and direction from the best lap's map.
ordered_json corners_json(const StintGroup& group) {
    ordered_json corners = ordered_json::array();
    for (const StintCorner& corner : group.corners) {
        const auto on_map = std::find_if(group.map.corners.begin(), group.map.corners.end(),
                                         [&](const TrackCorner& c) { return c.number == corner.number; });
        const auto work_on = std::find(group.work_on.begin(), group.work_on.end(), corner.number);
        ordered_json entry = {{"number", corner.number},
                              {"name", or_null(corner.name)},
                              {"apexM", corner.apex_m},
                              {"startM", on_map != group.map.corners.end() ? ordered_json(on_map->start_m) : nullptr},
                              {"endM", on_map != group.map.corners.end() ? ordered_json(on_map->end_m) : nullptr},
                              {"direction", on_map != group.map.corners.end()
                                                ? ordered_json(direction_text(on_map->direction))
                                                : ordered_json(nullptr)},
                              {"bestS", or_null(corner.best_s)},
                              {"medianS", or_null(corner.median_s)},
                              {"timeStdDevS", or_null(corner.time_std_dev_s)},
                              {"brakePointStdDevM", or_null(corner.brake_point_std_dev_m)},
                              {"minSpeedStdDevKmh", or_null(corner.min_speed_std_dev_kmh)},
                              // 1 for the corner to work on first; null for the others.
                              {"workOnRank", work_on != group.work_on.end()
                                                 ? ordered_json(work_on - group.work_on.begin() + 1)
                                                 : ordered_json(nullptr)}};
        corners.push_back(std::move(entry));
    }
    return corners;
}

ordered_json path_json(const std::vector<StintPathPoint>& path) {
    ordered_json d = ordered_json::array(), x = ordered_json::array(), z = ordered_json::array();
    for (const StintPathPoint& p : path) {
        if (!std::isfinite(p.distance_m) || !std::isfinite(p.x) || !std::isfinite(p.z)) continue;
        d.push_back(centimetres(p.distance_m));
        x.push_back(centimetres(p.x));
        z.push_back(centimetres(p.z));
    }
    return {{"d", std::move(d)}, {"x", std::move(x)}, {"z", std::move(z)}};
}

}  // namespace

std::string build_stint_data(const StintGroup& group, const std::vector<StintLapReport>& reports) {
    std::optional<double> best_s;
    if (group.best_lap && *group.best_lap < group.laps.size()) best_s = group.laps[*group.best_lap].lap_time_s;
    std::optional<double> ideal_gap_s;
    if (best_s && group.ideal_lap_s) ideal_gap_s = *best_s - *group.ideal_lap_s;
    const ordered_json data = {
        {"track", group.track},
        {"car", group.car},
        {"trackLengthM", group.track_length_m > 0.0 ? ordered_json(group.track_length_m) : nullptr},
        {"laps", laps_json(group, reports)},
        {"reportsAsked", !reports.empty()},
        {"bestLap", group.best_lap && *group.best_lap < group.laps.size() ? ordered_json(*group.best_lap)
                                                                          : ordered_json(nullptr)},
        {"bestLapS", or_null(best_s)},
        {"medianLapS", or_null(group.median_lap_s)},
        {"idealLapS", or_null(group.ideal_lap_s)},
        {"idealGapS", or_null(ideal_gap_s)},
        {"lapTimeStdDevS", or_null(group.lap_time_std_dev_s)},
        {"lapTimeStdDevPct", or_null(group.lap_time_std_dev_pct)},
        {"idealParts", ideal_parts_json(group)},
        {"corners", corners_json(group)},
        {"workOn", group.work_on},
        {"path", path_json(group.best_lap_path)},
        {"warnings", group.warnings},
    };
    return script_safe_json(data.dump(-1, ' ', false, ordered_json::error_handler_t::replace));
}

}  // namespace corvel
