// A whole corvel run (arguments, output directory, capture, both files, report) with the
// driver tests' scripted adapter, for the output fault tests: a lap that is written into an
// output directory this fixture owns, and helpers to look at what the run left there.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "corvel/capture_driver.hpp"
#include "driver_fixtures.hpp"

namespace corvel::reliability {

using testing::active_session;
using testing::driving;
using testing::player_car;
using testing::run_task;
using testing::ScriptedAdapter;

inline std::string text_of(const std::filesystem::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

inline std::vector<char> bytes_of(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class RunFixture : public testing::DriverTest {
  protected:
    // Snapshots of one whole lap 2 of `samples` + 1 samples: the session wait's poll, the lap's
    // polls, the change to lap 2 (its last sample) and the scoring's time, which settles it.
    void script_clean_lap(int samples) {
        adapter_.sessions = {session_};
        adapter_.player_vehicle = vehicle_;
        adapter_.telemetry.clear();
        adapter_.telemetry.push_back(driving(1));
        for (int i = 0; i < samples; ++i) adapter_.telemetry.push_back(driving(1));
        adapter_.telemetry.push_back(driving(2));
        adapter_.telemetry.push_back(driving(2, 91.2));
    }

    // Runs the process's run with `args` after "--output-dir <dir>"; `before_capture` runs
    // once the output directory exists, right before the adapter is made.
    int run_with(const std::filesystem::path& dir, std::vector<std::string> args = {}) {
        AdapterFactory factory = [this]() -> std::unique_ptr<sim_bridge::SimAdapter> {
            if (before_capture) before_capture();
            auto adapter = std::make_unique<ScriptedAdapter>();
            adapter->sessions = adapter_.sessions;
            adapter->telemetry = adapter_.telemetry;
            adapter->player_vehicle = adapter_.player_vehicle;
            return adapter;
        };
        args.insert(args.begin(), {"--output-dir", text_of(dir)});
        out_.str("");
        err_.str("");
        return run_task(run_corvel(std::move(args), std::move(factory), environment()));
    }

    static std::vector<std::filesystem::path> entries_of(const std::filesystem::path& dir) {
        std::vector<std::filesystem::path> found;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
            found.push_back(entry.path());
        std::sort(found.begin(), found.end());
        return found;
    }

    [[nodiscard]] bool reported_success() const {
        return out_.str().find("Captured clean lap") != std::string::npos;
    }

    sim_bridge::SessionInfo session_ = active_session();
    sim_bridge::VehicleInfo vehicle_ = player_car();
    std::function<void()> before_capture;
};

}  // namespace corvel::reliability
