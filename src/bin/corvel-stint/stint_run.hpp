// One stint: corvel's connect and session wait, then recording without end, every clean lap
// written as its own pair of files, until --laps, the wait limit, a lost LMU or Ctrl+C.
#pragma once

#include <asio/awaitable.hpp>
#include <asio/steady_timer.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "corvel-stint/stint_command_line.hpp"
#include "corvel/capture_driver.hpp"
#include "corvel/capture_phases.hpp"

namespace corvel {

// "1:31.234": minutes, then seconds to the millisecond.
[[nodiscard]] std::string format_lap_time(double seconds);

struct WrittenLap {
    std::int64_t lap = 0;
    double lap_time_s = 0.0;
    OutputPaths paths;
};

class StintRun {
public:
    // `watch_interrupts`: Ctrl+C (and SIGTERM) requests the stop while recording.
    StintRun(StintOptions options, sim_bridge::SimAdapter& adapter, DriverEnvironment env,
             bool watch_interrupts = true);

    // The whole stint after preparation. Success is exit status 0; a failure is reported by
    // the caller once the adapter is released.
    asio::awaitable<std::expected<void, RunFailure>> run();

    // Ends the stint before the next recording round; the lap in progress is discarded.
    // Called on the driver's executor (the interrupt handler and tests).
    void request_stop();

    [[nodiscard]] const std::vector<WrittenLap>& written() const { return written_; }

private:
    enum class End { LapsDone, WaitLimit, Disconnected, Stopped };

    asio::awaitable<Step<End>> record();
    Step<void> write(const CleanLap& lap);
    [[nodiscard]] const WrittenLap* best() const;
    [[nodiscard]] std::string summary() const;
    asio::awaitable<void> pause();

    CapturePhases phases_;
    std::optional<std::uint64_t> laps_wanted_;
    bool watch_interrupts_;
    bool stop_requested_ = false;
    std::optional<asio::steady_timer> pause_timer_;
    std::vector<WrittenLap> written_;
};

// The process's run of corvel-stint, as run_corvel is corvel's.
[[nodiscard]] asio::awaitable<int> run_corvel_stint(std::vector<std::string> args, AdapterFactory make_adapter,
                                                    DriverEnvironment env);

}  // namespace corvel
