// Variation is drawn per (seed, lap, corner) from a hash, never from one running generator:
// a scripted mistake at one corner leaves every other corner and lap exactly as the same seed
// drives it without the mistake. A driver never beats the model: brake points only move
// earlier (around a mean of a few metres), apex speeds only fall, the throttle only comes later.
#include "lap_driver.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace corvel::lmu_sim {
namespace {

constexpr double kBrakeMeanM = 4.0;
constexpr double kBrakeSpreadM = 3.0;
constexpr double kApexSpread = 0.006;  // share of the apex speed
constexpr double kThrottleSpreadM = 5.0;
constexpr double kLateBrakeApexShare = 0.92;
constexpr double kLateBrakeWideningM = 2.0;
constexpr double kOffTrackLengthM = 60.0;

std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

// Standard normal numbers for one (seed, lap, corner), the same on every platform.
class Draws {
  public:
    Draws(std::uint64_t seed, std::int64_t lap, int corner)
        : state_(mix(mix(seed) ^ mix(static_cast<std::uint64_t>(lap) * 31ULL + static_cast<std::uint64_t>(corner)))) {}
    double normal() {
        const double u1 = (static_cast<double>(next() >> 11) + 0.5) / 9007199254740992.0;
        const double u2 = static_cast<double>(next() >> 11) / 9007199254740992.0;
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
    }

  private:
    std::uint64_t next() { return state_ = mix(state_); }
    std::uint64_t state_;
};

std::size_t grid_index(const SpeedProfile& p, double distance_m) {
    return std::min(p.points(), static_cast<std::size_t>(std::lround(std::max(0.0, distance_m) / p.step_m())));
}

double grid_distance(const SpeedProfile& p, std::size_t i) {
    return static_cast<double>(i) * p.step_m();
}

// Back from a corner's slowest point: over any stretch held at speed, then through the braking.
std::size_t brake_point_before(const SpeedProfile& p, std::size_t i) {
    while (i > 0 && p.brake_at_point(i - 1) <= 0.0 && std::abs(p.accel_at_point(i - 1)) < 0.3) --i;
    while (i > 0 && p.brake_at_point(i - 1) > 0.0) --i;
    return i;
}

}  // namespace

double LineBump::at(double distance_m) const {
    if (distance_m <= from_m || distance_m >= to_m) return 0.0;
    const double phase = (distance_m - from_m) / (to_m - from_m);
    return offset_m * 0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * phase));
}

std::vector<Corner> find_corners(const Track& track, const SpeedProfile& model) {
    std::vector<Corner> corners;
    const std::size_t n = model.points();
    std::size_t i = 1;
    while (i < n) {
        if (!(model.brake_at_point(i) > 0.0 && model.brake_at_point(i - 1) <= 0.0)) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        std::size_t low = i;
        while (low + 1 < n && model.speed_at_point(low + 1) <= model.speed_at_point(low)) ++low;
        std::size_t pickup = low;
        while (pickup + 1 < n && model.accel_at_point(pickup) <= 0.0) ++pickup;
        std::size_t end = pickup;
        while (end + 1 < n && model.throttle_at_point(end) < 0.98 && model.brake_at_point(end + 1) <= 0.0) ++end;
        i = end + 1;
        if (model.speed_at_point(start) - model.speed_at_point(low) < kCornerSpeedDropMps) continue;
        Corner c;
        c.number = static_cast<int>(corners.size()) + 1;
        c.start_m = grid_distance(model, start);
        c.min_speed_m = grid_distance(model, low);
        c.min_speed_mps = model.speed_at_point(low);
        c.pickup_m = grid_distance(model, pickup);
        c.end_m = grid_distance(model, end);
        double sharpest = -1.0;
        for (double s = c.start_m; s <= c.end_m; s += 0.5) {
            const double k = std::abs(track.at(s).curvature_per_m);
            if (k > sharpest) {
                sharpest = k;
                c.apex_m = s;
            }
        }
        corners.push_back(c);
    }
    return corners;
}

double default_mistake_size(MistakeKind kind) {
    switch (kind) {
        case MistakeKind::EarlyBrake: return 15.0;
        case MistakeKind::LateBrake: return 10.0;
        case MistakeKind::OverSlow: return 8.0;
        case MistakeKind::LateThrottle: return 20.0;
        case MistakeKind::OffTrack: return 2.0;
    }
    return 0.0;
}

std::optional<MistakeKind> mistake_kind(std::string_view name) {
    if (name == "early-brake") return MistakeKind::EarlyBrake;
    if (name == "late-brake") return MistakeKind::LateBrake;
    if (name == "over-slow") return MistakeKind::OverSlow;
    if (name == "late-throttle") return MistakeKind::LateThrottle;
    if (name == "off-track") return MistakeKind::OffTrack;
    return std::nullopt;
}

LapDriver::LapDriver(const Track& track, const CarSpec& car, const SpeedProfile& model, DriverStyle style)
    : track_(&track), car_(&car), model_(&model), style_(std::move(style)), corners_(find_corners(track, model)) {}

