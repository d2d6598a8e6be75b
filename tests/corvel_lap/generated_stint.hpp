// One generated stint shared by the stint tests of a test binary: ten laps of Monza with seeded
// variation, one corner braked with a wide spread and one lap invalidated, the same driving joined 30 s after the
// line, and a fast and a slow session on a ring; made once (about a second) and removed when the binary ends.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lap_generator/lap_generator.hpp"
#include "support/test_files.hpp"

namespace corvel::testing {

using lap_generator::GeneratedLap;
using lap_generator::GeneratedSession;

constexpr int kSpreadCorner = 5;  // the model's corner braked with a wide spread

inline GeneratedSession generate(std::vector<std::string> sim_args, const std::filesystem::path& dir, double join_s = 0.0) {
    lap_generator::GeneratorOptions o;
    auto sim = lmu_sim::parse_options(sim_args);
    EXPECT_TRUE(sim) << (sim ? "" : sim.error());
    if (!sim) return {};
    o.sim = *sim;
    o.mode = RecorderMode::Continuing;
    o.join_after_line_s = join_s;
    o.output_dir = dir;
    std::filesystem::create_directories(dir);
    auto session = lap_generator::generate_laps(o);
    EXPECT_TRUE(session) << (session ? "" : session.error());
    return session ? std::move(*session) : GeneratedSession{};
}

// Generated once per test binary: the stint, and the same driving joined 30 s after the line.
struct Stint {
    TempDir dir;
    // Lap 6 goes off at T3 and is invalidated; lap 7, clean, begins with the invalid flag of
    // lap 6's last scoring.
    GeneratedSession laps = generate({"--track", "monza", "--laps", "10", "--seed", "4", "--spread",
                                      std::to_string(kSpreadCorner) + ":25", "--mistake", "6:3:off-track"},
                                     dir / "stint");
    GeneratedSession joined = generate({"--track", "monza", "--laps", "2", "--seed", "4"}, dir / "joined", 30.0);
    // Two sessions on one ring, the second a third slower: beyond the 107 % rule.
    GeneratedSession ring_fast = generate({"--track-length", "1500", "--lap-time", "30", "--laps", "2"}, dir / "fast");
    GeneratedSession ring_slow = generate({"--track-length", "1500", "--lap-time", "40", "--laps", "2"}, dir / "slow");
};

inline const Stint& stint() {
    static const Stint s;
    return s;
}

inline double truth_lap_time(const GeneratedLap& g) {
    return g.truth.official_lap_time_s.value_or(g.truth.end_line_session_s - g.truth.start_line_session_s);
}

// Copies the lap's .bin and .json into `dir`.
inline void copy_lap(const GeneratedLap& g, const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    for (const auto& from : {g.paths.telemetry, g.paths.metadata}) {
        std::filesystem::copy_file(from, dir / from.filename(), std::filesystem::copy_options::overwrite_existing);
    }
}

inline std::string file_name(const GeneratedLap& g) { return g.paths.telemetry.filename().string(); }

}  // namespace corvel::testing
