// `corvel-lap compare` from the command line (in process): the JSON document's exact shape,
// the delta at the line, the errors and warnings, and that it writes nothing.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <nlohmann/json.hpp>

#include "lap_format/lap_file_writer.hpp"
#include "analysis/lap_comparison.hpp"
#include "presentation/number_text.hpp"
#include "lap_format/utf8_path.hpp"
#include "corvel_lap/run_corvel_lap.hpp"
#include "support/test_files.hpp"
#include "corvel_lap/synthetic_lap.hpp"

namespace corvel {
namespace {

using Json = nlohmann::json;
using testing::Outcome;
using testing::run;

std::vector<std::string> keys(const Json& object) {
    std::vector<std::string> names;
    for (const auto& [name, value] : object.items()) names.push_back(name);
    return names;
}

std::filesystem::path metadata_of(std::filesystem::path bin) {
    return bin.replace_extension(".json");
}

void edit_metadata(const std::filesystem::path& bin, const std::function<void(Json&)>& edit) {
    Json document = Json::parse(testing::read_text(metadata_of(bin)));
    edit(document);
    testing::write_text(metadata_of(bin), document.dump(2));
}

bool is_one_error_line(const Outcome& outcome) {
    const std::string& err = outcome.err;
    return err.starts_with("Error: ") && err.ends_with("\n") && err.find('\n') == err.size() - 1;
}

// Every file in the folder with its size and modification time.
std::map<std::string, std::pair<std::uintmax_t, std::filesystem::file_time_type>> folder_state(
    const std::filesystem::path& dir) {
    std::map<std::string, std::pair<std::uintmax_t, std::filesystem::file_time_type>> state;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        state[path_to_utf8(entry.path().filename())] = {entry.file_size(), entry.last_write_time()};
    }
    return state;
}

// A lap that brakes with less grip than its reference, so it loses time into several corners.
class CorvelLapCompare : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::SyntheticLapOptions slower;
        slower.lap = 4;
        slower.brake_scale = 0.8;
        auto written_lap = testing::write_synthetic_lap(dir_.path(), slower);
        auto written_reference = testing::write_synthetic_lap(dir_.path());
        ASSERT_TRUE(written_lap && written_reference);
        lap_ = *written_lap;
        reference_ = *written_reference;
    }

    [[nodiscard]] std::string lap() const { return path_to_utf8(lap_); }
    [[nodiscard]] std::string reference() const { return path_to_utf8(reference_); }

    testing::TempDir dir_;
    std::filesystem::path lap_;
    std::filesystem::path reference_;
};

TEST_F(CorvelLapCompare, JsonHoldsExactlyTheDocumentedMembers) {
    const Outcome result = run({"compare", lap(), reference(), "--json"});

    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const Json doc = Json::parse(result.out);
    EXPECT_EQ(keys(doc),
              (std::vector<std::string>{"corners", "deltaS", "lap", "officialDeltaS", "reference", "segments",
                                        "straights", "trackLengthM"}));
    for (const auto& [role, file] : {std::pair{"lap", lap()}, std::pair{"reference", reference()}}) {
        SCOPED_TRACE(role);
        const Json& side = doc[role];
        EXPECT_EQ(keys(side), (std::vector<std::string>{"car", "file", "firstSampleAfterLineM",
                                                        "firstSampleAfterLineS", "lapTimeS", "lineAnchored",
                                                        "metadataLapTimeS", "samples", "track"}));
        EXPECT_EQ(side["file"], file);
        EXPECT_TRUE(side["lapTimeS"].is_number_float());
        EXPECT_TRUE(side["metadataLapTimeS"].is_number());
        EXPECT_TRUE(side["samples"].is_number_unsigned());
        EXPECT_EQ(side["track"], "Corvel Park");
        EXPECT_EQ(side["car"], "Prototype 963 #7");
        // Line to line, the official time agrees with the samples and is the lap's span.
        EXPECT_EQ(side["lapTimeS"], side["metadataLapTimeS"]);
        EXPECT_EQ(side["lineAnchored"], true);
        // 0.9 m, as placed to within the half poll that bounds the scoring's delay.
        EXPECT_NEAR(side["firstSampleAfterLineM"].get<double>(), 0.9, 0.7);
        EXPECT_GT(side["firstSampleAfterLineS"].get<double>(), 0.0);
    }
    EXPECT_TRUE(doc["trackLengthM"].is_number());
    EXPECT_NEAR(doc["deltaS"].get<double>(), doc["officialDeltaS"].get<double>(), 1e-6);
}

