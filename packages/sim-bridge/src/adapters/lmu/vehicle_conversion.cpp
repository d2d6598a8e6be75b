// build_vehicle_info: one entry's car, driver and class. The car's display name comes from the
// model name, else from the adapter's vehicle-name map, else a fixed fallback.
#include <string>
#include <string_view>

#include "adapters/lmu/block_conversion.hpp"
#include "adapters/lmu/names.hpp"
#include "adapters/lmu/player_lookup.hpp"
#include "text/utf8.hpp"
#include "adapters/lmu/vehicle_name_map.hpp"

namespace sim_bridge::lmu {
namespace {

constexpr std::string_view kFallbackCarName = "Le Mans Ultimate Vehicle";

std::optional<std::string> non_empty(std::string text) {
    if (text.empty()) return std::nullopt;
    return text;
}

// The last component under Windows path rules ('/' and '\' both separate, a drive prefix and
// trailing separators or "." components do not count); the whole text when none is usable.
std::string_view last_path_component(std::string_view path) {
    std::string_view rest = path;
    if (rest.size() >= 2 && rest[1] == ':' &&
        ((rest[0] >= 'A' && rest[0] <= 'Z') || (rest[0] >= 'a' && rest[0] <= 'z'))) {
        rest.remove_prefix(2);
    }
    while (!rest.empty()) {
        const std::size_t separator = rest.find_last_of("/\\");
        const std::string_view component =
            separator == std::string_view::npos ? rest : rest.substr(separator + 1);
        if (!component.empty() && component != ".") {
            return component == ".." ? path : component;
        }
        if (separator == std::string_view::npos) break;
        rest = rest.substr(0, separator);
    }
    return path;
}

// The key of the vehicle-name map for a vehicle file text: "..\Cars\Ferrari_499P.veh" -> FERRARI_499P.
std::string vehicle_file_stem(std::string_view vehicle_file) {
    std::string_view text = text::trim_white_space(vehicle_file);
    while (text.starts_with('"')) text.remove_prefix(1);
    while (text.ends_with('"')) text.remove_suffix(1);
    text = last_path_component(text);
    if (text.ends_with(".veh") || text.ends_with(".VEH")) text.remove_suffix(4);
    return ascii_upper(text);
}

std::optional<std::string> mapped_car_name(std::string_view vehicle_file, const VehicleNameMap& names) {
    if (vehicle_file.empty()) return std::nullopt;
    // The map's lock is held only inside find(); the copied name is cleaned afterwards.
    const std::optional<std::string> stored = names.find(vehicle_file_stem(vehicle_file));
    if (!stored) return std::nullopt;
    return clean_name(*stored);
}

}  // namespace

VehicleInfo build_vehicle_info(BlockView block, std::uint32_t slot_id, const VehicleNameMap& names) {
    const auto entry = find_scoring_entry(block, slot_id);
    if (!entry) return VehicleInfo{};

    std::string driver = read_text<scoring::kDriverName, scoring::kDriverNameSize>(*entry);
    std::string car_class = read_text<scoring::kVehicleClass, scoring::kVehicleClassSize>(*entry);
    std::string vehicle_name = read_text<scoring::kVehicleName, scoring::kVehicleNameSize>(*entry);
    std::string vehicle_file = read_text<scoring::kVehicleFile, scoring::kVehicleFileSize>(*entry);

    std::optional<std::string> model;
    if (const auto car = find_telemetry_entry(block, slot_id)) {
        model = clean_name(read_text<telemetry::kModelName, telemetry::kModelNameSize>(*car));
    }

    VehicleInfo info;
    info.slot_id = slot_id;
    info.slot_id_text = std::to_string(static_cast<std::int32_t>(slot_id));
    if (model) {
        info.car_name = *model;
    } else {
        info.car_name = mapped_car_name(vehicle_file, names).value_or(std::string(kFallbackCarName));
    }
    info.car_id = clean_name(vehicle_file);
    if (!info.car_id) info.car_id = clean_name(vehicle_name);
    if (!info.car_id) info.car_id = model;
    info.is_player = read_value<std::uint8_t, scoring::kIsPlayer>(*entry) != 0;
    info.is_remote = read_value<std::int8_t, scoring::kControl>(*entry) == scoring::kRemoteControl;

    info.driver_name = std::move(driver);
    info.car_class = non_empty(std::move(car_class));
    info.vehicle_name = non_empty(std::move(vehicle_name));
    info.vehicle_file = non_empty(std::move(vehicle_file));
    info.model_name = std::move(model);
    return info;
}

}  // namespace sim_bridge::lmu
