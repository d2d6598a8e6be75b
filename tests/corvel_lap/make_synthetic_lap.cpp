// Writes a lap (.bin + .json) into a directory and prints the .bin path. Used by the CSV and
// SVG checks and to render the example in docs/.
// Usage: make_synthetic_lap DIR [--compare | --degenerate]
//   --compare     a second lap of the same car, a little different corner by corner
//   --degenerate  a short lap full of NaN and infinite values, as a damaged capture might hold
#include <cmath>
#include <iostream>
#include <limits>
#include <string_view>

#include "corvel/lap_file_writer.hpp"
#include "synthetic_lap.hpp"

namespace {

std::expected<std::filesystem::path, std::string> write_degenerate_lap(const std::filesystem::path& dir) {
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    constexpr float kInf = std::numeric_limits<float>::infinity();
    auto lap = corvel::testing::make_synthetic_lap();
    lap.samples.resize(40);
    for (std::size_t i = 0; i < lap.samples.size(); ++i) {
        corvel::LapSample& s = lap.samples[i];
        s.pos_x = i % 3 == 0 ? kNaN : (i % 5 == 0 ? kInf : 7.0f);
        s.pos_z = i % 4 == 0 ? -kInf : 7.0f;
        s.lap_fraction = i % 2 == 0 ? kNaN : 0.5f;
        s.session_time = i % 6 == 0 ? kInf : s.session_time;
    }
    lap.metadata.track_length_m = kNaN;
    lap.metadata.lap_time_seconds = std::nan("");
    lap.metadata.sample_count = lap.samples.size();
    lap.metadata.file_name = "degenerate-lap.bin";
    const auto bin = dir / lap.metadata.file_name;
    if (const auto written = corvel::write_lap_telemetry(bin, lap.samples); !written) {
        return std::unexpected(written.error().display());
    }
    if (const auto written = corvel::write_lap_metadata(dir / "degenerate-lap.json", lap.metadata);
        !written) {
        return std::unexpected(written.error());
    }
    return bin;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "Usage: make_synthetic_lap DIR [--compare | --degenerate]\n";
        return 1;
    }
    const std::string_view mode = argc > 2 ? argv[2] : "";
    std::error_code ec;
    std::filesystem::create_directories(argv[1], ec);
    corvel::testing::SyntheticLapOptions options;
    if (mode == "--compare") {
        options.lap = 4;
        options.grip_wobble = 0.06;
        options.brake_scale = 0.93;
        options.yellow_sector = false;
    }
    const auto written = mode == "--degenerate" ? write_degenerate_lap(argv[1])
                                                : corvel::testing::write_synthetic_lap(argv[1], options);
    if (!written) {
        std::cerr << "Error: " << written.error() << "\n";
        return 1;
    }
    std::cout << written->string() << "\n";
    return 0;
}
