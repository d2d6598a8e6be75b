// Real circuits: a centre line with track widths and a racing line, as the racetrack-database
// CSVs give them (built into the program, or read from files the user names).
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvel::lmu_sim {

struct CentrePoint {
    double x_m = 0.0;
    double z_m = 0.0;  // the data's second coordinate; the circuits are flat
    double width_right_m = 0.0;
    double width_left_m = 0.0;
};

struct PlanePoint {
    double x_m = 0.0;
    double z_m = 0.0;
};

struct CircuitData {
    std::string track_name;  // as published
    std::vector<CentrePoint> centre;
    std::vector<PlanePoint> racing_line;  // empty: the car drives the centre line
};

// `x_m,y_m,w_tr_right_m,w_tr_left_m` lines; `#` lines and blank lines are skipped. The loop
// closes by itself (a last point equal to the first is dropped). `what` names the source in errors.
[[nodiscard]] std::expected<std::vector<CentrePoint>, std::string> parse_centre_csv(std::string_view text,
                                                                                   std::string_view what);
// `x_m,y_m` lines, as above.
[[nodiscard]] std::expected<std::vector<PlanePoint>, std::string> parse_line_csv(std::string_view text,
                                                                                std::string_view what);

// The circuits built in, by their --track names: spa, monza, sakhir.
[[nodiscard]] std::optional<CircuitData> builtin_circuit(std::string_view name);
// A circuit from the user's files (UTF-8 paths); without a racing line the car drives the centre.
[[nodiscard]] std::expected<CircuitData, std::string> circuit_from_files(const std::string& centre_path,
                                                                        const std::optional<std::string>& line_path);

}  // namespace corvel::lmu_sim
