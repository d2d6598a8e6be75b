// `corvel-lap list`: which laps a folder holds, their order, the best-lap marker and the notes,
// and that a lap with usable metadata is listed from its header alone.
#include "analysis/lap_library.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "lap_format/lap_file_writer.hpp"
#include "corvel_lap.hpp"
#include "lap_format/json/lap_file.hpp"
#include "lap_format/utf8_path.hpp"
#include "lap_format/lap_files.hpp"
#include "corvel_lap/run_corvel_lap.hpp"

namespace corvel {
namespace {

using testing::TempDir;

struct LapSpec {
    std::string track = "Corvel Park";
    std::string car = "Prototype 963";
    double lap_time_s = 90.0;
    bool started_mid_lap = false;
    std::uint8_t extra_flags = 0;  // set on one sample
    std::size_t samples = 30;
};

std::filesystem::path write_lap(const std::filesystem::path& dir, const std::string& name,
                                const LapSpec& spec) {
    const auto path = dir / path_from_utf8(name + ".bin");
    auto samples = testing::varied_samples(spec.samples);
    for (LapSample& s : samples) s.flags = sample_flag::kOnTrack;
    samples[samples.size() / 2].flags |= spec.extra_flags;
    EXPECT_TRUE(write_lap_telemetry(path, samples).has_value());
    LapMetadata metadata;
    metadata.track_name = spec.track;
    metadata.car_name = spec.car;
    metadata.lap_time_seconds = spec.lap_time_s;
    metadata.started_mid_lap = spec.started_mid_lap;
    metadata.sample_count = spec.samples;
    metadata.file_name = name + ".bin";
    EXPECT_TRUE(write_lap_metadata(metadata_path_for(path), metadata).has_value());
    return path;
}

LapLibrary listed(const std::filesystem::path& dir, bool recursive = false) {
    auto library = list_laps(dir, {.recursive = recursive});
    EXPECT_TRUE(library.has_value()) << library.error();
    return library ? std::move(*library) : LapLibrary{};
}

std::vector<std::string> files_in_order(const LapLibrary& library) {
    std::vector<std::string> files;
    for (const LapListing& lap : library.laps) files.push_back(path_to_utf8(lap.relative_path));
    return files;
}

std::vector<std::string> best_files(const LapLibrary& library) {
    std::vector<std::string> files;
    for (const LapListing& lap : library.laps) {
        if (lap.best) files.push_back(path_to_utf8(lap.relative_path));
    }
    return files;
}

const LapListing& lap_named(const LapLibrary& library, const std::string& file) {
    for (const LapListing& lap : library.laps) {
        if (path_to_utf8(lap.relative_path) == file) return lap;
    }
    ADD_FAILURE() << file << " not listed";
    return library.laps.front();
}

bool has_note(const LapListing& lap, std::string_view start) {
    return std::ranges::any_of(lap.notes,
                               [start](const std::string& note) { return note.starts_with(start); });
}

TEST(LapList, SortsByTrackCarThenLapTimeAndMarksTheBestOfEach) {
    const TempDir dir;
    write_lap(dir.path(), "b-slow", {.track = "Bravo", .lap_time_s = 95.0});
    write_lap(dir.path(), "b-fast", {.track = "Bravo", .lap_time_s = 91.5});
    write_lap(dir.path(), "a-car2", {.track = "Alpha", .car = "Zeta GT3", .lap_time_s = 80.0});
    write_lap(dir.path(), "a-car1", {.track = "Alpha", .car = "Alpha GT3", .lap_time_s = 99.0});

    const LapLibrary library = listed(dir.path());

    EXPECT_EQ(files_in_order(library),
              (std::vector<std::string>{"a-car1.bin", "a-car2.bin", "b-fast.bin", "b-slow.bin"}));
    EXPECT_EQ(best_files(library), (std::vector<std::string>{"a-car1.bin", "a-car2.bin", "b-fast.bin"}));
    EXPECT_EQ(lap_named(library, "b-slow.bin").samples, 30U);
    EXPECT_EQ(lap_named(library, "b-slow.bin").lap_time_s, 95.0);
}

TEST(LapList, BestIsOnlyALapFromTheLineOffThePitLaneAndValid) {
    const TempDir dir;
    write_lap(dir.path(), "invalid", {.lap_time_s = 80.0, .extra_flags = sample_flag::kLapInvalid});
    write_lap(dir.path(), "pit", {.lap_time_s = 81.0, .extra_flags = sample_flag::kInPitLane});
    write_lap(dir.path(), "mid", {.lap_time_s = 82.0, .started_mid_lap = true});
    write_lap(dir.path(), "clean", {.lap_time_s = 83.0});
    write_lap(dir.path(), "slower", {.lap_time_s = 84.0});

    const LapLibrary library = listed(dir.path());

    EXPECT_EQ(best_files(library), (std::vector<std::string>{"clean.bin"}));
    EXPECT_TRUE(has_note(lap_named(library, "invalid.bin"), "invalidated"));
    EXPECT_TRUE(has_note(lap_named(library, "pit.bin"), "pit lane"));
    EXPECT_TRUE(has_note(lap_named(library, "mid.bin"), "began mid-lap"));
    EXPECT_TRUE(lap_named(library, "clean.bin").notes.empty());
}

TEST(LapList, ALapWithMetadataIsListedFromItsHeaderAlone) {
    const TempDir dir;
    // Mid-lap, so never a best candidate: nothing but the header may be read.
    const auto path = write_lap(dir.path(), "header-only", {.started_mid_lap = true, .samples = 40});
    auto bytes = testing::read_bytes(path);
    bytes.resize(20);  // the frame is cut short
    testing::write_bytes(path, bytes);

    const LapLibrary library = listed(dir.path());

    const LapListing& lap = lap_named(library, "header-only.bin");
    EXPECT_EQ(lap.samples, 40U);
    EXPECT_EQ(lap.lap_time_s, 90.0);
    EXPECT_FALSE(has_note(lap, "unreadable"));
}

TEST(LapList, ListsUnreadableLapsAndLapsWithoutMetadataWithANote) {
    const TempDir dir;
    testing::write_text(dir / "junk.bin", "not a lap");
    const auto bare = write_lap(dir.path(), "bare", {});
    std::filesystem::remove(metadata_path_for(bare));
    const auto broken = write_lap(dir.path(), "broken", {});
    testing::write_text(metadata_path_for(broken), "{\"simulator\": ");
    const auto cut = write_lap(dir.path(), "cut", {.lap_time_s = 70.0});  // the best candidate
    auto bytes = testing::read_bytes(cut);
    bytes.resize(20);
    testing::write_bytes(cut, bytes);

    const LapLibrary library = listed(dir.path());

    ASSERT_EQ(library.laps.size(), 4U);
    EXPECT_TRUE(best_files(library).empty());
    EXPECT_TRUE(has_note(lap_named(library, "junk.bin"), "unreadable: file too short"));
    EXPECT_FALSE(lap_named(library, "junk.bin").samples.has_value());
    EXPECT_TRUE(has_note(lap_named(library, "cut.bin"), "unreadable: truncated"));
    const LapListing& no_metadata = lap_named(library, "bare.bin");
    EXPECT_TRUE(has_note(no_metadata, "no metadata"));
    // Its samples place the line (their lap fraction runs through the lap); the time is held
    // to the truth on generated laps (lap_library_generated_test.cpp).
    EXPECT_TRUE(has_note(no_metadata, "lap time from the samples, line to line"));
    EXPECT_TRUE(no_metadata.lap_time_s.has_value());
    EXPECT_TRUE(has_note(lap_named(library, "broken.bin"), "metadata broken: "));
}

TEST(LapList, TimesALapWhoseLineCannotBePlacedFromItsTimelineNotTheSteppedClock) {
    const TempDir dir;
    // Polled every 16 ms from just after a 5 Hz scoring update: the clock's own span says
    // 1.4 s, the polls took 1.584 s. A lap fraction that never moves cannot place the line.
    auto samples = testing::varied_samples(100);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double wall_s = 100.01 + static_cast<double>(i) * 0.016;
        samples[i].session_time = static_cast<float>(std::floor(wall_s / 0.2) * 0.2);
        samples[i].lap_fraction = 0.5f;
    }
    ASSERT_TRUE(write_lap_telemetry(dir / "stepped.bin", samples).has_value());

