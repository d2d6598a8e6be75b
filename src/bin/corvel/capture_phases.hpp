// The phases of a capture as pieces that corvel and corvel-stint put together in their own
// order: connect, session wait, one recording round, writing one lap with its report lines.
// Each keeps corvel's console lines and failure texts.
#pragma once

#include <asio/awaitable.hpp>
#include <chrono>
#include <expected>
#include <iosfwd>
#include <string>
#include <string_view>

#include "corvel/capture_driver.hpp"
#include "corvel/clean_lap_recorder.hpp"
#include "corvel/command_line.hpp"
#include "corvel/output_naming.hpp"
#include "sim_bridge/session_info.hpp"
#include "sim_bridge/sim_adapter.hpp"
#include "sim_bridge/vehicle_info.hpp"

namespace corvel {

inline constexpr std::string_view kDisconnectedText = "LMU disconnected before a clean lap was captured";

template <class T>
using Step = std::expected<T, RunFailure>;

// How a lap's two files reach the disk.
enum class LapWrite {
    InPlace,         // corvel: created or truncated under their names
    ViaTemporaries,  // corvel-stint: written beside under a temporary name, then renamed
};

class CapturePhases {
public:
    CapturePhases(CaptureOptions options, sim_bridge::SimAdapter& adapter, DriverEnvironment env);

    // Until connected, with the status lines; fails only at the limit.
    asio::awaitable<Step<void>> connect();
    // Until the player is on track; prints the session line and starts the wait clock.
    asio::awaitable<Step<void>> wait_for_session();
    // One poll of the recording loop: telemetry into `recorder`, then the heartbeat when due
    // and nothing else happened. The limit and the connection are the caller's to check.
    asio::awaitable<Step<RecordOutcome>> record_round(CleanLapRecorder& recorder);
    // Both files of `lap` and the three report lines.
    Step<OutputPaths> write_lap(const CleanLap& lap, LapWrite how);

    // The session clock against --max-wait-secs; restart_wait_clock starts it afresh.
    [[nodiscard]] bool wait_limit_passed() const;
    void restart_wait_clock();
    [[nodiscard]] std::string clean_lap_timeout_text() const;

    [[nodiscard]] const CaptureOptions& options() const { return options_; }
    [[nodiscard]] sim_bridge::SimAdapter& adapter() { return adapter_; }
    [[nodiscard]] const DriverEnvironment& environment() const { return env_; }
    // The pause between two recording rounds.
    [[nodiscard]] std::chrono::milliseconds poll_pause() const;

    void say(std::string_view line);
    asio::awaitable<void> pause(std::chrono::milliseconds duration);

private:
    [[nodiscard]] bool over_limit(std::chrono::steady_clock::time_point started) const;
    [[nodiscard]] std::string limit_text() const;

    CaptureOptions options_;
    sim_bridge::SimAdapter& adapter_;
    DriverEnvironment env_;
    std::ostream& out_;
    std::chrono::steady_clock::time_point session_started_{};
    sim_bridge::SessionInfo session_;
    sim_bridge::VehicleInfo vehicle_;
};

}  // namespace corvel
