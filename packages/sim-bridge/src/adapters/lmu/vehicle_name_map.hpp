// The adapter's map from vehicle file stems to car display names, shared between threads.
// Created empty with the adapter; lookups copy the stored name out so that nothing is
// cleaned or formatted while the lock is held.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace sim_bridge::lmu {

class VehicleNameMap {
  public:
    VehicleNameMap() = default;
    VehicleNameMap(const VehicleNameMap&) = delete;
    VehicleNameMap& operator=(const VehicleNameMap&) = delete;

    // `stem` is stored ASCII upper-cased, so lookups with an upper-cased stem find it.
    void insert(std::string_view stem, std::string car_name);

    // The stored name, exactly as inserted, for an upper-cased stem; absent on a miss or when the
    // lock cannot be taken.
    [[nodiscard]] std::optional<std::string> find(std::string_view upper_stem) const;

  private:
    mutable std::mutex mutex_;
    std::unordered_map<std::string, std::string> names_;
};

}  // namespace sim_bridge::lmu
