// The HTML report: its data blob (safe inside <script>, NaN as null, the shared per-sample
// timeline, the reference and compare's delta on the lap's distances), the page assembly,
// and the command's files, errors and warnings.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "lap_format/lap_file_writer.hpp"
#include "lap_format/lap_metadata.hpp"
#include "corvel_lap.hpp"
#include "analysis/lap_comparison.hpp"
#include "lap_format/utf8_path.hpp"
#include "export/report/report_assets.hpp"
#include "export/report/report_data.hpp"
#include "export/report/report_page.hpp"
#include "support/test_files.hpp"
#include "corvel_lap/synthetic_lap.hpp"

namespace corvel {
namespace {

using testing::TempDir;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

int run(std::vector<std::string> args, std::string* err_text = nullptr) {
    std::ostringstream out, err;
    const int status = run_corvel_lap(args, out, err);
    if (err_text) *err_text = err.str();
    return status;
}

double number(const nlohmann::json& value) {
    return value.is_number() ? value.get<double>() : kNaN;
}

// A synthetic lap the way LMU's scoring delivers it: the session clock and the lap fraction
// move only every 200 ms, and the first samples still carry the previous lap's fraction.
LapFile scored_lap(const testing::SyntheticLapOptions& options, const std::string& name) {
    testing::SyntheticLap lap = testing::make_synthetic_lap(options);
    LapFile file;
    file.path = name;
    file.samples = std::move(lap.samples);
    file.metadata = lap.metadata;
    const double start = file.samples.front().session_time;
    // The first pair describes a moment 0.1 s before the first sample, still on the previous lap.
    const double length = file.metadata->track_length_m;
    const double before_m = file.samples.front().speed_kmh / 3.6 * 0.1 - file.samples.front().lap_fraction * length;
    long period = -1;
    float held_time = 0.0f, held_fraction = 0.0f;
    for (std::size_t i = 0; i < file.samples.size(); ++i) {
        LapSample& s = file.samples[i];
        const long now = std::lround(std::floor((s.session_time - start + 0.13) / 0.2));
        if (now != period) {
            period = now;
            held_time = i < 8 ? static_cast<float>(start - 0.1) : s.session_time;
            held_fraction = i < 8 ? static_cast<float>(1.0 - before_m / length) : s.lap_fraction;
        }
        s.session_time = held_time;
        s.lap_fraction = held_fraction;
    }
    return file;
}

nlohmann::json blob_of(const LapFile& lap, const LapFile* reference) {
    const auto data = make_report_data(lap, "lap.bin", reference, "reference.bin");
    EXPECT_TRUE(data) << data.error();
    return data ? nlohmann::json::parse(data->json) : nlohmann::json::object();
}

// The first index from 1 where `holds(i)` is false, or 0 when it holds everywhere.
template <typename Check>
std::size_t first_failure(std::size_t count, Check holds) {
    for (std::size_t i = 1; i < count; ++i) {
        if (!holds(i)) return i;
    }
    return 0;
}

TEST(ReportData, ScriptSafeJsonEscapesEverythingThatCouldEndTheScript) {
    const std::string safe = script_safe_json("\"</script><!-- & \xE2\x80\xA8\xE2\x80\xA9\"");
    EXPECT_EQ(safe, "\"\\u003c/script\\u003e\\u003c!-- \\u0026 \\u2028\\u2029\"");
    EXPECT_EQ(nlohmann::json::parse(safe).get<std::string>(), "</script><!-- & \xE2\x80\xA8\xE2\x80\xA9");
}

TEST(ReportData, ResamplesInsideTheRangeAndGivesNaNOutside) {
    const std::vector<double> at{0.0, 10.0, 10.0, 20.0};
    const std::vector<double> values{0.0, 1.0, 5.0, 6.0};
    const std::vector<double> where{-1.0, 0.0, 5.0, 15.0, 20.0, 21.0, kNaN};
    const auto got = resample_at(at, values, where);
    EXPECT_TRUE(std::isnan(got[0]));
    EXPECT_DOUBLE_EQ(got[1], 0.0);
    EXPECT_DOUBLE_EQ(got[2], 0.5);
    EXPECT_DOUBLE_EQ(got[3], 5.5);
    EXPECT_DOUBLE_EQ(got[4], 6.0);
    EXPECT_TRUE(std::isnan(got[5]));
    EXPECT_TRUE(std::isnan(got[6]));
}

TEST(ReportData, BlobCarriesEveryChannelPerSampleAndTheComparisonOnTheLapsDistances) {
    LapFile file;
    file.samples.resize(3);
    file.samples[1].speed_kmh = 100;
    file.samples[2].pos_x = std::numeric_limits<float>::quiet_NaN();
    const std::vector<double> time{0.0, 1.0, 2.0}, distance{0.0, 10.0, 20.0};
    const LapTimeline timeline;
    const ReportLap lap{file, "lap.bin", time, distance, timeline};
    const std::vector<double> ref_time{0.0, 2.0}, ref_distance{0.0, 20.0};
    const ReportLap reference{file, "ref.bin", ref_time, ref_distance, timeline};
    LapComparison compared;
    compared.distance_m = {0.0, 20.0};
    compared.delta_s = {0.0, -0.4};
    compared.delta_at_end_s = -0.4;
    compared.minisectors = {{.start_m = 0, .end_m = 20, .delta_s = -0.4, .worst = false}};
    const ReportComparison comparison{reference, compared};

    const auto blob = nlohmann::json::parse(build_report_data(lap, &comparison));

    EXPECT_EQ(blob["distanceM"].size(), 3U);
    for (const char* key : {"speed", "throttle", "brake", "steering", "gear", "rpm", "latG", "lonG"}) {
        EXPECT_EQ(blob["channels"][key].size(), 3U) << key;
        EXPECT_EQ(blob["reference"]["channels"][key].size(), 3U) << key;
    }
    EXPECT_EQ(blob["channels"]["speed"][1], 100);
    EXPECT_DOUBLE_EQ(blob["deltaS"][1].get<double>(), -0.2);  // halfway along the grid
    EXPECT_DOUBLE_EQ(blob["reference"]["timeAtDistanceS"][1].get<double>(), 1.0);
    EXPECT_EQ(blob["map"]["x"].size(), 2U);  // the NaN position is left out
    EXPECT_TRUE(blob["lap"]["metadata"].is_null());
    EXPECT_EQ(blob["segments"].size(), 1U);
}

TEST(ReportTimeline, DistanceAndTimeMoveAtEverySampleUnderA5HzScoringClock) {
    const LapFile lap = scored_lap({.lap = 3}, "lap.bin");

    const auto blob = blob_of(lap, nullptr);

    const auto& d = blob["distanceM"];
    const auto& t = blob["lapTimeS"];
    const auto& speed = blob["channels"]["speed"];
    ASSERT_EQ(d.size(), lap.samples.size());
    EXPECT_EQ(first_failure(t.size(), [&](std::size_t i) { return number(t[i]) > number(t[i - 1]); }), 0U);
    EXPECT_EQ(first_failure(d.size(),
                            [&](std::size_t i) {
                                const bool moving = number(speed[i - 1]) > 20 && number(speed[i]) > 20;
                                return !moving || number(d[i]) > number(d[i - 1]);
                            }),
              0U);
    EXPECT_NEAR(number(d[0]), 0.9, 0.3);  // just past the line, not the previous lap's fraction
    EXPECT_NEAR(number(d.back()), lap.metadata->track_length_m, 2.0);
    EXPECT_NEAR(number(blob["map"]["d"].back()), number(d.back()), 0.01);
}

TEST(ReportComparison, DeltaAndMinisectorsAreComparesOwn) {
    const LapFile lap = scored_lap({.lap = 4, .grip_wobble = 0.05}, "lap.bin");
    const LapFile reference = scored_lap({.lap = 3}, "reference.bin");
    const auto compared = compare_laps(lap, reference);
    ASSERT_TRUE(compared) << compared.error();
    ASSERT_GT(std::abs(compared->delta_at_end_s), 0.05);  // the laps differ, so a wrong delta shows

    const auto blob = blob_of(lap, &reference);

    EXPECT_NEAR(number(blob["lap"]["lapTimeS"]), compared->lap_time_s, 0.0005);
    EXPECT_NEAR(number(blob["reference"]["lapTimeS"]), compared->reference_time_s, 0.0005);
    EXPECT_NEAR(number(blob["deltaAtLineS"]), compared->delta_at_end_s, 0.0005);
    EXPECT_EQ(blob["deltaEndsAtLine"], compared->ends_at_line);
    EXPECT_EQ(blob["deltaConvention"], kDeltaConvention);
    // The trace ends where the comparison does (at the line; the samples past it have none):
    // it does not drift along the lap.
    const auto& trace = blob["deltaS"];
    std::size_t last = trace.size();
    while (last > 0 && !trace[last - 1].is_number()) --last;
    ASSERT_GT(last, 0U);
    EXPECT_LE(trace.size() - last, 3U);
    EXPECT_NEAR(number(trace[last - 1]), compared->delta_at_end_s, 0.0015);
    const auto& segments = blob["segments"];
    ASSERT_EQ(segments.size(), compared->minisectors.size());
    for (std::size_t k = 0; k < segments.size(); ++k) {
        EXPECT_NEAR(number(segments[k]["deltaS"]), compared->minisectors[k].delta_s, 0.0005) << k;
        EXPECT_EQ(segments[k]["worst"], compared->minisectors[k].worst) << k;
    }
}

TEST(ReportComparison, LapAgainstItselfHasNoDeltaAndTheSameTraces) {
    const LapFile lap = scored_lap({.lap = 3, .grip_wobble = 0.05}, "lap.bin");

    const auto blob = blob_of(lap, &lap);

    const auto& delta = blob["deltaS"];
    const auto& ref = blob["reference"];
    const std::size_t n = lap.samples.size();
    ASSERT_EQ(delta.size(), n);
    // Past the end line (the lap's last sample or two) there is no delta.
    const auto past_line = [&](std::size_t i) {
        return number(blob["distanceM"][i]) >= lap.metadata->track_length_m;
    };
    EXPECT_EQ(first_failure(n,
                            [&](std::size_t i) {
                                return std::abs(number(delta[i])) <= 0.001 || (delta[i].is_null() && past_line(i));
                            }),
              0U);
    EXPECT_EQ(first_failure(n,
                            [&](std::size_t i) {
                                return past_line(i) || std::abs(number(ref["timeAtDistanceS"][i]) -
                                                number(blob["lapTimeS"][i])) <= 0.002;
                            }),
              0U);
    EXPECT_EQ(first_failure(n,
                            [&](std::size_t i) {
                                return std::abs(number(ref["channels"]["speed"][i]) -
                                                number(blob["channels"]["speed"][i])) <= 1.0;
                            }),
              0U);
}

TEST(ReportPage, InlinesEveryPartOnceAndNoPartCanEndItsElement) {
    for (const std::string_view asset : {report_assets::uplot_script(), report_assets::page_script()}) {
        EXPECT_EQ(asset.find("</script"), std::string_view::npos);
    }
    EXPECT_EQ(report_assets::uplot_license().find("*/"), std::string_view::npos);
    const std::string page = render_report_page("<Track>", "{\"x\":\"{{title}}\"}");
    EXPECT_EQ(page.find("{{uplot_script}}"), std::string::npos);
    EXPECT_NE(page.find("&lt;Track&gt;"), std::string::npos);
    EXPECT_NE(page.find("{\"x\":\"{{title}}\"}"), std::string::npos);  // data is not searched
    EXPECT_NE(page.find("Permission is hereby granted"), std::string::npos);
    EXPECT_NE(page.find(report_assets::uplot_script()), std::string::npos);
}

TEST(ReportCommand, WritesBesideTheLapAndNeverOverTheReference) {
    const TempDir dir;
    const auto lap = testing::write_synthetic_lap(dir.path(), {.lap = 3});
    const auto reference = testing::write_synthetic_lap(dir.path(), {.lap = 4, .grip_wobble = 0.05});
    ASSERT_TRUE(lap && reference);

    EXPECT_EQ(run({"report", path_to_utf8(*lap), "--compare", path_to_utf8(*reference)}), 0);
    auto html = *lap;
    EXPECT_TRUE(std::filesystem::exists(html.replace_extension(".html")));

    const auto ref_json = std::filesystem::path(*reference).replace_extension(".json");
    const auto before = std::filesystem::file_size(ref_json);
    std::string err;
    EXPECT_EQ(run({"report", path_to_utf8(*lap), "--compare", path_to_utf8(*reference), "-o",
                   path_to_utf8(ref_json)},
                  &err),
              1);
    EXPECT_TRUE(err.starts_with("Error: refusing to overwrite")) << err;
    EXPECT_EQ(std::filesystem::file_size(ref_json), before);
}

TEST(ReportCommand, RefusesAndWarnsExactlyAsCompareDoes) {
    const TempDir dir;
    const auto lap = testing::write_synthetic_lap(dir.path(), {.lap = 3});
    ASSERT_TRUE(lap);
    testing::SyntheticLap elsewhere = testing::make_synthetic_lap({.lap = 4});
    elsewhere.metadata.track_name = "Other Ring";
    elsewhere.metadata.track_id = "other-ring";
    const auto other = dir.path() / "other.bin";
    ASSERT_TRUE(write_lap_telemetry(other, elsewhere.samples));
    ASSERT_TRUE(write_lap_metadata(dir.path() / "other.json", elsewhere.metadata));
    const auto bare = dir.path() / "bare.bin";  // no metadata beside it
    ASSERT_TRUE(write_lap_telemetry(bare, elsewhere.samples));
    const auto out = dir.path() / "out.html";

    std::string report_err, compare_err;
    EXPECT_EQ(run({"report", path_to_utf8(*lap), "--compare", path_to_utf8(other), "-o", path_to_utf8(out)},
                  &report_err),
              1);
    EXPECT_EQ(run({"compare", path_to_utf8(*lap), path_to_utf8(other)}, &compare_err), 1);
    EXPECT_EQ(report_err, compare_err);
    EXPECT_TRUE(report_err.starts_with("Error: the laps are from different tracks")) << report_err;
    EXPECT_FALSE(std::filesystem::exists(out));

    EXPECT_EQ(run({"report", path_to_utf8(*lap), "--compare", path_to_utf8(bare), "-o", path_to_utf8(out)},
                  &report_err),
              0);
    EXPECT_EQ(run({"compare", path_to_utf8(*lap), path_to_utf8(bare)}, &compare_err), 0);
    EXPECT_EQ(report_err, compare_err);
    EXPECT_TRUE(report_err.starts_with("Warning: bare.bin: ")) << report_err;
}

TEST(ReportCommand, ErrorsAreOneLineWithStatusOne) {
    std::string err;
    EXPECT_EQ(run({"report"}, &err), 1);
    EXPECT_EQ(err, "Error: report: missing the lap file (FILE.bin)\n");
    EXPECT_EQ(run({"report", "missing.bin"}, &err), 1);
    EXPECT_TRUE(err.starts_with("Error: missing.bin: ")) << err;
    EXPECT_EQ(run({"report", "--help"}), 0);
}

}  // namespace
}  // namespace corvel
