// A full or read-only disk under the output directory: a tiny tmpfs filled up to the last page
// or mounted read-only (skipped where this process may not mount), and /dev/full standing in
// for the lap file. The run fails with the writer's I/O error and reports no success.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "corvel-stint/stint_run.hpp"
#include "corvel/output_naming.hpp"
#include "lap_format/lap_file_reader.hpp"
#include "run_fixture.hpp"

namespace corvel::reliability {
namespace {

constexpr long kPage = 4096;

class FullDisk : public RunFixture {
  protected:
    void SetUp() override {
        RunFixture::SetUp();
        disk_ = output_dir_ / "disk";
        std::filesystem::create_directories(disk_);
        if (::mount("tmpfs", disk_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") != 0) {
            GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
        }
        mounted_ = true;
        laps_ = disk_ / "laps";
        std::filesystem::create_directories(laps_);
    }
    void TearDown() override {
        if (mounted_) ::umount2(disk_.c_str(), MNT_DETACH);
        RunFixture::TearDown();
    }

    // Fills the file system, then gives back `free_pages` pages.
    void fill_leaving(long free_pages) {
        const int fd = ::open((disk_ / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const std::vector<char> page(kPage, 'f');
        long pages = 0;
        while (::write(fd, page.data(), page.size()) == kPage) ++pages;
        ASSERT_EQ(::ftruncate(fd, (pages - free_pages) * kPage), 0);
        ::close(fd);
    }

    std::vector<std::filesystem::path> lap_dir_files() const { return entries_of(laps_); }

    std::filesystem::path disk_;
    std::filesystem::path laps_;
    bool mounted_ = false;
};

TEST_F(FullDisk, NoRoomForTheLapFileFailsWithItsIoErrorAndWritesNoMetadata) {
    script_clean_lap(320);
    fill_leaving(0);

    const int status = run_with(laps_);

    EXPECT_EQ(status, 1);
    EXPECT_EQ(err_.str(),
              "Error: Io(Os { code: 28, kind: StorageFull, message: \"No space left on device\" })\n");
    EXPECT_FALSE(reported_success());
    // The lap file was created and stays, holding at most a prefix (here: nothing).
    const auto files = lap_dir_files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].extension(), ".bin");
    EXPECT_EQ(std::filesystem::file_size(files[0]), 0u);
}

TEST_F(FullDisk, RoomForTheLapFileOnlyFailsWithTheMetadataTextAndKeepsTheLap) {
    script_clean_lap(320);  // compresses to far less than a page
    fill_leaving(1);

    const int status = run_with(laps_);

    EXPECT_EQ(status, 1);
    EXPECT_EQ(err_.str(), "Error: \"Failed to write metadata: No space left on device (os error 28)\"\n");
    EXPECT_FALSE(reported_success());
    const auto files = lap_dir_files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].extension(), ".bin");
    const auto samples = read_lap_telemetry(files[0]);
    ASSERT_TRUE(samples) << samples.error().message;
    EXPECT_EQ(samples->size(), 321u);
    // The metadata file may be left truncated; here nothing of it fitted.
    EXPECT_EQ(files[1].extension(), ".json");
    EXPECT_EQ(std::filesystem::file_size(files[1]), 0u);
}

// A read-only file system under an existing output directory: root's privileges do not help.
TEST_F(FullDisk, AReadOnlyFileSystemFailsTheLapFileWithItsIoError) {
    script_clean_lap(320);
    ASSERT_EQ(::mount("tmpfs", laps_.c_str(), "tmpfs", MS_RDONLY | MS_NOSUID | MS_NODEV, "size=64k"), 0)
        << std::strerror(errno);

    const int status = run_with(laps_);

    EXPECT_EQ(status, 1);
    EXPECT_EQ(err_.str(),
              "Error: Io(Os { code: 30, kind: ReadOnlyFilesystem, message: \"Read-only file system\" })\n");
    EXPECT_FALSE(reported_success());
    EXPECT_TRUE(lap_dir_files().empty());
    ::umount2(laps_.c_str(), MNT_DETACH);  // TearDown's detach of the disk would take it too
}

// corvel-stint writes via temporary names: a full disk leaves nothing named like a lap, and
// not the temporary either.
TEST_F(FullDisk, AStintOnAFullDiskLeavesNoPartialFile) {
    script_clean_lap(320);
    fill_leaving(1);  // room for the lap file, not for its metadata too

    AdapterFactory factory = [this]() -> std::unique_ptr<sim_bridge::SimAdapter> {
        auto adapter = std::make_unique<ScriptedAdapter>();
        adapter->sessions = adapter_.sessions;
        adapter->telemetry = adapter_.telemetry;
        adapter->player_vehicle = adapter_.player_vehicle;
        return adapter;
    };
    const int status =
        run_task(run_corvel_stint({"--output-dir", text_of(laps_), "--laps", "1"}, std::move(factory), environment()));

    EXPECT_EQ(status, 1);
    EXPECT_EQ(err_.str(), "Error: \"Failed to write metadata: No space left on device (os error 28)\"\n");
    EXPECT_FALSE(reported_success());
    EXPECT_TRUE(lap_dir_files().empty());
}

// Without a mount: the lap file's name, for every second the run may take, leads to
// /dev/full, a device on which every write fails with ENOSPC.
class FullDevice : public RunFixture {};

TEST_F(FullDevice, ALapFileOnDevFullFailsWithStorageFull) {
    script_clean_lap(320);
    const auto dir = output_dir_ / "laps";
    std::filesystem::create_directories(dir);
    const auto now = unix_seconds_now();
    for (std::uint64_t s = now; s < now + 60; ++s) {
        const auto paths = build_output_paths(dir, kDefaultPrefix, session_, vehicle_, 2, s);
        std::filesystem::create_symlink("/dev/full", paths.telemetry);
    }

    const int status = run_with(dir);

    EXPECT_EQ(status, 1);
    EXPECT_EQ(err_.str(),
              "Error: Io(Os { code: 28, kind: StorageFull, message: \"No space left on device\" })\n");
    EXPECT_FALSE(reported_success());
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        EXPECT_NE(entry.path().extension(), ".json");
    }
}

}  // namespace
}  // namespace corvel::reliability
