// The capture worker's loop and thread.
#include "adapters/lmu/capture_worker.hpp"

#include <system_error>

#include "adapters/lmu/lmu_lock.hpp"
#include "platform/thread_name.hpp"

namespace sim_bridge::lmu {
namespace {

std::string os_error_text(const std::error_code& code) {
    return code.message() + " (os error " + std::to_string(code.value()) + ")";
}

// The copy keeps the worker's view of the cache; false means the cache is poisoned.
bool publish_new_block(const LmuSharedMemory& memory, const CaptureShared& shared,
                       const CaptureTimings& timings) {
    auto copy = acquire_and_copy(memory, timings.lock, *shared.lock_evidence);
    // A lock that timed out is not worth reporting: the cache keeps the previous block and the
    // next signal brings a fresh one.
    if (!copy) return true;
    return shared.cache->store(std::move(*copy));
}

}  // namespace

platform::WaitResult wait_for_new_data(const LmuSharedMemory& memory, std::chrono::milliseconds timeout) {
    return memory.data_event().wait(timeout);
}

void run_capture_loop(const LmuSharedMemory& memory, const CaptureShared& shared,
                      const CaptureTimings& timings, const DataWait& wait) {
    if (shared.stop_requested->load()) return;
    for (;;) {
        switch (wait(memory, timings.wait)) {
            case platform::WaitResult::Signalled:
                if (!publish_new_block(memory, shared, timings)) {
                    shared.connected->store(false, std::memory_order_release);
                    return;
                }
                break;
            case platform::WaitResult::TimedOut:
                break;
            case platform::WaitResult::Failed:
                shared.connected->store(false, std::memory_order_release);
                return;
        }
        if (shared.stop_requested->load()) return;
    }
}

std::expected<std::thread, std::string> start_capture_worker(LmuSharedMemory memory, CaptureShared shared,
                                                             CaptureTimings timings) {
    try {
        return std::thread([memory = std::move(memory), shared = std::move(shared), timings]() {
            platform::set_current_thread_name("lmu-capture");
            run_capture_loop(memory, shared, timings);
        });
    } catch (const std::system_error& error) {
        // The unstarted work, and with it the shared memory, is gone by now.
        return std::unexpected(os_error_text(error.code()));
    }
}

}  // namespace sim_bridge::lmu
