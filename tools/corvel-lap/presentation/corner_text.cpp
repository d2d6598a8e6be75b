#include "presentation/corner_text.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "presentation/number_text.hpp"

namespace corvel {
namespace {

struct Cause {
    double cost_s;  // rough: only to order the causes
    std::string text;
};

double mps(double kmh) { return std::max(kmh, 5.0) / 3.6; }

// Seconds lost over `metres` driven at `slow` instead of `fast` km/h, halved for the ramp
// between them: a rough measure, good enough to say which cause matters most.
double ramp_cost(double metres, double slow_kmh, double fast_kmh) {
    return 0.5 * std::abs(metres) * std::abs(1.0 / mps(slow_kmh) - 1.0 / mps(fast_kmh));
}

std::string metres_text(double m) { return fixed_text(std::abs(m), 0) + " m"; }

}  // namespace

std::string corner_label(const TrackCorner& corner) {
    std::string label = "T" + std::to_string(corner.number);
    if (corner.name && !corner.name->empty()) label += " " + *corner.name;
    return label;
}

std::optional<std::string> corner_advice(const CornerDelta& corner, const CornerThirds& thirds) {
    if (!(corner.delta_s > kAdviceMinLossS)) return std::nullopt;
    const CornerLapMetrics& a = corner.lap;
    const CornerLapMetrics& r = corner.reference;
    std::vector<Cause> causes;
    if (a.brake_point_m && r.brake_point_m) {
        const double earlier = *r.brake_point_m - *a.brake_point_m;
        if (std::abs(earlier) >= kAdviceBrakeM) {
            causes.push_back({ramp_cost(earlier, a.min_speed_kmh, a.entry_speed_kmh),
                              "brakes " + metres_text(earlier) + (earlier > 0 ? " earlier" : " later")});
        }
    } else if (a.brake_point_m && !r.brake_point_m) {
        causes.push_back({ramp_cost(corner.corner.apex_m - *a.brake_point_m, a.min_speed_kmh, a.entry_speed_kmh),
                          "brakes where the reference does not"});
    }
    const double slower = r.min_speed_kmh - a.min_speed_kmh;
    if (slower >= kAdviceApexKmh) {
        causes.push_back({ramp_cost(corner.corner.end_m - corner.corner.start_m, a.min_speed_kmh, r.min_speed_kmh),
                          fixed_text(slower, 0) + " km/h slower at the apex"});
    }
    if (a.throttle_pickup_m && r.throttle_pickup_m) {
        const double later = *a.throttle_pickup_m - *r.throttle_pickup_m;
        if (later >= kAdviceThrottleM) {
            causes.push_back({ramp_cost(later, a.min_speed_kmh, a.exit_speed_kmh),
                              "full throttle " + metres_text(later) + " later"});
        }
    } else if (!a.throttle_pickup_m && r.throttle_pickup_m) {
        causes.push_back({0.0, "never at full throttle before the next corner"});
    }
    std::string text = corner_label(corner.corner) + ": ";
    if (causes.empty()) {
        const double worst = std::max({thirds.entry_s, thirds.middle_s, thirds.exit_s});
        const char* where = worst == thirds.entry_s    ? "on the way in"
                            : worst == thirds.middle_s ? "through the middle"
                                                       : "on the way out";
        text += "same brake point, apex speed and throttle; the time goes " + std::string(where);
    } else {
        std::ranges::stable_sort(causes, [](const Cause& x, const Cause& y) { return x.cost_s > y.cost_s; });
        for (std::size_t i = 0; i < causes.size(); ++i) text += (i > 0 ? ", " : "") + causes[i].text;
    }
    return text + ": +" + fixed_text(corner.delta_s, 2) + " s";
}

}  // namespace corvel
