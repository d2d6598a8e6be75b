// The whole run as the process performs it: arguments, output directory, adapter, capture,
// report lines, failure report and exit status, with a scripted adapter.
#include <gtest/gtest.h>

#include <fstream>

#include "corvel/capture_driver.hpp"
#include "corvel/output_naming.hpp"
#include "driver_fixtures.hpp"

namespace corvel::testing {
namespace {

class CorvelRun : public DriverTest {
protected:
    // Runs the process's run with `args`; the adapter handed out is the fixture's script,
    // moved into a fresh adapter so the run can own and release it.
    int run_with(std::vector<std::string> args) {
        AdapterFactory factory = [this]() -> std::unique_ptr<sim_bridge::SimAdapter> {
            ++adapters_made_;
            auto adapter = std::make_unique<ScriptedAdapter>();
            adapter->connect_failures = adapter_.connect_failures;
            adapter->sessions = adapter_.sessions;
            adapter->telemetry = adapter_.telemetry;
            adapter->player_vehicle = adapter_.player_vehicle;
            adapter->disconnect_after_telemetry = adapter_.disconnect_after_telemetry;
            adapter->on_release = [this] { err_ << "[adapter released]\n"; };
            return adapter;
        };
        return run_task(run_corvel(std::move(args), std::move(factory), environment()));
    }

    std::vector<std::string> with_output_dir(std::vector<std::string> args) const {
        const std::u8string dir = output_dir_.u8string();
        args.insert(args.begin(), {"--output-dir", std::string(dir.begin(), dir.end())});
        return args;
    }

    // Snapshots of one whole lap: `samples` polls on lap 1, the change to lap 2 without a
    // time yet, then the scoring's time, which settles the lap as clean.
    void script_clean_lap(int samples) {
        adapter_.sessions = {active_session()};
        adapter_.player_vehicle = player_car();
        adapter_.telemetry.clear();
        adapter_.telemetry.push_back(driving(1));  // the session wait's poll
        for (int i = 0; i < samples; ++i) adapter_.telemetry.push_back(driving(1));
        adapter_.telemetry.push_back(driving(2));
        adapter_.telemetry.push_back(driving(2, 91.2));
    }

    std::vector<std::filesystem::path> files_in_output() const {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(output_dir_)) {
            if (entry.is_regular_file()) files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
        return files;
    }

    int adapters_made_ = 0;
};

std::string text_of(const std::filesystem::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

TEST_F(CorvelRun, AnArgumentErrorIsReportedInQuotesBeforeAnythingHappens) {
    const int status = run_with({"--verbose"});

    EXPECT_EQ(status, 1);
    EXPECT_EQ(err_.str(), "Error: \"Argument error: Unknown argument: --verbose\"\n");
    EXPECT_EQ(out_.str(), "");
    EXPECT_EQ(adapters_made_, 0);
}

TEST_F(CorvelRun, HelpPrintsTheUsageAndSucceeds) {
    const int status = run_with({"--help", "--bogus"});

    EXPECT_EQ(status, 0);
    EXPECT_EQ(out_.str(), usage_text());
    EXPECT_EQ(err_.str(), "");
    EXPECT_EQ(adapters_made_, 0);
}

TEST_F(CorvelRun, CreatesAMissingOutputDirectoryWithItsParents) {
    adapter_.sessions = {std::unexpected(not_connected("LMU not connected"))};
    const auto nested = output_dir_ / "a" / "b";
    const std::u8string dir = nested.u8string();

    (void)run_with({"--output-dir", std::string(dir.begin(), dir.end())});

    EXPECT_TRUE(std::filesystem::is_directory(nested));
}

TEST_F(CorvelRun, AnOutputDirectoryThatCannotBeMadeIsReportedAsTheSystemsError) {
    const auto blocker = output_dir_ / "plain-file";
    std::ofstream(blocker) << "x";

    const int status = run_with({"--output-dir", text_of(blocker / "sub")});

    EXPECT_EQ(status, 1);
    EXPECT_TRUE(err_.str().starts_with("Error: Os { code: ")) << err_.str();
    EXPECT_EQ(adapters_made_, 0);
}

TEST_F(CorvelRun, ReleasesTheAdapterBeforeTheFailureReport) {
    adapter_.sessions = {std::unexpected(not_connected("LMU not connected"))};

    const int status = run_with(with_output_dir({}));

    EXPECT_EQ(status, 1);
    EXPECT_EQ(err_.str(), "[adapter released]\nError: NotConnected(\"LMU not connected\")\n");
}

TEST_F(CorvelRun, WithoutAnAdapterTheRunFailsHonestly) {
    const auto dir = output_dir_.u8string();
    const int status = run_task(run_corvel({"--output-dir", std::string(dir.begin(), dir.end())},
                                           [] { return std::unique_ptr<sim_bridge::SimAdapter>(); },
                                           environment()));

    EXPECT_EQ(status, 1);
    EXPECT_EQ(err_.str(), "Error: \"The LMU adapter is not available in this build\"\n");
}

TEST_F(CorvelRun, WritesBothFilesOfACleanLapAndReportsThem) {
    script_clean_lap(320);

    const int status = run_with(with_output_dir({"--prefix", "My_Laps"}));

    ASSERT_EQ(status, 0) << err_.str();
    const auto files = files_in_output();
    ASSERT_EQ(files.size(), 2u);
    const auto& lap_file = files[0];
    const auto& metadata_file = files[1];
    EXPECT_EQ(lap_file.extension(), ".bin");
    EXPECT_EQ(metadata_file.extension(), ".json");
    EXPECT_TRUE(text_of(lap_file.filename()).starts_with("my-laps-example-ring-gp-example-gt3-7-lap2-"));
    EXPECT_GT(std::filesystem::file_size(lap_file), 16u);
    EXPECT_GT(std::filesystem::file_size(metadata_file), 0u);

    const auto lines = out_lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
              (std::vector<std::string>{"Captured clean lap 2", "Telemetry: " + text_of(lap_file),
                                        "Metadata:  " + text_of(metadata_file)}));
    EXPECT_EQ(err_.str(), "[adapter released]\n");
}

TEST_F(CorvelRun, AMetadataFileThatCannotBeWrittenLeavesTheLapFileAndFails) {
    script_clean_lap(320);
    // Directories where the metadata file of this lap would go, for the next minute of
    // file-name clocks, so that writing it fails whenever the run happens.
    const auto now = unix_seconds_now();
    for (std::uint64_t s = now; s < now + 60; ++s) {
        const auto paths = build_output_paths(output_dir_, kDefaultPrefix, active_session(), player_car(), 2, s);
        std::filesystem::create_directory(paths.metadata);
    }

    const int status = run_with(with_output_dir({}));

    EXPECT_EQ(status, 1);
    EXPECT_TRUE(err_.str().starts_with("[adapter released]\nError: \"Failed to write metadata: ")) << err_.str();
    const auto files = files_in_output();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].extension(), ".bin");
    EXPECT_EQ(out_.str().find("Captured clean lap"), std::string::npos);
}

}  // namespace
}  // namespace corvel::testing
