// The synthetic circuit that the stand-in simulator drives: a closed loop of any length with
// long straights, a hairpin, a chicane and sweepers of both hands, and gentle hills.
#pragma once

#include <vector>

namespace corvel::lmu_sim {

struct TrackPoint {
    double x_m = 0.0;
    double y_m = 0.0;  // height
    double z_m = 0.0;
    // Direction of travel in the horizontal plane: atan2(dx, dz).
    double heading_rad = 0.0;
    // Rate of change of the heading per metre travelled; its sign is the corner's hand.
    double curvature_per_m = 0.0;
};

class Track {
  public:
    // `length_m` must be positive; the command line keeps it in a sensible range.
    explicit Track(double length_m);

    [[nodiscard]] double length_m() const { return length_m_; }
    // Any distance is accepted and wrapped onto the lap, so the loop has no seam.
    [[nodiscard]] TrackPoint at(double distance_m) const;

  private:
    struct HalfPoint {
        double x;
        double z;
        double heading;
    };
    [[nodiscard]] HalfPoint half_at(double unit_distance) const;

    double length_m_;
    std::vector<HalfPoint> half_;  // the first half-lap, unit length, at equally spaced distances
};

}  // namespace corvel::lmu_sim
