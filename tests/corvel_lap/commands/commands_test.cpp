// corvel-lap's command line end to end (in process): help, errors, info, verify, csv, plot.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "lap_format/lap_file_writer.hpp"
#include "corvel_lap.hpp"
#include "lap_format/utf8_path.hpp"
#include "corvel_lap/synthetic_lap.hpp"
#include "lap_format/lap_files.hpp"
#include "corvel_lap/run_corvel_lap.hpp"

namespace corvel {
namespace {

using testing::TempDir;

using testing::Outcome;
using testing::run;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string utf8(const std::filesystem::path& path) {
    return path_to_utf8(path);
}

// A lap file and metadata of our own making: `samples` carry `sample_lap`.
std::filesystem::path write_lap(const TempDir& dir, const std::string& name, std::int64_t lap_number,
                                std::uint16_t sample_lap, std::size_t count = 20) {
    const auto path = dir.path() / path_from_utf8(name);
    const auto samples = testing::varied_samples(count, sample_lap);
    EXPECT_TRUE(write_lap_telemetry(path, samples).has_value());
    LapMetadata metadata;
    metadata.lap_number = lap_number;
    metadata.sample_count = count;
    metadata.file_name = name;
    auto json = path;
    json.replace_extension(".json");
    EXPECT_TRUE(write_lap_metadata(json, metadata).has_value());
    return path;
}

void replace_in_file(const std::filesystem::path& path, const std::string& from, const std::string& to) {
    std::string text = testing::read_text(path);
    const auto at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    testing::write_text(path, text);
}

TEST(CorvelLapCommandLine, PrintsHelpForTheProgramAndEachCommand) {
    const Outcome program = run({"--help"});
    EXPECT_EQ(program.status, 0);
    EXPECT_TRUE(contains(program.out, "Usage: corvel-lap COMMAND FILE.bin"));
    for (const std::string command : {"info", "verify", "csv", "plot"}) {
        const Outcome help = run({command, "--help"});
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_TRUE(contains(help.out, "Usage: corvel-lap " + command)) << help.out;
        EXPECT_EQ(run({"help", command}).out, help.out);
    }
    EXPECT_TRUE(contains(run({"csv", "--help"}).out, "Default: FILE.csv beside FILE.bin"));
}

TEST(CorvelLapCommandLine, ReportsUsageErrorsWithStatusOne) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{}, "Error: missing command"},
        {{"export"}, "Error: unknown command export"},
        {{"csv", "lap.bin", "--bogus"}, "Error: csv: unknown option --bogus"},
        {{"csv", "lap.bin", "-o"}, "Error: csv: -o needs a value"},
        {{"info"}, "Error: info: missing the lap file"},
        {{"info", "a.bin", "b.bin"}, "Error: info: one lap file expected"},
        {{"verify", "a.bin", "--compare", "b.bin"}, "Error: verify: unknown option --compare"},
    };
    for (const auto& [args, message] : cases) {
        const Outcome result = run(args);
        EXPECT_EQ(result.status, 1) << message;
        EXPECT_TRUE(result.err.starts_with(message)) << result.err;
        EXPECT_TRUE(result.err.ends_with("\n"));
    }
}

TEST(CorvelLapCommandLine, NamesTheFileAndTheFaultOfABrokenLap) {
    const TempDir dir;
    testing::write_bytes(dir / "broken.bin", testing::lap_header(3));

    for (const std::string command : {"info", "verify", "csv", "plot"}) {
        const Outcome result = run({command, utf8(dir / "broken.bin")});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, "Error: " + utf8(dir / "broken.bin") +
                                  ": truncated file: no zstd frame after the header\n");
    }
}

TEST(CorvelLapInfo, ShowsTheLapFromItsMetadataAndSamples) {
    const TempDir dir;
    const auto path = testing::write_synthetic_lap(dir.path());
    ASSERT_TRUE(path.has_value()) << path.error();
    const auto lap = testing::make_synthetic_lap();
    const auto [slowest, fastest] =
        std::minmax_element(lap.samples.begin(), lap.samples.end(),
                            [](const auto& a, const auto& b) { return a.speed_kmh < b.speed_kmh; });
    const auto yellow = std::count_if(lap.samples.begin(), lap.samples.end(), [](const LapSample& s) {
        return (s.flags & sample_flag::kYellow) != 0;
    });

    const Outcome result = run({"info", utf8(*path)});

    ASSERT_EQ(result.status, 0) << result.err;
    for (const std::string& line :
         {"Track         Corvel Park (Grand Prix), " +
              std::to_string(std::lround(lap.metadata.track_length_m)) + " m",
          std::string("Layout        Grand Prix"), std::string("Car           Prototype 963 #7"),
          std::string("Class         Hypercar"), std::string("Driver        Alex Driver"),
          std::string("Session       practice"), std::string("Lap           3, time 1:"),
          "Samples       " + std::to_string(lap.samples.size()), std::string("mean rate 62.50 Hz"),
          "Speed         " + std::to_string(slowest->speed_kmh) + " to " +
              std::to_string(fastest->speed_kmh) + " km/h",
          std::string("Fuel used     3."), std::string("Pit lane      none"),
          std::string("Invalidated   none"), "Yellow flag   " + std::to_string(yellow) + " samples"}) {
        EXPECT_TRUE(contains(result.out, line)) << line << "\n" << result.out;
    }
}

