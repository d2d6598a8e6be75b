// `corvel-lap motec` end to end on files: a lap written by the capture tool's lap file writer
// with its metadata, exported and read back; help, and one clear error line for every bad
// input or output without writing anything.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <sstream>

#include "lap_format/lap_file_writer.hpp"
#include "corvel_lap.hpp"
#include "lap_format/utf8_path.hpp"
#include "ld_reader.hpp"
#include "support/test_files.hpp"
#include "synthetic_lap.hpp"

namespace corvel::motec {
namespace {

namespace fs = std::filesystem;

using corvel::testing::read_text;
using corvel::testing::write_text;

class MotecCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        static std::atomic<int> counter{0};
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("corvel-motec-" + std::string(info->name()) + "-" + std::to_string(counter++));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        lap_path_ = dir_ / "lmu-ring-gt3-lap3-1768500252.bin";
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    void write_lap(bool with_metadata = true) {
        const motec_test::SyntheticLap lap = motec_test::make_synthetic_lap();
        ASSERT_TRUE(write_lap_telemetry(lap_path_, lap.samples).has_value());
        if (with_metadata) {
            write_text(fs::path(lap_path_).replace_extension(".json"),
                       motec_test::synthetic_metadata_json(lap, path_to_utf8(lap_path_.filename())));
        }
    }

    // Through the program's own command dispatch, as `corvel-lap motec ...`.
    int run(std::vector<std::string> args) {
        out_.str("");
        err_.str("");
        args.insert(args.begin(), "motec");
        return run_corvel_lap(args, out_, err_);
    }

    void expect_one_error_line() const {
        const std::string e = err_.str();
        EXPECT_EQ(e.rfind("Error: ", 0), 0u) << e;
        EXPECT_EQ(std::ranges::count(e, '\n'), 1) << e;
        EXPECT_EQ(out_.str(), "");
    }

    [[nodiscard]] std::string lap_arg() const { return path_to_utf8(lap_path_); }

    fs::path dir_;
    fs::path lap_path_;
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_F(MotecCommand, WritesTheLdAndLdxBesideTheLapByDefault) {
    write_lap();

    ASSERT_EQ(run({lap_arg()}), 0) << err_.str();

    const fs::path ld = dir_ / "lmu-ring-gt3-lap3-1768500252.ld";
    const fs::path ldx = dir_ / "lmu-ring-gt3-lap3-1768500252.ldx";
    const std::string bytes = read_text(ld);
    const auto log = ldtest::read_ld(std::as_bytes(std::span<const char>(bytes.data(), bytes.size())));
    ASSERT_TRUE(log.has_value()) << log.error();
    EXPECT_EQ(log->driver,
              "Ren\xE9"
              "e \"Test\" Driver");
    EXPECT_EQ(log->vehicle, "Stand-in GT3 #7");
    EXPECT_EQ(log->venue, "Corvel Test Ring");
    EXPECT_EQ(log->event, "LMU Short");
    EXPECT_EQ(log->session, "Time Trial");
    EXPECT_EQ(log->date, "15/01/2026");
    EXPECT_EQ(log->time, "18:04:12");
    EXPECT_EQ(log->short_comment, "Lap 3 0:12.500");
    EXPECT_NE(log->find("Lap Distance"), nullptr);
    EXPECT_EQ(ldtest::read_ldx(read_text(ldx)).beacon_times_us, (std::vector<double>{0.0, 12'500'000.0}));
    EXPECT_NE(out_.str().find("Wrote " + path_to_utf8(ld) + ": 23 channels"), std::string::npos)
        << out_.str();
    EXPECT_NE(out_.str().find("Wrote " + path_to_utf8(ldx) + ": lap 3, 0:12.500"), std::string::npos)
        << out_.str();
    EXPECT_EQ(err_.str(), "");
}

TEST_F(MotecCommand, WritesWhereTheOutputOptionSays) {
    write_lap();
    fs::create_directories(dir_ / "out");

    ASSERT_EQ(run({lap_arg(), "-o", path_to_utf8(dir_ / "out" / "best.ld")}), 0) << err_.str();

    EXPECT_TRUE(fs::exists(dir_ / "out" / "best.ld"));
    EXPECT_TRUE(fs::exists(dir_ / "out" / "best.ldx"));
    EXPECT_FALSE(fs::exists(dir_ / "lmu-ring-gt3-lap3-1768500252.ld"));
}

TEST_F(MotecCommand, ALapWithoutMetadataIsExportedWithAWarning) {
    write_lap(false);

    ASSERT_EQ(run({lap_arg()}), 0) << err_.str();

    EXPECT_EQ(err_.str().rfind("Warning: no metadata beside the lap (lmu-ring-gt3-lap3-1768500252.json)", 0),
              0u)
        << err_.str();
    EXPECT_TRUE(fs::exists(dir_ / "lmu-ring-gt3-lap3-1768500252.ld"));
}

TEST_F(MotecCommand, HelpDescribesTheCommandAndSucceeds) {
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_NE(out_.str().find("Usage: corvel-lap motec FILE.bin [-o OUT.ld]"), std::string::npos);
    EXPECT_NE(out_.str().find("mean rate"), std::string::npos);

    std::ostringstream out;
    std::ostringstream err;
    const std::vector<std::string> program_help{"--help"};
    EXPECT_EQ(run_corvel_lap(program_help, out, err), 0);
    EXPECT_NE(out.str().find("  motec   FILE.bin [-o OUT.ld]"), std::string::npos);
}

TEST_F(MotecCommand, BadArgumentsGiveOneErrorLine) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{},
                                                                                      {"--bogus", "x.bin"},
                                                                                      {"x.bin", "-o"},
                                                                                      {"a.bin", "b.bin"},
                                                                                      {"x.bin", "-o", ""},
                                                                                      {"x.bin", "-o", "-"}}) {
        EXPECT_EQ(run(args), 1);
        expect_one_error_line();
    }
}

