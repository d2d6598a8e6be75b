// build_vehicle_info on hand-built blocks: car name fallbacks, the vehicle-name map, car id order
// and the empty record for an unknown slot.
#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>

#include "adapters/lmu/block_conversion.hpp"
#include "adapters/lmu/vehicle_name_map.hpp"
#include "block_builder.hpp"

namespace sim_bridge::lmu {
namespace {

using testing::BlockBuilder;

constexpr std::string_view kFallback = "Le Mans Ultimate Vehicle";
constexpr std::uint32_t kSlot = 7;

struct Entry {
    std::string_view driver = {};
    std::string_view car_class = {};
    std::string_view vehicle_name = {};
    std::string_view vehicle_file = {};
    std::string_view model = {};
};

BlockBuilder block_with(const Entry& e) {
    BlockBuilder b = BlockBuilder::with_player(kSlot);
    const std::size_t s = scoring::entry_offset(0);
    b.put_text(s + scoring::kDriverName, scoring::kDriverNameSize, e.driver);
    b.put_text(s + scoring::kVehicleClass, scoring::kVehicleClassSize, e.car_class);
    b.put_text(s + scoring::kVehicleName, scoring::kVehicleNameSize, e.vehicle_name);
    b.put_text(s + scoring::kVehicleFile, scoring::kVehicleFileSize, e.vehicle_file);
    b.put_text(telemetry::entry_offset(0) + telemetry::kModelName, telemetry::kModelNameSize, e.model);
    return b;
}

VehicleInfo info_for(const Entry& e, const VehicleNameMap& names) {
    return build_vehicle_info(block_with(e).view(), kSlot, names);
}

TEST(BuildVehicleInfo, ReturnsEmptyRecordForUnknownSlot) {
    VehicleNameMap names;
    EXPECT_EQ(build_vehicle_info(BlockBuilder::with_player(kSlot).view(), kSlot + 1, names), VehicleInfo{});
}

TEST(BuildVehicleInfo, DescribesAnEntry) {
    VehicleNameMap names;
    BlockBuilder b =
        block_with({" Ann Driver ", "Hypercar", "#50 Ferrari AF Corse", "499P_2024.veh", "Ferrari 499P"});
    b.scoring(0, scoring::kControl, std::int8_t{2});

    const VehicleInfo info = build_vehicle_info(b.view(), kSlot, names);
    EXPECT_EQ(info.slot_id, kSlot);
    EXPECT_EQ(info.slot_id_text, "7");
    EXPECT_EQ(info.driver_name, "Ann Driver");
    EXPECT_EQ(info.car_name, "Ferrari 499P");
    EXPECT_EQ(info.car_id, "499P_2024.veh");
    EXPECT_EQ(info.car_class, "Hypercar");
    EXPECT_EQ(info.vehicle_name, "#50 Ferrari AF Corse");
    EXPECT_EQ(info.vehicle_file, "499P_2024.veh");
    EXPECT_EQ(info.model_name, "Ferrari 499P");
    EXPECT_TRUE(info.is_player);
    EXPECT_TRUE(info.is_remote);
}

TEST(BuildVehicleInfo, LeavesEmptyTextsAbsentButKeepsEmptyDriver) {
    VehicleNameMap names;
    const VehicleInfo info = info_for({}, names);
    EXPECT_EQ(info.driver_name, "");
    EXPECT_EQ(info.car_name, kFallback);
    EXPECT_FALSE(info.car_id || info.car_class || info.vehicle_name || info.vehicle_file || info.model_name);
}

TEST(BuildVehicleInfo, FallsBackWhenModelNameIsUnusable) {
    VehicleNameMap names;
    for (const std::string_view model : {"UNKNOWN", "Ferr\x01ri", "   ", "\xFF\xFE"}) {
        const VehicleInfo info = info_for({.vehicle_file = "499P.veh", .model = model}, names);
        EXPECT_EQ(info.car_name, kFallback) << model;
        EXPECT_FALSE(info.model_name.has_value()) << model;
    }
}

TEST(BuildVehicleInfo, FallsBackWhenEntryHasNoTelemetry) {
    VehicleNameMap names;
    BlockBuilder b = block_with({.model = "Ferrari 499P"});
    b.telemetry(0, telemetry::kSlotId, std::uint32_t{kSlot + 1});

    const VehicleInfo info = build_vehicle_info(b.view(), kSlot, names);
    EXPECT_EQ(info.car_name, kFallback);
    EXPECT_FALSE(info.model_name.has_value());
}

TEST(BuildVehicleInfo, NamesCarFromMapByUpperCasedFileStem) {
    VehicleNameMap names;
    names.insert("ferrari_499p", "  Ferrari 499P Hypercar ");
    const VehicleInfo info = info_for({.vehicle_file = " \"..\\Cars/Ferrari_499P.veh\" "}, names);
    EXPECT_EQ(info.car_name, "Ferrari 499P Hypercar");
}

TEST(BuildVehicleInfo, StripsOnlyLowerOrUpperVehExtension) {
    VehicleNameMap names;
    names.insert("A", "Car A");
    names.insert("B.VEH", "Car B");
    EXPECT_EQ(info_for({.vehicle_file = "C:a.VEH"}, names).car_name, "Car A");
    EXPECT_EQ(info_for({.vehicle_file = "cars\\a.veh\\"}, names).car_name, "Car A");
    EXPECT_EQ(info_for({.vehicle_file = "b.Veh"}, names).car_name, "Car B");
}

TEST(BuildVehicleInfo, PrefersModelNameOverMapAndCleansMappedName) {
    VehicleNameMap names;
    names.insert("A", "unknown");
    EXPECT_EQ(info_for({.vehicle_file = "a.veh", .model = "Model A"}, names).car_name, "Model A");
    EXPECT_EQ(info_for({.vehicle_file = "a.veh"}, names).car_name, kFallback);
}

TEST(BuildVehicleInfo, TakesCarIdFromFileThenVehicleNameThenModel) {
    VehicleNameMap names;
    EXPECT_EQ(info_for({.vehicle_name = "Entry", .vehicle_file = "file.veh", .model = "Model"}, names).car_id,
              "file.veh");
    EXPECT_EQ(info_for({.vehicle_name = "Entry", .vehicle_file = "Unknown", .model = "Model"}, names).car_id,
              "Entry");
    EXPECT_EQ(info_for({.vehicle_name = "unknown", .model = "Model"}, names).car_id, "Model");
    EXPECT_FALSE(info_for({.vehicle_name = "unknown", .model = "UNKNOWN"}, names).car_id.has_value());
}

TEST(BuildVehicleInfo, WritesSlotIdTextAsSigned32BitNumber) {
    VehicleNameMap names;
    BlockBuilder b = BlockBuilder::with_player(0xFFFF'FFFEu);
    const VehicleInfo info = build_vehicle_info(b.view(), 0xFFFF'FFFEu, names);
    EXPECT_EQ(info.slot_id, 0xFFFF'FFFEu);
    EXPECT_EQ(info.slot_id_text, "-2");
}

TEST(BuildVehicleInfo, DescribesOtherEntriesAsNotPlayerAndLocal) {
    VehicleNameMap names;
    BlockBuilder b = BlockBuilder::with_player(kSlot);
    b.vehicle_count(2).telemetry_count(2).car(1, 1, 3);
    b.scoring(1, scoring::kControl, std::int8_t{1});

    const VehicleInfo info = build_vehicle_info(b.view(), 3, names);
    EXPECT_EQ(info.slot_id, 3u);
    EXPECT_FALSE(info.is_player);
    EXPECT_FALSE(info.is_remote);
}

TEST(PlayerSlotId, TakesFirstFlaggedEntryOrNothing) {
    BlockBuilder b;
    b.vehicle_count(3).telemetry_count(0).car(0, 0, 1).car(1, 1, 2, true).car(2, 2, 3, true);
    EXPECT_EQ(player_slot_id(b.view()), 2u);

    b.vehicle_count(1);
    EXPECT_FALSE(player_slot_id(b.view()).has_value());
}

}  // namespace
}  // namespace sim_bridge::lmu
