// The phases of one capture: connect, session wait, recording, writing and report. A linear
// sequence with no way back: a lost connection while recording ends the run.
#include "corvel/capture_driver.hpp"

#include "corvel/capture_phases.hpp"

#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>
#include <algorithm>
#include <iostream>
#include <optional>
#include <ostream>

#include "corvel/clean_lap_recorder.hpp"
#include "lap_format/lap_file_writer.hpp"
#include "corvel/lap_metadata_from_capture.hpp"
#include "corvel/temporary_file.hpp"
#include "text/quoted_text.hpp"
#include "sim_bridge/session_info.hpp"
#include "text/utf8.hpp"

// With sanitizers, GCC 12 inlines the allocator behind Asio's coroutine frames far enough to
// pair the frame's own operator delete with the global operator new inside it, and warns.
// The pair is the frame's matching operator new/delete; the warning is a false positive.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace corvel {
namespace {

using sim_bridge::SimBridgeError;
using Clock = std::chrono::steady_clock;

constexpr float kMovingSpeedKmh = 5.0f;
constexpr float kOnTrackLapFraction = 0.01f;
constexpr double kOnTrackLapTimeS = 1.0;

std::string connect_status(const std::vector<sim_bridge::DetectedSimulator>& found) {
    for (const auto& sim : found) {
        if (sim.kind != sim_bridge::SimulatorKind::LMU) continue;
        if (sim.shared_memory_ready) {
            return "LMU detected as '" + sim.process_name + "' and shared memory is ready, retrying connect...";
        }
        return "LMU detected as '" + sim.process_name +
               "' but LMU_Data is not ready yet. Game is likely still loading or not on track.";
    }
    return "LMU process not detected yet. Launch LMU and load into a session.";
}

std::string path_text(const std::filesystem::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

std::chrono::milliseconds bounded(std::chrono::milliseconds pause) {
    return std::clamp(pause, std::chrono::milliseconds::zero(), kLongestPause);
}

std::unexpected<RunFailure> fail(RunFailure::Cause cause) { return std::unexpected(RunFailure(std::move(cause))); }

std::string heartbeat(const CleanLapRecorder& recorder) {
    return "Heartbeat: simLap=" + std::to_string(recorder.sim_lap()) +
           " activeLap=" + std::to_string(recorder.active_lap()) +
           " buffered=" + std::to_string(recorder.buffered_samples()) +
           " meaningfulDrive=" + (recorder.meaningful_drive() ? "true" : "false");
}

// corvel's recording: the first clean lap ends it, the session clock bounds it.
asio::awaitable<Step<CleanLap>> record_first_clean_lap(CapturePhases& phases) {
    CleanLapRecorder recorder;
    const auto between_polls = phases.poll_pause();
    for (;;) {
        // The session clock keeps running: session wait and recording share one limit.
        if (phases.wait_limit_passed()) co_return fail(phases.clean_lap_timeout_text());
        if (!phases.adapter().is_connected()) co_return fail(std::string(kDisconnectedText));
        auto outcome = co_await phases.record_round(recorder);
        if (!outcome) co_return std::unexpected(std::move(outcome.error()));
        if (auto* lap = std::get_if<CleanLap>(&*outcome)) co_return std::move(*lap);
        if (auto* failure = std::get_if<RecorderFailure>(&*outcome)) co_return fail(std::move(failure->message));
        co_await phases.pause(between_polls);
    }
}

}  // namespace

// A car in the pit lane or the pits counts as moving only by its speed.
bool car_is_moving(const sim_bridge::TelemetrySnapshot& s) {
    if (s.speed_kmh > kMovingSpeedKmh) return true;
    if (s.in_pit_lane || s.in_pits) return false;
    return s.lap_fraction > kOnTrackLapFraction || s.current_lap_time_s > kOnTrackLapTimeS;
}

bool session_is_active(const sim_bridge::SessionInfo& session, const sim_bridge::TelemetrySnapshot* snapshot) {
    const bool moving = snapshot != nullptr && car_is_moving(*snapshot);
    return (moving || session.in_realtime) && !text::is_blank(session.track_name);
}

CapturePhases::CapturePhases(CaptureOptions options, sim_bridge::SimAdapter& adapter, DriverEnvironment env)
    : options_(std::move(options)), adapter_(adapter), env_(std::move(env)),
      out_(env_.out != nullptr ? *env_.out : std::cout) {}

asio::awaitable<Step<void>> CapturePhases::connect() {
    const Clock::time_point started = env_.now();
    std::optional<std::string> last_status;
    for (;;) {
        if (over_limit(started)) {
            co_return fail("Timed out waiting for LMU shared memory after " + limit_text() +
                           "s. Start LMU and enter a drivable session.");
        }
        // The reason of a failed connect is not shown: the status line says it plainer.
        auto connected = co_await adapter_.connect();
        if (connected) {
            say("Connected to LMU shared memory.");
            co_return Step<void>{};
        }
        std::string status = connect_status(env_.detect());
        if (status != last_status) {
            say(status);
            last_status = std::move(status);
        }
        co_await pause(env_.connect_retry_pause);
    }
}

asio::awaitable<Step<void>> CapturePhases::wait_for_session() {
    say("Waiting for an active on-track LMU session...");
    session_started_ = env_.now();
    for (;;) {
        if (over_limit(session_started_)) {
            co_return fail("Timed out waiting for an active LMU session after " + limit_text() + "s");
        }
        auto info = co_await adapter_.session_info();
        if (!info) co_return fail(std::move(info.error()));
        // Telemetry that cannot be had yet only means "not moving" while waiting.
        auto snapshot = co_await adapter_.latest_telemetry();
        if (session_is_active(*info, snapshot ? &*snapshot : nullptr)) {
            session_ = std::move(*info);
            break;
        }
        co_await pause(env_.session_poll_pause);
    }
    auto vehicle = co_await adapter_.player_vehicle_info();
    if (!vehicle) co_return fail(std::move(vehicle.error()));
    vehicle_ = std::move(*vehicle);
    say("Session detected: " + vehicle_.car_name + " @ " + session_.track_full_name + " (" +
        std::string(sim_bridge::session_kind_label(session_.session_kind)) + ")");
    co_return Step<void>{};
}

asio::awaitable<Step<RecordOutcome>> CapturePhases::record_round(CleanLapRecorder& recorder) {
    auto snapshot = co_await adapter_.latest_telemetry();
    if (!snapshot) co_return fail(std::move(snapshot.error()));
    RecordOutcome outcome = recorder.record_snapshot(*snapshot);
    if (std::holds_alternative<Continue>(outcome) && recorder.poll_count() % kHeartbeatEverySnapshots == 0) {
        say(heartbeat(recorder));
    }
    co_return outcome;
}

Step<OutputPaths> CapturePhases::write_lap(const CleanLap& lap, LapWrite how) {
    OutputPaths paths = build_output_paths(options_.output_dir, options_.prefix, session_, vehicle_, lap.lap);
    const bool via_temporaries = how == LapWrite::ViaTemporaries;
    const OutputPaths written_as = via_temporaries ? OutputPaths{temporary_name_for(paths.telemetry),
                                                                 temporary_name_for(paths.metadata)}
                                                   : paths;
    if (auto written = write_lap_telemetry(written_as.telemetry, lap.samples); !written) {
        if (via_temporaries) remove_quietly(written_as.telemetry);
        return fail(std::move(written.error()));
    }
    // In place, the lap file stays even if the metadata cannot be written: nothing is deleted.
    const LapMetadata metadata = make_lap_metadata(session_, vehicle_, lap, paths.telemetry, utc_now());
    if (auto written = write_lap_metadata(written_as.metadata, metadata); !written) {
        if (via_temporaries) {
            remove_quietly(written_as.metadata);
            remove_quietly(written_as.telemetry);
        }
        return fail(std::move(written.error()));
    }
    if (via_temporaries) {
        // The lap file first: a metadata file never describes a lap that is not there.
        if (auto moved = move_into_place(written_as.telemetry, paths.telemetry); !moved) {
            remove_quietly(written_as.metadata);
            return fail(AppError::io(std::move(moved.error())));
        }
        if (auto moved = move_into_place(written_as.metadata, paths.metadata); !moved) {
            return fail("Failed to write metadata: " + moved.error().display());
        }
    }
    say("Captured clean lap " + std::to_string(lap.lap));
    say("Telemetry: " + path_text(paths.telemetry));
    say("Metadata:  " + path_text(paths.metadata));
    return paths;
}

bool CapturePhases::wait_limit_passed() const { return over_limit(session_started_); }

void CapturePhases::restart_wait_clock() { session_started_ = env_.now(); }

std::string CapturePhases::clean_lap_timeout_text() const {
    return "Timed out waiting for a clean lap after " + limit_text() + "s";
}

std::chrono::milliseconds CapturePhases::poll_pause() const {
    return env_.record_poll_pause.value_or(recording_pause(options_.poll_ms));
}

// Whole seconds since `started` against the limit; no arithmetic on the limit itself, so
// any value up to 18446744073709551615 works.
bool CapturePhases::over_limit(Clock::time_point started) const {
    if (!options_.max_wait_secs) return false;
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(env_.now() - started).count();
    return elapsed >= 0 && static_cast<std::uint64_t>(elapsed) >= *options_.max_wait_secs;
}

std::string CapturePhases::limit_text() const { return std::to_string(options_.max_wait_secs.value_or(0)); }

void CapturePhases::say(std::string_view line) { out_ << line << '\n' << std::flush; }

asio::awaitable<void> CapturePhases::pause(std::chrono::milliseconds duration) {
    asio::steady_timer timer(co_await asio::this_coro::executor, bounded(duration));
    // An aborted wait (the runtime shutting down) simply ends the pause.
    std::error_code ignored;
    co_await timer.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
}


int report_failure(const DriverEnvironment& env, const RunFailure& failure) {
    std::ostream& err = env.err != nullptr ? *env.err : std::cerr;
    err << failure.report_line() << '\n' << std::flush;
    return 1;
}

std::expected<std::unique_ptr<sim_bridge::SimAdapter>, RunFailure> prepare_run(const CaptureOptions& options,
                                                                               const AdapterFactory& make_adapter) {
    if (auto made = create_output_directory(options.output_dir); !made) return fail(std::move(made.error()));
    std::unique_ptr<sim_bridge::SimAdapter> adapter = make_adapter ? make_adapter() : nullptr;
    if (!adapter) return fail("The LMU adapter is not available in this build");
    return adapter;
}

std::chrono::milliseconds recording_pause(std::uint64_t poll_ms) {
    const auto longest = static_cast<std::uint64_t>(kLongestPause.count());
    return std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(std::min(poll_ms, longest)));
}