// The corner table: its exact members, and corners plus straights telling the whole delta.
TEST_F(CorvelLapCompare, CornersAndStraightsAddUpToTheDeltaAtTheLine) {
    const Outcome result = run({"compare", lap(), reference(), "--json"});
    ASSERT_EQ(result.status, 0) << result.err;
    const Json doc = Json::parse(result.out);
    ASSERT_FALSE(doc["corners"].empty());
    double sum = 0.0;
    double previous_end = -1e9;
    for (const Json& c : doc["corners"]) {
        EXPECT_EQ(keys(c), (std::vector<std::string>{"advice", "apexM", "deltaS", "direction", "endM", "lap", "lapS",
                                                     "name", "number", "reference", "referenceS", "startM"}));
        EXPECT_EQ(keys(c["lap"]), (std::vector<std::string>{"absM", "brakePointM", "coastingM", "entrySpeedKmh",
                                                            "exitSpeedKmh", "minSpeedAtM", "minSpeedKmh", "peakBrake",
                                                            "tcM", "throttlePickupM", "widthUsed"}));
        EXPECT_GE(c["startM"].get<double>(), previous_end);  // track order, no overlap
        EXPECT_EQ(c["advice"].is_string(), c["deltaS"].get<double>() > 0.020);
        previous_end = c["endM"].get<double>();
        sum += c["deltaS"].get<double>();
    }
    for (const Json& st : doc["straights"]) sum += st["deltaS"].get<double>();
    // Each member is rounded to the microsecond.
    EXPECT_NEAR(sum, doc["deltaS"].get<double>(), 1e-6 * static_cast<double>(doc["corners"].size() * 2 + 2));

    const Outcome table = run({"compare", lap(), reference(), "--by", "track"});
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_NE(table.out.find("Corners (the reference's map"), std::string::npos) << table.out;
    EXPECT_EQ(run({"compare", lap(), reference(), "--by", "speed"}).err,
              "Error: compare: --by must be loss or track, not speed\n");
}

TEST_F(CorvelLapCompare, SegmentsRunInDistanceOrderAndMarkTheThreeWorst) {
    const Outcome result = run({"compare", lap(), reference(), "--json"});

    ASSERT_EQ(result.status, 0) << result.err;
    const Json doc = Json::parse(result.out);
    const Json& segments = doc["segments"];
    ASSERT_EQ(segments.size(), kDefaultMinisectors);
    EXPECT_EQ(segments.front()["startM"], 0.0);
    EXPECT_NEAR(segments.back()["endM"].get<double>(), doc["trackLengthM"].get<double>(), 1e-3);
    double sum = 0.0;
    std::vector<double> losses;
    std::vector<double> worst;
    for (std::size_t k = 0; k < segments.size(); ++k) {
        const Json& s = segments[k];
        EXPECT_EQ(keys(s).size(), 10u);
        for (const char* name : {"startM", "endM", "lapS", "referenceS", "deltaS", "lapMinSpeedKmh",
                                 "lapMaxSpeedKmh", "referenceMinSpeedKmh", "referenceMaxSpeedKmh"}) {
            EXPECT_TRUE(s[name].is_number()) << name << " of segment " << k;
        }
        ASSERT_TRUE(s["worst"].is_boolean());
        if (k > 0) {
            EXPECT_EQ(s["startM"], segments[k - 1]["endM"]);
        }
        EXPECT_NEAR(s["deltaS"].get<double>(), s["lapS"].get<double>() - s["referenceS"].get<double>(), 2e-6);
        EXPECT_LE(s["lapMinSpeedKmh"].get<double>(), s["lapMaxSpeedKmh"].get<double>());
        const double delta = s["deltaS"].get<double>();
        sum += delta;
        if (delta > 0.0) losses.push_back(delta);
        if (s["worst"].get<bool>()) worst.push_back(delta);
    }
    ASSERT_GE(losses.size(), 3u) << "the test laps should lose time in at least three segments";
    std::ranges::sort(losses, std::greater{});
    std::ranges::sort(worst, std::greater{});
    EXPECT_EQ(worst, std::vector<double>(losses.begin(), losses.begin() + 3));
    EXPECT_GT(doc["deltaS"].get<double>(), 0.0);
    EXPECT_NEAR(sum, doc["deltaS"].get<double>(), 1e-4);
}

