// The driver on a real circuit: corners found on the model's lap, and per lap and corner how
// the driver takes them (a little differently each lap, seeded) and the mistakes scripted for
// tests. Each lap is its own speed profile, made once when the lap is planned.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "speed_profile.hpp"
#include "track.hpp"

namespace corvel::lmu_sim {

// One corner of the model's lap; distances along the path.
struct Corner {
    int number = 0;          // T1 is the first after the line
    double start_m = 0.0;    // the brake point
    double apex_m = 0.0;     // highest curvature
    double min_speed_m = 0.0;
    double min_speed_mps = 0.0;
    double pickup_m = 0.0;   // throttle pickup: the car speeds up again
    double end_m = 0.0;      // full throttle again, or the next brake point
};

// Braking zones that lose at least this much speed are corners.
inline constexpr double kCornerSpeedDropMps = 10.0 / 3.6;
[[nodiscard]] std::vector<Corner> find_corners(const Track& track, const SpeedProfile& model);

enum class MistakeKind : std::uint8_t { EarlyBrake, LateBrake, OverSlow, LateThrottle, OffTrack };

struct Mistake {
    std::int64_t lap = 0;
    int corner = 0;
    MistakeKind kind = MistakeKind::EarlyBrake;
    double size = 0.0;  // metres, or km/h for over-slow
};
[[nodiscard]] double default_mistake_size(MistakeKind kind);
[[nodiscard]] std::optional<MistakeKind> mistake_kind(std::string_view name);

struct CornerSpread {
    int corner = 0;
    double brake_m = 0.0;  // standard deviation of the brake point
};

struct DriverStyle {
    std::uint64_t seed = 1;
    bool vary = true;
    std::vector<CornerSpread> spreads;
    std::vector<Mistake> mistakes;
};

// A stretch where the car leaves the path sideways: raised-cosine shaped, `offset_m` at its
// middle, positive towards the inside of a positive-curvature corner.
struct LineBump {
    double from_m = 0.0;
    double to_m = 0.0;
    double offset_m = 0.0;
    [[nodiscard]] double at(double distance_m) const;
};

struct DrivenLap {
    std::shared_ptr<const SpeedProfile> profile;
    std::vector<LineBump> bumps;
    std::optional<double> off_track_from_m;  // the lap is invalidated from here
};

// What happened at one corner of one driven lap, along the path.
struct CornerTruth {
    int number = 0;
    double brake_m = 0.0;
    double apex_m = 0.0;
    double min_speed_m = 0.0;
    double min_speed_mps = 0.0;
    double pickup_m = 0.0;
    double start_time_s = 0.0;  // from the line, at the brake point
    double apex_time_s = 0.0;
    double end_time_s = 0.0;
};

class LapDriver {
  public:
    LapDriver(const Track& track, const CarSpec& car, const SpeedProfile& model, DriverStyle style);

    [[nodiscard]] const std::vector<Corner>& corners() const { return corners_; }
    [[nodiscard]] DrivenLap drive(std::int64_t lap) const;
    [[nodiscard]] std::vector<CornerTruth> corner_truth(const DrivenLap& lap) const;

  private:
    const Track* track_;
    const CarSpec* car_;
    const SpeedProfile* model_;
    DriverStyle style_;
    std::vector<Corner> corners_;
};

}  // namespace corvel::lmu_sim
