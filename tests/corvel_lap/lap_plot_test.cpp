// The SVG plot: a well-formed, self-contained document for any lap, odd ones included.
// (The ctest check "corvel_lap_svg_is_xml" parses real output with python3 as well.)
#include "corvel_lap/lap_plot.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>

#include "synthetic_lap.hpp"

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

    const LapFile other = lap_of(theirs.samples);

    const std::string svg = render_lap_plot(lap_of(ours.samples, ours.metadata), &other);

    expect_sound_svg(svg);
    EXPECT_NE(svg.find("Time delta to the compared lap"), std::string::npos);
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

    const LapFile other = lap_of(samples);

    expect_sound_svg(render_lap_plot(lap_of(samples, metadata), &other));
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
    const LapFile other = lap_of(samples);
    expect_sound_svg(render_lap_plot(lap_of(samples), &other));
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

}  // namespace
}  // namespace corvel