DrivenLap LapDriver::drive(std::int64_t lap) const {
    LapEdits edits;
    DrivenLap driven;
    struct EarlyBrake {
        double min_point_m;
        double early_m;
        double speed_mps;
    };
    std::vector<EarlyBrake> early_brakes;
    for (const auto& corner : corners_) {
        double early = 0.0;
        double apex = corner.min_speed_mps;
        double late_throttle = 0.0;
        if (style_.vary) {
            Draws draws(style_.seed, lap, corner.number);
            double spread = kBrakeSpreadM;
            double mean = kBrakeMeanM;
            for (const auto& s : style_.spreads) {
                if (s.corner == corner.number) {
                    spread = s.brake_m;
                    mean = std::max(kBrakeMeanM, 2.0 * s.brake_m);
                }
            }
            early = std::max(0.0, mean + spread * draws.normal());
            apex *= 1.0 - std::min(0.01, std::abs(kApexSpread * draws.normal()));
            late_throttle = std::abs(kThrottleSpreadM * draws.normal());
        }
        double min_point = corner.min_speed_m;
        for (const auto& m : style_.mistakes) {
            if (m.lap != lap || m.corner != corner.number) continue;
            switch (m.kind) {
                case MistakeKind::EarlyBrake: early += m.size; break;
                case MistakeKind::LateThrottle: late_throttle += m.size; break;
                case MistakeKind::OverSlow: apex = std::max(3.0, apex - m.size / 3.6); break;
                case MistakeKind::LateBrake: {
                    // In too deep: grip no longer sets the speed on the way in, the car runs
                    // wide, bottoms out later and slower.
                    edits.wide.push_back({corner.start_m - 10.0, min_point + m.size});
                    min_point += m.size;
                    apex *= kLateBrakeApexShare;
                    const double side = track_->at(corner.apex_m).curvature_per_m >= 0.0 ? -1.0 : 1.0;
                    driven.bumps.push_back({corner.start_m, min_point + 2.0 * m.size + 40.0,
                                            side * kLateBrakeWideningM});
                    break;
                }
                case MistakeKind::OffTrack: {
                    const auto exit = track_->at(corner.end_m);
                    const double side = exit.lateral_m >= 0.0 ? 1.0 : -1.0;
                    const double edge = side > 0.0 ? exit.width_positive_m : exit.width_negative_m;
                    const double beyond = edge - std::abs(exit.lateral_m) + m.size;
                    const double from = corner.end_m - kOffTrackLengthM / 2.0;
                    driven.bumps.push_back({from, from + kOffTrackLengthM, side * beyond});
                    driven.off_track_from_m = from;
                    break;
                }
            }
        }
        edits.caps.push_back({min_point, min_point + late_throttle, apex});
        if (early > 0.0) early_brakes.push_back({min_point, early, apex});
    }
    // An earlier brake is the same braking, moved back: the lap's braking curve shifted by
    // `early_m`, then the minimum speed held up to where the braking would have ended.
    const SpeedProfile on_time(*track_, *car_, edits);
    for (const auto& e : early_brakes) {
        const std::size_t i = brake_point_before(on_time, grid_index(on_time, e.min_point_m));
        for (double s = grid_distance(on_time, i); s <= e.min_point_m; s += on_time.step_m()) {
            edits.caps.push_back({s - e.early_m, s - e.early_m, on_time.speed_at(s)});
        }
        edits.caps.push_back({e.min_point_m - e.early_m, e.min_point_m, e.speed_mps});
    }
    driven.profile = std::make_shared<const SpeedProfile>(*track_, *car_, edits);
    return driven;
}

std::vector<CornerTruth> LapDriver::corner_truth(const DrivenLap& lap) const {
    const SpeedProfile& p = *lap.profile;
    std::vector<CornerTruth> out;
    for (std::size_t c = 0; c < corners_.size(); ++c) {
        const Corner& corner = corners_[c];
        const double window_from = c == 0 ? 0.0 : corners_[c - 1].end_m;
        const double window_to = c + 1 < corners_.size() ? corners_[c + 1].start_m : track_->length_m();
        // The slowest point between the neighbours; where the speed is held at its minimum
        // over a stretch, the model's own minimum point when it lies on that stretch.
        std::size_t low = grid_index(p, window_from);
        for (std::size_t i = low; i <= grid_index(p, window_to); ++i) {
            if (p.speed_at_point(i) < p.speed_at_point(low)) low = i;
        }
        const std::size_t model_low = grid_index(p, corner.min_speed_m);
        if (std::abs(p.speed_at_point(model_low) - p.speed_at_point(low)) < 1e-6) low = model_low;
        const std::size_t brake = brake_point_before(p, low);
        std::size_t pickup = low;
        while (pickup < p.points() && p.accel_at_point(pickup) <= 0.5) ++pickup;

        CornerTruth t;
        t.number = corner.number;
        t.brake_m = grid_distance(p, brake);
        t.apex_m = corner.apex_m;
        t.min_speed_m = grid_distance(p, low);
        t.min_speed_mps = p.speed_at_point(low);
        t.pickup_m = grid_distance(p, pickup);
        t.start_time_s = p.time_at(t.brake_m);
        t.apex_time_s = p.time_at(t.apex_m);
        t.end_time_s = p.time_at(std::max(corner.end_m, t.pickup_m));
        out.push_back(t);
    }
    return out;
}

}  // namespace corvel::lmu_sim
