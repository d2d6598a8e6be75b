#include "presentation/corner_output.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "presentation/corner_text.hpp"
#include "presentation/number_text.hpp"

namespace corvel {
namespace {

using Json = nlohmann::ordered_json;

Json metrics_json(const CornerLapMetrics& m) {
    return {{"brakePointM", json_number(m.brake_point_m, 1e3)},
            {"peakBrake", json_number(m.peak_brake, 1e3)},
            {"entrySpeedKmh", json_number(m.entry_speed_kmh, 10.0)},
            {"minSpeedKmh", json_number(m.min_speed_kmh, 10.0)},
            {"minSpeedAtM", json_number(m.min_speed_at_m, 1e3)},
            {"throttlePickupM", json_number(m.throttle_pickup_m, 1e3)},
            {"exitSpeedKmh", json_number(m.exit_speed_kmh, 10.0)},
            {"coastingM", json_number(m.coasting_m, 1e3)},
            {"absM", json_number(m.abs_m, 1e3)},
            {"tcM", json_number(m.tc_m, 1e3)},
            {"widthUsed", json_number(m.width_used, 1e3)}};
}

std::string signed_text(double value, int decimals) {
    return (value >= 0.0 ? "+" : "") + fixed_text(value, decimals);
}

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) text.insert(0, width - text.size(), ' ');
    return text;
}

}  // namespace

void name_corners(CornerComparison& table, const CornerNames& names) {
    apply_corner_names(table.map, names);
    for (CornerDelta& d : table.corners) {
        const auto same = std::ranges::find(table.map.corners, d.corner.number, &TrackCorner::number);
        if (same != table.map.corners.end()) d.corner.name = same->name;
    }
}

Json json_number(std::optional<double> value, double per_unit) {
    if (!value || !std::isfinite(*value)) return nullptr;
    return std::round(*value * per_unit) / per_unit;
}

Json corner_json(const TrackCorner& c) {
    return {{"number", c.number},
            {"name", c.name ? Json(*c.name) : Json(nullptr)},
            {"direction", std::string(direction_text(c.direction))},
            {"startM", json_number(c.start_m, 1e3)},
            {"apexM", json_number(c.apex_m, 1e3)},
            {"endM", json_number(c.end_m, 1e3)}};
}

Json corner_map_json(const CornerMap& map, const std::vector<std::optional<CornerLapMetrics>>& metrics) {
    Json corners = Json::array();
    for (std::size_t i = 0; i < map.corners.size(); ++i) {
        const auto& m = i < metrics.size() ? metrics[i] : std::nullopt;
        Json c = corner_json(map.corners[i]);
        c["minSpeedKmh"] = json_number(m ? std::optional(m->min_speed_kmh) : std::nullopt, 10.0);
        c["minSpeedAtM"] = json_number(m ? std::optional(m->min_speed_at_m) : std::nullopt, 1e3);
        corners.push_back(std::move(c));
    }
    return corners;
}

std::optional<std::string> corner_advice_of(const CornerDelta& corner, const LapComparison& comparison) {
    return corner_advice(corner, corner_thirds(corner, comparison.lap, comparison.reference));
}

Json corners_json(const CornerComparison& table, const LapComparison& comparison) {
    Json out = Json::array();
    for (const CornerDelta& d : table.corners) {
        Json j = corner_json(d.corner);
        j["lapS"] = json_number(d.lap_s, 1e6);
        j["referenceS"] = json_number(d.reference_s, 1e6);
        j["deltaS"] = json_number(d.delta_s, 1e6);
        j["lap"] = metrics_json(d.lap);
        j["reference"] = metrics_json(d.reference);
        const auto advice = corner_advice_of(d, comparison);
        j["advice"] = advice ? Json(*advice) : Json(nullptr);
        out.push_back(std::move(j));
    }
    return out;
}

Json straights_json(const CornerComparison& table) {
    Json out = Json::array();
    for (const StraightDelta& s : table.straights) {
        out.push_back({{"startM", json_number(s.start_m, 1e3)},
                       {"endM", json_number(s.end_m, 1e3)},
                       {"lapS", json_number(s.lap_s, 1e6)},
                       {"referenceS", json_number(s.reference_s, 1e6)},
                       {"deltaS", json_number(s.delta_s, 1e6)}});
    }
    return out;
}

std::string corner_table_text(const CornerComparison& table, const LapComparison& comparison, bool track_order) {
    std::string out = "\nCorners (" + std::string(table.map_from_reference ? "the reference's" : "the lap's") +
                      " map, " + std::to_string(table.map.corners.size()) + " corners), " +
                      (track_order ? "in track order" : "by time lost") + ":\n\n";
    if (table.corners.empty()) return out + "  no corner both laps cover\n";
    std::vector<std::size_t> order(table.corners.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (!track_order) {
        std::ranges::stable_sort(order, [&](std::size_t a, std::size_t b) {
            return table.corners[a].delta_s > table.corners[b].delta_s;
        });
    }
    out += "  corner     apex m   lap s   ref s  delta s  brake m  apex km/h  throttle m\n";
    std::vector<std::string> sentences;
    for (const std::size_t i : order) {
        const CornerDelta& d = table.corners[i];
        const auto diff = [](const std::optional<double>& a, const std::optional<double>& r) {
            return a && r ? signed_text(*a - *r, 0) : std::string("-");
        };
        out += "  " + std::string("T") + std::to_string(d.corner.number) +
               std::string(d.corner.direction == CornerDirection::Left ? " L" : " R") +
               padded(fixed_text(d.corner.apex_m, 0), 13 - std::to_string(d.corner.number).size()) +
               padded(fixed_text(d.lap_s, 3), 8) + padded(fixed_text(d.reference_s, 3), 8) +
               padded(signed_text(d.delta_s, 3), 9) + padded(diff(d.lap.brake_point_m, d.reference.brake_point_m), 9) +
               padded(signed_text(d.lap.min_speed_kmh - d.reference.min_speed_kmh, 0), 11) +
               padded(diff(d.lap.throttle_pickup_m, d.reference.throttle_pickup_m), 12) + "\n";
        if (auto advice = corner_advice_of(d, comparison)) sentences.push_back(*advice);
    }
    double straights = 0.0;
    for (const StraightDelta& s : table.straights) straights += s.delta_s;
    out += "  straights between them: " + signed_text(straights, 3) + " s\n";
    out += "\nDifferences are the lap minus the reference: brake and throttle metres (negative:\n"
           "earlier), apex speed km/h (negative: slower).\n";
    if (!sentences.empty()) {
        out += "\n";
        for (const std::string& s : sentences) out += s + "\n";
    }
    return out;
}

}  // namespace corvel
