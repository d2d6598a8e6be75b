// The real-circuit lap model against physics worked out here from the car's numbers, and the
// driver: variation by seed, and scripted mistakes that change their own corner only.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "circuit.hpp"
#include "lap_driver.hpp"
#include "speed_profile.hpp"
#include "track.hpp"

namespace corvel::lmu_sim {
namespace {

constexpr double kG = 9.81;
constexpr double kRho = 1.2;  // air at sea level

// A stadium of two straights joined by half circles (radius 0: a full circle), points 5 m apart.
CircuitData stadium(double straight_m, double radius_m) {
    CircuitData c;
    c.track_name = "test";
    const auto add = [&](double x, double z) { c.centre.push_back({x, z, 6.0, 6.0}); };
    for (int half = 0; half < 2; ++half) {
        const double sign = half == 0 ? 1.0 : -1.0;
        for (double s = 0.0; s < straight_m; s += 5.0) add(sign * radius_m, sign * (s - straight_m / 2.0));
        const int steps = static_cast<int>(std::numbers::pi * radius_m / 5.0);
        for (int i = 0; i < steps; ++i) {
            const double a = std::numbers::pi * i / steps;
            add(sign * radius_m * std::cos(a), sign * (straight_m / 2.0 + radius_m * std::sin(a)));
        }
    }
    return c;
}

double top_speed_truth(const CarSpec& car) {
    double low = 1.0;
    double high = 200.0;
    for (int i = 0; i < 100; ++i) {
        const double v = (low + high) / 2.0;
        const double resist = 0.5 * kRho * car.drag_area_m2 * v * v * v + car.mass_kg * car.rolling_mps2 * v;
        (resist < car.power_w ? low : high) = v;
    }
    return low;
}

double corner_speed_truth(const CarSpec& car, double radius_m) {
    const double aero = car.tyre_mu * 0.5 * kRho * car.downforce_area_m2 / car.mass_kg;
    return std::sqrt(car.tyre_mu * kG / (1.0 / radius_m - aero));
}

TEST(LapModel, MatchesPowerDragAndGripLimits) {
    for (const auto& [name, car] : {std::pair{"hypercar", hypercar()}, std::pair{"gt3", gt3()}}) {
        // A long straight: the top speed that power and drag allow, never more.
        const Track oval(stadium(9000.0, 300.0));
        const SpeedProfile fast(oval, car, LapEdits{});
        double top = 0.0;
        for (double s = 0.0; s < oval.length_m(); s += 1.0) top = std::max(top, fast.speed_at(s));
        EXPECT_NEAR(top / top_speed_truth(car), 0.995, 0.0051) << name;
        // A circle: the speed that grip and downforce allow, everywhere within 2 % (the points
        // are a 5 m polygon, and the path is smoothed).
        for (const double radius : {60.0, 150.0, 250.0}) {
            const Track circle(stadium(0.0, radius));
            const SpeedProfile steady(circle, car, LapEdits{});
            // Where downforce outgrows the need, power and drag set the speed instead.
            const double truth = std::min(corner_speed_truth(car, radius), top_speed_truth(car));
            for (double s = 0.0; s < circle.length_m(); s += 10.0) {
                ASSERT_NEAR(steady.speed_at(s) / truth, 1.0, 0.02) << name << " radius " << radius << " at " << s;
            }
        }
    }
}

struct CircuitCase {
    const char* name;
    double fastest_s;  // the class's plausible lap times
    double slowest_s;
};

TEST(LapModel, DrivesRealCircuitsWithinTheCarsLimits) {
    const CarSpec car = hypercar();
    for (const auto& c : {CircuitCase{"spa", 120.0, 126.0}, CircuitCase{"monza", 94.0, 100.0},
                          CircuitCase{"sakhir", 104.5, 112.0}}) {
        const Track track(*builtin_circuit(c.name));
        const SpeedProfile p(track, car, LapEdits{});
        EXPECT_GT(p.lap_time_s(), c.fastest_s) << c.name;
        EXPECT_LT(p.lap_time_s(), c.slowest_s) << c.name;
        double hardest_braking = 0.0;
        for (std::size_t i = 0; i < p.points(); ++i) {
            const double s = static_cast<double>(i) * p.step_m();
            const double v = p.speed_at_point(i);
            const double drag = 0.5 * kRho * car.drag_area_m2 * v * v / car.mass_kg + car.rolling_mps2;
            const double k = std::abs(track.at(s).curvature_per_m);
            const double lateral = v * v * k;
            const double grip = car.tyre_mu * (kG + 0.5 * kRho * car.downforce_area_m2 * v * v / car.mass_kg);
            ASSERT_LE(lateral, grip * 1.01) << c.name << " above the corner's limit at " << s;
            const double a = p.accel_at_point(i);
            ASSERT_LE(-a, car.braking_limit_mps2 + drag + 0.5) << c.name << " brakes too hard at " << s;
            ASSERT_LE(a * v, car.power_w / car.mass_kg + 1.0) << c.name << " more than the power at " << s;
            ASSERT_FALSE(p.throttle_at_point(i) > 0.0 && p.brake_at_point(i) > 0.0) << c.name << " at " << s;
            const double left = std::sqrt(std::max(0.0, grip * grip - lateral * lateral));
            hardest_braking = std::max(hardest_braking, (-a - drag) / std::min(car.braking_limit_mps2, left));
        }
        // Somewhere it brakes at the limit: of the brakes, or of the grip that cornering leaves.
        EXPECT_GT(hardest_braking, 0.97) << c.name;

        // The published lap distance runs along the centre line, never backwards or by jumps.
        double previous = 0.0;
        int outside = 0;
        for (double s = 0.0; s <= track.length_m(); s += 1.0) {
            const auto point = track.at(std::min(s, track.length_m() - 1e-6));
            ASSERT_GE(point.lap_distance_m, previous) << c.name << " at " << s;
            ASSERT_LT(point.lap_distance_m - previous, 2.0) << c.name << " at " << s;
            previous = point.lap_distance_m;
            const double edge = point.lateral_m >= 0.0 ? point.width_positive_m : point.width_negative_m;
            if (std::abs(point.lateral_m) > edge) ++outside;
        }
        EXPECT_NEAR(previous, track.lap_length_m(), 2.0) << c.name;
        EXPECT_NEAR(track.length_m() / track.lap_length_m(), 0.99, 0.01) << c.name;
        EXPECT_LT(outside, static_cast<int>(track.length_m() / 100.0)) << c.name << ": racing line off the track";
    }
}

class DriverTest : public ::testing::Test {
  protected:
    const Track track_{*builtin_circuit("monza")};
    const CarSpec car_ = hypercar();
    const SpeedProfile model_{track_, car_, LapEdits{}};

