// What an LmuAdapter opens, how long it waits and how it checks for the simulator's process.
// The defaults are the product's; tests shorten the timings and pick unique object names so
// that they run in parallel and in milliseconds.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "sim_bridge/simulator_detection.hpp"

namespace sim_bridge {

// The four named objects that LMU publishes (and whose names it fixes).
struct LmuObjectNames {
    std::string data = "LMU_Data";
    std::string data_event = "LMU_Data_Event";
    std::string lock_data = "LMU_SharedMemoryLockData";
    std::string lock_event = "LMU_SharedMemoryLockEvent";
};

struct LmuLockTimings {
    std::uint32_t spin_tries = 4000;      // compare-exchange tries before sleeping
    std::chrono::milliseconds wait{100};  // one sleep on the lock event
    // A lock found held through our timed-out acquisitions for this long, with none of ours
    // succeeding in between, was left by a party that died holding it, and is cleared.
    std::chrono::milliseconds dead_holder_after{1000};
};

using MonotonicClock = std::function<std::chrono::steady_clock::time_point()>;

struct LmuTimings {
    std::chrono::milliseconds attempt_pause{500};     // between two attempts to open the objects
    std::uint32_t open_attempts = 10;                 // attempts per connect
    std::chrono::milliseconds worker_wait{250};       // capture worker's wait for new data
    std::chrono::milliseconds watchdog_period{2000};  // between two staleness checks
    LmuLockTimings lock;
};

struct LmuAdapterOptions {
    LmuObjectNames names;
    LmuTimings timings;
    // Asked by the staleness watchdog once the published data has stopped changing.
    std::function<ProcessState()> process_check = is_lmu_process_running;
    // What the lock's dead-holder rule measures its span with.
    MonotonicClock clock = [] { return std::chrono::steady_clock::now(); };
};

}  // namespace sim_bridge
