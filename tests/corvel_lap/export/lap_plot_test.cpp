// The SVG plot: a well-formed, self-contained document for any lap, odd ones included.
// (The ctest check "corvel_lap_svg_is_xml" parses real output with python3 as well.)
#include "export/lap_plot.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <sstream>

#include "lap_format/lap_file_writer.hpp"
#include "analysis/lap_timeline.hpp"
#include "presentation/number_text.hpp"
#include "lap_format/utf8_path.hpp"
#include "corvel_lap/run_corvel_lap.hpp"
#include "support/test_files.hpp"
#include "corvel_lap/synthetic_lap.hpp"

namespace corvel {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Tags open and close in order; returns the first problem or an empty text.
std::string nesting_problem(const std::string& svg) {
    std::vector<std::string> open;
    std::size_t at = 0;
    while ((at = svg.find('<', at)) != std::string::npos) {
        const std::size_t end = svg.find('>', at);
        if (end == std::string::npos) {
            return "unterminated tag at " + std::to_string(at);
        }
        const std::string tag = svg.substr(at + 1, end - at - 1);
        at = end + 1;
        if (tag.starts_with("?")) {
            continue;
        }
        if (tag.starts_with("/")) {
            if (open.empty() || open.back() != tag.substr(1)) {
                return "unexpected </" + tag.substr(1) + ">";
            }
            open.pop_back();
        } else if (!tag.ends_with("/")) {
            open.push_back(tag.substr(0, tag.find(' ')));
        }
    }
    return open.empty() ? "" : "unclosed <" + open.back() + ">";
}

// The values of every attribute (text between =" and the next ").
std::vector<std::string> attribute_values(const std::string& svg) {
    std::vector<std::string> values;
    for (std::size_t at = svg.find("=\""); at != std::string::npos; at = svg.find("=\"", at)) {
        const std::size_t end = svg.find('"', at + 2);
        values.push_back(svg.substr(at + 2, end - at - 2));
        at = end;
    }
    return values;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

void expect_sound_svg(const std::string& svg) {
    EXPECT_TRUE(svg.starts_with(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\""));
    EXPECT_TRUE(svg.ends_with("</svg>\n"));
    EXPECT_EQ(nesting_problem(svg), "");
    // Numbers in attributes are plain decimals; no NaN or infinity sneaks in.
    for (const std::string& value : attribute_values(svg)) {
        const std::string text = lower(value);
        ASSERT_TRUE(text.find("nan") == std::string::npos && text.find("inf") == std::string::npos) << value;
        if (text.starts_with("url(")) {
            EXPECT_TRUE(text.starts_with("url(#")) << "a reference outside the document: " << value;
        }
    }
    // Self-contained: no scripts, no links to anything outside the document.
    EXPECT_EQ(svg.find("<script"), std::string::npos);
    EXPECT_EQ(svg.find("href"), std::string::npos);
}

LapFile lap_of(std::vector<LapSample> samples, std::optional<LapMetadata> metadata = std::nullopt) {
    LapFile lap;
    lap.path = "lap.bin";
    lap.metadata_path = "lap.json";
    lap.samples = std::move(samples);
    lap.metadata = std::move(metadata);
    return lap;
}

// The plot area's left and right edge in the document (px).
constexpr double kPlotLeft = 72.0;
constexpr double kPlotRight = 1072.0;

struct SvgPoint {
    double x, y;
};

// The points of the first polyline in `colour` after the text `title`.
std::vector<SvgPoint> trace_after(const std::string& svg, const std::string& title,
                                  const std::string& colour) {
    const std::size_t at = svg.find(title);
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t line = svg.find("<polyline fill=\"none\" stroke=\"" + colour + "\"", at);
    if (line == std::string::npos) {
        return {};
    }
    const std::size_t from = svg.find("points=\"", line) + 8;
    std::istringstream points(svg.substr(from, svg.find('"', from) - from));
    std::vector<SvgPoint> out;
    SvgPoint p{};
    char comma = 0;
    while (points >> p.x >> comma >> p.y) {
        out.push_back(p);
    }
    return out;
}

constexpr std::string_view kLapColour = "#4fc3f7";
constexpr std::string_view kDeltaColour = "#e6edf3";

std::vector<SvgPoint> speed_trace(const std::string& svg) {
    return trace_after(svg, "Speed (km/h)", std::string(kLapColour));
}

// What LMU records: the session clock and the lap fraction hold still between its scoring
// updates (every `period_s`), while positions and speed are fresh at every poll.
std::vector<LapSample> as_scored_every(std::vector<LapSample> samples, double period_s) {
    std::size_t scored = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (samples[i].session_time - samples[scored].session_time >= period_s) {
            scored = i;
        }
        samples[i].session_time = samples[scored].session_time;
        samples[i].lap_fraction = samples[scored].lap_fraction;
    }
    return samples;
}

testing::SyntheticLap scored_lap(std::int64_t number, double grip_wobble = 0.0) {
    testing::SyntheticLapOptions options;
    options.lap = number;
    options.poll_s = 0.05;  // fewer samples than the plot is wide: one point per sample
    options.grip_wobble = grip_wobble;
    testing::SyntheticLap lap = testing::make_synthetic_lap(options);
    lap.samples = as_scored_every(lap.samples, 0.2);
    return lap;
}

struct Compared {
    LapFile lap;
    LapFile reference;
    LapComparison comparison;
};

Compared compared(const testing::SyntheticLap& ours, const testing::SyntheticLap& theirs) {
    Compared c{lap_of(ours.samples, ours.metadata), lap_of(theirs.samples, theirs.metadata), {}};
    auto comparison = compare_laps(c.lap, c.reference);
    EXPECT_TRUE(comparison.has_value()) << comparison.error();
    c.comparison = std::move(*comparison);
    return c;
}

TEST(LapPlot, TracesMoveOnAtEverySampleOfAMovingCar) {
    const auto lap = scored_lap(3);

    const std::string svg = render_lap_plot(lap_of(lap.samples, lap.metadata), nullptr);

    // Against the stored lap fraction, a dozen samples would share one x and then jump.
    const auto points = speed_trace(svg);
    ASSERT_GT(points.size(), lap.samples.size() * 9 / 10);
    for (std::size_t i = 1; i < points.size(); ++i) {
        ASSERT_GT(points[i].x, points[i - 1].x) << "point " << i;
    }
    EXPECT_NEAR(points.front().x, kPlotLeft, 2.0);  // the first sample lies just past the line
    EXPECT_DOUBLE_EQ(points.back().x, kPlotRight);  // and the last one just past the end line
}

TEST(LapPlot, TimeAxisEndsAtTheLapTime) {
    const auto ours = scored_lap(3);
    const auto theirs = scored_lap(4, 0.05);
    const Compared c = compared(ours, theirs);
    const PlotReference reference{c.reference, c.comparison};

    const std::string single = render_lap_plot(c.lap, nullptr, PlotAxis::Time);
    const std::string both = render_lap_plot(c.lap, &reference, PlotAxis::Time);

    EXPECT_NE(single.find("Lap time (s)"), std::string::npos);
    const auto points = speed_trace(single);
    ASSERT_FALSE(points.empty());
    EXPECT_NEAR(points.front().x, kPlotLeft, 2.0);
    EXPECT_DOUBLE_EQ(points.back().x, kPlotRight);
    // With a reference the axis runs to the later last sample of the two; this lap's traces end
    // at its last sample and its delta at its line-to-line time.
    const double slowest = std::max(c.comparison.lap.lap_time_s.back(), c.comparison.reference.lap_time_s.back());
    const auto x_at = [&](double t) { return kPlotLeft + (kPlotRight - kPlotLeft) * t / slowest; };
    const double lap_end_x = x_at(c.comparison.lap_time_s);
    EXPECT_NEAR(speed_trace(both).back().x, x_at(c.comparison.lap.lap_time_s.back()), 0.1);
    const auto delta = trace_after(both, "Time delta to the reference", std::string(kDeltaColour));
    ASSERT_FALSE(delta.empty());
    EXPECT_NEAR(delta.back().x, lap_end_x, 0.1);
}

TEST(LapPlot, DeltaAtTheLineIsTheDifferenceOfTheLapTimes) {
    const auto ours = scored_lap(3);
    const auto theirs = scored_lap(4, 0.05);
    const Compared c = compared(ours, theirs);
    const PlotReference reference{c.reference, c.comparison};
    const double difference = compute_lap_timeline(ours.samples, ours.metadata).line_to_line_s -
                              compute_lap_timeline(theirs.samples, theirs.metadata).line_to_line_s;
    ASSERT_GT(std::abs(difference), 0.05);  // the laps differ enough for a wrong sign to show

    const std::string svg = render_lap_plot(c.lap, &reference);

    const std::string sign = difference > 0 ? "+" : "";
    EXPECT_NE(svg.find(sign + fixed_text(difference, 3) + " s at the end (the line)"), std::string::npos);
    EXPECT_NE(svg.find(fixed_text(std::abs(difference), 3) + " s " + (difference > 0 ? "slower" : "faster") +
                       " than the reference"),
              std::string::npos);
    const auto delta = trace_after(svg, "Time delta to the reference", std::string(kDeltaColour));
    ASSERT_FALSE(delta.empty());
    EXPECT_DOUBLE_EQ(delta.front().x, kPlotLeft);
    EXPECT_NEAR(delta.back().x, kPlotRight, 1.0);  // the line; the last samples lie just past it
    // Above the zero line (smaller y) where this lap is slower.
    EXPECT_EQ(delta.back().y<delta.front().y, difference> 0);
}

TEST(LapPlot, DrawsTheMapAndEveryTrace) {
    const auto synthetic = testing::make_synthetic_lap();
    const LapFile lap = lap_of(synthetic.samples, synthetic.metadata);

    const std::string svg = render_lap_plot(lap, nullptr);

    expect_sound_svg(svg);
    for (const char* title : {"Track map", "Start", "Speed (km/h)", "Throttle and brake", "Gear", "Steering",
                              "Lap distance (m)", "Corvel Park"}) {
        EXPECT_NE(svg.find(title), std::string::npos) << title;
    }
    EXPECT_EQ(svg.find("Time delta"), std::string::npos);
}

TEST(LapPlot, OverlaysAComparedLapWithATimeDelta) {
    const auto ours = testing::make_synthetic_lap();
    auto options = testing::SyntheticLapOptions{};
    options.lap = 4;
    options.grip_wobble = 0.05;
    const auto theirs = testing::make_synthetic_lap(options);

    const LapFile lap = lap_of(ours.samples, ours.metadata);
    const LapFile other = lap_of(theirs.samples);
    const auto comparison = compare_laps(lap, other);
    ASSERT_TRUE(comparison.has_value()) << comparison.error();
    const PlotReference reference{other, *comparison};

    const std::string svg = render_lap_plot(lap, &reference);

    expect_sound_svg(svg);
    EXPECT_NE(svg.find("Time delta to the reference (s): " + std::string(kDeltaConvention)),
              std::string::npos);
    EXPECT_NE(svg.find(" s at the end"), std::string::npos);
}

TEST(LapPlot, CopesWithAnEmptyLap) {
    const std::string svg = render_lap_plot(lap_of({}), nullptr);

    expect_sound_svg(svg);
    EXPECT_NE(svg.find("No position data"), std::string::npos);
    EXPECT_NE(svg.find("No samples"), std::string::npos);
}

TEST(LapPlot, CopesWithNonFiniteValuesEverywhere) {
    auto samples = testing::make_synthetic_lap().samples;
    for (std::size_t i = 0; i + 4 < samples.size(); i += 7) {
        samples[i].pos_x = kNaN;
        samples[i + 1].pos_z = -kInf;
        samples[i + 2].lap_fraction = kNaN;
        samples[i + 3].session_time = kInf;
        samples[i + 4].pos_x = 3e38f;
    }
    LapMetadata metadata;
    metadata.track_length_m = kNaN;
    metadata.lap_time_seconds = std::nan("");

    const LapFile lap = lap_of(samples, metadata);
    const LapFile other = lap_of(samples);

    expect_sound_svg(render_lap_plot(lap, nullptr));
    expect_sound_svg(render_lap_plot(lap, nullptr, PlotAxis::Time));
    const auto comparison = compare_laps(lap, other);
    ASSERT_TRUE(comparison.has_value()) << comparison.error();
    const PlotReference reference{other, *comparison};
    expect_sound_svg(render_lap_plot(lap, &reference));
    expect_sound_svg(render_lap_plot(lap, &reference, PlotAxis::Time));
}

TEST(LapPlot, CopesWithAStandingCar) {
    std::vector<LapSample> samples(50);
    for (LapSample& s : samples) {
        s.pos_x = 12.0f;
        s.pos_z = -4.0f;
        s.lap_fraction = 0.3f;
    }

    const std::string svg = render_lap_plot(lap_of(samples), nullptr);

    expect_sound_svg(svg);
    EXPECT_NE(svg.find("Start"), std::string::npos);
}

TEST(LapPlot, CopesWithOneSampleAndWithNoFractions) {
    std::vector<LapSample> one(1);
    expect_sound_svg(render_lap_plot(lap_of(one), nullptr));

    auto samples = testing::make_synthetic_lap().samples;
    for (LapSample& s : samples) {
        s.lap_fraction = kNaN;
    }
    const LapFile lap = lap_of(samples);
    const auto comparison = compare_laps(lap, lap);
    ASSERT_TRUE(comparison.has_value()) << comparison.error();
    const PlotReference reference{lap, *comparison};
    expect_sound_svg(render_lap_plot(lap, &reference));
}

TEST(LapPlot, EscapesNamesFromTheMetadata) {
    LapMetadata metadata;
    metadata.track_name = "<script>alert(1)</script> & \"Ring\"";
    metadata.car_name = "Car\x01\x1F with controls and a bad byte \xFF";
    metadata.driver_name = "J\xC3\xBCrgen";

    const std::string svg = render_lap_plot(lap_of(std::vector<LapSample>(3), metadata), nullptr);

    expect_sound_svg(svg);
    EXPECT_NE(svg.find("&lt;script&gt;alert(1)&lt;/script&gt; &amp; &quot;Ring&quot;"), std::string::npos);
    EXPECT_EQ(svg.find('\x01'), std::string::npos);
    EXPECT_NE(svg.find("Car with controls and a bad byte \xEF\xBF\xBD"), std::string::npos);
    EXPECT_NE(svg.find("J\xC3\xBCrgen"), std::string::npos);
}

// ---- the plot command ------------------------------------------------------------------

using testing::Outcome;
using testing::run;

struct PlotLaps {
    std::string lap;
    std::string reference;
};

PlotLaps write_two_laps(const testing::TempDir& dir) {
    auto options = testing::SyntheticLapOptions{};
    const auto first = testing::write_synthetic_lap(dir.path(), options);
    options.lap = 4;
    options.grip_wobble = 0.05;
    const auto second = testing::write_synthetic_lap(dir.path(), options);
    EXPECT_TRUE(first && second);
    return {first ? path_to_utf8(*first) : "", second ? path_to_utf8(*second) : ""};
}

TEST(PlotCommand, HelpStatesTheDeltaConventionAndWhichLapIsTheReference) {
    const Outcome help = run({"plot", "--help"});

    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--x distance|time"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("The reference is the lap named after --compare."), std::string::npos)
        << help.out;
    EXPECT_NE(help.out.find("\n" + std::string(kDeltaConvention) + ".\n"), std::string::npos) << help.out;
}

TEST(PlotCommand, RefusesAnUnknownAxis) {
    const testing::TempDir dir;
    const PlotLaps laps = write_two_laps(dir);

    const Outcome result = run({"plot", laps.lap, "--x", "speed", "-o", "-"});

    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Error: plot: --x must be distance or time, not \"speed\"\n");
    EXPECT_EQ(result.out, "");
}

