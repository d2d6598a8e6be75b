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
};

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
};

}  // namespace sim_bridge
