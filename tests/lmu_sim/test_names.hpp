// Object-name prefixes that no other test, process or run uses at the same time.
#pragma once

#include <atomic>
#include <chrono>
#include <string>

namespace corvel::lmu_sim::testing {

inline std::string unique_prefix(const std::string& what) {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    return "lmusim_" + what + "_" + std::to_string(stamp) + "_" + std::to_string(counter++) + "_";
}

}  // namespace corvel::lmu_sim::testing
