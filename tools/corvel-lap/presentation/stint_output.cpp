// Texts of the stint summary. The table's columns are right-aligned numbers, so a person can
// scan a column of lap times; names go in the last column, where their length does not matter.
#include "presentation/stint_output.hpp"

#include <cmath>

#include "presentation/corner_output.hpp"
#include "presentation/lap_text.hpp"
#include "presentation/number_text.hpp"

namespace corvel {
namespace {

using Json = nlohmann::ordered_json;

Json text_or_null(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

Json lap_json(const StintLap& lap) {
    return {{"file", lap.file},
            {"lapTimeS", json_number(lap.lap_time_s, 1e6)},
            {"gapS", json_number(lap.gap_s, 1e6)},
            {"fuelUsedL", json_number(lap.fuel_used_l, 1e3)},
            {"included", lap.included},
            {"note", lap.note ? Json(*lap.note) : Json(nullptr)}};
}

Json part_json(const StintGroup& g, const IdealPart& p) {
    return {{"kind", p.kind == IdealPartKind::Corner ? "corner" : "straight"},
            {"number", p.corner_number ? Json(*p.corner_number) : Json(nullptr)},
            {"startM", json_number(p.start_m, 1e3)},
            {"endM", json_number(p.end_m, 1e3)},
            {"bestS", json_number(p.best_s, 1e6)},
            {"fromFile", p.from_lap < g.laps.size() ? Json(g.laps[p.from_lap].file) : Json(nullptr)}};
}

Json corner_json(const StintCorner& c) {
    return {{"number", c.number},
            {"name", c.name ? Json(*c.name) : Json(nullptr)},
            {"apexM", json_number(c.apex_m, 1e3)},
            {"bestS", json_number(c.best_s, 1e6)},
            {"medianS", json_number(c.median_s, 1e6)},
            {"timeStdDevS", json_number(c.time_std_dev_s, 1e6)},
            {"brakePointStdDevM", json_number(c.brake_point_std_dev_m, 1e3)},
            {"minSpeedStdDevKmh", json_number(c.min_speed_std_dev_kmh, 1e3)}};
}

Json group_json(const StintGroup& g) {
    Json laps = Json::array();
    for (const StintLap& lap : g.laps) laps.push_back(lap_json(lap));
    Json best = nullptr;
    if (g.best_lap) best = {{"file", g.laps[*g.best_lap].file}, {"lapTimeS", json_number(g.laps[*g.best_lap].lap_time_s, 1e6)}};
    Json parts = Json::array();
    for (const IdealPart& p : g.ideal_parts) parts.push_back(part_json(g, p));
    Json corners = Json::array();
    for (const StintCorner& c : g.corners) corners.push_back(corner_json(c));
    Json doc;
    doc["track"] = text_or_null(g.track);
    doc["car"] = text_or_null(g.car);
    doc["laps"] = std::move(laps);
    doc["bestLap"] = std::move(best);
    doc["medianLapS"] = json_number(g.median_lap_s, 1e6);
    doc["idealLapS"] = json_number(g.ideal_lap_s, 1e6);
    doc["idealParts"] = std::move(parts);
    doc["lapTimeStdDevS"] = json_number(g.lap_time_std_dev_s, 1e6);
    doc["lapTimeStdDevPct"] = json_number(g.lap_time_std_dev_pct, 1e4);
    doc["corners"] = std::move(corners);
    doc["workOn"] = g.work_on;
    return doc;
}

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) text.insert(0, width - text.size(), ' ');
    return text;
}

std::string signed_text(double value, int decimals) {
    return (value >= 0.0 ? "+" : "") + fixed_text(value, decimals);
}

std::string or_dash(const std::optional<double>& value, int decimals) {
    return value ? fixed_text(*value, decimals) : std::string("-");
}

std::string corner_name(int number, const std::optional<std::string>& name) {
    return "T" + std::to_string(number) + (name ? " " + *name : std::string());
}

std::string laps_table(const StintGroup& g) {
    std::string out = "   #   lap time       gap   fuel l  counted  file\n";
    for (std::size_t i = 0; i < g.laps.size(); ++i) {
        const StintLap& lap = g.laps[i];
        out += padded(std::to_string(i + 1), 4) + padded(lap.lap_time_s ? lap_time_text(*lap.lap_time_s) : "-", 11) +
               padded(lap.gap_s ? signed_text(*lap.gap_s, 3) : "-", 10) + padded(or_dash(lap.fuel_used_l, 2), 9) +
               padded(lap.included ? "yes" : "no", 9) + "  " + lap.file +
               (g.best_lap == i ? "  (best)" : "") + (lap.note ? "  [" + *lap.note + "]" : "") + "\n";
    }
    return out;
}

std::string part_name(const IdealPart& p) {
    return p.kind == IdealPartKind::Corner ? "T" + std::to_string(*p.corner_number) : std::string("straight");
}

std::string ideal_table(const StintGroup& g) {
    std::string out = "  part         from m     to m    best s  from lap\n";
    for (const IdealPart& p : g.ideal_parts) {
        std::string name = part_name(p);
        name.resize(10, ' ');
        out += "  " + name + padded(fixed_text(p.start_m, 0), 9) + padded(fixed_text(p.end_m, 0), 9) +
               padded(fixed_text(p.best_s, 3), 10) + padded(std::to_string(p.from_lap + 1), 10) + "\n";
    }
    return out;
}

std::string corner_table(const StintGroup& g) {
    std::size_t width = 8;
    for (const StintCorner& c : g.corners) width = std::max(width, corner_name(c.number, c.name).size() + 2);
    std::string head = "corner";
    head.resize(width, ' ');
    std::string out = "  " + head + "apex m    best s  median s  sd time s  sd brake m  sd min km/h\n";
    for (const StintCorner& c : g.corners) {
        std::string name = corner_name(c.number, c.name);
        name.resize(width, ' ');
        out += "  " + name + padded(fixed_text(c.apex_m, 0), 6) + padded(or_dash(c.best_s, 3), 10) +
               padded(or_dash(c.median_s, 3), 10) + padded(or_dash(c.time_std_dev_s, 3), 11) +
               padded(or_dash(c.brake_point_std_dev_m, 1), 12) + padded(or_dash(c.min_speed_std_dev_kmh, 1), 13) + "\n";
    }
    return out;
}

std::string work_on_text(const StintGroup& g) {
    std::string out;
    for (const int number : g.work_on) {
        const auto c = std::ranges::find(g.corners, number, &StintCorner::number);
        if (c == g.corners.end() || !c->best_s || !c->median_s) continue;
        out += (out.empty() ? "" : ", ") + corner_name(c->number, c->name) + " (" +
               fixed_text(*c->median_s - *c->best_s, 3) + " s)";
    }
    return out;
}

std::string group_text(const StintGroup& g) {
    std::size_t counted = 0;
    for (const StintLap& lap : g.laps) counted += lap.included ? 1 : 0;
    std::string out = (g.track.empty() ? "Laps without metadata" : g.track + ", " + g.car) + ": " +
                      std::to_string(g.laps.size()) + (g.laps.size() == 1 ? " lap, " : " laps, ") +
                      std::to_string(counted) + " counted\n\n" + laps_table(g) + "\n";
    if (!g.best_lap) {
        out += "No counted lap: a counted lap begins at the line, stays off the pit lane and is not invalidated.\n";
    } else {
        const StintLap& best = g.laps[*g.best_lap];
        out += "Best lap:   " + lap_time_text(*best.lap_time_s) + "  (lap " + std::to_string(*g.best_lap + 1) + ", " +
               best.file + ")\n";
        out += "Median lap: " + lap_time_text(*g.median_lap_s) + "  (" + signed_text(*g.median_lap_s - *best.lap_time_s, 3) +
               " s to the best)\n";
        if (g.ideal_lap_s) {
            out += "Ideal lap:  " + lap_time_text(*g.ideal_lap_s) + "  (" + signed_text(*g.ideal_lap_s - *best.lap_time_s, 3) +
                   " s to the best; the best of each part below)\n";
        }
        out += "Lap-time standard deviation: " +
               (g.lap_time_std_dev_s ? fixed_text(*g.lap_time_std_dev_s, 3) + " s (" +
                                           fixed_text(*g.lap_time_std_dev_pct, 2) + " % of the median)"
                                     : std::string("- (one counted lap)")) +
               "\n\n";
        out += ideal_table(g) + "\n";
        if (!g.corners.empty()) out += corner_table(g) + "\n";
        const std::string work_on = work_on_text(g);
        out += "Work on: " + (work_on.empty() ? std::string("-") : work_on + " between the best and the median") + "\n";
    }
    for (const std::string& warning : g.warnings) out += "Warning: " + warning + "\n";
    return out;
}

}  // namespace

std::string comparable_share_text() { return fixed_text(100.0 * kComparableLapShare, 0) + " %"; }

Json stint_json(const StintSummary& summary) {
    Json groups = Json::array();
    for (const StintGroup& g : summary.groups) groups.push_back(group_json(g));
    Json unreadable = Json::array();
    for (const UnreadableLap& u : summary.unreadable) unreadable.push_back({{"file", u.file}, {"error", u.error}});
    Json doc;
    doc["groups"] = std::move(groups);
    doc["unreadable"] = std::move(unreadable);
    return doc;
}

std::string stint_text(const StintSummary& summary) {
    std::string out;
    for (const StintGroup& g : summary.groups) out += (out.empty() ? "" : "\n") + group_text(g);
    if (!summary.unreadable.empty()) {
        out += (out.empty() ? "" : "\n") + std::string("Not read:\n");
        for (const UnreadableLap& u : summary.unreadable) out += "  " + u.file + ": " + u.error + "\n";
    }
    return out;
}

}  // namespace corvel
