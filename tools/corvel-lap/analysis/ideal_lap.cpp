// Parts follow compare's corner table: a corner from its start to its end, a straight from the
// previous corner's end (or the line) to the next corner's start (or the line).
#include "analysis/ideal_lap.hpp"

#include <algorithm>
#include <limits>

namespace corvel {

std::vector<IdealPart> ideal_lap_parts(const CornerMap& map, double track_length_m) {
    constexpr double kUnset = std::numeric_limits<double>::infinity();
    std::vector<IdealPart> parts;
    double at = 0.0;
    const auto straight_to = [&](double end_m) {
        if (end_m > at) parts.push_back({IdealPartKind::Straight, std::nullopt, at, end_m, kUnset, 0});
    };
    for (const TrackCorner& c : map.corners) {
        const double start = std::max(c.start_m, at);
        const double end = std::min(c.end_m, track_length_m);
        if (!(end > start)) continue;
        straight_to(start);
        parts.push_back({IdealPartKind::Corner, c.number, start, end, kUnset, 0});
        at = end;
    }
    straight_to(track_length_m);
    return parts;
}

std::vector<double> part_times(const LapTimeline& timeline, const std::vector<IdealPart>& parts) {
    const TimedSpan span = timed_span(timeline);
    std::vector<double> times;
    times.reserve(parts.size());
    for (const IdealPart& p : parts) {
        times.push_back(time_at_distance(timeline, span, p.end_m) - time_at_distance(timeline, span, p.start_m));
    }
    return times;
}

void take_faster_parts(std::vector<IdealPart>& parts, const std::vector<double>& times, std::size_t lap) {
    for (std::size_t i = 0; i < parts.size() && i < times.size(); ++i) {
        if (times[i] < parts[i].best_s) {
            parts[i].best_s = times[i];
            parts[i].from_lap = lap;
        }
    }
}

}  // namespace corvel
