// The synthetic ring lap: speed v(t) = 40 + 4 sin(4 pi t / T) m/s integrates to exactly one
// ring length over T = 12.5 s, so the lap time and the wrap of the lap fraction are known.
#include "synthetic_lap.hpp"

#include <cmath>
#include <numbers>

namespace motec_test {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kRadiusM = kRingLengthM / (2 * kPi);
constexpr double kSessionStartS = 1000.0;

double speed_mps(double t) {
    return 40.0 + 4.0 * std::sin(4 * kPi * t / kRingLapTimeS);
}
double accel_mps2(double t) {
    return 4.0 * (4 * kPi / kRingLapTimeS) * std::cos(4 * kPi * t / kRingLapTimeS);
}
double distance_m(double t) {
    const double w = 4 * kPi / kRingLapTimeS;
    return 40.0 * t - 4.0 / w * (std::cos(w * t) - 1.0);
}

template <typename T>
T clamp_to(double v) {
    return static_cast<T>(std::trunc(v));
}

corvel::LapSample sample_at(double t, int lap) {
    using namespace corvel::sample_flag;
    const double v = speed_mps(t);
    const double a = accel_mps2(t);
    const double d = distance_m(t);
    const double fraction = std::fmod(d / kRingLengthM, 1.0);
    const double angle = 2 * kPi * d / kRingLengthM;
    corvel::LapSample s;
    s.session_time = static_cast<float>(kSessionStartS + t);
    s.lap_fraction = static_cast<float>(fraction);
    s.lap = static_cast<std::uint16_t>(lap);
    s.throttle = a >= 0 ? 255 : 64;
    s.brake = a < -2.0 ? clamp_to<std::uint8_t>(-a * 20) : 0;
    s.clutch = 0;
    s.steering = -30;
    s.gear = v > 40.0 ? 4 : 3;
    s.speed_kmh = clamp_to<std::uint16_t>(v * 3.6);
    s.engine_rpm = clamp_to<std::uint16_t>(v * 160.0);
    s.fuel_dl = clamp_to<std::uint16_t>(400.0 - t * 0.4);
    s.pos_x = static_cast<float>(kRadiusM * std::cos(angle));
    s.pos_z = static_cast<float>(kRadiusM * std::sin(angle));
    s.lateral_g = clamp_to<std::int8_t>(v * v / kRadiusM / 9.81 * 10.0);
    s.longitudinal_g = clamp_to<std::int8_t>(a / 9.81 * 10.0);
    s.flags = kOnTrack;
    if (s.brake > 0) s.flags |= kAbs;
    if (t > 5.0 && t < 6.0) s.flags |= kYellow;
    if (a > 1.5) s.flags |= kTc;
    s.path_lateral_cm = clamp_to<std::int16_t>(150.0 * std::sin(angle * 3));
    s.track_edge_cm = 500;
    return s;
}

}  // namespace

SyntheticLap make_synthetic_lap() {
    SyntheticLap lap;
    // First poll 4 ms after the line; the lap's last sample is the first poll past the next
    // crossing, as the recorder keeps it.
    double t = 0.004;
    for (std::size_t i = 0;; ++i) {
        lap.samples.push_back(sample_at(t, lap.lap_number));
        if (t > kRingLapTimeS) break;
        t += 0.016 + 0.003 * std::sin(1.7 * static_cast<double>(i));
    }
    return lap;
}

std::string synthetic_metadata_json(const SyntheticLap& lap, std::string_view file_name,
                                    std::string_view track_length) {
    std::string j = "{\n";
    j += "  \"simulator\": \"lmu\",\n";
    j += "  \"trackName\": \"Corvel Test Ring\",\n";
    j += "  \"trackId\": \"corvel_ring\",\n";
    j += "  \"trackConfig\": \"Short\",\n";
    j += "  \"trackLengthM\": " + std::string(track_length) + ",\n";
    j += "  \"carName\": \"Stand-in GT3 #7\",\n";
    j += "  \"carId\": \"standin_gt3_7\",\n";
    j += "  \"carClass\": \"GT3\",\n";
    j += "  \"driverName\": \"Ren\u00e9e \\\"Test\\\" Driver\",\n";
    j += "  \"sessionType\": \"time_trial\",\n";
    j += "  \"sessionId\": null,\n";
    j += "  \"lapNumber\": " + std::to_string(lap.lap_number) + ",\n";
    j += "  \"lapTimeSeconds\": 12.5,\n";
    j += "  \"sampleCount\": " + std::to_string(lap.samples.size()) + ",\n";
    j += "  \"fileName\": \"" + std::string(file_name) + "\",\n";
    j += "  \"createdAt\": \"2026-01-15T18:04:12.345+00:00\",\n";
    j += "  \"startTrackPct\": 0.00032,\n";
    j += "  \"startedMidLap\": false,\n";
    j += "  \"fuelAtStartLiters\": 40.0,\n";
    j += "  \"fuelAtEndLiters\": 39.5,\n";
    j += "  \"fuelUsedLiters\": 0.5,\n";
    j += "  \"incidentDelta\": 0,\n";
    j += "  \"notes\": [\n";
    j += "    \"Raw VKTF telemetry only; no DB/session-store rows written\",\n";
    j += "    \"Captured with deferred LMU scoring sync so lap is start-to-finish only\"\n";
    j += "  ]\n";
    j += "}";
    return j;
}

}  // namespace motec_test