TEST_F(MotecCommand, AMissingLapFileIsAClearError) {
    EXPECT_EQ(run({path_to_utf8(dir_ / "nothing.bin")}), 1);

    expect_one_error_line();
    EXPECT_NE(err_.str().find("nothing.bin"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir_ / "nothing.ld"));
}

TEST_F(MotecCommand, AMalformedLapFileIsAClearErrorAndWritesNothing) {
    write_text(lap_path_, "VKTF this is not a lap file at all");

    EXPECT_EQ(run({lap_arg()}), 1);

    expect_one_error_line();
    EXPECT_FALSE(fs::exists(dir_ / "lmu-ring-gt3-lap3-1768500252.ld"));
}

TEST_F(MotecCommand, MalformedMetadataIsNamedAndTheLapStillExported) {
    write_lap();
    write_text(fs::path(lap_path_).replace_extension(".json"), "{\"simulator\": ");

    EXPECT_EQ(run({lap_arg()}), 0);

    EXPECT_EQ(err_.str().rfind("Warning: metadata lmu-ring-gt3-lap3-1768500252.json: ", 0), 0u) << err_.str();
    EXPECT_TRUE(fs::exists(dir_ / "lmu-ring-gt3-lap3-1768500252.ld"));
}

TEST_F(MotecCommand, EveryTruncationOfALapFileFailsCleanly) {
    write_lap();
    const std::string whole = read_text(lap_path_);
    for (std::size_t length = 0; length < whole.size(); length += 1 + length / 3) {
        write_text(lap_path_, whole.substr(0, length));
        EXPECT_EQ(run({lap_arg()}), 1) << "length " << length;
    }
}

TEST_F(MotecCommand, RefusesToOverwriteTheLapOrItsMetadata) {
    write_lap();
    const std::string before = read_text(lap_path_);

    EXPECT_EQ(run({lap_arg(), "-o", lap_arg()}), 1);
    expect_one_error_line();
    EXPECT_EQ(run({lap_arg(), "-o", path_to_utf8(fs::path(lap_path_).replace_extension(".json"))}), 1);

    EXPECT_EQ(read_text(lap_path_), before);
}

TEST_F(MotecCommand, AnOutputThatCannotBeCreatedIsAClearError) {
    write_lap();

    EXPECT_EQ(run({lap_arg(), "-o", path_to_utf8(dir_ / "missing-dir" / "x.ld")}), 1);

    expect_one_error_line();
    EXPECT_NE(err_.str().find("cannot create"), std::string::npos) << err_.str();
}

}  // namespace
}  // namespace corvel::motec
