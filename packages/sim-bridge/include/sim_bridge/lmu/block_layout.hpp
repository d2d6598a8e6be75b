// The layout of LMU's shared data block ("LMU_Data") as corvel reads it: byte offsets of the
// fields that are converted, shared by the adapter's conversions and the stand-in simulator.
// Every value is little-endian and unaligned; char[n] fields are NUL-terminated when shorter than n.
#pragma once

#include <cstddef>
#include <span>

namespace sim_bridge::lmu {

// Bytes copied from the mapping per snapshot (0x4F4D4).
inline constexpr std::size_t kBlockSize = 324'820;

using BlockView = std::span<const std::byte, kBlockSize>;

// Session header and scoring info, offsets from the start of the block. The type follows each name.
namespace header {
inline constexpr std::size_t kScoringEventWord = 0x28;    // u32, compared between rounds only
inline constexpr std::size_t kTelemetryEventWord = 0x2C;  // u32, compared between rounds only
inline constexpr std::size_t kGameVersion = 0x40;         // i32
inline constexpr std::size_t kTrackName = 0x660;          // char[kTrackNameSize]
inline constexpr std::size_t kTrackNameSize = 64;
inline constexpr std::size_t kSessionNumber = 0x6A0;       // i32: 0 test day, 1-4 practice, 5-8 qualify,
                                                           //      9 warm-up, 10-13 race
inline constexpr std::size_t kCurrentSessionTime = 0x6A4;  // f64, s
inline constexpr std::size_t kSessionEndTime = 0x6AC;      // f64, s
inline constexpr std::size_t kMaxLaps = 0x6B4;             // i32
inline constexpr std::size_t kLapLength = 0x6B8;           // f64, m
inline constexpr std::size_t kVehicleCount = 0x6C8;        // i32, clamped to 0..kMaxEntries on read
inline constexpr std::size_t kGamePhase = 0x6CC;           // u8
inline constexpr std::size_t kYellowFlagState = 0x6CD;     // i8: 0 none, 1-6 caution, 7 race halted
inline constexpr std::size_t kInRealtime = 0x6D3;          // u8, non-zero while the player drives
inline constexpr std::size_t kRaining = 0x73C;             // f64, 0..1
inline constexpr std::size_t kAmbientTemp = 0x744;         // f64, degC
inline constexpr std::size_t kTrackTemp = 0x74C;           // f64, degC
inline constexpr std::size_t kWindX = 0x754;               // f64, m/s
inline constexpr std::size_t kWindY = 0x75C;               // f64, m/s
inline constexpr std::size_t kWindZ = 0x764;               // f64, m/s
inline constexpr std::size_t kAvgPathWetness = 0x7AC;      // f64, 0..1
inline constexpr std::size_t kTimeRemaining = 0x7B4;       // f32, s (meaningful when > 0)
inline constexpr std::size_t kWeatherIndex = 0x7BE;        // u8
}  // namespace header

// The vehicle list (scoring entries). Offsets inside an entry.
namespace scoring {
inline constexpr std::size_t kListOffset = 0x890;
inline constexpr std::size_t kEntrySize = 0x248;
inline constexpr std::size_t kMaxEntries = 104;

inline constexpr std::size_t kSlotId = 0x000;      // u32
inline constexpr std::size_t kDriverName = 0x004;  // char[kDriverNameSize]
inline constexpr std::size_t kDriverNameSize = 32;
inline constexpr std::size_t kVehicleName = 0x024;  // char[kVehicleNameSize]
inline constexpr std::size_t kVehicleNameSize = 64;
inline constexpr std::size_t kLapsCompleted = 0x064;  // i16
inline constexpr std::size_t kFinishStatus = 0x067;   // i8: 1 finished
inline constexpr std::size_t kLapDistance = 0x068;    // f64, m
inline constexpr std::size_t kPathLateral = 0x070;    // f64, m
inline constexpr std::size_t kTrackEdge = 0x078;      // f64, m
inline constexpr std::size_t kBestLapTime = 0x090;    // f64, s (<= 0: none)
inline constexpr std::size_t kLastLapTime = 0x0A8;    // f64, s (<= 0: none)
inline constexpr std::size_t kIsPlayer = 0x0C4;       // u8, non-zero for the local player
inline constexpr std::size_t kControl = 0x0C5;        // i8: kRemoteControl for a remote driver
inline constexpr std::size_t kInPits = 0x0C6;         // u8
inline constexpr std::size_t kVehicleClass = 0x0C8;   // char[kVehicleClassSize]
inline constexpr std::size_t kVehicleClassSize = 32;
inline constexpr std::size_t kFlag = 0x1F8;          // u8: kBlueFlag blue
inline constexpr std::size_t kCountLapFlag = 0x1FA;  // u8: 0 the current lap does not count
inline constexpr std::size_t kVehicleFile = 0x220;   // char[kVehicleFileSize]
inline constexpr std::size_t kVehicleFileSize = 32;
inline constexpr std::size_t kDrsState = 0x243;  // u8, non-zero open

inline constexpr int kFinished = 1;
inline constexpr int kRemoteControl = 2;
inline constexpr int kBlueFlag = 6;

[[nodiscard]] constexpr std::size_t entry_offset(std::size_t index) {
    return kListOffset + index * kEntrySize;
}
}  // namespace scoring

// The telemetry list. Offsets inside an entry.
namespace telemetry {
inline constexpr std::size_t kActiveCount = 0x1F5D0;  // u8, clamped to kMaxEntries on read
inline constexpr std::size_t kListOffset = 0x1F5D4;
inline constexpr std::size_t kEntrySize = 0x760;
inline constexpr std::size_t kMaxEntries = 104;

inline constexpr std::size_t kSlotId = 0x000;              // u32, matches scoring::kSlotId
inline constexpr std::size_t kElapsedTime = 0x00C;         // f64, s
inline constexpr std::size_t kLapNumber = 0x014;           // i32
inline constexpr std::size_t kLapStartTime = 0x018;        // f64, s
inline constexpr std::size_t kPosX = 0x0A0;                // f64, world m
inline constexpr std::size_t kPosY = 0x0A8;                // f64, world m (height)
inline constexpr std::size_t kPosZ = 0x0B0;                // f64, world m
inline constexpr std::size_t kLocalVelX = 0x0B8;           // f64, m/s, car frame
inline constexpr std::size_t kLocalVelY = 0x0C0;           // f64, m/s, car frame
inline constexpr std::size_t kLocalVelZ = 0x0C8;           // f64, m/s, car frame
inline constexpr std::size_t kLocalAccelX = 0x0D0;         // f64, m/s^2, sideways
inline constexpr std::size_t kLocalAccelZ = 0x0E0;         // f64, m/s^2, longitudinal
inline constexpr std::size_t kOrientationRow2X = 0x118;    // f64, third orientation row, x
inline constexpr std::size_t kOrientationRow2Z = 0x128;    // f64, third orientation row, z
inline constexpr std::size_t kGear = 0x160;                // i32 field; only its low byte (i8) is read
inline constexpr std::size_t kEngineRpm = 0x164;           // f64
inline constexpr std::size_t kUnfilteredThrottle = 0x184;  // f64, 0..1
inline constexpr std::size_t kUnfilteredBrake = 0x18C;     // f64, 0..1
inline constexpr std::size_t kUnfilteredSteering = 0x194;  // f64, -1..1
inline constexpr std::size_t kUnfilteredClutch = 0x19C;    // f64, 0..1
inline constexpr std::size_t kFuel = 0x20C;                // f64, l
inline constexpr std::size_t kEngineMaxRpm = 0x214;        // f64
inline constexpr std::size_t kCurrentSector = 0x258;       // i32, sign bit: in the pit lane
inline constexpr std::size_t kSpeedLimiter = 0x25C;        // u8, switched on
inline constexpr std::size_t kFuelCapacity = 0x260;        // f64, l
inline constexpr std::size_t kLapInvalidated = 0x2E9;      // u8
inline constexpr std::size_t kAbsActive = 0x2EA;           // u8
inline constexpr std::size_t kTcActive = 0x2EB;            // u8
inline constexpr std::size_t kSpeedLimiterActive = 0x2EC;  // u8
inline constexpr std::size_t kModelName = 0x31C;           // char[kModelNameSize]
inline constexpr std::size_t kModelNameSize = 30;

[[nodiscard]] constexpr std::size_t entry_offset(std::size_t index) {
    return kListOffset + index * kEntrySize;
}
}  // namespace telemetry

// Every read stays inside the copy, whatever counts the simulator writes.
static_assert(header::kWeatherIndex < scoring::kListOffset);
static_assert(scoring::kVehicleFile + scoring::kVehicleFileSize <= scoring::kEntrySize);
static_assert(scoring::kDrsState < scoring::kEntrySize);
static_assert(scoring::entry_offset(scoring::kMaxEntries) <= telemetry::kActiveCount);
static_assert(telemetry::kModelName + telemetry::kModelNameSize <= telemetry::kEntrySize);
static_assert(telemetry::entry_offset(telemetry::kMaxEntries) <= kBlockSize);

}  // namespace sim_bridge::lmu
