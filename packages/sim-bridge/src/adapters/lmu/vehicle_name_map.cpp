// The vehicle-name map: one mutex around a hash map.
#include "adapters/lmu/vehicle_name_map.hpp"

#include <system_error>
#include <utility>

#include "adapters/lmu/names.hpp"

namespace sim_bridge::lmu {

void VehicleNameMap::insert(std::string_view stem, std::string car_name) {
    std::string key = ascii_upper(stem);
    std::lock_guard lock(mutex_);
    names_.insert_or_assign(std::move(key), std::move(car_name));
}

std::optional<std::string> VehicleNameMap::find(std::string_view upper_stem) const {
    const std::string key(upper_stem);
    std::unique_lock lock(mutex_, std::defer_lock);
    try {
        lock.lock();
    } catch (const std::system_error&) {
        return std::nullopt;  // a lock that cannot be taken counts as a miss, like an empty map
    }
    const auto it = names_.find(key);
    if (it == names_.end()) {
        return std::nullopt;
    }
    return it->second;
}

}  // namespace sim_bridge::lmu
