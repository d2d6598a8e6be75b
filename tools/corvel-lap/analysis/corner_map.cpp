// The corner map: resample the path every metre, heading, curvature, hysteresis, merge, drop
// kinks, stitch at the line, number. Every step is one pass over the grid.
#include "analysis/corner_map.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace corvel {
namespace {

// A lap of a million metres (a damaged file) still maps in bounded memory.
constexpr std::size_t kMaxGridPoints = 2'000'000;

struct PathPoint {
    double d = 0.0;
    double x = 0.0;
    double z = 0.0;
};

// A position step this much longer than the distance step is a jump (a reset, a teleport):
// the timeline adds no distance for it, and the map must not read it as a turn.
constexpr double kJumpSlackM = 5.0;

struct Path {
    std::vector<PathPoint> points;
    std::vector<double> jumps_m;  // where the positions jump
};

// The samples that say where the car was: finite, moving on along the axis, not a repeat of
// the poll before (a poll that saw an older telemetry).
Path path_points(std::span<const LapSample> samples, std::span<const double> distance_m) {
    Path path;
    std::vector<PathPoint>& points = path.points;
    const std::size_t n = std::min(samples.size(), distance_m.size());
    points.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double x = samples[i].pos_x;
        const double z = samples[i].pos_z;
        const double d = distance_m[i];
        if (!std::isfinite(x) || !std::isfinite(z) || !std::isfinite(d)) continue;
        if (!points.empty() && (d <= points.back().d || (x == points.back().x && z == points.back().z))) continue;
        if (!points.empty() &&
            std::hypot(x - points.back().x, z - points.back().z) > 2.0 * (d - points.back().d) + kJumpSlackM) {
            path.jumps_m.push_back(d);
        }
        points.push_back({d, x, z});
    }
    return path;
}

struct Grid {
    double from_m = 0.0;
    double step_m = kCornerGridStepM;
    std::vector<double> x;
    std::vector<double> z;
    [[nodiscard]] double at(std::size_t k) const { return from_m + step_m * static_cast<double>(k); }
    [[nodiscard]] std::size_t size() const { return x.size(); }
};

Grid resample(const std::vector<PathPoint>& points) {
    Grid grid;
    grid.from_m = points.front().d;
    const double span = points.back().d - grid.from_m;
    grid.step_m = std::max(kCornerGridStepM, span / static_cast<double>(kMaxGridPoints));
    const auto count = static_cast<std::size_t>(span / grid.step_m) + 1;
    grid.x.resize(count);
    grid.z.resize(count);
    std::size_t j = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const double d = grid.at(k);
        while (j + 2 < points.size() && points[j + 1].d < d) ++j;
        const PathPoint& a = points[j];
        const PathPoint& b = points[std::min(j + 1, points.size() - 1)];
        const double share = b.d > a.d ? std::clamp((d - a.d) / (b.d - a.d), 0.0, 1.0) : 0.0;
        grid.x[k] = a.x + share * (b.x - a.x);
        grid.z[k] = a.z + share * (b.z - a.z);
    }
    return grid;
}

// Heading (radians, unwrapped) at every grid point, from the chord around it; counter-clockwise
// as the map is drawn (x to the right, z up) counts positive.
std::vector<double> headings(const Grid& grid) {
    const std::size_t n = grid.size();
    const auto chord = std::max<std::size_t>(1, static_cast<std::size_t>(std::lround(kHeadingChordM / grid.step_m)));
    std::vector<double> heading(n, 0.0);
    double previous = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t a = k > chord ? k - chord : 0;
        const std::size_t b = std::min(n - 1, k + chord);
        const double dx = grid.x[b] - grid.x[a];
        const double dz = grid.z[b] - grid.z[a];
        double h = dx == 0.0 && dz == 0.0 ? previous : std::atan2(dz, dx);
        if (k > 0) {
            // Unwrap: the step from the previous heading is the short way round.
            h = previous + std::remainder(h - previous, 2.0 * std::numbers::pi);
        }
        heading[k] = h;
        previous = h;
    }
    return heading;
}

std::vector<double> curvatures(const Grid& grid, const std::vector<double>& heading) {
    const std::size_t n = grid.size();
    const auto window =
        std::max<std::size_t>(1, static_cast<std::size_t>(std::lround(kCurvatureWindowM / grid.step_m)));
    std::vector<double> curvature(n, 0.0);
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t a = k > window ? k - window : 0;
        const std::size_t b = std::min(n - 1, k + window);
        if (b > a) curvature[k] = (heading[b] - heading[a]) / (grid.step_m * static_cast<double>(b - a));
    }
    return curvature;
}

struct Part {
    std::size_t begin = 0;  // grid indices, end inclusive
    std::size_t end = 0;
    double sign = 1.0;
    std::size_t apex = 0;
    double peak = 0.0;
};

