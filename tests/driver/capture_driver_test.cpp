// The capture driver against a scripted adapter: connect rounds and their status lines, the
// session wait, recording with its heartbeat, disconnects, adapter errors and the limits.
#include <gtest/gtest.h>

#include <limits>

#include "corvel/capture_driver.hpp"
#include "driver_fixtures.hpp"

namespace corvel::testing {
namespace {

using sim_bridge::DetectedSimulator;
using sim_bridge::SimulatorKind;

constexpr const char* kNotDetected = "LMU process not detected yet. Launch LMU and load into a session.";

DetectedSimulator lmu(std::string name, bool ready) { return {std::move(name), ready, SimulatorKind::LMU}; }

RunFailure message(std::string text) { return RunFailure(std::move(text)); }

// ---- connect

class CaptureDriverConnect : public DriverTest {};

TEST_F(CaptureDriverConnect, PrintsEachChangedStatusOnceThenConnects) {
    for (int i = 0; i < 6; ++i) adapter_.connect_failures.push_back(not_connected("LMU shared memory (LMU_Data) not available"));
    detections_ = {{},
                   {},
                   {{"acs.exe", true, SimulatorKind::AssettoCorsa}, lmu("", false)},
                   {lmu("lmu.exe", false)},
                   {lmu("lmu.exe", true)},
                   {lmu("lmu.exe", true)}};
    adapter_.sessions = {std::unexpected(not_connected("LMU not connected"))};  // ends the run after connecting

    const DriverResult result = run();

    EXPECT_EQ(adapter_.connect_calls, 7u);
    EXPECT_EQ(detect_calls_, 6u);
    EXPECT_EQ(out_lines(),
              (std::vector<std::string>{
                  kNotDetected,
                  "LMU detected as '' but LMU_Data is not ready yet. Game is likely still loading or not on track.",
                  "LMU detected as 'lmu.exe' but LMU_Data is not ready yet. Game is likely still loading or not on "
                  "track.",
                  "LMU detected as 'lmu.exe' and shared memory is ready, retrying connect...",
                  "Connected to LMU shared memory.",
                  "Waiting for an active on-track LMU session...",
              }));
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().report_line(), "Error: NotConnected(\"LMU not connected\")");
}

TEST_F(CaptureDriverConnect, NeverShowsTheConnectErrorAndTimesOutWithTheConfiguredLimit) {
    for (int i = 0; i < 100; ++i) adapter_.connect_failures.push_back(not_connected("secret connect reason"));
    adapter_.connect_takes = std::chrono::seconds(5);
    options_.max_wait_secs = 30;

    const DriverResult result = run();

    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), message("Timed out waiting for LMU shared memory after 30s. Start LMU and enter a "
                                      "drivable session."));
    EXPECT_EQ(adapter_.connect_calls, 6u);  // the round that starts at 30 s is not run
    EXPECT_EQ(out_lines(), (std::vector<std::string>{kNotDetected}));
    EXPECT_EQ(out_.str().find("secret"), std::string::npos);
}

TEST_F(CaptureDriverConnect, TheLargestLimitNeverOverflows) {
    for (int i = 0; i < 3; ++i) adapter_.connect_failures.push_back(not_connected("not yet"));
    adapter_.connect_takes = std::chrono::seconds(1'000'000'000);
    options_.max_wait_secs = std::numeric_limits<std::uint64_t>::max();
    adapter_.sessions = {std::unexpected(not_connected("LMU not connected"))};

    const DriverResult result = run();

    EXPECT_EQ(adapter_.connect_calls, 4u);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().report_line(), "Error: NotConnected(\"LMU not connected\")");
}

// ---- session wait

struct SessionCase {
    const char* name;
    sim_bridge::SessionInfo session;
    BridgeResult<sim_bridge::TelemetrySnapshot> telemetry;
    bool found;
};

sim_bridge::TelemetrySnapshot snapshot_with(float speed_kmh, bool in_pits, bool in_pit_lane, float lap_fraction,
                                            double current_lap_time_s) {
    sim_bridge::TelemetrySnapshot s;
    s.speed_kmh = speed_kmh;
    s.in_pits = in_pits;
    s.in_pit_lane = in_pit_lane;
    s.lap_fraction = lap_fraction;
    s.current_lap_time_s = current_lap_time_s;
    return s;
}