TEST_F(CorvelLapCompare, DeltaAtTheLineIsTheDifferenceOfTheLapTimes) {
    const Outcome forward = run({"compare", lap(), reference(), "--json"});
    const Outcome backward = run({"compare", reference(), lap(), "--json"});

    ASSERT_EQ(forward.status, 0) << forward.err;
    ASSERT_EQ(backward.status, 0) << backward.err;
    const Json a = Json::parse(forward.out);
    const Json b = Json::parse(backward.out);
    EXPECT_NEAR(a["deltaS"].get<double>(),
                a["lap"]["lapTimeS"].get<double>() - a["reference"]["lapTimeS"].get<double>(), 2e-6);
    EXPECT_NEAR(b["deltaS"].get<double>(), -a["deltaS"].get<double>(), 2e-6);
}

TEST_F(CorvelLapCompare, LapWithoutMetadataIsComparedWithAWarning) {
    std::filesystem::remove(metadata_of(reference_));

    const Outcome result = run({"compare", lap(), reference(), "--json"});

    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(result.err.starts_with("Warning: " + path_to_utf8(reference_.filename()))) << result.err;
    const Json doc = Json::parse(result.out);
    EXPECT_TRUE(doc["reference"]["metadataLapTimeS"].is_null());
    EXPECT_TRUE(doc["reference"]["track"].is_null());
    EXPECT_TRUE(doc["reference"]["car"].is_null());
    EXPECT_TRUE(doc["reference"]["lapTimeS"].is_number());
    EXPECT_TRUE(doc["lap"]["track"].is_string());
    EXPECT_TRUE(doc["trackLengthM"].is_number());  // the lap's still says it

    // A lap time of zero is one the recorder never had.
    edit_metadata(lap_, [](Json& m) { m["lapTimeSeconds"] = 0.0; });
    const Outcome untimed = run({"compare", lap(), reference(), "--json"});
    ASSERT_EQ(untimed.status, 0) << untimed.err;
    EXPECT_TRUE(Json::parse(untimed.out)["lap"]["metadataLapTimeS"].is_null());

    std::filesystem::remove(metadata_of(lap_));
    const Outcome neither = run({"compare", lap(), reference(), "--json"});
    ASSERT_EQ(neither.status, 0) << neither.err;
    EXPECT_TRUE(Json::parse(neither.out)["trackLengthM"].is_null());
}

