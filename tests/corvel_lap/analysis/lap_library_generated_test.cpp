// `corvel-lap list` on generated laps whose metadata was lost: the time it lists is the
// samples' own line-to-line time, held to the truth of when the car crossed the line.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "analysis/lap_library.hpp"
#include "lap_format/utf8_path.hpp"
#include "lap_generator/lap_generator.hpp"
#include "support/test_files.hpp"

namespace corvel {
namespace {

using lap_generator::GeneratedLap;
using lap_generator::GeneratorOptions;

TEST(LapListOnGeneratedLaps, ALapWithoutMetadataIsTimedFromLineToLine) {
    struct Case {
        double telemetry_hz;
        double tolerance_whole_s;  // a lap recorded from the line
        double tolerance_late_s;   // the first lap, joined 0.4 s after its line: its start extrapolated
    };
    for (const Case c : {Case{100.0, 0.005, 0.030}, Case{50.0, 0.005, 0.030}}) {
        SCOPED_TRACE(std::to_string(c.telemetry_hz) + " Hz");
        const testing::TempDir dir;
        GeneratorOptions o;
        o.sim.lap_time_s = 30.0;
        o.sim.track_length_m = 1200.0;
        o.sim.telemetry_hz = c.telemetry_hz;
        o.sim.laps = 3;
        o.mode = RecorderMode::Continuing;
        o.join_after_line_s = 0.4;
        o.output_dir = dir.path();
        const auto session = lap_generator::generate_laps(o);
        ASSERT_TRUE(session) << session.error();
        ASSERT_EQ(session->laps.size(), 3U);
        for (const GeneratedLap& g : session->laps) std::filesystem::remove(g.paths.metadata);

        const auto library = list_laps(dir.path(), {});

        ASSERT_TRUE(library) << library.error();
        ASSERT_EQ(library->laps.size(), 3U);
        for (const GeneratedLap& g : session->laps) {
            SCOPED_TRACE("lap " + std::to_string(g.lap.lap));
            const auto listed = std::ranges::find(library->laps, g.paths.telemetry.filename(),
                                                  [](const LapListing& l) { return l.relative_path; });
            ASSERT_NE(listed, library->laps.end());
            const double truth = g.truth.end_line_session_s - g.truth.start_line_session_s;
            const bool late = &g == &session->laps.front();
            ASSERT_TRUE(listed->lap_time_s.has_value());
            EXPECT_NEAR(*listed->lap_time_s, truth, late ? c.tolerance_late_s : c.tolerance_whole_s);
            EXPECT_TRUE(listed->lap_time_from_samples);
            EXPECT_FALSE(listed->best);  // nothing says a lap without metadata began at the line
            const std::string note = late ? "lap time from the samples, line to line, its start extrapolated"
                                          : "lap time from the samples, line to line";
            EXPECT_TRUE(std::ranges::any_of(listed->notes, [&](const std::string& n) { return n.starts_with(note); }));
        }
    }
}

}  // namespace
}  // namespace corvel