std::string RunFailure::diagnostic() const {
    struct Diagnostic {
        std::string operator()(const std::string& message) const { return text::quoted_text(message); }
        std::string operator()(const SimBridgeError& error) const { return error.diagnostic(); }
        std::string operator()(const AppError& error) const { return error.diagnostic(); }
        std::string operator()(const IoError& error) const { return error.diagnostic(); }
    };
    return std::visit(Diagnostic{}, cause_);
}

asio::awaitable<DriverResult> run_capture(CaptureOptions options, sim_bridge::SimAdapter& adapter,
                                          DriverEnvironment env) {
    CapturePhases phases(std::move(options), adapter, std::move(env));
    if (auto connected = co_await phases.connect(); !connected) co_return std::unexpected(std::move(connected.error()));
    if (auto session = co_await phases.wait_for_session(); !session) co_return std::unexpected(std::move(session.error()));
    phases.say("Recording until one full clean lap completes...");
    auto lap = co_await record_first_clean_lap(phases);
    if (!lap) co_return std::unexpected(std::move(lap.error()));
    auto paths = phases.write_lap(*lap, LapWrite::InPlace);
    if (!paths) co_return std::unexpected(std::move(paths.error()));
    co_return CapturedLap{lap->lap, std::move(*paths)};
}

asio::awaitable<int> run_corvel(std::vector<std::string> args, AdapterFactory make_adapter, DriverEnvironment env) {
    auto parsed = parse_args(args);
    if (!parsed) co_return report_failure(env, RunFailure("Argument error: " + parsed.error()));
    if (std::holds_alternative<HelpRequested>(*parsed)) {
        std::ostream& out = env.out != nullptr ? *env.out : std::cout;
        out << usage_text() << std::flush;
        co_return 0;
    }
    CaptureOptions options = std::get<CaptureOptions>(std::move(*parsed));
    auto prepared = prepare_run(options, make_adapter);
    if (!prepared) co_return report_failure(env, prepared.error());
    std::unique_ptr<sim_bridge::SimAdapter> adapter = std::move(*prepared);
    const DriverEnvironment report_env = env;
    DriverResult result = co_await run_capture(std::move(options), *adapter, std::move(env));
    adapter.reset();  // stops the capture worker before anything is reported
    if (!result) co_return report_failure(report_env, result.error());
    co_return 0;
}

}  // namespace corvel
