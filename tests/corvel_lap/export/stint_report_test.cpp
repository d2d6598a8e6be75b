// The stint page: the files it writes and their names, the data blob read back from the page,
// names from files that try to break out of the page or the folder, and the lap reports
// beside it.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "export/stint_report/stint_report.hpp"
#include "lap_format/json/lap_file.hpp"
#include "lap_format/utf8_path.hpp"
#include "support/test_files.hpp"
#include "corvel_lap/synthetic_lap.hpp"

namespace corvel {
namespace {

using testing::TempDir;

constexpr std::string_view kHostile = "</script><script>window.hacked=1</script>\u2028../../x";

StintLap lap(std::string file, std::optional<double> time_s, bool included, std::optional<std::string> note = {}) {
    return {.file = std::move(file), .created_at = "2026-01-01T10:00:00Z", .lap_time_s = time_s,
            .gap_s = {}, .fuel_used_l = 2.5, .included = included, .note = std::move(note)};
}

// Three laps, the second the best; the ideal lap takes its corner from the third.
StintGroup group(std::string track, std::string car, std::vector<std::string> files = {"a.bin", "b.bin", "c.bin"}) {
    StintGroup g;
    g.track = std::move(track);
    g.car = std::move(car);
    g.laps = {lap(files[0], 91.5, true), lap(files[1], 90.25, true), lap(files[2], 100.0, false, "slower than 107 % of the best")};
    g.laps[0].gap_s = 1.25;
    g.best_lap = 1;
    g.median_lap_s = 90.875;
    g.ideal_parts = {{IdealPartKind::Straight, {}, 0.0, 400.0, 20.0, 1},
                     {IdealPartKind::Corner, 1, 400.0, 600.0, 9.5, 2},
                     {IdealPartKind::Straight, {}, 600.0, 2000.0, 60.5, 1}};
    g.ideal_lap_s = 90.0;
    g.lap_time_std_dev_s = 0.88;
    g.lap_time_std_dev_pct = 0.97;
    g.corners = {{.number = 1, .name = std::string(kHostile), .apex_m = 500.0, .best_s = 9.5, .median_s = 9.8,
                  .time_std_dev_s = 0.2, .brake_point_std_dev_m = 12.5, .min_speed_std_dev_kmh = 3.0}};
    g.map.corners = {{.number = 1, .direction = CornerDirection::Right, .start_m = 400.0, .apex_m = 500.0, .end_m = 600.0,
                     .peak_curvature = 0.02, .turn_rad = 1.5, .name = {}}};
    g.work_on = {1};
    g.best_lap_path = {{0.0, 0.0, 0.0}, {1000.0, 300.0, 0.0}, {1999.0, 0.0, 1.0}};
    g.track_length_m = 2000.0;
    return g;
}

// The page's blob, as the page's script reads it.
nlohmann::json blob_of(const std::filesystem::path& page) {
    const std::string text = testing::read_text(page);
    const std::string open = "<script type=\"application/json\" id=\"stint-data\">";
    const std::size_t from = text.find(open);
    if (from == std::string::npos) return nullptr;
    const std::size_t start = from + open.size();
    return nlohmann::json::parse(text.substr(start, text.find("</script>", start) - start));
}

std::vector<std::string> names_of(const std::vector<std::filesystem::path>& files) {
    std::vector<std::string> names;
    for (const auto& f : files) names.push_back(path_to_utf8(f.filename()));
    return names;
}

TEST(StintPage, NamesOnePagePerGroupSafelyInsideTheFolder) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> groups;  // track, car
        std::optional<std::string> output;
        std::vector<std::string> pages;
    };
    const Case cases[] = {
        {"one group", {{"Autodromo Nazionale Monza", "Porsche 963 #6"}}, {}, {"stint-autodromo-nazionale-monza-porsche-963-6.html"}},
        {"-o with one group", {{"Monza", "963"}}, "mine.html", {"mine.html"}},
        {"-o is for one group only", {{"Monza", "963"}, {"Spa", "963"}}, "mine.html", {"stint-monza-963.html", "stint-spa-963.html"}},
        {"names that slug alike", {{"Monza", "963"}, {"MONZA", "963!"}}, {}, {"stint-monza-963.html", "stint-monza-963-2.html"}},
        {"hostile and non-ASCII names", {{std::string(kHostile), "Süper/..\\Car"}, {"", ""}}, {},
         {"stint-script-script-window-hacked-1-script-x-s-per-car.html", "stint-unknown-unknown.html"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TempDir dir;
        StintSummary summary;
        for (const auto& [track, car] : c.groups) summary.groups.push_back(group(track, car));
        StintPageOptions options{.folder = dir.path(), .output = {}, .lap_reports = false};
        if (c.output) options.output = dir / *c.output;
        const auto written = write_stint_pages(summary, options);
        ASSERT_TRUE(written) << written.error();
        EXPECT_EQ(names_of(*written), c.pages);
        for (const auto& page : *written) {
            EXPECT_EQ(page.parent_path(), dir.path());
            EXPECT_TRUE(std::filesystem::exists(page));
        }
    }
}

TEST(StintPage, BlobCarriesTheSummaryAndNoNameEscapesThePage) {
    const TempDir dir;
    const StintSummary summary{.groups = {group(std::string(kHostile), std::string(kHostile))}, .unreadable = {}};
    const auto written = write_stint_pages(summary, {.folder = dir.path(), .output = {}, .lap_reports = false});
    ASSERT_TRUE(written) << written.error();
    const std::string text = testing::read_text(written->front());
    // The page's own script elements are the only ones: the names never close one or open one.
    const auto count = [&](std::string_view what) {
        std::size_t n = 0;
        for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("</script>"), 3u);
    EXPECT_EQ(text.find("window.hacked=1</script>"), std::string::npos);
    const std::size_t blob_at = text.find("id=\"stint-data\">");
    EXPECT_EQ(text.find("\u2028", blob_at), std::string::npos);  // ends a line in older script engines
    EXPECT_NE(text.find("<title>Stint \u00b7 &lt;/script&gt;"), std::string::npos);
    EXPECT_EQ(text.find("http://"), text.find("http://www.w3"));  // nothing to fetch

    const nlohmann::json blob = blob_of(written->front());
    ASSERT_TRUE(blob.is_object());
    EXPECT_EQ(blob["track"], kHostile);
    EXPECT_EQ(blob["corners"][0]["name"], kHostile);
    EXPECT_EQ(blob["laps"].size(), 3u);
    EXPECT_EQ(blob["laps"][1]["label"], "b");
    EXPECT_EQ(blob["laps"][2]["note"], "slower than 107 % of the best");
    EXPECT_EQ(blob["laps"][1]["note"], nullptr);
    EXPECT_EQ(blob["bestLap"], 1);
    EXPECT_DOUBLE_EQ(blob["bestLapS"].get<double>(), 90.25);
    EXPECT_DOUBLE_EQ(blob["idealGapS"].get<double>(), 0.25);
    EXPECT_DOUBLE_EQ(blob["medianLapS"].get<double>(), 90.875);
    EXPECT_EQ(blob["idealParts"][1]["kind"], "corner");
    EXPECT_EQ(blob["idealParts"][1]["fromLap"], 2);
    EXPECT_EQ(blob["idealParts"][0]["number"], nullptr);
    EXPECT_EQ(blob["corners"][0]["workOnRank"], 1);
    EXPECT_EQ(blob["corners"][0]["direction"], "right");
    EXPECT_DOUBLE_EQ(blob["corners"][0]["brakePointStdDevM"].get<double>(), 12.5);
    EXPECT_EQ(blob["path"]["x"].size(), 3u);
    EXPECT_FALSE(blob["reportsAsked"].get<bool>());
    EXPECT_EQ(blob["laps"][0]["report"], nullptr);
}

TEST(StintPage, WritesEachLapsReportAgainstTheBestBesideThePage) {
    const TempDir dir;
    std::filesystem::create_directories(dir / "sub");
    const auto first = testing::write_synthetic_lap(dir.path(), {.lap = 3});
    const auto best = testing::write_synthetic_lap(dir / "sub", {.lap = 4, .grip_wobble = 0.02});
    ASSERT_TRUE(first && best);
    const std::string first_file = path_to_utf8(first->filename());
    const std::string best_file = "sub/" + path_to_utf8(best->filename());
    StintSummary summary{.groups = {group("Park", "963", {first_file, best_file, "missing.bin"})}, .unreadable = {}};
    const auto out = dir / "pages" / "stint.html";
    std::filesystem::create_directories(out.parent_path());
    const auto written = write_stint_pages(summary, {.folder = dir.path(), .output = out, .lap_reports = true});
    ASSERT_TRUE(written) << written.error();

    const std::string first_report = first->stem().string() + "-vs-best.html";
    const std::string best_report = "sub-" + best->stem().string() + "-vs-best.html";
    EXPECT_EQ(names_of(*written), (std::vector<std::string>{"stint.html", first_report, best_report}));
    const nlohmann::json blob = blob_of(out);
    EXPECT_TRUE(blob["reportsAsked"].get<bool>());
    EXPECT_EQ(blob["laps"][0]["report"], first_report);
    EXPECT_EQ(blob["laps"][1]["report"], best_report);
    EXPECT_EQ(blob["laps"][2]["report"], nullptr);
    EXPECT_NE(blob["laps"][2]["reportError"].get<std::string>().find("missing.bin"), std::string::npos);
    // A lap's report compares it with the best lap; the best lap's own shows it alone.
    EXPECT_NE(testing::read_text(out.parent_path() / first_report).find("vs best lap</title>"), std::string::npos);
    EXPECT_NE(testing::read_text(out.parent_path() / best_report).find("(best lap)</title>"), std::string::npos);
}

TEST(StintPage, RefusesWhatCannotBeWrittenOrWouldOverwriteALap) {
    const TempDir dir;
    const auto lap_file = testing::write_synthetic_lap(dir.path());
    ASSERT_TRUE(lap_file);
    const StintSummary summary{.groups = {group("Park", "963", {path_to_utf8(lap_file->filename()), "b.bin", "c.bin"})},
                               .unreadable = {}};
    struct Case {
        const char* what;
        std::filesystem::path output;
        std::string error;
    };
    const Case cases[] = {
        {"a folder that does not exist", dir / "no" / "page.html", "cannot create "},
        {"the lap's own file", *lap_file, "refusing to overwrite the lap's own file "},
        {"the lap's metadata", metadata_path_for(*lap_file), "refusing to overwrite the lap's own file "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto written = write_stint_pages(summary, {.folder = dir.path(), .output = c.output, .lap_reports = false});
        ASSERT_FALSE(written);
        EXPECT_TRUE(written.error().starts_with(c.error)) << written.error();
        EXPECT_NE(written.error().find(path_to_utf8(c.output.filename())), std::string::npos) << written.error();
    }
    EXPECT_TRUE(write_stint_pages({}, {.folder = dir.path(), .output = {}, .lap_reports = false}).value().empty());
}

}  // namespace
}  // namespace corvel
