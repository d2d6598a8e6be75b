// The stint: the capture phases shared with corvel, a recorder in its continuing mode, and
// each clean lap written via temporary names so only complete files ever carry a lap's name.
#include "corvel-stint/stint_run.hpp"

#include <asio/redirect_error.hpp>
#include <asio/signal_set.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>
#include <cmath>
#include <csignal>
#include <iostream>

// See capture_driver.cpp: a false positive of GCC 12 on Asio's coroutine frames.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace corvel {
namespace {

std::string count_text(std::uint64_t n) {
    return n == 1 ? "1 lap" : std::to_string(n) + " laps";
}

}  // namespace

std::string format_lap_time(double seconds) {
    const auto ms = static_cast<std::int64_t>(std::llround(std::max(seconds, 0.0) * 1000.0));
    const std::int64_t minutes = ms / 60'000;
    const std::int64_t rest = ms % 60'000;
    std::string millis = std::to_string(rest % 1000);
    std::string secs = std::to_string(rest / 1000);
    return std::to_string(minutes) + ":" + std::string(2 - std::min<std::size_t>(secs.size(), 2), '0') + secs + "." +
           std::string(3 - std::min<std::size_t>(millis.size(), 3), '0') + millis;
}

StintRun::StintRun(StintOptions options, sim_bridge::SimAdapter& adapter, DriverEnvironment env,
                   bool watch_interrupts)
    : phases_(std::move(options.capture), adapter, std::move(env)), laps_wanted_(options.laps),
      watch_interrupts_(watch_interrupts) {}

void StintRun::request_stop() {
    stop_requested_ = true;
    if (pause_timer_) pause_timer_->cancel();
}

asio::awaitable<std::expected<void, RunFailure>> StintRun::run() {
    if (auto connected = co_await phases_.connect(); !connected) co_return std::unexpected(std::move(connected.error()));
    if (auto session = co_await phases_.wait_for_session(); !session) {
        co_return std::unexpected(std::move(session.error()));
    }
    phases_.say(laps_wanted_ ? "Recording every clean lap until " + count_text(*laps_wanted_) +
                                   (*laps_wanted_ == 1 ? " is" : " are") + " written..."
                             : std::string("Recording every clean lap until stopped (Ctrl+C)..."));

    auto end = co_await record();
    const bool any = !written_.empty();
    if (end && any && (*end == End::WaitLimit || *end == End::Disconnected)) {
        // A normal end of a stint that has laps: said plainly, not reported as an error.
        phases_.say(*end == End::WaitLimit ? phases_.clean_lap_timeout_text() : std::string(kDisconnectedText));
    }
    phases_.say(summary());
    if (!end) co_return std::unexpected(std::move(end.error()));
    if (any || *end == End::LapsDone) co_return std::expected<void, RunFailure>{};
    switch (*end) {
    case End::WaitLimit: co_return std::unexpected(RunFailure(phases_.clean_lap_timeout_text()));
    case End::Disconnected: co_return std::unexpected(RunFailure(std::string(kDisconnectedText)));
    default: co_return std::unexpected(RunFailure(std::string("Stopped before a clean lap was captured")));
    }
}

