// Turns a circuit's points into the table the car drives on: a smooth path at even spacing
// with heading and curvature, and for each point where it lies against the centre line.
#pragma once

#include <vector>

#include "circuit.hpp"
#include "track.hpp"

namespace corvel::lmu_sim {

struct CircuitGeometry {
    double path_length_m = 0.0;
    double centre_length_m = 0.0;
    double step_m = 0.0;
    // Path points at step_m spacing from the start/finish line; the last is the first one lap
    // on (heading unwrapped, lap distance equal to the centre length).
    std::vector<TrackPoint> table;
};

[[nodiscard]] CircuitGeometry build_circuit_geometry(const CircuitData& circuit);

// Gaussian smoothing of a closed loop of evenly spaced values; `sigma` in samples.
void smooth_loop(std::vector<double>& values, double sigma);

}  // namespace corvel::lmu_sim