TEST_F(CorvelLapCompare, RefusesLapsOfAnotherTrackWithOneErrorLine) {
    const std::vector<std::pair<std::string, std::function<void(Json&)>>> edits = {
        {"Error: the laps are from different tracks", [](Json& m) { m["trackId"] = "ELSEWHERE"; }},
        {"Error: the laps are from different tracks",
         [](Json& m) {
             m["trackId"] = nullptr;
             m["trackName"] = "Else\nwhere";
         }},
        {"Error: the laps are from different track layouts", [](Json& m) { m["trackConfig"] = "Short"; }},
        {"Error: the laps are from tracks of different lengths",
         [](Json& m) { m["trackLengthM"] = m["trackLengthM"].get<double>() * 1.02; }},
    };
    const std::string original = testing::read_text(metadata_of(reference_));
    for (const auto& [error, edit] : edits) {
        SCOPED_TRACE(error);
        testing::write_text(metadata_of(reference_), original);
        edit_metadata(reference_, edit);

        const Outcome result = run({"compare", lap(), reference()});

        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(result.err.starts_with(error)) << result.err;
        EXPECT_TRUE(is_one_error_line(result)) << result.err;
        EXPECT_EQ(result.out, "");
    }
    // Lengths within 1 % are the same track measured a little differently.
    testing::write_text(metadata_of(reference_), original);
    edit_metadata(reference_, [](Json& m) { m["trackLengthM"] = m["trackLengthM"].get<double>() * 1.009; });
    EXPECT_EQ(run({"compare", lap(), reference()}).status, 0);
}

TEST_F(CorvelLapCompare, RefusesBadArgumentsAndUnreadableLapsWithOneErrorLine) {
    // 60 samples, under 100 m of driving, and no metadata to stretch them onto the track.
    testing::SyntheticLap stub = testing::make_synthetic_lap();
    stub.samples.resize(60);
    const std::filesystem::path short_lap = dir_.path() / "short.bin";
    ASSERT_TRUE(write_lap_telemetry(short_lap, stub.samples));
    testing::write_text(dir_.path() / "garbage.bin", "not a lap");
    const std::string missing = path_to_utf8(dir_.path() / "missing.bin");

    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"compare", lap(), path_to_utf8(short_lap)}, "Error: the laps share too little distance to compare"},
        {{"compare", lap(), reference(), "--segments", "0"},
         "Error: compare: --segments must be a whole number from 1 to 500, not 0"},
        {{"compare", lap(), reference(), "--segments", "501"}, "Error: compare: --segments must be"},
        {{"compare", lap(), reference(), "--segments", "2.5"}, "Error: compare: --segments must be"},
        {{"compare", lap(), reference(), "--segments", "-3"}, "Error: compare: --segments must be"},
        {{"compare", lap(), reference(), "--segments"}, "Error: compare: "},
        {{"compare", lap()}, "Error: compare: two lap files expected"},
        {{"compare", lap(), missing}, "Error: " + missing + ": "},
        {{"compare", path_to_utf8(dir_.path() / "garbage.bin"), reference()}, "Error: "},
    };
    for (const auto& [args, error] : cases) {
        SCOPED_TRACE(args.back());

        const Outcome result = run(args);

        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(result.err.starts_with(error)) << result.err;
        EXPECT_TRUE(is_one_error_line(result)) << result.err;
        EXPECT_EQ(result.out, "");
    }
}

TEST_F(CorvelLapCompare, WritesNothingToDisk) {
    const auto before = folder_state(dir_.path());

    EXPECT_EQ(run({"compare", lap(), reference()}).status, 0);
    EXPECT_EQ(run({"compare", lap(), reference(), "--json", "--segments", "7"}).status, 0);
    EXPECT_EQ(run({"compare", lap(), lap()}).status, 0);

    EXPECT_EQ(folder_state(dir_.path()), before);
}

TEST_F(CorvelLapCompare, TableMarksTheWorstAndHelpStatesConventionAndGrid) {
    const Outcome table = run({"compare", lap(), reference()});
    const Outcome help = run({"compare", "--help"});

    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_NE(table.out.find("Delta at the line: +"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find(kDeltaConvention), std::string::npos);
    std::size_t marks = 0;
    for (std::size_t at = table.out.find("  *\n"); at != std::string::npos;
         at = table.out.find("  *\n", at + 1)) {
        ++marks;
    }
    EXPECT_EQ(marks, 3u);
    ASSERT_EQ(help.status, 0);
    EXPECT_NE(help.out.find(kDeltaConvention), std::string::npos);
    EXPECT_NE(help.out.find(fixed_text(kComparisonGridStepM, 0) + " m distance grid"), std::string::npos);
}

}  // namespace
}  // namespace corvel