// Stretches of one sign above the exit threshold that reach the entry threshold somewhere.
std::vector<Part> hysteresis_parts(const std::vector<double>& curvature) {
    std::vector<Part> parts;
    std::optional<Part> open;
    const auto close = [&] {
        if (open && open->peak >= kCornerEntryCurvature) parts.push_back(*open);
        open.reset();
    };
    for (std::size_t k = 0; k < curvature.size(); ++k) {
        const double c = curvature[k];
        const double sign = c >= 0.0 ? 1.0 : -1.0;
        if (std::abs(c) < kCornerExitCurvature || (open && open->sign != sign)) close();
        if (std::abs(c) < kCornerExitCurvature) continue;
        if (!open) open = Part{k, k, sign, k, 0.0};
        open->end = k;
        if (std::abs(c) > open->peak) {
            open->peak = std::abs(c);
            open->apex = k;
        }
    }
    close();
    return parts;
}

// `blanked`: grid points whose curvature is unknown (around a jump); they do not count as
// straight between two parts, so a jump inside a corner does not cut it in two.
std::vector<Part> merge_nearby(const std::vector<Part>& parts, const Grid& grid, const std::vector<bool>& blanked) {
    std::vector<Part> merged;
    const auto known_gap_m = [&](std::size_t from, std::size_t to) {
        std::size_t known = 0;
        for (std::size_t k = from; k < to; ++k) known += blanked[k] ? 0 : 1;
        return grid.step_m * static_cast<double>(known);
    };
    for (const Part& p : parts) {
        if (!merged.empty() && merged.back().sign == p.sign &&
            known_gap_m(merged.back().end, p.begin) < kCornerMergeGapM) {
            Part& m = merged.back();
            m.end = p.end;
            if (p.peak > m.peak) {
                m.peak = p.peak;
                m.apex = p.apex;
            }
            continue;
        }
        merged.push_back(p);
    }
    return merged;
}

TrackCorner corner_of(const Part& p, const Grid& grid, const std::vector<double>& heading) {
    TrackCorner c;
    c.direction = p.sign > 0.0 ? CornerDirection::Left : CornerDirection::Right;
    c.start_m = grid.at(p.begin);
    c.apex_m = grid.at(p.apex);
    c.end_m = grid.at(p.end);
    c.peak_curvature = p.peak;
    c.turn_rad = std::abs(heading[p.end] - heading[p.begin]);
    return c;
}

// A corner the line cuts shows as a part at the lap's start and one at its end: one corner,
// kept on the side of its apex.
void stitch_at_line(std::vector<TrackCorner>& corners, const CornerMap& map, double length) {
    if (corners.size() < 2 || map.to_m - map.from_m < length - 2.0 * kCornerMergeGapM) return;
    TrackCorner& first = corners.front();
    TrackCorner& last = corners.back();
    const double gap = (first.start_m - map.from_m) + (map.to_m - last.end_m);
    if (first.direction != last.direction || gap >= kCornerMergeGapM) return;
    TrackCorner joined = first.peak_curvature >= last.peak_curvature ? first : last;
    if (first.peak_curvature >= last.peak_curvature) {
        joined.start_m = last.start_m - length;
    } else {
        joined.end_m = first.end_m + length;
    }
    joined.turn_rad = first.turn_rad + last.turn_rad;
    corners.pop_back();
    corners.front() = joined;
}

}  // namespace

std::string_view direction_text(CornerDirection direction) {
    return direction == CornerDirection::Left ? "left" : "right";
}

CornerMap find_corner_map(std::span<const LapSample> samples, std::span<const double> distance_m,
                          std::optional<double> track_length_m) {
    CornerMap map;
    const Path path = path_points(samples, distance_m);
    const std::vector<PathPoint>& points = path.points;
    if (points.size() < 3 || !(points.back().d - points.front().d >= kMinCornerMapSpanM)) return map;
    const Grid grid = resample(points);
    map.from_m = points.front().d;
    map.to_m = points.back().d;
    const std::vector<double> heading = headings(grid);
    std::vector<double> curvature = curvatures(grid, heading);
    // Around a jump the chords span it: no curvature there.
    const double reach = kHeadingChordM + kCurvatureWindowM + grid.step_m;
    std::vector<bool> blanked(curvature.size(), false);
    for (const double jump : path.jumps_m) {
        const auto lo = static_cast<std::size_t>(std::max(0.0, (jump - reach - grid.from_m) / grid.step_m));
        for (std::size_t k = lo; k < curvature.size() && grid.at(k) <= jump + reach; ++k) {
            curvature[k] = 0.0;
            blanked[k] = true;
        }
    }
    for (const Part& p : merge_nearby(hysteresis_parts(curvature), grid, blanked)) {
        map.corners.push_back(corner_of(p, grid, heading));
    }
    if (track_length_m && *track_length_m > 0.0) stitch_at_line(map.corners, map, *track_length_m);
    std::erase_if(map.corners, [](const TrackCorner& c) { return c.turn_rad < kMinCornerTurnRad; });
    // Numbered from the line: a lap joined late or run past the line still counts T1 first.
    const double length = track_length_m.value_or(0.0);
    const auto from_line = [&](const TrackCorner& c) {
        return length > 0.0 ? c.apex_m - length * std::floor(c.apex_m / length) : c.apex_m;
    };
    std::ranges::stable_sort(map.corners, [&](const TrackCorner& a, const TrackCorner& b) {
        return from_line(a) < from_line(b);
    });
    for (std::size_t i = 0; i < map.corners.size(); ++i) map.corners[i].number = static_cast<int>(i + 1);
    return map;
}

}  // namespace corvel
