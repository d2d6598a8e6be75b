// Detection on Windows runs the system's tasklist.exe, never one lying in the working
// directory or beside the program, where a search by bare name would look first.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "provider/process_list.hpp"
#include "sim_bridge/simulator_detection.hpp"
#include "support/test_files.hpp"

namespace {

namespace fs = std::filesystem;

fs::path own_executable() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) return fs::path(path.substr(0, length));
        path.resize(path.size() * 2);
    }
}

// Runs a program by its full path and waits for it; true when it started.
bool run_program(const fs::path& program) {
    std::wstring command_line = L"\"" + program.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    if (!::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                          nullptr, nullptr, &startup, &child)) {
        return false;
    }
    ::WaitForSingleObject(child.hProcess, INFINITE);
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
    return true;
}

fs::path marker_of(const fs::path& program) {
    return fs::path(program.wstring() + L".ran");
}

enum class Place { WorkingDirectory, BesideTheProgram };

// The stand-in planted in one place: a fresh working directory, entered for the test, or the
// folder of this executable. A search by bare name looks in the program's folder first and
// the working directory second, so each place is tried alone. Removed again afterwards.
class PlantedTasklist : public ::testing::TestWithParam<Place> {
  protected:
    void SetUp() override {
        const fs::path own_folder = own_executable().parent_path();
        const fs::path stand_in = own_folder / "stand_in_tasklist.exe";
        ASSERT_TRUE(fs::exists(stand_in)) << stand_in.string();
        planted_ = (GetParam() == Place::WorkingDirectory ? work_.path() : own_folder) / "tasklist.exe";
        fs::copy_file(stand_in, planted_, fs::copy_options::overwrite_existing);
        fs::remove(marker_of(planted_));
        previous_directory_ = fs::current_path();
        fs::current_path(work_.path());
    }
    void TearDown() override {
        std::error_code ignored;
        fs::current_path(previous_directory_, ignored);
        fs::remove(planted_, ignored);
        fs::remove(marker_of(planted_), ignored);
    }

    corvel::testing::TempDir work_;
    fs::path planted_;
    fs::path previous_directory_;
};

TEST_P(PlantedTasklist, LeavesItsMarkerWhenItRuns) {
    ASSERT_TRUE(run_program(planted_));

    EXPECT_TRUE(fs::exists(marker_of(planted_)));
}

TEST_P(PlantedTasklist, IsNeverRunByDetectionOrTheProcessCheck) {
    const auto listing = sim_bridge::provider::take_process_listing();
    const auto detected = sim_bridge::detect_simulators();
    const auto lmu_state = sim_bridge::is_lmu_process_running();

    EXPECT_FALSE(fs::exists(marker_of(planted_)));
    // The system's tasklist was started and read to its end. Wine's prints nothing, which
    // detection reads as no listing; Windows' lists this test among the rest.
    ASSERT_TRUE(listing.has_value());
    if (!listing->empty()) {
        EXPECT_NE(std::find(listing->begin(), listing->end(), "detection_win32_test.exe"), listing->end());
        EXPECT_EQ(lmu_state, sim_bridge::ProcessState::NotRunning);
    } else {
        EXPECT_EQ(lmu_state, sim_bridge::ProcessState::Unknown);
    }
    EXPECT_TRUE(detected.empty());
}

std::string place_name(const ::testing::TestParamInfo<Place>& place) {
    return place.param == Place::WorkingDirectory ? "WorkingDirectory" : "BesideTheProgram";
}

INSTANTIATE_TEST_SUITE_P(Places, PlantedTasklist,
                         ::testing::Values(Place::WorkingDirectory, Place::BesideTheProgram), place_name);

}  // namespace
