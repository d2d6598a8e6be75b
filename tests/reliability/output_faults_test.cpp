// What a run leaves on disk when the output goes wrong or the names are hostile: an output
// directory that vanished before the lap was written, track, car and prefix texts that try
// to leave the directory, and the same lap captured twice within one second.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "corvel/output_naming.hpp"
#include "lap_format/lap_file_reader.hpp"
#include "lap_format/json/lap_metadata_reader.hpp"
#include "run_fixture.hpp"

namespace corvel::reliability {
namespace {

using namespace std::string_literals;

// --- The output directory is gone when the lap is due ----------------------------------

enum class Gone { Removed, ReplacedByAFile };

class VanishedOutputDirectory : public RunFixture, public ::testing::WithParamInterface<Gone> {};

TEST_P(VanishedOutputDirectory, FailsWithTheLapFilesIoErrorAndWritesNothing) {
    script_clean_lap(320);
    const auto dir = output_dir_ / "laps";
    // The directory exists when the run starts (it made it); it is gone when the lap is due.
    before_capture = [&] {
        std::filesystem::remove_all(dir);
        if (GetParam() == Gone::ReplacedByAFile) std::ofstream(dir) << "not a directory";
    };

    const int status = run_with(dir);

    EXPECT_EQ(status, 1);
    EXPECT_TRUE(err_.str().starts_with("Error: Io(Os { code: ")) << err_.str();
    EXPECT_FALSE(reported_success());
    // Nothing was written anywhere: the plain file is still all there is.
    const auto left = entries_of(output_dir_);
    EXPECT_EQ(left.size(), GetParam() == Gone::Removed ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(Output, VanishedOutputDirectory,
                         ::testing::Values(Gone::Removed, Gone::ReplacedByAFile), [](const auto& p) {
                             return p.param == Gone::Removed ? "Removed" : "ReplacedByAFile";
                         });

// --- Names that try to leave the output directory --------------------------------------

struct HostileNames {
    const char* label;
    std::string track;
    std::string car;
    std::string prefix;
};

std::vector<HostileNames> hostile_names() {
    const std::string dots(4000, '.');
    std::string climb;
    for (int i = 0; i < 2000; ++i) climb += "../";
    return {
        {"ParentSteps", "../../x", "../../../car", "../../x"},
        {"WindowsPaths", "C:\\evil\\track", "\\\\server\\share\\car", "C:\\evil"},
        {"AbsolutePaths", "/etc", "/etc/passwd", "/tmp/x/"},
        {"NulBytes", "Spa\0/../../etc"s, "car\0\0.bin"s, "pre\0/fix"s},
        {"OnlyDots", "..", ".", "..."},
        {"VeryLong", climb + std::string(5000, 'T'), std::string(10000, 'C') + "/x",
         dots + std::string(300, 'p')},
        {"ControlAndUnicode",
         "Stra\xc3\x9f"
         "e\n\r\t/..",
         "\xe2\x80\xae"
         "gpj.exe",
         "\xff\xfe/\x01"},
    };
}

class HostileNameRun : public RunFixture, public ::testing::WithParamInterface<HostileNames> {};

TEST_P(HostileNameRun, BothFilesLandInsideTheOutputDirectoryWithShortPlainNames) {
    session_.track_name = GetParam().track;
    session_.track_full_name = GetParam().track;
    vehicle_.car_name = GetParam().car;
    script_clean_lap(320);
    const auto dir = output_dir_ / "laps";

    const int status = run_with(dir, {"--prefix", GetParam().prefix});

    ASSERT_EQ(status, 0) << err_.str();
    // Only the output directory and the two files in it: nothing beside it or below it.
    const auto entries = entries_of(output_dir_);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0], dir);
    for (const auto& file : {entries[1], entries[2]}) {
        EXPECT_EQ(file.parent_path(), dir);
        EXPECT_TRUE(std::filesystem::is_regular_file(file));
        const std::string name = text_of(file.filename());
        EXPECT_LE(name.size(), 255u);
        EXPECT_EQ(name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-."), std::string::npos)
            << name;
    }
    // The texts themselves reach the metadata whole, as JSON strings.
    const auto metadata =
        parse_lap_metadata(std::string(bytes_of(entries[2]).data(), bytes_of(entries[2]).size()));
    ASSERT_TRUE(metadata) << metadata.error();
    EXPECT_EQ(metadata->file_name, text_of(entries[1].filename()));
    EXPECT_TRUE(read_lap_telemetry(entries[1]));
}

INSTANTIATE_TEST_SUITE_P(Names, HostileNameRun, ::testing::ValuesIn(hostile_names()),
                         [](const auto& p) { return std::string(p.param.label); });

// --- The same lap twice in one second ---------------------------------------------------

class SameLapTwice : public RunFixture {};

TEST_F(SameLapTwice, InOneSecondTheSecondOverwritesTheFirst) {
    const auto dir = output_dir_ / "laps";
    // Both runs must fall into one second of the file-name clock; a pair that straddles a
    // second boundary writes two sets of files and is tried again.
    for (int attempt = 0; attempt < 5; ++attempt) {
        std::filesystem::remove_all(dir);
        script_clean_lap(400);
        ASSERT_EQ(run_with(dir), 0) << err_.str();
        script_clean_lap(310);  // a shorter lap: the second file must not keep the first's tail
        ASSERT_EQ(run_with(dir), 0) << err_.str();
        if (entries_of(dir).size() == 2) break;
    }

    const auto files = entries_of(dir);
    ASSERT_EQ(files.size(), 2u) << "the two runs never fell into one second";
    const auto samples = read_lap_telemetry(files[0]);
    ASSERT_TRUE(samples) << samples.error().message;
    EXPECT_EQ(samples->size(), 311u);
    const auto metadata =
        parse_lap_metadata(std::string(bytes_of(files[1]).data(), bytes_of(files[1]).size()));
    ASSERT_TRUE(metadata) << metadata.error();
    EXPECT_EQ(metadata->sample_count, 311u);
}

}  // namespace
}  // namespace corvel::reliability
