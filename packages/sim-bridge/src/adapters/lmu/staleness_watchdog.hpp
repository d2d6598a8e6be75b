// The staleness watchdog: a detached task that notices when LMU's published data stops
// changing and then asks whether the simulator's process still exists. If it is gone, the
// adapter is marked disconnected and its capture worker is told to stop.
#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "adapters/lmu/snapshot_cache.hpp"
#include "sim_bridge/simulator_detection.hpp"

namespace sim_bridge::lmu {

// Counts passes over which the block's two update words did not move. Pure logic, so that
// the thresholds are tested without timers.
class StalenessTracker {
  public:
    // Passes in a row with unchanged words after which the process is checked (and on every
    // further unchanged pass).
    static constexpr std::uint32_t kUnchangedPassesBeforeCheck = 5;

    // Records one pass; true when the process must be checked now. The previous words start at
    // 0, so a block whose words are both 0 counts as unchanged at the first pass.
    [[nodiscard]] bool observe(std::uint32_t scoring_word, std::uint32_t telemetry_word);

  private:
    std::uint32_t previous_scoring_ = 0;
    std::uint32_t previous_telemetry_ = 0;
    std::uint32_t unchanged_passes_ = 0;
};

struct WatchdogContext {
    std::shared_ptr<std::atomic<bool>> connected;
    std::shared_ptr<SnapshotCache> cache;
    std::shared_ptr<std::atomic<bool>> stop_requested;
    std::chrono::milliseconds period{2000};
    std::function<ProcessState()> process_check;
};

// The watchdog's loop; ends when `connected` is false at a pass or the process is gone.
asio::awaitable<void> run_staleness_watchdog(WatchdogContext context);

// Starts the loop as a detached task on `executor`. Nobody keeps a handle to it; an
// exception that ends it is reported on standard error.
void spawn_staleness_watchdog(const asio::any_io_executor& executor, WatchdogContext context);

}  // namespace sim_bridge::lmu
