// The circuit the stand-in simulator drives: either the synthetic ring (a closed loop of any
// length with long straights, a hairpin, a chicane and sweepers of both hands, and gentle
// hills) or a real circuit, whose car follows the racing line while LMU's lap distance runs
// along the centre line.
#pragma once

#include <vector>

#include "circuit.hpp"

namespace corvel::lmu_sim {

struct TrackPoint {
    double x_m = 0.0;
    double y_m = 0.0;  // height
    double z_m = 0.0;
    // Direction of travel in the horizontal plane: atan2(dx, dz).
    double heading_rad = 0.0;
    // Rate of change of the heading per metre travelled; its sign is the corner's hand.
    double curvature_per_m = 0.0;
    // Along the centre line from the start/finish line: what LMU publishes as lap distance.
    double lap_distance_m = 0.0;
    // Offset of the path from the centre line, positive towards the inside of a
    // positive-curvature corner, and the track's half-width on each side.
    double lateral_m = 0.0;
    double width_positive_m = 6.5;
    double width_negative_m = 6.5;
};

inline constexpr double kCircuitStepM = 1.0;

class Track {
  public:
    // The synthetic ring. `length_m` must be positive; the command line keeps it in a sensible range.
    explicit Track(double length_m);
    // A real circuit: the path is its racing line (or centre line), smoothed, starting where it
    // crosses the start/finish line at the first centre-line point.
    explicit Track(const CircuitData& circuit);

    // Along the path the car drives.
    [[nodiscard]] double length_m() const { return length_m_; }
    // Along the centre line: the published track length.
    [[nodiscard]] double lap_length_m() const { return lap_length_m_; }
    [[nodiscard]] bool is_ring() const { return table_.empty(); }
    // A distance along the path; any distance is accepted and wrapped onto the lap, so the
    // loop has no seam.
    [[nodiscard]] TrackPoint at(double distance_m) const;

  private:
    [[nodiscard]] TrackPoint ring_at(double along) const;
    [[nodiscard]] TrackPoint circuit_at(double along) const;

    struct HalfPoint {
        double x;
        double z;
        double heading;
    };
    [[nodiscard]] HalfPoint half_at(double unit_distance) const;

    double length_m_;
    double lap_length_m_;
    double step_m_ = 0.0;
    std::vector<HalfPoint> half_;  // ring: the first half-lap, unit length, at equally spaced distances
    // Circuit: the path at step_m_ (about kCircuitStepM) spacing, heading unwrapped; the last point is the first
    // one lap on.
    std::vector<TrackPoint> table_;
};

}  // namespace corvel::lmu_sim