TEST(CorvelLapInfo, WorksWithoutMetadata) {
    const TempDir dir;
    ASSERT_TRUE(write_lap_telemetry(dir / "lap.bin", testing::varied_samples(10)).has_value());

    const Outcome result = run({"info", utf8(dir / "lap.bin")});

    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(contains(result.out, "Metadata      none (no lap.json beside the file)")) << result.out;
    EXPECT_TRUE(contains(result.out, "Samples       10"));
}

TEST(CorvelLapVerify, AcceptsASoundLap) {
    const TempDir dir;
    const auto path = testing::write_synthetic_lap(dir.path());
    ASSERT_TRUE(path.has_value());

    const Outcome result = run({"verify", utf8(*path)});

    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_TRUE(result.out.starts_with("OK: ")) << result.out;
    EXPECT_TRUE(contains(result.out, " samples, lap 3, metadata matches"));
}

TEST(CorvelLapVerify, ComparesLapNumbersInTheir16BitForm) {
    const TempDir dir;
    EXPECT_EQ(run({"verify", utf8(write_lap(dir, "big.bin", 70000, 4464))}).status, 0);
    EXPECT_EQ(run({"verify", utf8(write_lap(dir, "negative.bin", -4, 0))}).status, 0);
}

TEST(CorvelLapVerify, FailsWhenSamplesCarryAnotherLap) {
    const TempDir dir;
    const auto path = write_lap(dir, "lap.bin", 3, 4);

    const Outcome result = run({"verify", utf8(path)});

    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(
        contains(result.err,
                 "samples with another lap number than the metadata's lapNumber 3 (stored as 3): 20 of 20"))
        << result.err;
}

TEST(CorvelLapVerify, FailsOnASampleCountMismatch) {
    const TempDir dir;
    const auto path = write_lap(dir, "lap.bin", 3, 3);
    replace_in_file(dir / "lap.json", "\"sampleCount\": 20", "\"sampleCount\": 21");

    const Outcome result = run({"verify", utf8(path)});

    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.err, "sample count mismatch: the metadata says 21, the lap file holds 20"))
        << result.err;
    EXPECT_TRUE(contains(result.out, "FAIL: sample count mismatch"));
}

TEST(CorvelLapVerify, FailsOnARenamedFile) {
    const TempDir dir;
    write_lap(dir, "lap.bin", 3, 3);
    std::filesystem::rename(dir / "lap.bin", dir / "other-lap3-1736964252.bin");
    std::filesystem::rename(dir / "lap.json", dir / "other-lap3-1736964252.json");

    const Outcome result = run({"verify", utf8(dir / "other-lap3-1736964252.bin")});

    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.err, "file name mismatch: the metadata names \"lap.bin\"")) << result.err;
}

TEST(CorvelLapVerify, FailsWhenTheFileNameCarriesAnotherLap) {
    const TempDir dir;
    const auto path = write_lap(dir, "x-lap4-1736964252.bin", 3, 3);

    const Outcome result = run({"verify", utf8(path)});

    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.err, "the file name says lap 4, the metadata's lapNumber is 3"))
        << result.err;
}

TEST(CorvelLapVerify, FailsWithoutMetadataOrWithBrokenMetadata) {
    const TempDir dir;
    const auto path = write_lap(dir, "lap.bin", 3, 3);
    replace_in_file(dir / "lap.json", "\"lapNumber\": 3", "\"lapNumber\": true");
    EXPECT_TRUE(
        contains(run({"verify", utf8(path)}).err, "metadata lap.json: \"lapNumber\" must be an integer"));

    std::filesystem::remove(dir / "lap.json");
    const Outcome result = run({"verify", utf8(path)});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.err, "no metadata document lap.json beside the lap file")) << result.err;
}