TEST(PlotCommand, DrawsEitherAxis) {
    const testing::TempDir dir;
    const PlotLaps laps = write_two_laps(dir);

    const Outcome distance =
        run({"plot", laps.lap, "--x", "distance", "--compare", laps.reference, "-o", "-"});
    const Outcome time = run({"plot", laps.lap, "--x", "time", "--compare", laps.reference, "-o", "-"});

    EXPECT_EQ(distance.status, 0) << distance.err;
    EXPECT_EQ(time.status, 0) << time.err;
    EXPECT_NE(distance.out.find("Lap distance (m)"), std::string::npos);
    EXPECT_NE(time.out.find("Lap time (s)"), std::string::npos);
    EXPECT_EQ(distance.err, "");
}

TEST(PlotCommand, RefusesALapOfAnotherTrack) {
    const testing::TempDir dir;
    const PlotLaps laps = write_two_laps(dir);
    auto json = path_from_utf8(laps.reference);
    json.replace_extension(".json");
    std::string text = testing::read_text(json);
    const std::string id = "\"trackId\": \"";
    const auto at = text.find(id);
    ASSERT_NE(at, std::string::npos);
    text.insert(at + id.size(), "OTHER_");
    testing::write_text(json, text);

    const Outcome result = run({"plot", laps.lap, "--compare", laps.reference, "-o", "-"});

    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.err.starts_with("Error: the laps are from different tracks")) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1);
}

TEST(PlotCommand, ComparesALapWithoutMetadataWithAWarning) {
    const testing::TempDir dir;
    const PlotLaps laps = write_two_laps(dir);
    auto json = path_from_utf8(laps.reference);
    json.replace_extension(".json");
    std::filesystem::remove(json);

    const Outcome result = run({"plot", laps.lap, "--compare", laps.reference, "-o", "-"});

    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(result.err.starts_with("Warning: ")) << result.err;
    EXPECT_NE(result.err.find("comparing by its samples alone"), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.ends_with("</svg>\n"));
}

}  // namespace
}  // namespace corvel