    [[nodiscard]] LapDriver driver(std::uint64_t seed, bool vary = true, std::vector<Mistake> mistakes = {}) const {
        DriverStyle style;
        style.seed = seed;
        style.vary = vary;
        style.mistakes = std::move(mistakes);
        return LapDriver(track_, car_, model_, style);
    }
};

TEST_F(DriverTest, SeedReproducesTheSessionAndLapsVaryByTenths) {
    const auto a = driver(7);
    const auto b = driver(7);
    const auto other = driver(8);
    const auto exact = driver(7, false);
    double lowest = 1e9;
    double highest = 0.0;
    for (std::int64_t lap = 1; lap <= 8; ++lap) {
        const double t = a.drive(lap).profile->lap_time_s();
        EXPECT_EQ(t, b.drive(lap).profile->lap_time_s()) << lap;
        EXPECT_NE(t, other.drive(lap).profile->lap_time_s()) << lap;
        EXPECT_DOUBLE_EQ(exact.drive(lap).profile->lap_time_s(), model_.lap_time_s()) << lap;
        EXPECT_GT(t, model_.lap_time_s()) << "a driver never beats the model";
        lowest = std::min(lowest, t);
        highest = std::max(highest, t);
    }
    EXPECT_GT(highest - lowest, 0.05);
    EXPECT_LT(highest - lowest, 1.0);
    EXPECT_GE(a.corners().size(), 8u);
}

struct MistakeCase {
    MistakeKind kind;
    double size;
    double brake_shift_m;  // + later; NaN: not checked
    double pickup_shift_m;
    double min_speed_drop_mps;
    double tolerance;
};

TEST_F(DriverTest, AMistakeChangesItsCornerAndNothingElse) {
    const std::int64_t lap = 3;
    const int corner = 3;
    const auto plain = driver(5);
    const auto base = plain.corner_truth(plain.drive(lap));
    const double nan = std::nan("");
    for (const auto& m : {MistakeCase{MistakeKind::EarlyBrake, 15.0, nan, 0.0, 0.0, 2.5},
                          MistakeCase{MistakeKind::LateThrottle, 20.0, 0.0, 20.0, 0.0, 2.5},
                          MistakeCase{MistakeKind::OverSlow, 8.0, nan, nan, 8.0 / 3.6, 0.05},
                          MistakeCase{MistakeKind::LateBrake, 10.0, nan, nan, nan, 0.0},
                          MistakeCase{MistakeKind::OffTrack, 2.0, 0.0, 0.0, 0.0, 0.01}}) {
        const auto kind = static_cast<int>(m.kind);
        const auto mistaken = driver(5, true, {{lap, corner, m.kind, m.size}});
        const auto driven = mistaken.drive(lap);
        const auto truth = mistaken.corner_truth(driven);
        ASSERT_EQ(truth.size(), base.size());
        const auto& was = base[corner - 1];
        const auto& now = truth[corner - 1];
        if (!std::isnan(m.brake_shift_m)) {
            EXPECT_NEAR(now.brake_m - was.brake_m, m.brake_shift_m, m.tolerance) << kind;
        }
        if (!std::isnan(m.pickup_shift_m)) {
            EXPECT_NEAR(now.pickup_m - was.pickup_m, m.pickup_shift_m, m.tolerance) << kind;
        }
        if (!std::isnan(m.min_speed_drop_mps)) {
            EXPECT_NEAR(was.min_speed_mps - now.min_speed_mps, m.min_speed_drop_mps, 0.05) << kind;
        }
        if (m.kind == MistakeKind::EarlyBrake) {
            // Known shortfall: the brake point moves earlier, but by less than SIZE.
            EXPECT_LT(now.brake_m - was.brake_m, -0.3 * m.size) << "brakes earlier";
            EXPECT_NEAR(now.min_speed_mps, was.min_speed_mps, 1e-9) << "to the same minimum speed";
        }
        if (m.kind == MistakeKind::LateBrake) {
            EXPECT_GT(now.brake_m - was.brake_m, 0.4 * m.size) << "brakes later";
            EXPECT_LT(now.min_speed_mps, was.min_speed_mps) << "and comes out slower";
        }
        EXPECT_EQ(driven.off_track_from_m.has_value(), m.kind == MistakeKind::OffTrack);
        // Every other corner of the lap, and the laps either side, exactly as without it.
        for (std::size_t c = 0; c < base.size(); ++c) {
            if (static_cast<int>(c) + 1 == corner || static_cast<int>(c) + 1 == corner + 1) continue;
            EXPECT_DOUBLE_EQ(truth[c].brake_m, base[c].brake_m) << kind << " T" << c + 1;
            EXPECT_DOUBLE_EQ(truth[c].min_speed_mps, base[c].min_speed_mps) << kind << " T" << c + 1;
        }
        for (const std::int64_t other : {lap - 1, lap + 1}) {
            EXPECT_EQ(mistaken.drive(other).profile->lap_time_s(), plain.drive(other).profile->lap_time_s());
        }
    }
}

TEST(CircuitCsv, NamesTheLineThatIsWrong) {
    std::string good = "# x_m,y_m,w_tr_right_m,w_tr_left_m\n";
    for (int i = 0; i < 25; ++i) good += std::to_string(i) + ",0,5,5\n";
    EXPECT_TRUE(parse_centre_csv(good, "good.csv"));
    const struct {
        std::string text;
        const char* error;
    } cases[] = {
        {good + "1,x,5,5\n", "bad.csv, line 27: \"x\" is not a number"},
        {good + "1,2,5\n", "bad.csv, line 27: 4 numbers expected, found 3"},
        {good + "1,2,0,5\n", "bad.csv: track widths must be positive"},
        {"1,2,5,5\n", "bad.csv: a closed loop needs at least 20 points, found 1"},
        {good + "1,inf,5,5\n", "bad.csv, line 27: \"inf\" is not a number"},
    };
    for (const auto& c : cases) {
        const auto parsed = parse_centre_csv(c.text, "bad.csv");
        ASSERT_FALSE(parsed) << c.error;
        EXPECT_EQ(parsed.error(), c.error);
    }
}

}  // namespace
}  // namespace corvel::lmu_sim