TEST(CorvelLapVerify, FailsOnRecordsNoWriterProduces) {
    const TempDir dir;
    auto samples = testing::varied_samples(20, 3);
    samples[4].constant_30 = 31;
    samples[6].flags = sample_flag::kOnTrack | sample_flag::kInPitLane;
    ASSERT_TRUE(write_lap_telemetry(dir / "lap.bin", samples).has_value());
    LapMetadata metadata;
    metadata.lap_number = 3;
    metadata.sample_count = 20;
    metadata.file_name = "lap.bin";
    ASSERT_TRUE(write_lap_metadata(dir / "lap.json", metadata).has_value());

    const Outcome result = run({"verify", utf8(dir / "lap.bin")});

    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.out,
                         "FAIL: samples without the fixed value 30 in byte 35: 1 of 20 (first: sample 4)"))
        << result.out;
    EXPECT_TRUE(contains(result.out, "pit-lane flag bits: 1 of 20 (first: sample 6)")) << result.out;
    EXPECT_TRUE(contains(result.err, "(and 1 more)")) << result.err;
}

TEST(CorvelLapCsv, WritesBesideTheLapByDefault) {
    const TempDir dir;
    const auto path = write_lap(dir, "lap.bin", 3, 3);

    const Outcome result = run({"csv", utf8(path)});

    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "Wrote " + utf8(dir / "lap.csv") + "\n");
    const std::string csv = testing::read_text(dir / "lap.csv");
    EXPECT_TRUE(csv.starts_with("sample,elapsed_s,"));
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 21);
}

TEST(CorvelLapCsv, WritesToStandardOutputOrAChosenFile) {
    const TempDir dir;
    const auto path = write_lap(dir, "lap.bin", 3, 3);

    const Outcome to_stdout = run({"csv", utf8(path), "-o", "-"});
    const Outcome to_file = run({"csv", utf8(path), "--output=" + utf8(dir / "out.csv")});

    EXPECT_EQ(to_stdout.status, 0);
    EXPECT_TRUE(to_stdout.out.starts_with("sample,elapsed_s,"));
    EXPECT_EQ(to_file.status, 0);
    EXPECT_EQ(testing::read_text(dir / "out.csv"), to_stdout.out);
}

TEST(CorvelLapCsv, RefusesToOverwriteTheLapItself) {
    const TempDir dir;
    const auto path = write_lap(dir, "lap.bin", 3, 3);
    const auto before = testing::read_bytes(path);

    const Outcome result = run({"csv", utf8(path), "-o", utf8(path)});

    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.err, "refusing to overwrite the lap's own file")) << result.err;
    EXPECT_EQ(testing::read_bytes(path), before);
}

TEST(CorvelLapCsv, ReportsAnUnwritableTarget) {
    const TempDir dir;
    const auto path = write_lap(dir, "lap.bin", 3, 3);

    const Outcome result = run({"csv", utf8(path), "-o", utf8(dir / "no-such-dir" / "x.csv")});

    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.err.starts_with("Error: cannot create ")) << result.err;
}

TEST(CorvelLapPlot, WritesAnSvgBesideTheLapAndComparesLaps) {
    const TempDir dir;
    const auto first = testing::write_synthetic_lap(dir.path());
    auto options = testing::SyntheticLapOptions{};
    options.lap = 4;
    options.brake_scale = 0.9;
    const auto second = testing::write_synthetic_lap(dir.path(), options);
    ASSERT_TRUE(first && second);

    const Outcome single = run({"plot", utf8(*first)});
    const Outcome compared =
        run({"plot", utf8(*first), "--compare", utf8(*second), "-o", utf8(dir / "cmp.svg")});

    EXPECT_EQ(single.status, 0) << single.err;
    auto svg_path = *first;
    svg_path.replace_extension(".svg");
    EXPECT_TRUE(testing::read_text(svg_path).ends_with("</svg>\n"));
    EXPECT_EQ(compared.status, 0) << compared.err;
    EXPECT_TRUE(contains(testing::read_text(dir / "cmp.svg"), "Time delta to the reference"));
}

TEST(CorvelLapPlot, FailsWhenTheComparedLapCannotBeRead) {
    const TempDir dir;
    const auto path = write_lap(dir, "lap.bin", 3, 3);

    const Outcome result = run({"plot", utf8(path), "--compare", utf8(dir / "missing.bin")});

    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.err.starts_with("Error: " + utf8(dir / "missing.bin") + ": cannot read the file"))
        << result.err;
}

TEST(CorvelLapPaths, ReadsAndWritesNonAsciiPaths) {
    const TempDir dir;
    const std::string name = "Spa-Francorchamps \xC3\xA9t\xC3\xA9 \xE2\x80\x94 lap.bin";
    const auto path = write_lap(dir, name, 3, 3);

    const Outcome result = run({"csv", utf8(dir.path()) + "/" + name});

    EXPECT_EQ(result.status, 0) << result.err;
    auto csv = path;
    csv.replace_extension(".csv");
    EXPECT_TRUE(std::filesystem::exists(csv));
}

}  // namespace
}  // namespace corvel
