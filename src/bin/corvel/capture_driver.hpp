// The capture driver: one run of corvel from the command line to the written lap. It
// connects to the simulator through a SimAdapter, waits for an active session, feeds the
// clean-lap recorder, writes both files and prints the console lines on the way.
#pragma once

#include <asio/awaitable.hpp>
#include <chrono>
#include <cstdint>
#include <expected>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "lap_format/app_error.hpp"
#include "corvel/command_line.hpp"
#include "lap_format/io_error.hpp"
#include "corvel/output_naming.hpp"
#include "sim_bridge/sim_adapter.hpp"
#include "sim_bridge/sim_bridge_error.hpp"
#include "sim_bridge/simulator_detection.hpp"

namespace corvel {

inline constexpr std::chrono::milliseconds kConnectRetryPause{2000};
inline constexpr std::chrono::milliseconds kSessionPollPause{250};
inline constexpr std::uint64_t kHeartbeatEverySnapshots = 600;
// No single pause is longer than a day, whatever --poll-ms says: longer ones would overflow
// the timer's arithmetic, and a recording paced at a day per poll is a hang in all but name.
inline constexpr std::chrono::milliseconds kLongestPause{std::chrono::hours(24)};

// The timer pause between two polls while recording for a --poll-ms value, at most kLongestPause.
[[nodiscard]] std::chrono::milliseconds recording_pause(std::uint64_t poll_ms);

using MonotonicClock = std::function<std::chrono::steady_clock::time_point()>;
using SimulatorDetection = std::function<std::vector<sim_bridge::DetectedSimulator>()>;

// The session wait's test: the track has a name, and the player is in the car or the car is
// moving (a car in the pit lane or the pits counts as moving only by its speed). Without
// telemetry (`snapshot` null) the car does not count as moving.
[[nodiscard]] bool car_is_moving(const sim_bridge::TelemetrySnapshot& snapshot);
[[nodiscard]] bool session_is_active(const sim_bridge::SessionInfo& session,
                                     const sim_bridge::TelemetrySnapshot* snapshot);

// Everything the driver takes from its surroundings besides the options and the adapter.
// The defaults are the product's; tests shorten the pauses and replace the rest.
struct DriverEnvironment {
    std::chrono::milliseconds connect_retry_pause = kConnectRetryPause;
    std::chrono::milliseconds session_poll_pause = kSessionPollPause;
    // The pause between two polls while recording; absent means `poll_ms` of the options.
    std::optional<std::chrono::milliseconds> record_poll_pause;
    SimulatorDetection detect = sim_bridge::detect_simulators;
    MonotonicClock now = [] { return std::chrono::steady_clock::now(); };  // for the wait limits only
    std::ostream* out = nullptr;  // progress, status, heartbeat, report; nullptr: standard output
    std::ostream* err = nullptr;  // the failure report; nullptr: standard error
};

// Why a run failed. Each cause keeps its own type, so the report shows its own diagnostic
// form: a plain message in quotes, or the error's diagnostic().
class RunFailure {
public:
    using Cause = std::variant<std::string, sim_bridge::SimBridgeError, AppError, IoError>;

    explicit RunFailure(Cause cause) : cause_(std::move(cause)) {}

    [[nodiscard]] const Cause& cause() const { return cause_; }
    [[nodiscard]] std::string diagnostic() const;
    // The line written to standard error: "Error: " and the diagnostic form.
    [[nodiscard]] std::string report_line() const { return "Error: " + diagnostic(); }

    bool operator==(const RunFailure&) const = default;

private:
    Cause cause_;
};

struct CapturedLap {
    std::int64_t lap = 0;
    OutputPaths paths;
};

using DriverResult = std::expected<CapturedLap, RunFailure>;

// Connect, session wait, recording, writing and report (everything after the options were
// read and the output directory made). The adapter must outlive the returned task.
[[nodiscard]] asio::awaitable<DriverResult> run_capture(CaptureOptions options, sim_bridge::SimAdapter& adapter,
                                                        DriverEnvironment env);

// Creates the adapter once the command line and the output directory are settled; the run
// releases it before it reports. nullptr means no adapter can be had in this build.
using AdapterFactory = std::function<std::unique_ptr<sim_bridge::SimAdapter>()>;

// The preparation of a run once its options are read: the output directory, then the adapter.
[[nodiscard]] std::expected<std::unique_ptr<sim_bridge::SimAdapter>, RunFailure> prepare_run(
    const CaptureOptions& options, const AdapterFactory& make_adapter);

// Writes the failure report ("Error: ..." on the environment's error stream); returns 1.
int report_failure(const DriverEnvironment& env, const RunFailure& failure);

// The whole run of the process: reads `args` (after the program name), prints the usage or
// creates the output directory and the adapter, runs the capture and writes the failure
// report. Returns the exit status: 0 after a captured lap or the usage, 1 after a failure.
[[nodiscard]] asio::awaitable<int> run_corvel(std::vector<std::string> args, AdapterFactory make_adapter,
                                              DriverEnvironment env);

}  // namespace corvel
