// The synthetic circuit: a Catmull-Rom spline through hand-placed points (a long main
// straight, a hairpin, esses, a fast sweeper), resampled every metre. Speeds follow the
// usual lap-simulation recipe: corner limits from curvature, then forward (traction) and
// backward (braking) passes, repeated so the loop closes.
#include "synthetic_lap.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "corvel/clean_lap_recorder.hpp"
#include "corvel/lap_metadata_from_capture.hpp"
#include "corvel/lap_sample_from_snapshot.hpp"
#include "lap_format/lap_file_writer.hpp"
#include "corvel/output_naming.hpp"
#include "sim_bridge/session_info.hpp"
#include "sim_bridge/telemetry_snapshot.hpp"
#include "sim_bridge/vehicle_info.hpp"

namespace corvel::testing {
namespace {

struct Vec {
    double x, z;
};

// Corners of the circuit and the radius of each corner's arc (m); straights join them.
struct Corner {
    Vec at;
    double radius;
};
constexpr std::array<Corner, 12> kCorners{{
    {{0, 0}, 60},
    {{1100, 0}, 25},
    {{1150, 300}, 90},
    {{900, 380}, 35},
    {{760, 300}, 30},
    {{600, 420}, 50},
    {{700, 650}, 120},
    {{500, 800}, 20},
    {{250, 620}, 60},
    {{80, 760}, 45},
    {{-150, 620}, 70},
    {{-120, 300}, 150},
}};
constexpr std::size_t kLineOffsetM = 700;  // the start line, this far before the first corner
constexpr double kG = 9.81;
constexpr double kTopSpeed = 88.0;    // m/s
constexpr double kLateralGrip = 2.0;  // g, with downforce
constexpr double kBraking = 32.0;     // m/s^2
constexpr std::array<double, 8> kGearTopKmh{0, 95, 130, 165, 200, 238, 275, 330};

Vec operator+(Vec a, Vec b) {
    return {a.x + b.x, a.z + b.z};
}
Vec operator-(Vec a, Vec b) {
    return {a.x - b.x, a.z - b.z};
}
Vec operator*(Vec a, double f) {
    return {a.x * f, a.z * f};
}
double length_of(Vec a) {
    return std::hypot(a.x, a.z);
}

// The circuit's centre line, one point per metre, starting on the line: the polygon of
// kCorners with each corner rounded to its radius.
std::vector<Vec> centre_line() {
    std::vector<Vec> dense;
    const std::size_t n = kCorners.size();
    for (std::size_t i = 1; i <= n; ++i) {
        const Vec prev = kCorners[i - 1].at;
        const Vec at = kCorners[i % n].at;
        const Vec next = kCorners[(i + 1) % n].at;
        const Vec in = (at - prev) * (1.0 / length_of(at - prev));
        const Vec out = (next - at) * (1.0 / length_of(next - at));
        const double turn = std::atan2(in.x * out.z - in.z * out.x, in.x * out.x + in.z * out.z);
        const double radius = kCorners[i % n].radius;
        const double tangent = radius * std::tan(std::abs(turn) / 2.0);
        const Vec arc_start = at - in * tangent;
        const double side = turn > 0 ? 1.0 : -1.0;
        const Vec centre = arc_start + Vec{-in.z, in.x} * (radius * side);
        // The straight up to the arc (it began where the previous arc ended).
        if (!dense.empty()) {
            const Vec from = dense.back();
            const double straight = length_of(arc_start - from);
            for (double d = 0.5; d < straight; d += 0.5) {
                dense.push_back(from + (arc_start - from) * (d / straight));
            }
        }
        const double start_angle = std::atan2(arc_start.z - centre.z, arc_start.x - centre.x);
        const int steps = std::max(8, static_cast<int>(std::abs(turn) * radius * 2.0));
        for (int step = 0; step <= steps; ++step) {
            const double angle = start_angle + turn * step / steps;
            dense.push_back(centre + Vec{std::cos(angle), std::sin(angle)} * radius);
        }
    }
    // Close the loop with the main straight's first part.
    const Vec from = dense.back();
    const Vec to = dense.front();
    const double straight = length_of(to - from);
    for (double d = 0.5; d < straight; d += 0.5) {
        dense.push_back(from + (to - from) * (d / straight));
    }
    dense.push_back(to);

    std::vector<Vec> line{dense.front()};
    double travelled = 0.0;
    double next = 1.0;
    for (std::size_t i = 1; i < dense.size(); ++i) {
        const double length = length_of(dense[i] - dense[i - 1]);
        while (travelled + length >= next) {
            const double t = (next - travelled) / length;
            line.push_back(dense[i - 1] + (dense[i] - dense[i - 1]) * t);
            next += 1.0;
        }
        travelled += length;
    }
    line.pop_back();  // the last point repeats the first
    // The loop began after the first corner; start it on the main straight instead.
    std::rotate(line.begin(), line.end() - static_cast<std::ptrdiff_t>(kLineOffsetM), line.end());
    return line;  // one point per metre; the length is line.size() metres
}

// Signed curvature (1/m) through the points 6 m behind and ahead.
std::vector<double> curvature(const std::vector<Vec>& line) {
    const std::size_t n = line.size();
    std::vector<double> k(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Vec& a = line[(i + n - 6) % n];
        const Vec& b = line[i];
        const Vec& c = line[(i + 6) % n];
        const double cross = (b.x - a.x) * (c.z - a.z) - (b.z - a.z) * (c.x - a.x);
        const double ab = std::hypot(b.x - a.x, b.z - a.z);
        const double bc = std::hypot(c.x - b.x, c.z - b.z);
        const double ca = std::hypot(a.x - c.x, a.z - c.z);
        k[i] = 2.0 * cross / (ab * bc * ca);
    }
    return k;
}

double traction(double v) {
    return 11.0 * (1.0 - (v / kTopSpeed) * (v / kTopSpeed)) + 0.3;
}

std::vector<double> speed_profile(const std::vector<double>& k, const SyntheticLapOptions& options) {
    const std::size_t n = k.size();
    std::vector<double> limit(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double share = static_cast<double>(i) / static_cast<double>(n);
        const double grip =
            kLateralGrip * (1.0 + options.grip_wobble * std::sin(share * 6.0 * std::numbers::pi));
        limit[i] = std::min(kTopSpeed, std::sqrt(grip * kG / std::max(std::abs(k[i]), 1e-6)));
    }
    std::vector<double> v = limit;
    for (int round = 0; round < 3; ++round) {
        for (std::size_t step = 1; step <= n; ++step) {
            const std::size_t i = step % n;
            const double prev = v[(i + n - 1) % n];
            v[i] = std::min(limit[i], std::sqrt(prev * prev + 2.0 * traction(prev)));
        }
        const double braking = kBraking * options.brake_scale;
        for (std::size_t step = n; step-- > 0;) {
            const std::size_t i = step;
            const double next = v[(i + 1) % n];
            v[i] = std::min(v[i], std::sqrt(next * next + 2.0 * braking));
        }
    }
    return v;
}

template <typename T>
T at_distance(const std::vector<T>& values, double s) {
    const std::size_t n = values.size();
    const double wrapped =
        std::fmod(std::fmod(s, static_cast<double>(n)) + static_cast<double>(n), static_cast<double>(n));
    const auto i = static_cast<std::size_t>(wrapped);
    return values[std::min(i, n - 1)];
}

double at_distance_smooth(const std::vector<double>& values, double s) {
    const std::size_t n = values.size();
    const double wrapped =
        std::fmod(std::fmod(s, static_cast<double>(n)) + static_cast<double>(n), static_cast<double>(n));
    const auto i = static_cast<std::size_t>(wrapped);
    const double t = wrapped - static_cast<double>(i);
    return values[i % n] * (1.0 - t) + values[(i + 1) % n] * t;
}

sim_bridge::TelemetrySnapshot snapshot_at(const std::vector<Vec>& line, const std::vector<double>& k,
                                          const std::vector<double>& v, double s, double t, double fuel,
                                          const SyntheticLapOptions& options) {
    const double length = static_cast<double>(line.size());
    const double speed = at_distance_smooth(v, s);
    const double accel = speed * (at_distance_smooth(v, s + 2.0) - at_distance_smooth(v, s - 2.0)) / 4.0;
    const double kappa = at_distance_smooth(k, s);
    const Vec p0 = at_distance(line, s);
    const Vec p1 = at_distance(line, s + 1.0);
    const double t_within = s - std::floor(s);
    const double kmh = speed * 3.6;

    sim_bridge::TelemetrySnapshot snap;
    snap.session_time_s = 1834.25 + t;
    snap.lap_fraction = static_cast<float>(s / length);
    snap.speed_kmh = static_cast<float>(kmh);
    if (accel < -1.0) {
        snap.brake = static_cast<float>(std::clamp(-accel / (kBraking * options.brake_scale), 0.15, 1.0));
        snap.throttle = 0.0f;
    } else if (accel > 0.8) {
        snap.throttle = static_cast<float>(std::clamp(accel / traction(speed) + 0.25, 0.0, 1.0));
    } else {
        snap.throttle = static_cast<float>(speed > kTopSpeed - 1.0 ? 1.0 : 0.5 + 0.06 * std::sin(s / 9.0));
    }
    int gear = 1;
    while (gear < 7 && kmh > kGearTopKmh[static_cast<std::size_t>(gear)]) {
        ++gear;
    }
    const double low = kGearTopKmh[static_cast<std::size_t>(gear - 1)];
    const double high = kGearTopKmh[static_cast<std::size_t>(gear)];
    snap.gear = static_cast<std::int8_t>(gear);
    snap.engine_rpm =
        static_cast<float>(5200.0 + 3600.0 * std::clamp((kmh - low * 0.8) / (high - low * 0.8), 0.0, 1.0));
    snap.steering = static_cast<float>(std::clamp(-kappa * 11.0, -1.0, 1.0));
    snap.fuel_l = static_cast<float>(fuel);
    snap.pos_x_m = static_cast<float>(p0.x + (p1.x - p0.x) * t_within);
    snap.pos_z_m = static_cast<float>(p0.z + (p1.z - p0.z) * t_within);
    snap.lateral_g = static_cast<float>(speed * speed * kappa / kG);
    snap.longitudinal_g = static_cast<float>(accel / kG);
    snap.path_lateral_m = static_cast<float>(1.2 * std::sin(s / 90.0) + std::clamp(kappa * 40.0, -3.0, 3.0));
    snap.track_edge_m = static_cast<float>(6.0 - *snap.path_lateral_m);
    const double share = s / length;
    snap.yellow_flag = options.yellow_sector && share > 0.56 && share < 0.63;
    snap.abs_active = snap.brake > 0.85f && kmh > 150.0;
    snap.tc_active = snap.throttle > 0.9f && kmh < 110.0;
    return snap;
}

}  // namespace

SyntheticLap make_synthetic_lap(const SyntheticLapOptions& options) {
    const std::vector<Vec> line = centre_line();
    const std::vector<double> k = curvature(line);
    const std::vector<double> v = speed_profile(k, options);
    const double length = static_cast<double>(line.size());

    SyntheticLap lap;
    double s = 0.9;  // the first sample lands just after the line
    double t = 0.0;
    double fuel = 45.6;
    const double fuel_start = std::trunc(fuel * 10.0) / 10.0;
    for (bool last = false; !last;) {
        // Like corvel's, the lap's last sample is the first poll past the line.
        last = s >= length;
        auto snap = snapshot_at(line, k, v, s, t, fuel, options);
        if (last) snap.lap_fraction = static_cast<float>(s / length - 1.0);
        lap.samples.push_back(make_lap_sample(snap, static_cast<std::int32_t>(options.lap)));
        if (last) break;
        const double half = s + at_distance_smooth(v, s) * options.poll_s / 2.0;
        s += at_distance_smooth(v, half) * options.poll_s;
        t += options.poll_s;
        fuel -= (0.008 + 0.05 * snap.throttle) * options.poll_s;
    }
    // The lap ends when the line is crossed: interpolate the crossing time.
    const double overshoot = (s - length) / std::max(at_distance_smooth(v, 0.0), 1.0);
    const double lap_time = t - overshoot + 0.9 / std::max(at_distance_smooth(v, 0.0), 1.0);

    sim_bridge::SessionInfo session;
    session.track_name = "Corvel Park";
    session.track_layout = "Grand Prix";
    session.track_full_name = "Corvel Park - Grand Prix";
    session.track_raw_name = "CORVEL_PARK_GP";
    session.track_length_m = static_cast<float>(length);
    session.session_kind = sim_bridge::SessionKind::Practice;
    sim_bridge::VehicleInfo vehicle;
    vehicle.driver_name = "Alex Driver";
    vehicle.car_name = "Prototype 963 #7";
    vehicle.car_id = "P963_7";
    vehicle.car_class = "Hypercar";
    vehicle.is_player = true;

    CleanLap clean;
    clean.lap = options.lap;
    clean.samples = lap.samples;
    clean.lap_time_s = lap_time;
    clean.fuel_start_l = fuel_start;
    clean.fuel_end_l = static_cast<float>(fuel);
    clean.fuel_used_l = std::max(0.0, fuel_start - static_cast<double>(clean.fuel_end_l));
    clean.start_track_pct = lap.samples.front().lap_fraction;
    const auto paths = build_output_paths(".", "lmu-clean-lap", session, vehicle, options.lap, 1767225600);
    const UtcTime created{std::chrono::seconds(1767225601) + std::chrono::milliseconds(250)};
    lap.metadata = make_lap_metadata(session, vehicle, clean, paths.telemetry, created);
    return lap;
}

std::expected<std::filesystem::path, std::string> write_synthetic_lap(const std::filesystem::path& dir,
                                                                      const SyntheticLapOptions& options) {
    const SyntheticLap lap = make_synthetic_lap(options);
    const std::filesystem::path bin = dir / lap.metadata.file_name;
    std::filesystem::path json = bin;
    json.replace_extension(".json");
    if (const auto written = write_lap_telemetry(bin, lap.samples); !written) {
        return std::unexpected(written.error().display());
    }
    if (const auto written = write_lap_metadata(json, lap.metadata); !written) {
        return std::unexpected(written.error());
    }
    return bin;
}

}  // namespace corvel::testing
