// The synthetic track: closed, continuous, consistent in length and never crossing itself.
#include "track.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "speed_profile.hpp"

namespace corvel::lmu_sim {
namespace {

double gap(const TrackPoint& a, const TrackPoint& b) {
    return std::hypot(a.x_m - b.x_m, a.z_m - b.z_m);
}

double heading_gap(double a, double b) {
    return std::abs(std::remainder(a - b, 2.0 * std::numbers::pi));
}

TEST(Track, ClosesOnItselfWithTheSameHeading) {
    for (const double length : {150.0, 4200.0, 13600.0}) {
        const Track track(length);
        const auto start = track.at(0.0);
        const auto end = track.at(length - 1e-9);
        EXPECT_LT(gap(start, end), 1e-3) << length;
        EXPECT_LT(heading_gap(start.heading_rad, end.heading_rad), 1e-6) << length;
        EXPECT_NEAR(start.y_m, end.y_m, 1e-6) << length;
    }
}

TEST(Track, WrapsDistancesOntoTheLap) {
    const Track track(4200.0);
    EXPECT_LT(gap(track.at(100.0), track.at(4300.0)), 1e-9);
    EXPECT_LT(gap(track.at(-100.0), track.at(4100.0)), 1e-9);
}

TEST(Track, StepsAlongTheLineMatchTheDistanceTravelled) {
    const Track track(4200.0);
    double walked = 0.0;
    double largest_step = 0.0;
    const int steps = 8400;
    for (int i = 0; i < steps; ++i) {
        const double d = gap(track.at(4200.0 * i / steps), track.at(4200.0 * (i + 1) / steps));
        walked += d;
        largest_step = std::max(largest_step, d);
    }
    EXPECT_NEAR(walked, 4200.0, 4200.0 * 1e-3);
    EXPECT_LT(largest_step, 0.51);  // no jump, at the half-lap seam either
}

TEST(Track, HasCornersOfBothHandsAndStraights) {
    const Track track(4200.0);
    double tightest = 0.0;
    int left = 0;
    int right = 0;
    int straight = 0;
    for (int i = 0; i < 4200; ++i) {
        const double k = track.at(i).curvature_per_m;
        tightest = std::max(tightest, std::abs(k));
        if (k > 1e-3) ++left;
        if (k < -1e-3) ++right;
        if (k == 0.0) ++straight;
    }
    EXPECT_GT(left, 0);
    EXPECT_GT(right, 0);
    EXPECT_GT(straight, 1000);
    EXPECT_GT(1.0 / tightest, 15.0);  // apex radius of the hairpin, in metres
    EXPECT_LT(1.0 / tightest, 40.0);
}

TEST(Track, NeverCrossesItself) {
    const Track track(4200.0);
    std::vector<TrackPoint> p;
    for (int i = 0; i < 420; ++i) p.push_back(track.at(10.0 * i));
    const auto side = [](const TrackPoint& a, const TrackPoint& b, const TrackPoint& c) {
        return (b.x_m - a.x_m) * (c.z_m - a.z_m) - (b.z_m - a.z_m) * (c.x_m - a.x_m);
    };
    const auto n = p.size();
    int crossings = 0;
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 2; j < n; ++j) {
            if (i == 0 && j == n - 1) continue;  // neighbours through the line
            const auto &a = p[i], &b = p[(i + 1) % n], &c = p[j], &d = p[(j + 1) % n];
            if (side(a, b, c) * side(a, b, d) < 0 && side(c, d, a) * side(c, d, b) < 0) ++crossings;
        }
    }
    EXPECT_EQ(crossings, 0);
}

TEST(SpeedProfile, StaysWithinTheCarsLimits) {
    const Track track(4200.0);
    const CarSpec car;
    const SpeedProfile profile(track, car);
    for (int i = 0; i < 4200; ++i) {
        const double v = profile.speed_at(i);
        EXPECT_GT(v, 10.0);
        EXPECT_LT(v, car.top_speed_mps);
        EXPECT_LT(v * v * std::abs(track.at(i).curvature_per_m), car.lateral_grip_mps2 * 1.05) << i;
        EXPECT_LT(profile.accel_at(i), car.drive_accel_mps2 + 1e-9);
        EXPECT_GT(profile.accel_at(i), -car.braking_mps2 - 1e-9);
    }
}

TEST(SpeedProfile, DistanceAtTimeInvertsTimeAtDistance) {
    const Track track(4200.0);
    const SpeedProfile profile(track, CarSpec{});
    for (const double d : {0.0, 1.0, 777.0, 2100.0, 4199.0}) {
        EXPECT_NEAR(profile.distance_at_time(profile.time_at(d)), d, 1e-6);
    }
    EXPECT_NEAR(profile.distance_at_time(profile.lap_time_s()), 4200.0, 1e-6);
}

}  // namespace
}  // namespace corvel::lmu_sim