sim_bridge::SessionInfo with_track(sim_bridge::SessionInfo session, std::string track_name) {
    session.track_name = std::move(track_name);
    return session;
}

std::vector<SessionCase> session_cases() {
    const auto idle = idle_session();
    const auto live = active_session();
    return {
        {"InPitsAt3KmhIsNotActive", idle, snapshot_with(3.0f, true, true, 0.5f, 30.0), false},
        {"InPitsAt6KmhIsActive", idle, snapshot_with(6.0f, true, true, 0.0f, 0.0), true},
        {"Exactly5KmhIsNotMoving", idle, snapshot_with(5.0f, false, false, 0.0f, 0.0), false},
        {"LapProgressCountsOnTrack", idle, snapshot_with(0.0f, false, false, 0.02f, 0.0), true},
        {"LapTimeCountsOnTrack", idle, snapshot_with(0.0f, false, false, 0.0f, 1.5), true},
        {"LapProgressInThePitLaneDoesNotCount", idle, snapshot_with(0.0f, false, true, 0.5f, 30.0), false},
        {"InRealtimeIsEnoughWithoutTelemetry", live, std::unexpected(not_connected("no telemetry")), true},
        {"EmptyTrackNameIsNoSession", with_track(live, ""), standing_car(), false},
        {"UnicodeBlankTrackNameIsNoSession", with_track(live, " \xE3\x80\x80\xC2\xA0\t"), standing_car(), false},
        {"MovingCarOnABlankTrackIsNoSession", with_track(idle, "\n"), snapshot_with(80.0f, false, false, 0.5f, 9.0),
         false},
        {"NonBreakingSpaceAroundANameIsASession", with_track(live, "\xC2\xA0Monza\xC2\xA0"), standing_car(), true},
    };
}

class CaptureDriverSessionWait : public DriverTest, public ::testing::WithParamInterface<SessionCase> {};

TEST_P(CaptureDriverSessionWait, FindsASessionOnlyWhenTheRulesHold) {
    const SessionCase& c = GetParam();
    adapter_.sessions = {c.session};
    adapter_.telemetry = {c.telemetry};
    adapter_.player_vehicle = player_car();
    adapter_.session_info_takes = std::chrono::seconds(1);
    options_.max_wait_secs = 1;  // one round of the session wait, then a timeout either way

    const DriverResult result = run();

    ASSERT_FALSE(result.has_value());
    const bool detected = out_.str().find("Session detected: ") != std::string::npos;
    EXPECT_EQ(detected, c.found);
    EXPECT_EQ(result.error(), message(c.found ? "Timed out waiting for a clean lap after 1s"
                                              : "Timed out waiting for an active LMU session after 1s"));
}

INSTANTIATE_TEST_SUITE_P(Rules, CaptureDriverSessionWait, ::testing::ValuesIn(session_cases()),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

class CaptureDriverSession : public DriverTest {};

TEST_F(CaptureDriverSession, PrintsTheSessionLineAndStartsRecording) {
    adapter_.sessions = {idle_session(), idle_session(), active_session()};
    adapter_.telemetry = {standing_car()};
    adapter_.player_vehicle = player_car();
    adapter_.disconnect_after_telemetry = 3;  // the session wait's three polls

    const DriverResult result = run();

    EXPECT_EQ(adapter_.session_calls, 3u);
    EXPECT_EQ(adapter_.vehicle_calls, 1u);
    EXPECT_EQ(out_lines(), (std::vector<std::string>{"Connected to LMU shared memory.",
                                                     "Waiting for an active on-track LMU session...",
                                                     "Session detected: Example GT3 #7 @ Example Ring - GP (race)",
                                                     "Recording until one full clean lap completes..."}));
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().report_line(), "Error: \"LMU disconnected before a clean lap was captured\"");
}

TEST_F(CaptureDriverSession, FailsWithTheAdaptersSessionError) {
    adapter_.sessions = {std::unexpected(SimBridgeError(SimBridgeError::Kind::ParseError, "LMU snapshot cache is poisoned"))};

    const DriverResult result = run();

    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().report_line(), "Error: ParseError(\"LMU snapshot cache is poisoned\")");
}

TEST_F(CaptureDriverSession, FailsWithTheAdaptersVehicleError) {
    adapter_.sessions = {active_session()};
    adapter_.player_vehicle = std::unexpected(not_connected("LMU not connected"));

    const DriverResult result = run();

    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().report_line(), "Error: NotConnected(\"LMU not connected\")");
    EXPECT_EQ(out_.str().find("Session detected"), std::string::npos);
}

