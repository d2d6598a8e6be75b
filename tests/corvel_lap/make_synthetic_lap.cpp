// Writes a lap (.bin + .json) into a directory and prints the .bin path. Used by the CSV and
// SVG checks and to render the example in docs/.
// Usage: make_synthetic_lap DIR [--compare | --degenerate | --single | --hostile | --samples N]
//   --compare     a second lap of the same car, a little different corner by corner
//   --degenerate  a short lap full of NaN and infinite values, as a damaged capture might hold
//   --single      a lap of one sample
//   --hostile     names that try to end a script element or break a page
//   --samples N   the lap polled so often that it holds about N samples
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <string_view>

#include "lap_format/lap_file_writer.hpp"
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

// Writes `lap` as DIR/NAME.bin and DIR/NAME.json.
std::expected<std::filesystem::path, std::string> write_named(const std::filesystem::path& dir,
                                                              corvel::testing::SyntheticLap lap,
                                                              const std::string& name) {
    lap.metadata.file_name = name + ".bin";
    lap.metadata.sample_count = lap.samples.size();
    const auto bin = dir / lap.metadata.file_name;
    if (const auto written = corvel::write_lap_telemetry(bin, lap.samples); !written) {
        return std::unexpected(written.error().display());
    }
    if (const auto written = corvel::write_lap_metadata(dir / (name + ".json"), lap.metadata); !written) {
        return std::unexpected(written.error());
    }
    return bin;
}

std::expected<std::filesystem::path, std::string> write_odd_lap(const std::filesystem::path& dir,
                                                                std::string_view mode, const char* arg) {
    if (mode == "--single") {
        auto lap = corvel::testing::make_synthetic_lap();
        lap.samples.resize(1);
        return write_named(dir, std::move(lap), "single-sample-lap");
    }
    if (mode == "--hostile") {
        auto lap = corvel::testing::make_synthetic_lap();
        lap.metadata.track_name = "</script><script>window.hacked=1</script>\u2028 & <b>";
        lap.metadata.car_name = "Car \xE2\x80\xA8\xE2\x80\xA9 \"quoted\" <!-- {{data}}";
        lap.metadata.driver_name = "]]></svg>' onerror='alert(1)";
        return write_named(dir, std::move(lap), "hostile-names-lap");
    }
    // --samples N
    const double wanted = arg ? std::strtod(arg, nullptr) : 0.0;
    if (!(wanted >= 2)) return std::unexpected(std::string("--samples needs a count of at least 2"));
    const auto once = corvel::testing::make_synthetic_lap();
    corvel::testing::SyntheticLapOptions options;
    options.poll_s = options.poll_s * static_cast<double>(once.samples.size()) / wanted;
    return write_named(dir, corvel::testing::make_synthetic_lap(options), "long-lap-" + std::string(arg));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "Usage: make_synthetic_lap DIR [--compare | --degenerate | --single | --hostile | "
                     "--samples N]\n";
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
    const bool odd = mode == "--single" || mode == "--hostile" || mode == "--samples";
    const auto written = mode == "--degenerate" ? write_degenerate_lap(argv[1])
                         : odd                  ? write_odd_lap(argv[1], mode, argc > 3 ? argv[3] : nullptr)
                                                : corvel::testing::write_synthetic_lap(argv[1], options);
    if (!written) {
        std::cerr << "Error: " << written.error() << "\n";
        return 1;
    }
    std::cout << written->string() << "\n";
    return 0;
}
