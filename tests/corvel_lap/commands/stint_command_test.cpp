// `corvel-lap stint` on the command line: the JSON document's members and null rules, and the
// refusals of arguments that cannot be served.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "generated_stint.hpp"
#include "run_corvel_lap.hpp"

namespace corvel {
namespace {

using testing::copy_lap;
using testing::file_name;
using testing::stint;
using testing::TempDir;

std::vector<std::string> keys(const nlohmann::ordered_json& object) {
    std::vector<std::string> out;
    for (const auto& item : object.items()) out.push_back(item.key());
    return out;
}

// A folder with two cars: three laps of one (one in a sub-folder), and a lap joined after the
// line alone under another car, so that it has no counted lap.
void fill_two_cars(const std::filesystem::path& dir) {
    copy_lap(stint().laps.laps[0], dir);
    copy_lap(stint().laps.laps[1], dir);
    copy_lap(stint().laps.laps[2], dir / "monday");
    copy_lap(stint().joined.laps[0], dir / "joined");
    const auto json_path = dir / "joined" / stint().joined.laps[0].paths.metadata.filename();
    auto doc = nlohmann::ordered_json::parse(testing::read_text(json_path));
    doc["carName"] = "Zeta Car";
    std::ofstream(json_path, std::ios::binary) << doc.dump(2);
}

TEST(StintCommand, JsonHasTheDocumentedMembersAndNulls) {
    const TempDir dir;
    fill_two_cars(dir.path());
    const auto run = testing::run({"stint", dir.path().string(), "--recursive", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto doc = nlohmann::ordered_json::parse(run.out);
    EXPECT_EQ(keys(doc), (std::vector<std::string>{"groups", "unreadable"}));
    ASSERT_EQ(doc["groups"].size(), 2U);
    const auto& counted = doc["groups"][0];
    EXPECT_EQ(keys(counted), (std::vector<std::string>{"track", "car", "laps", "bestLap", "medianLapS", "idealLapS",
                                                        "idealParts", "lapTimeStdDevS", "lapTimeStdDevPct", "corners",
                                                        "workOn"}));
    ASSERT_EQ(counted["laps"].size(), 3U);
    EXPECT_EQ(keys(counted["laps"][0]),
              (std::vector<std::string>{"file", "lapTimeS", "gapS", "fuelUsedL", "included", "note"}));
    EXPECT_EQ(counted["laps"][2]["file"], "monday/" + file_name(stint().laps.laps[2]));
    EXPECT_TRUE(counted["laps"][0]["note"].is_null());
    bool best_is_listed = false;
    for (const auto& lap : counted["laps"]) best_is_listed |= lap["file"] == counted["bestLap"]["file"];
    EXPECT_TRUE(best_is_listed);
    EXPECT_EQ(keys(counted["idealParts"][0]),
              (std::vector<std::string>{"kind", "number", "startM", "endM", "bestS", "fromFile"}));
    EXPECT_EQ(counted["idealParts"][0]["kind"], "straight");
    EXPECT_TRUE(counted["idealParts"][0]["number"].is_null());
    EXPECT_EQ(keys(counted["corners"][0]),
              (std::vector<std::string>{"number", "name", "apexM", "bestS", "medianS", "timeStdDevS",
                                        "brakePointStdDevM", "minSpeedStdDevKmh"}));
    EXPECT_TRUE(counted["lapTimeStdDevS"].is_number());

    // No counted lap: no best, median or ideal lap, and no parts.
    const auto& none = doc["groups"][1];
    EXPECT_EQ(none["car"].get<std::string>().rfind("Zeta Car", 0), 0U);
    EXPECT_EQ(none["laps"][0]["note"], "began mid-lap");
    for (const char* member : {"bestLap", "medianLapS", "idealLapS", "lapTimeStdDevS", "lapTimeStdDevPct"}) {
        EXPECT_TRUE(none[member].is_null()) << member;
    }
    EXPECT_TRUE(none["idealParts"].empty());
    EXPECT_TRUE(none["workOn"].empty());
}

struct Refusal {
    std::vector<std::string> args;  // after "stint DIR"
    std::string error;              // a part of the "Error: ..." line
};

class StintRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(StintRefusals, EndWithOneErrorLine) {
    const TempDir dir;
    fill_two_cars(dir.path());
    std::vector<std::string> args{"stint", dir.path().string(), "--recursive"};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    const auto run = testing::run(args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("Error: stint: ", 0), 0U) << run.err;
    EXPECT_NE(run.err.find(GetParam().error), std::string::npos) << run.err;
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "monday") ||
                !std::filesystem::exists(dir.path() / "out.html"));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, StintRefusals,
    ::testing::Values(Refusal{{"--html", "out.html"}, "choose one with --track and --car"},
                      Refusal{{"--lap-reports"}, "--lap-reports goes with --html"},
                      Refusal{{"--json", "--html"}, "choose one"},
                      Refusal{{"--track"}, "--track needs a value"},
                      Refusal{{"--fast"}, "unknown option --fast"},
                      Refusal{{"second-folder"}, "one folder expected"}));

TEST(StintCommand, TableNamesEveryLapAndWhatWasNotRead) {
    const TempDir dir;
    fill_two_cars(dir.path());
    std::ofstream(dir.path() / "broken.bin", std::ios::binary) << "not a lap";
    const auto run = testing::run({"stint", dir.path().string(), "-r"});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const std::string& text : {file_name(stint().laps.laps[0]), std::string("Ideal lap:"),
                                    std::string("Work on:"), std::string("began mid-lap"),
                                    std::string("Not read:\n  broken.bin: ")}) {
        EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n" << run.out;
    }
    const auto missing = testing::run({"stint", (dir.path() / "nowhere").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("Error: stint: no folder"), std::string::npos) << missing.err;
}

}  // namespace
}  // namespace corvel
