// The capture worker: a thread named "lmu-capture" that waits for LMU's new-data event, copies
// each new block under the simulator's lock and publishes it in the snapshot cache. It never
// converts blocks and never reports errors; a failed wait or a poisoned cache disconnects.
#pragma once

#include <atomic>
#include <chrono>
#include <expected>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "adapters/lmu/dead_holder_evidence.hpp"
#include "adapters/lmu/shared_memory.hpp"
#include "adapters/lmu/snapshot_cache.hpp"
#include "sim_bridge/lmu_adapter_options.hpp"
#include "sim_bridge/platform/named_objects.hpp"

namespace sim_bridge::lmu {

// The adapter state the worker shares; it keeps these alive for as long as it runs.
struct CaptureShared {
    std::shared_ptr<std::atomic<bool>> connected;
    std::shared_ptr<std::atomic<bool>> stop_requested;
    std::shared_ptr<SnapshotCache> cache;
    std::shared_ptr<DeadHolderEvidence> lock_evidence;
};

struct CaptureTimings {
    std::chrono::milliseconds wait{250};  // bounds how long a stop request goes unnoticed
    LmuLockTimings lock;
};

// How the worker waits for new data; a seam so that tests can make the wait fail.
using DataWait = std::function<platform::WaitResult(const LmuSharedMemory&, std::chrono::milliseconds)>;

// The real wait: on LMU_Data_Event.
[[nodiscard]] platform::WaitResult wait_for_new_data(const LmuSharedMemory& memory,
                                                     std::chrono::milliseconds timeout);

// The worker's loop, run on the calling thread until a stop request, a failed wait or a
// poisoned cache.
void run_capture_loop(const LmuSharedMemory& memory, const CaptureShared& shared,
                      const CaptureTimings& timings, const DataWait& wait = wait_for_new_data);

// Starts the worker thread, which owns `memory` and releases it when it ends. When the thread
// cannot be created, `memory` is released here and the result is the system's error text.
[[nodiscard]] std::expected<std::thread, std::string> start_capture_worker(LmuSharedMemory memory,
                                                                           CaptureShared shared,
                                                                           CaptureTimings timings);

}  // namespace sim_bridge::lmu