TEST_F(CaptureDriverSession, TimesOutWithTheConfiguredLimit) {
    adapter_.sessions = {idle_session()};
    adapter_.telemetry = {standing_car()};
    adapter_.session_info_takes = std::chrono::seconds(1);
    options_.max_wait_secs = 3;

    const DriverResult result = run();

    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), message("Timed out waiting for an active LMU session after 3s"));
    EXPECT_EQ(adapter_.session_calls, 3u);
}

// ---- recording

class CaptureDriverRecording : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        adapter_.sessions = {active_session()};
        adapter_.player_vehicle = player_car();
    }
};

TEST_F(CaptureDriverRecording, TelemetryErrorsAreIgnoredWhileWaitingButFatalWhileRecording) {
    adapter_.telemetry = {std::unexpected(not_connected("LMU has not published telemetry yet"))};

    const DriverResult result = run();

    EXPECT_NE(out_.str().find("Recording until one full clean lap completes..."), std::string::npos);
    EXPECT_EQ(adapter_.telemetry_calls, 2u);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().report_line(), "Error: NotConnected(\"LMU has not published telemetry yet\")");
}

TEST_F(CaptureDriverRecording, ADisconnectEndsTheRunWithoutWritingAnything) {
    adapter_.telemetry = {driving(1)};
    adapter_.disconnect_after_telemetry = 50;

    const DriverResult result = run();

    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), message("LMU disconnected before a clean lap was captured"));
    EXPECT_EQ(adapter_.telemetry_calls, 50u);
    EXPECT_TRUE(std::filesystem::is_empty(output_dir_));
}

TEST_F(CaptureDriverRecording, PrintsAHeartbeatAfterEvery600thSnapshot) {
    adapter_.telemetry = {driving(1)};
    adapter_.disconnect_after_telemetry = 1 + 1250;  // one poll of the session wait

    const DriverResult result = run();

    const auto lines = out_lines();
    std::vector<std::string> heartbeats;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(heartbeats),
                 [](const std::string& line) { return line.starts_with("Heartbeat: "); });
    EXPECT_EQ(heartbeats, (std::vector<std::string>{
                              "Heartbeat: simLap=1 activeLap=2 buffered=600 meaningfulDrive=true",
                              "Heartbeat: simLap=1 activeLap=2 buffered=1200 meaningfulDrive=true",
                          }));
    EXPECT_FALSE(result.has_value());
}

TEST_F(CaptureDriverRecording, ALapTooShortFailsWithTheRecordersText) {
    adapter_.telemetry = {driving(1), driving(1), driving(2), driving(2, 91.2)};  // the first for the session wait

    const DriverResult result = run();

    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(),
              message("Lap 2 looked clean but only had 2 samples; aborting to avoid partial output"));
    EXPECT_TRUE(std::filesystem::is_empty(output_dir_));
}

TEST_F(CaptureDriverRecording, CanTimeOutBeforeItsFirstPoll) {
    adapter_.sessions = {idle_session(), active_session()};
    adapter_.telemetry = {standing_car()};
    adapter_.session_info_takes = std::chrono::seconds(1);
    options_.max_wait_secs = 2;

    const DriverResult result = run();

    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), message("Timed out waiting for a clean lap after 2s"));
    EXPECT_EQ(adapter_.telemetry_calls, 2u);  // both from the session wait
}

TEST_F(CaptureDriverRecording, SharesOneLimitWithTheSessionWait) {
    adapter_.telemetry = {driving(1)};
    adapter_.telemetry_takes = std::chrono::seconds(1);
    options_.max_wait_secs = 10;

    const DriverResult result = run();

    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), message("Timed out waiting for a clean lap after 10s"));
    EXPECT_EQ(adapter_.telemetry_calls, 10u);  // one in the session wait, nine while recording
}

TEST(CaptureDriverPause, PollIntervalsBecomeTimerPausesCappedAtADay) {
    EXPECT_EQ(recording_pause(16), std::chrono::milliseconds(16));
    EXPECT_EQ(recording_pause(86'400'001), std::chrono::milliseconds(86'400'000));
    EXPECT_EQ(recording_pause(std::numeric_limits<std::uint64_t>::max()), kLongestPause);
}

}  // namespace
}  // namespace corvel::testing
