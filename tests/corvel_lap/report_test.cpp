// The HTML report: its data blob (safe inside <script>, NaN as null, the reference and the
// delta on the lap's distances), the page assembly, and the command's files and errors.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "corvel_lap/corvel_lap.hpp"
#include "corvel_lap/utf8_path.hpp"
#include "report/report_assets.hpp"
#include "report/report_data.hpp"
#include "report/report_page.hpp"
#include "support/test_files.hpp"
#include "synthetic_lap.hpp"

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

TEST(ReportData, ScriptSafeJsonEscapesEverythingThatCouldEndTheScript) {
    const std::string safe = script_safe_json("\"</script><!-- & \xE2\x80\xA8\xE2\x80\xA9\"");
    EXPECT_EQ(safe, "\"\\u003c/script\\u003e\\u003c!-- \\u0026 \\u2028\\u2029\"");
    EXPECT_EQ(nlohmann::json::parse(safe).get<std::string>(), "</script><!-- & \xE2\x80\xA8\xE2\x80\xA9");
}

TEST(ReportData, InterpolatesInsideTheRangeAndGivesNaNOutside) {
    const std::vector<double> at{0.0, 10.0, 10.0, 20.0};
    const std::vector<double> values{0.0, 1.0, 5.0, 6.0};
    const std::vector<double> where{-1.0, 0.0, 5.0, 15.0, 20.0, 21.0, kNaN};
    const auto got = interpolate_at(at, values, where);
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
    const ReportLap lap{file, "lap.bin", time, distance};
    const std::vector<double> ref_time{0.0, 2.0}, ref_distance{0.0, 20.0};
    const ReportLap reference{file, "ref.bin", ref_time, ref_distance};
    const std::vector<double> grid{0.0, 20.0}, delta{0.0, -0.4};
    const std::vector<ReportSegment> segments{{.start_m = 0, .end_m = 20, .delta_s = -0.4, .worst = false}};
    const ReportComparison comparison{reference, grid, delta, -0.4, segments};

    const auto blob = nlohmann::json::parse(build_report_data(lap, &comparison));

    EXPECT_EQ(blob["distanceM"].size(), 3U);
    for (const char* key : {"speed", "throttle", "brake", "steering", "gear", "rpm", "latG", "lonG"}) {
        EXPECT_EQ(blob["channels"][key].size(), 3U) << key;
        EXPECT_EQ(blob["reference"]["channels"][key].size(), 3U) << key;
    }
    EXPECT_EQ(blob["channels"]["speed"][1], 100);
    EXPECT_DOUBLE_EQ(blob["deltaS"][1].get<double>(), -0.2);  // halfway along the grid
    EXPECT_DOUBLE_EQ(blob["reference"]["lapTimeS"][1].get<double>(), 1.0);
    EXPECT_EQ(blob["map"]["x"].size(), 2U);  // the NaN position is left out
    EXPECT_TRUE(blob["lap"]["metadata"].is_null());
    EXPECT_EQ(blob["segments"].size(), 1U);
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
