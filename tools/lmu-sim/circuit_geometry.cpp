// The data's points lie about 5 m apart and carry GPS noise: headings taken from point to point
// would give curvature spikes that no car could follow. So the path is resampled finely,
// smoothed with a Gaussian of a few metres (a smooth fit that keeps hairpins tight), and its
// curvature is the derivative of the smooth heading, smoothed once more.
//
// LMU's lap distance follows the centre line, not the car's line. Each path point is projected
// onto the centre line; where the racing line cuts inside a hairpin that projection can stall or
// step, so its difference from a steady rate is smoothed and the result held monotonic.
#include "circuit_geometry.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

namespace corvel::lmu_sim {
namespace {

constexpr double kFineStepM = 0.5;
constexpr double kPathSigmaM = 4.0;
constexpr double kCurvatureSigmaM = 3.0;
constexpr double kLapDistanceSigmaM = 8.0;
constexpr std::ptrdiff_t kSearchSegments = 40;  // each way from the last projection

struct Projection {
    double along_m;  // on the centre line, in [0, length)
    double lateral_m;
    double width_positive_m;
    double width_negative_m;
    std::size_t segment;
};

class CentreLine {
  public:
    explicit CentreLine(const std::vector<CentrePoint>& points) : points_(points) {
        start_.push_back(0.0);
        for (std::size_t k = 0; k < points_.size(); ++k) {
            const auto& a = points_[k];
            const auto& b = points_[(k + 1) % points_.size()];
            start_.push_back(start_.back() + std::hypot(b.x_m - a.x_m, b.z_m - a.z_m));
        }
    }
    [[nodiscard]] double length_m() const { return start_.back(); }

    // The nearest point of the segments within reach of `hint` (all of them without one).
    [[nodiscard]] Projection project(double x, double z, std::optional<std::size_t> hint) const {
        const auto n = static_cast<std::ptrdiff_t>(points_.size());
        std::ptrdiff_t first = 0;
        std::ptrdiff_t last = n - 1;
        if (hint) {
            first = static_cast<std::ptrdiff_t>(*hint) - kSearchSegments;
            last = static_cast<std::ptrdiff_t>(*hint) + kSearchSegments;
        }
        Projection best{};
        double best_gap = INFINITY;
        for (std::ptrdiff_t i = first; i <= last; ++i) {
            const auto k = static_cast<std::size_t>(((i % n) + n) % n);
            const auto& a = points_[k];
            const auto& b = points_[(k + 1) % points_.size()];
            const double dx = b.x_m - a.x_m;
            const double dz = b.z_m - a.z_m;
            const double span2 = dx * dx + dz * dz;
            if (span2 <= 0.0) continue;
            const double t = std::clamp(((x - a.x_m) * dx + (z - a.z_m) * dz) / span2, 0.0, 1.0);
            const double px = a.x_m + dx * t;
            const double pz = a.z_m + dz * t;
            const double gap = std::hypot(x - px, z - pz);
            if (gap >= best_gap) continue;
            best_gap = gap;
            const double span = std::sqrt(span2);
            // The normal (dz, -dx) points to the inside of a positive-curvature corner.
            best.lateral_m = ((x - px) * dz - (z - pz) * dx) / span;
            best.along_m = std::fmod(start_[k] + span * t, length_m());
            best.width_positive_m = a.width_right_m + (b.width_right_m - a.width_right_m) * t;
            best.width_negative_m = a.width_left_m + (b.width_left_m - a.width_left_m) * t;
            best.segment = k;
        }
        return best;
    }

  private:
    std::vector<CentrePoint> points_;
    std::vector<double> start_;  // distance at each point; the last entry is the loop's length
};

// A closed polyline resampled at (about) `step` metres, starting at `from_m` along it.
std::vector<PlanePoint> resample_loop(const std::vector<PlanePoint>& loop, double step, double from_m,
                                      double* length_out) {
    std::vector<double> start{0.0};
    for (std::size_t k = 0; k < loop.size(); ++k) {
        const auto& a = loop[k];
        const auto& b = loop[(k + 1) % loop.size()];
        start.push_back(start.back() + std::hypot(b.x_m - a.x_m, b.z_m - a.z_m));
    }
    const double length = start.back();
    const auto count = std::max<std::size_t>(16, static_cast<std::size_t>(std::lround(length / step)));
    const double even = length / static_cast<double>(count);
    std::vector<PlanePoint> out;
    out.reserve(count);
    std::size_t k = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double s = std::fmod(from_m + even * static_cast<double>(i), length);
        while (!(start[k] <= s && s < start[k + 1])) k = (k + 1) % loop.size();
        const auto& a = loop[k];
        const auto& b = loop[(k + 1) % loop.size()];
        const double t = (s - start[k]) / (start[k + 1] - start[k]);
        out.push_back({a.x_m + (b.x_m - a.x_m) * t, a.z_m + (b.z_m - a.z_m) * t});
    }
    if (length_out) *length_out = length;
    return out;
}

}  // namespace

