// Shared pieces of the driver tests: a driver environment with no pauses, a fake clock and
// captured console streams; a private output folder; sessions and snapshots to script.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "corvel/capture_driver.hpp"
#include "scripted_adapter.hpp"

namespace corvel::testing {

inline sim_bridge::SessionInfo active_session() {
    sim_bridge::SessionInfo session;
    session.track_name = "Example Ring";
    session.track_full_name = "Example Ring - GP";
    session.session_kind = sim_bridge::SessionKind::Race;
    session.in_realtime = true;
    return session;
}

inline sim_bridge::SessionInfo idle_session() {
    sim_bridge::SessionInfo session = active_session();
    session.in_realtime = false;
    return session;
}

inline sim_bridge::TelemetrySnapshot standing_car() { return sim_bridge::TelemetrySnapshot{}; }

inline sim_bridge::TelemetrySnapshot driving(std::int32_t lap, std::optional<double> last_lap_time_s = std::nullopt) {
    sim_bridge::TelemetrySnapshot s;
    s.lap_number = lap;
    s.speed_kmh = 150.0f;
    s.lap_fraction = 0.5f;
    s.current_lap_time_s = 40.0;
    s.fuel_l = 50.0f;
    s.last_lap_time_s = last_lap_time_s;
    return s;
}

inline sim_bridge::VehicleInfo player_car() {
    sim_bridge::VehicleInfo vehicle;
    vehicle.car_name = "Example GT3 #7";
    vehicle.driver_name = "Test Driver";
    vehicle.is_player = true;
    return vehicle;
}

inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

inline std::size_t count_of(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

// A test with its own output folder, a fake clock, captured streams and a scripted detection.
class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        output_dir_ = std::filesystem::temp_directory_path() /
                      ("corvel-driver-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" +
                       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        std::filesystem::create_directories(output_dir_);
        options_.output_dir = output_dir_;
        adapter_.clock = &clock_;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(output_dir_, ignored);
    }

    DriverEnvironment environment() {
        DriverEnvironment env;
        env.connect_retry_pause = std::chrono::milliseconds(0);
        env.session_poll_pause = std::chrono::milliseconds(0);
        env.record_poll_pause = std::chrono::milliseconds(0);
        env.detect = [this] {
            ++detect_calls_;
            if (detections_.empty()) return std::vector<sim_bridge::DetectedSimulator>{};
            auto found = detections_.front();
            if (detections_.size() > 1) detections_.pop_front();
            return found;
        };
        env.now = [this] { return clock_.now(); };
        env.out = &out_;
        env.err = &err_;
        return env;
    }

    DriverResult run() { return run_task(run_capture(options_, adapter_, environment())); }

    [[nodiscard]] std::vector<std::string> out_lines() const { return lines_of(out_.str()); }

    FakeClock clock_;
    ScriptedAdapter adapter_;
    CaptureOptions options_;
    std::filesystem::path output_dir_;
    std::deque<std::vector<sim_bridge::DetectedSimulator>> detections_;
    std::size_t detect_calls_ = 0;
    std::ostringstream out_;
    std::ostringstream err_;
};

}  // namespace corvel::testing
