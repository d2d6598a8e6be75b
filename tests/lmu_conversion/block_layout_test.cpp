// Pins every offset of block_layout.hpp to the numbers of LMU's published block layout.
// The adapter, the stand-in simulator and the other tests all read these constants, so a
// mistyped or swapped one would pass them all and only show on real LMU data; the numbers
// here are written out from the layout tables, never derived from the constants.
#include "sim_bridge/lmu/block_layout.hpp"

#include <gtest/gtest.h>

namespace sim_bridge::lmu {
namespace {

// The block as copied from the mapping.
static_assert(kBlockSize == 324'820);
static_assert(kBlockSize == 0x4F4D4);

// Session header and scoring part.
static_assert(header::kScoringEventWord == 0x28);
static_assert(header::kTelemetryEventWord == 0x2C);
static_assert(header::kGameVersion == 0x40);
static_assert(header::kTrackName == 0x660);
static_assert(header::kTrackNameSize == 64);
static_assert(header::kSessionNumber == 0x6A0);
static_assert(header::kCurrentSessionTime == 0x6A4);
static_assert(header::kSessionEndTime == 0x6AC);
static_assert(header::kMaxLaps == 0x6B4);
static_assert(header::kLapLength == 0x6B8);
static_assert(header::kVehicleCount == 0x6C8);
static_assert(header::kGamePhase == 0x6CC);
static_assert(header::kYellowFlagState == 0x6CD);
static_assert(header::kInRealtime == 0x6D3);
static_assert(header::kRaining == 0x73C);
static_assert(header::kAmbientTemp == 0x744);
static_assert(header::kTrackTemp == 0x74C);
static_assert(header::kWindX == 0x754);
static_assert(header::kWindY == 0x75C);
static_assert(header::kWindZ == 0x764);
static_assert(header::kAvgPathWetness == 0x7AC);
static_assert(header::kTimeRemaining == 0x7B4);
static_assert(header::kWeatherIndex == 0x7BE);

// Vehicle list: entry i at 0x890 + i * 0x248 (584 bytes), at most 104 entries.
static_assert(scoring::kListOffset == 0x890);
static_assert(scoring::kEntrySize == 0x248);
static_assert(scoring::kEntrySize == 584);
static_assert(scoring::kMaxEntries == 104);
static_assert(scoring::entry_offset(0) == 0x890);
static_assert(scoring::entry_offset(1) == 0x890 + 584);
static_assert(scoring::entry_offset(103) == 0x890 + 103 * 584);

static_assert(scoring::kSlotId == 0x000);
static_assert(scoring::kDriverName == 0x004);
static_assert(scoring::kDriverNameSize == 32);
static_assert(scoring::kVehicleName == 0x024);
static_assert(scoring::kVehicleNameSize == 64);
static_assert(scoring::kLapsCompleted == 0x064);
static_assert(scoring::kFinishStatus == 0x067);
static_assert(scoring::kLapDistance == 0x068);
static_assert(scoring::kPathLateral == 0x070);
static_assert(scoring::kTrackEdge == 0x078);
static_assert(scoring::kBestLapTime == 0x090);
static_assert(scoring::kLastLapTime == 0x0A8);
static_assert(scoring::kIsPlayer == 0x0C4);
static_assert(scoring::kControl == 0x0C5);
static_assert(scoring::kInPits == 0x0C6);
static_assert(scoring::kVehicleClass == 0x0C8);
static_assert(scoring::kVehicleClassSize == 32);
static_assert(scoring::kFlag == 0x1F8);
static_assert(scoring::kCountLapFlag == 0x1FA);
static_assert(scoring::kVehicleFile == 0x220);
static_assert(scoring::kVehicleFileSize == 32);
static_assert(scoring::kDrsState == 0x243);

static_assert(scoring::kFinished == 1);
static_assert(scoring::kRemoteControl == 2);
static_assert(scoring::kBlueFlag == 6);

// Telemetry list: count byte at 0x1F5D0, entry j at 0x1F5D4 + j * 0x760 (1888 bytes), at most 104.
static_assert(telemetry::kActiveCount == 0x1F5D0);
static_assert(telemetry::kListOffset == 0x1F5D4);
static_assert(telemetry::kEntrySize == 0x760);
static_assert(telemetry::kEntrySize == 1888);
static_assert(telemetry::kMaxEntries == 104);
static_assert(telemetry::entry_offset(0) == 0x1F5D4);
static_assert(telemetry::entry_offset(1) == 0x1F5D4 + 1888);
static_assert(telemetry::entry_offset(103) == 0x1F5D4 + 103 * 1888);

static_assert(telemetry::kSlotId == 0x000);
static_assert(telemetry::kElapsedTime == 0x00C);
static_assert(telemetry::kLapNumber == 0x014);
static_assert(telemetry::kLapStartTime == 0x018);
static_assert(telemetry::kPosX == 0x0A0);
static_assert(telemetry::kPosY == 0x0A8);
static_assert(telemetry::kPosZ == 0x0B0);
static_assert(telemetry::kLocalVelX == 0x0B8);
static_assert(telemetry::kLocalVelY == 0x0C0);
static_assert(telemetry::kLocalVelZ == 0x0C8);
static_assert(telemetry::kLocalAccelX == 0x0D0);
static_assert(telemetry::kLocalAccelZ == 0x0E0);
static_assert(telemetry::kOrientationRow2X == 0x118);
static_assert(telemetry::kOrientationRow2Z == 0x128);
static_assert(telemetry::kGear == 0x160);
static_assert(telemetry::kEngineRpm == 0x164);
static_assert(telemetry::kUnfilteredThrottle == 0x184);
static_assert(telemetry::kUnfilteredBrake == 0x18C);
static_assert(telemetry::kUnfilteredSteering == 0x194);
static_assert(telemetry::kUnfilteredClutch == 0x19C);
static_assert(telemetry::kFuel == 0x20C);
static_assert(telemetry::kEngineMaxRpm == 0x214);
static_assert(telemetry::kCurrentSector == 0x258);
static_assert(telemetry::kSpeedLimiter == 0x25C);
static_assert(telemetry::kFuelCapacity == 0x260);
static_assert(telemetry::kLapInvalidated == 0x2E9);
static_assert(telemetry::kAbsActive == 0x2EA);
static_assert(telemetry::kTcActive == 0x2EB);
static_assert(telemetry::kSpeedLimiterActive == 0x2EC);
static_assert(telemetry::kModelName == 0x31C);
static_assert(telemetry::kModelNameSize == 30);

// The last telemetry entry ends exactly at the end of the copied block.
static_assert(0x1F5D4 + 104 * 1888 == 324'820);

TEST(BlockLayout, LastTelemetryEntryEndsAtTheBlockEnd) {
    EXPECT_EQ(telemetry::entry_offset(telemetry::kMaxEntries), kBlockSize);
}

}  // namespace
}  // namespace sim_bridge::lmu
