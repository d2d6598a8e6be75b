// One entry of the session (car, driver, class), looked up by the simulator's slot id.
// The default-constructed value is the "empty" VehicleInfo returned for an unknown slot.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sim_bridge {

struct VehicleInfo {
    std::uint32_t slot_id = 0;
    std::string slot_id_text;
    std::string driver_name;
    std::string car_name;  // never empty for an existing entry
    std::optional<std::string> car_id;
    std::optional<std::string> car_class;
    std::optional<std::string> vehicle_name;
    std::optional<std::string> vehicle_file;
    std::optional<std::string> model_name;
    bool is_player = false;
    bool is_remote = false;

    bool operator==(const VehicleInfo&) const = default;
};

}  // namespace sim_bridge