void smooth_loop(std::vector<double>& values, double sigma) {
    const auto n = static_cast<std::ptrdiff_t>(values.size());
    const auto reach = static_cast<std::ptrdiff_t>(std::ceil(3.0 * sigma));
    std::vector<double> weights;
    double total = 0.0;
    for (std::ptrdiff_t j = -reach; j <= reach; ++j) {
        weights.push_back(std::exp(-0.5 * static_cast<double>(j * j) / (sigma * sigma)));
        total += weights.back();
    }
    std::vector<double> out(values.size());
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        double sum = 0.0;
        for (std::ptrdiff_t j = -reach; j <= reach; ++j) {
            sum += weights[static_cast<std::size_t>(j + reach)] * values[static_cast<std::size_t>(((i + j) % n + n) % n)];
        }
        out[static_cast<std::size_t>(i)] = sum / total;
    }
    values = std::move(out);
}

CircuitGeometry build_circuit_geometry(const CircuitData& circuit) {
    const CentreLine centre(circuit.centre);
    std::vector<PlanePoint> raw = circuit.racing_line;
    if (raw.empty()) {
        for (const auto& c : circuit.centre) raw.push_back({c.x_m, c.z_m});
    }

    // A fine, smoothed copy of the path.
    auto fine = resample_loop(raw, kFineStepM, 0.0, nullptr);
    std::vector<double> xs;
    std::vector<double> zs;
    for (const auto& p : fine) {
        xs.push_back(p.x_m);
        zs.push_back(p.z_m);
    }
    smooth_loop(xs, kPathSigmaM / kFineStepM);
    smooth_loop(zs, kPathSigmaM / kFineStepM);
    for (std::size_t i = 0; i < fine.size(); ++i) fine[i] = {xs[i], zs[i]};

    // Where the path crosses the start/finish line: its projection wraps from the end of the
    // centre line to its start.
    const double centre_length = centre.length_m();
    double crossing_m = 0.0;
    {
        std::optional<std::size_t> hint;
        double previous = 0.0;
        double travelled = 0.0;
        for (std::size_t i = 0; i <= fine.size(); ++i) {
            const auto& p = fine[i % fine.size()];
            const auto projection = centre.project(p.x_m, p.z_m, hint);
            hint = projection.segment;
            if (i > 0) {
                const auto& q = fine[i - 1];
                const double step = std::hypot(p.x_m - q.x_m, p.z_m - q.z_m);
                if (projection.along_m - previous < -centre_length / 2.0) {
                    const double before = previous - centre_length;
                    const double f = -before / (projection.along_m - before);
                    crossing_m = travelled + f * step;
                    break;
                }
                travelled += step;
            }
            previous = projection.along_m;
        }
    }

    double path_length = 0.0;
    const auto even = resample_loop(fine, kCircuitStepM, crossing_m, &path_length);
    const std::size_t n = even.size();
    const double step = path_length / static_cast<double>(n);

    CircuitGeometry g;
    g.path_length_m = path_length;
    g.centre_length_m = centre_length;
    g.step_m = step;
    g.table.resize(n + 1);

    // Heading from central differences, unwrapped; curvature its smoothed derivative.
    std::vector<double> heading(n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto& a = even[(i + n - 1) % n];
        const auto& b = even[(i + 1) % n];
        heading[i] = std::atan2(b.x_m - a.x_m, b.z_m - a.z_m);
        if (i > 0) heading[i] = heading[i - 1] + std::remainder(heading[i] - heading[i - 1], 2.0 * std::numbers::pi);
    }
    const double turn = heading[n - 1] + std::remainder(heading[0] - heading[n - 1], 2.0 * std::numbers::pi) -
                        heading[0];  // the loop's whole turn, +-2 pi
    std::vector<double> curvature(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double before = i == 0 ? heading[n - 1] - turn : heading[i - 1];
        const double after = i + 1 == n ? heading[0] + turn : heading[i + 1];
        curvature[i] = (after - before) / (2.0 * step);
    }
    smooth_loop(curvature, kCurvatureSigmaM / step);

    // Against the centre line: lap distance unwrapped from about 0, lateral offset, widths.
    std::vector<double> residual(n);
    std::optional<std::size_t> hint;
    double unwrapped = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto projection = centre.project(even[i].x_m, even[i].z_m, hint);
        hint = projection.segment;
        if (i == 0) {
            unwrapped = std::remainder(projection.along_m, centre_length);
        } else {
            unwrapped += std::remainder(projection.along_m - std::fmod(unwrapped + centre_length, centre_length),
                                        centre_length);
        }
        auto& t = g.table[i];
        t.x_m = even[i].x_m;
        t.z_m = even[i].z_m;
        t.heading_rad = heading[i];
        t.curvature_per_m = curvature[i];
        t.lateral_m = projection.lateral_m;
        t.width_positive_m = projection.width_positive_m;
        t.width_negative_m = projection.width_negative_m;
        residual[i] = unwrapped - centre_length * static_cast<double>(i) / static_cast<double>(n);
    }
    smooth_loop(residual, kLapDistanceSigmaM / step);
    double highest = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double d = centre_length * static_cast<double>(i) / static_cast<double>(n) + residual[i] - residual[0];
        highest = std::clamp(d, highest, centre_length);
        g.table[i].lap_distance_m = highest;
    }
    g.table[n] = g.table[0];
    g.table[n].heading_rad = heading[0] + turn;
    g.table[n].lap_distance_m = centre_length;
    return g;
}

}  // namespace corvel::lmu_sim
