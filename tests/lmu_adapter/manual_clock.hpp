// A monotonic clock that moves only when a test moves it, for the lock's dead-holder rule.
#pragma once

#include <atomic>
#include <chrono>

#include "sim_bridge/lmu_adapter_options.hpp"

namespace corvel_test {

class ManualClock {
  public:
    void advance(std::chrono::milliseconds by) { ticks_.fetch_add(by.count()); }

    [[nodiscard]] std::chrono::steady_clock::time_point now() const {
        return std::chrono::steady_clock::time_point(std::chrono::milliseconds(ticks_.load()));
    }
    // Reads this clock; it must outlive whatever holds the function.
    [[nodiscard]] sim_bridge::MonotonicClock function() const {
        return [this] { return now(); };
    }

  private:
    std::atomic<std::int64_t> ticks_{0};  // milliseconds
};

}  // namespace corvel_test
