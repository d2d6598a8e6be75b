// slugify, the file stem and paths, and creating the output directory.
#include "corvel/output_naming.hpp"

#include <gtest/gtest.h>

#include "support/test_files.hpp"

namespace corvel {
namespace {

sim_bridge::SessionInfo session(std::string full_name, std::string name = "Example Ring") {
    sim_bridge::SessionInfo s;
    s.track_full_name = std::move(full_name);
    s.track_name = std::move(name);
    return s;
}

sim_bridge::VehicleInfo vehicle(std::string car_name) {
    sim_bridge::VehicleInfo v;
    v.car_name = std::move(car_name);
    return v;
}

std::string stem(std::string_view prefix, const sim_bridge::SessionInfo& s, const sim_bridge::VehicleInfo& v,
                 std::int64_t lap = 3, std::uint64_t secs = 1768500252) {
    const OutputPaths paths = build_output_paths("out", prefix, s, v, lap, secs);
    return paths.telemetry.stem().string();
}

TEST(Slugify, KeepsLowerCaseLettersDigitsAndSingleHyphens) {
    EXPECT_EQ(slugify("Le Mans (24h)"), "le-mans-24h");
    EXPECT_EQ(slugify("  Car_No 7, "), "car-no-7");
    EXPECT_EQ(slugify("Stra\xC3\x9F"
                      "e"),
              "stra-e");
    EXPECT_EQ(slugify("---"), "");
    EXPECT_EQ(slugify(""), "");
    EXPECT_EQ(slugify("../..\\etc/passwd"), "etc-passwd");
    EXPECT_EQ(slugify("\xC3\xA9t\xC3\xA9"), "t");
}

TEST(OutputPaths, StemJoinsPrefixTrackCarLapAndClock) {
    EXPECT_EQ(stem("lmu-clean-lap", session("Example Ring"), vehicle("Example Car 963")),
              "lmu-clean-lap-example-ring-example-car-963-lap3-1768500252");
}

TEST(OutputPaths, TrackFallsBackToNameOnlyWhenFullNameIsBlank) {
    EXPECT_EQ(stem("p", session("Example Ring - GP"), vehicle("c")), "p-example-ring-gp-c-lap3-1768500252");
    EXPECT_EQ(stem("p", session(" \t\xC2\xA0\xE3\x80\x80"), vehicle("c")),
              "p-example-ring-c-lap3-1768500252");
    EXPECT_EQ(stem("p", session("\xC3\xA9\xC3\xA9"), vehicle("c")), "p--c-lap3-1768500252");
}

TEST(OutputPaths, BlankCarIsUnknownCar) {
    EXPECT_EQ(stem("p", session("t"), vehicle("   ")), "p-t-unknown-car-lap3-1768500252");
    EXPECT_EQ(stem("p", session("t"), vehicle("")), "p-t-unknown-car-lap3-1768500252");
}

TEST(OutputPaths, PrefixIsSlugifiedToo) {
    EXPECT_EQ(stem("My_Laps", session("t"), vehicle("c"), 12), "my-laps-t-c-lap12-1768500252");
    EXPECT_EQ(stem("###", session("t"), vehicle("c")), "-t-c-lap3-1768500252");
}

TEST(OutputPaths, DifferOnlyInExtension) {
    const OutputPaths paths = build_output_paths("out", "p", session("t"), vehicle("c"), 3, 5);
    EXPECT_EQ(paths.telemetry, std::filesystem::path("out") / "p-t-c-lap3-5.bin");
    EXPECT_EQ(paths.metadata, std::filesystem::path("out") / "p-t-c-lap3-5.json");
}

TEST(OutputPaths, LongNamesStayWithinFileNameLimits) {
    const std::string long_text(1000, 'a');
    const OutputPaths paths =
        build_output_paths("out", long_text + " x", session(long_text), vehicle(long_text),
                           std::numeric_limits<std::int64_t>::min(), UINT64_MAX);
    const std::string name = paths.metadata.filename().string();
    EXPECT_LE(name.size(), 255u);
    EXPECT_TRUE(name.starts_with(std::string(kMaxStemSlugBytes, 'a') + "-")) << name;
}

TEST(OutputPaths, CutSlugDoesNotEndInAHyphen) {
    const std::string text = std::string(kMaxStemSlugBytes - 1, 'a') + " b";
    EXPECT_EQ(stem("p", session(text), vehicle("c")),
              "p-" + std::string(kMaxStemSlugBytes - 1, 'a') + "-c-lap3-1768500252");
}

TEST(OutputDirectory, CreatesMissingParentsAndAcceptsExisting) {
    testing::TempDir dir;
    const auto deep = dir.path() / "a" / "b" / "c";
    ASSERT_TRUE(create_output_directory(deep).has_value());
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    EXPECT_TRUE(create_output_directory(deep).has_value());
}

TEST(OutputDirectory, FileInTheWayIsAnError) {
    testing::TempDir dir;
    testing::write_text(dir.path() / "file", "x");
    auto result = create_output_directory(dir.path() / "file" / "sub");
    ASSERT_FALSE(result.has_value());
    EXPECT_TRUE(result.error().display().ends_with(")")) << result.error().display();
}

TEST(UnixSeconds, IsAfter2020) {
    EXPECT_GT(unix_seconds_now(), 1'577'836'800u);
}

}  // namespace
}  // namespace corvel
