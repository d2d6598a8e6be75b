// The corner map on paths drawn from straights and arcs, whose corners are known exactly:
// their count, direction, apex (the arc's middle) and numbering from the line.
#include "analysis/corner_map.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

namespace corvel {
namespace {

// A straight (peak 0) or a bend whose curvature rises evenly to `peak` at its middle and falls
// again, so its apex is exactly there; positive turns left.
struct Piece {
    double length_m;
    double peak_per_m;
};

struct DrawnPath {
    std::vector<LapSample> samples;
    std::vector<double> distance_m;
    double length_m = 0.0;
};

// One sample per metre along the pieces, starting `start_m` into them (the path wraps: draw
// closed paths when starting inside them).
DrawnPath draw(const std::vector<Piece>& pieces, double start_m) {
    std::vector<std::pair<double, double>> points;
    double x = 0.0, z = 0.0, heading = 0.0;
    for (const Piece& p : pieces) {
        for (double s = 0.0; s < p.length_m; s += 1.0) {
            points.emplace_back(x, z);
            heading += p.peak_per_m * (1.0 - std::abs(2.0 * (s + 0.5) / p.length_m - 1.0));
            x += std::cos(heading);
            z += std::sin(heading);
        }
    }
    DrawnPath path;
    path.length_m = static_cast<double>(points.size());
    const auto first = static_cast<std::size_t>(start_m);
    for (std::size_t k = 0; k < points.size(); ++k) {
        const auto& [px, pz] = points[(first + k) % points.size()];
        LapSample s{};
        s.pos_x = static_cast<float>(px);
        s.pos_z = static_cast<float>(pz);
        path.samples.push_back(s);
        path.distance_m.push_back(static_cast<double>(k));
    }
    return path;
}

constexpr double kHalfTurn = std::numbers::pi / 100.0;  // peak of a 200 m bend turning 180 degrees

TEST(CornerMapGeometry, FindsTheBendsOfDrawnPaths) {
    constexpr auto L = CornerDirection::Left;
    constexpr auto R = CornerDirection::Right;
    const struct {
        const char* name;
        std::vector<Piece> pieces;
        double start_m;
        std::vector<std::pair<CornerDirection, double>> corners;  // direction, apex
    } cases[] = {
        {"stadium from the straight", {{400, 0}, {200, kHalfTurn}, {400, 0}, {200, kHalfTurn}}, 0, {{L, 500}, {L, 1100}}},
        // The line 30 m before the second bend's apex: that bend is one corner across it, T1.
        {"stadium from inside a bend", {{400, 0}, {200, kHalfTurn}, {400, 0}, {200, kHalfTurn}}, 1070, {{L, 30}, {L, 630}}},
        {"S-bend", {{300, 0}, {100, 0.01}, {100, -0.01}, {300, 0}, {200, kHalfTurn}}, 0, {{L, 350}, {R, 450}, {L, 900}}},
        // Turning the car by 10 degrees is a kink, not a corner.
        {"kink", {{400, 0}, {16, 0.0218}, {400, 0}, {300, kHalfTurn}}, 0, {{L, 966}}},
        // Two bends of one direction 20 m apart are one corner, its apex the sharper one's.
        {"double apex", {{300, 0}, {60, 0.02}, {20, 0}, {60, 0.03}, {300, 0}}, 0, {{L, 410}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DrawnPath path = draw(c.pieces, c.start_m);
        const CornerMap map = find_corner_map(path.samples, path.distance_m, path.length_m);
        ASSERT_EQ(map.corners.size(), c.corners.size());
        for (std::size_t i = 0; i < map.corners.size(); ++i) {
            const TrackCorner& t = map.corners[i];
            EXPECT_EQ(t.number, static_cast<int>(i + 1));
            EXPECT_EQ(t.direction, c.corners[i].first);
            EXPECT_NEAR(t.apex_m, c.corners[i].second, 3.0);
            EXPECT_LT(t.start_m, t.apex_m);
            EXPECT_GT(t.end_m, t.apex_m);
        }
    }
}

}  // namespace
}  // namespace corvel
