// The lap is two identical half-laps, the second turned by half a revolution: each half turns
// the car by exactly 180 degrees, so the loop closes on itself by construction, whatever the
// corners in between. Each corner's curvature rises and falls as sin^2 (no steering jumps).
// Positions of the unit half-lap are integrated once into a table; heading and curvature are
// exact.
#include "track.hpp"

#include "circuit_geometry.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace corvel::lmu_sim {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kStepsPerHalf = 8192;

// One piece of the half-lap: a share of its length and the heading change in degrees
// (0: a straight; positive and negative: the two hands of corner).
struct Piece {
    double share;
    double turn_deg;
};

// Main straight, hairpin, chicane, fast sweeper, a corner the other way, long right... The
// turns add up to 180 degrees and the shares to 1. At 4.2 km the hairpin's apex radius is
// about 25 m and the longest straight, which the lap starts on, close to 800 m.
constexpr Piece kHalfLap[] = {
    {0.20, 0.0},  {0.05, 120.0}, {0.09, 0.0},   {0.035, -35.0}, {0.035, 35.0}, {0.13, 0.0},
    {0.07, 40.0}, {0.06, 0.0},   {0.05, -40.0}, {0.05, 0.0},    {0.06, 60.0},  {0.17, 0.0},
};

// Curvature of the unit half-lap at distance u in [0, 1].
double unit_curvature(double u) {
    double start = 0.0;
    for (const auto& piece : kHalfLap) {
        if (u < start + piece.share) {
            if (piece.turn_deg == 0.0) return 0.0;
            const double within = std::sin(kPi * (u - start) / piece.share);
            // sin^2 integrates to half the piece, hence the factor 2.
            return 2.0 * (piece.turn_deg * kPi / 180.0) / piece.share * within * within;
        }
        start += piece.share;
    }
    return 0.0;
}

// Height over the lap: two swells that close on themselves, a few metres either way.
double height(double fraction) {
    return 6.0 * std::sin(2.0 * kPi * fraction) + 2.5 * std::sin(6.0 * kPi * fraction + 1.0);
}

double wrap_angle(double angle) {
    return std::remainder(angle, 2.0 * kPi);
}

}  // namespace

Track::Track(double length_m) : length_m_(length_m), lap_length_m_(length_m) {
    half_.resize(kStepsPerHalf + 1);
    const double step = 1.0 / kStepsPerHalf;
    HalfPoint p{0.0, 0.0, 0.0};
    half_[0] = p;
    for (int i = 0; i < kStepsPerHalf; ++i) {
        const double u = step * i;
        // The heading by Simpson's rule, the position by the midpoint rule on it.
        const double turn =
            step / 6.0 *
            (unit_curvature(u) + 4.0 * unit_curvature(u + step / 2.0) + unit_curvature(u + step));
        const double mid_heading = p.heading + step / 12.0 *
                                                   (unit_curvature(u) + 4.0 * unit_curvature(u + step / 4.0) +
                                                    unit_curvature(u + step / 2.0));
        p.x += std::sin(mid_heading) * step;
        p.z += std::cos(mid_heading) * step;
        p.heading += turn;
        half_[static_cast<std::size_t>(i) + 1] = p;
    }
}

Track::HalfPoint Track::half_at(double unit_distance) const {
    const double grid = std::clamp(unit_distance, 0.0, 1.0) * kStepsPerHalf;
    const auto index = std::min(static_cast<std::size_t>(grid), static_cast<std::size_t>(kStepsPerHalf - 1));
    const double within = grid - static_cast<double>(index);
    const auto& a = half_[index];
    const auto& b = half_[index + 1];
    return {a.x + (b.x - a.x) * within, a.z + (b.z - a.z) * within,
            a.heading + (b.heading - a.heading) * within};
}

TrackPoint Track::at(double distance_m) const {
    double along = std::fmod(distance_m, length_m_);
    if (along < 0.0) along += length_m_;
    return is_ring() ? ring_at(along) : circuit_at(along);
}

TrackPoint Track::ring_at(double along) const {
    const double half_length = length_m_ / 2.0;
    const bool second_half = along >= half_length;
    const double u = (second_half ? along - half_length : along) / half_length;
    HalfPoint p = half_at(u);
    if (second_half) {
        // The first half turned by 180 degrees about the end of the first half.
        const auto& end = half_.back();
        p = {end.x - p.x, end.z - p.z, p.heading + kPi};
    }
    TrackPoint point;
    point.x_m = p.x * half_length;
    point.y_m = height(along / length_m_);
    point.z_m = p.z * half_length;
    point.heading_rad = wrap_angle(p.heading);
    point.curvature_per_m = unit_curvature(u) / half_length;
    point.lap_distance_m = along;
    return point;
}

TrackPoint Track::circuit_at(double along) const {
    const double grid = along / step_m_;
    const auto index = std::min(static_cast<std::size_t>(grid), table_.size() - 2);
    const double w = grid - static_cast<double>(index);
    const auto& a = table_[index];
    const auto& b = table_[index + 1];
    const auto mix = [w](double p, double q) { return p + (q - p) * w; };
    TrackPoint point;
    point.x_m = mix(a.x_m, b.x_m);
    point.z_m = mix(a.z_m, b.z_m);
    point.heading_rad = wrap_angle(mix(a.heading_rad, b.heading_rad));
    point.curvature_per_m = mix(a.curvature_per_m, b.curvature_per_m);
    point.lap_distance_m = mix(a.lap_distance_m, b.lap_distance_m);
    point.lateral_m = mix(a.lateral_m, b.lateral_m);
    point.width_positive_m = mix(a.width_positive_m, b.width_positive_m);
    point.width_negative_m = mix(a.width_negative_m, b.width_negative_m);
    return point;
}

Track::Track(const CircuitData& circuit) {
    CircuitGeometry geometry = build_circuit_geometry(circuit);
    length_m_ = geometry.path_length_m;
    lap_length_m_ = geometry.centre_length_m;
    step_m_ = geometry.step_m;
    table_ = std::move(geometry.table);
}

}  // namespace corvel::lmu_sim