asio::awaitable<Step<StintRun::End>> StintRun::record() {
    // Ctrl+C is caught only from here on: before, nothing is recorded and it ends the
    // process at once, as in corvel. The handler runs on this executor between two rounds,
    // never inside a file write, so a write it interrupts is finished and renamed first.
    std::optional<asio::signal_set> interrupts;
    if (watch_interrupts_) {
        interrupts.emplace(co_await asio::this_coro::executor, SIGINT, SIGTERM);
        interrupts->async_wait([this](const std::error_code& error, int) {
            if (!error) request_stop();  // aborted when the set goes away: `this` may be gone then
        });
    }
    CleanLapRecorder recorder(RecorderMode::Continuing);
    for (;;) {
        if (stop_requested_) co_return End::Stopped;
        // The clock restarts after every written lap: the limit bounds the wait for the next.
        if (phases_.wait_limit_passed()) co_return End::WaitLimit;
        if (!phases_.adapter().is_connected()) co_return End::Disconnected;
        auto outcome = co_await phases_.record_round(recorder);
        if (!outcome) co_return std::unexpected(std::move(outcome.error()));
        if (const auto* lap = std::get_if<CleanLap>(&*outcome)) {
            if (auto written = write(*lap); !written) co_return std::unexpected(std::move(written.error()));
            if (laps_wanted_ && written_.size() >= *laps_wanted_) co_return End::LapsDone;
        } else if (const auto* short_lap = std::get_if<ShortCleanLap>(&*outcome)) {
            phases_.say("Skipped clean lap " + std::to_string(short_lap->lap) + ": only " +
                        std::to_string(short_lap->samples) + " samples, fewer than " +
                        std::to_string(kMinCleanLapSamples));
        }
        co_await pause();
    }
}

Step<void> StintRun::write(const CleanLap& lap) {
    auto paths = phases_.write_lap(lap, LapWrite::ViaTemporaries);
    if (!paths) return std::unexpected(std::move(paths.error()));
    written_.push_back(WrittenLap{lap.lap, lap.lap_time_s, std::move(*paths)});
    phases_.restart_wait_clock();
    const WrittenLap& fastest = *best();
    phases_.say("Lap time: " + format_lap_time(lap.lap_time_s) + " (best of the stint: " +
                format_lap_time(fastest.lap_time_s) + ", lap " + std::to_string(fastest.lap) + ")");
    return {};
}

const WrittenLap* StintRun::best() const {
    const WrittenLap* fastest = nullptr;
    for (const WrittenLap& lap : written_) {
        // Strictly faster: of two equal times the earlier lap stays the best.
        if (fastest == nullptr || lap.lap_time_s < fastest->lap_time_s) fastest = &lap;
    }
    return fastest;
}

std::string StintRun::summary() const {
    const WrittenLap* fastest = best();
    if (fastest == nullptr) return "Stint over: no lap written";
    return "Stint over: " + count_text(written_.size()) + " written, best lap " + std::to_string(fastest->lap) +
           " in " + format_lap_time(fastest->lap_time_s);
}

asio::awaitable<void> StintRun::pause() {
    pause_timer_.emplace(co_await asio::this_coro::executor, phases_.poll_pause());
    // Cancelled by request_stop, so a long --poll-ms does not hold up Ctrl+C.
    std::error_code ignored;
    co_await pause_timer_->async_wait(asio::redirect_error(asio::use_awaitable, ignored));
    pause_timer_.reset();
}

asio::awaitable<int> run_corvel_stint(std::vector<std::string> args, AdapterFactory make_adapter,
                                      DriverEnvironment env) {
    auto parsed = parse_stint_args(args);
    if (!parsed) co_return report_failure(env, RunFailure("Argument error: " + parsed.error()));
    if (std::holds_alternative<HelpRequested>(*parsed)) {
        std::ostream& out = env.out != nullptr ? *env.out : std::cout;
        out << stint_usage_text() << std::flush;
        co_return 0;
    }
    StintOptions options = std::get<StintOptions>(std::move(*parsed));
    auto prepared = prepare_run(options.capture, make_adapter);
    if (!prepared) co_return report_failure(env, prepared.error());
    std::unique_ptr<sim_bridge::SimAdapter> adapter = std::move(*prepared);
    const DriverEnvironment report_env = env;
    std::expected<void, RunFailure> result;
    {
        StintRun stint(std::move(options), *adapter, std::move(env));
        result = co_await stint.run();
    }
    adapter.reset();  // stops the capture worker before anything is reported
    if (!result) co_return report_failure(report_env, result.error());
    co_return 0;
}

}  // namespace corvel