    const LapLibrary library = listed(dir.path());

    ASSERT_EQ(library.laps.size(), 1U);
    const LapListing& lap = library.laps.front();
    EXPECT_TRUE(has_note(lap, "lap time from the samples, first to last sample (the line could not be placed)"));
    ASSERT_TRUE(lap.lap_time_s.has_value());
    EXPECT_NEAR(*lap.lap_time_s, 99 * 0.016, 0.016);
}

TEST(LapList, RecursesIntoSubfoldersOnlyWhenAsked) {
    const TempDir dir;
    std::filesystem::create_directories(dir / "2026" / "spa");
    write_lap(dir.path(), "top", {});
    write_lap(dir / "2026" / "spa", "deep", {});
    testing::write_text(dir / "notes.txt", "not a lap");

    EXPECT_EQ(listed(dir.path()).laps.size(), 1U);
    const LapLibrary all = listed(dir.path(), true);
    ASSERT_EQ(all.laps.size(), 2U);
    EXPECT_EQ(all.laps[0].relative_path, std::filesystem::path("2026") / "spa" / "deep.bin");
}

TEST(LapList, RefusesAMissingFolderAndAFile) {
    const TempDir dir;
    testing::write_text(dir / "file.txt", "x");
    EXPECT_FALSE(list_laps(dir / "missing", {}).has_value());
    EXPECT_FALSE(list_laps(dir / "file.txt", {}).has_value());
}

using testing::Outcome;
using testing::run;

TEST(ListCommand, CsvHasTheFixedHeaderAndQuotesFields) {
    const TempDir dir;
    const auto folder = dir.path() / path_from_utf8("Runden \xC3\xA9t\xC3\xA9");
    std::filesystem::create_directories(folder);
    write_lap(folder, "lap", {.track = "Circuit, \"Old\"", .lap_time_s = 92.25});

    const Outcome result = run({"list", path_to_utf8(folder), "--csv"});

    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              "track,car,lap_time_s,created_at,samples,file,best,note\r\n"
              "\"Circuit, \"\"Old\"\"\",Prototype 963,92.25,1970-01-01T00:00:00+00:00,30,lap.bin,1,\r\n");
}

TEST(ListCommand, TableMarksTheBestLapAndErrorsAreOneLine) {
    const TempDir dir;
    write_lap(dir.path(), "fast", {.lap_time_s = 61.5});
    write_lap(dir.path(), "slow", {.lap_time_s = 62.0});

    const Outcome table = run({"list", path_to_utf8(dir.path())});
    const Outcome missing = run({"list", path_to_utf8(dir / "missing")});
    const Outcome extra = run({"list", "a", "b"});
    const Outcome help = run({"list", "--help"});

    EXPECT_EQ(table.status, 0);
    EXPECT_NE(table.out.find("*  Corvel Park"), std::string::npos) << table.out;
    EXPECT_LT(table.out.find("fast.bin"), table.out.find("slow.bin"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.starts_with("Error: list: no folder ")) << missing.err;
    EXPECT_EQ(std::ranges::count(missing.err, '\n'), 1);
    EXPECT_EQ(extra.status, 1);
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: corvel-lap list DIR"));
}

}  // namespace
}  // namespace corvel
