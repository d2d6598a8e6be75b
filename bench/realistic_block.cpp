// Builds the benchmarks' inputs.
#include "realistic_block.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <string_view>
#include <type_traits>

namespace corvel::bench {
namespace {

namespace layout = sim_bridge::lmu;

constexpr std::size_t kCars = layout::scoring::kMaxEntries;
constexpr double kTrackLength = 13'626.0;
constexpr std::array<std::string_view, 3> kClasses{"Hypercar", "LMP2", "LMGT3"};
constexpr std::array<std::string_view, 3> kModels{"Prototype 499", "Oreca 07 Gibson", "GT3 Evo 2024"};

class Writer {
  public:
    explicit Writer(std::vector<std::byte>& bytes) : bytes_(bytes) {}

    template <typename T>
    void put(std::size_t offset, T value) {
        static_assert(std::is_arithmetic_v<T>);
        std::memcpy(bytes_.data() + offset, &value, sizeof(T));
    }
    // NUL-padded; a text as long as the field fills it without a NUL, as the simulator may.
    void put_text(std::size_t offset, std::size_t size, std::string_view text) {
        std::memset(bytes_.data() + offset, 0, size);
        std::memcpy(bytes_.data() + offset, text.data(), std::min(size, text.size()));
    }

  private:
    std::vector<std::byte>& bytes_;
};

void write_header(Writer& w) {
    using namespace layout::header;
    w.put(kScoringEventWord, std::uint32_t{48'211});
    w.put(kTelemetryEventWord, std::uint32_t{964'220});
    w.put(kGameVersion, std::int32_t{1200});
    w.put_text(kTrackName, kTrackNameSize, "Circuit de la Sarthe (24h Layout)");
    w.put(kSessionNumber, std::int32_t{10});
    w.put(kCurrentSessionTime, 5'412.34);
    w.put(kSessionEndTime, 86'400.0);
    w.put(kMaxLaps, std::int32_t{0});
    w.put(kLapLength, kTrackLength);
    w.put(kVehicleCount, static_cast<std::int32_t>(kCars));
    w.put(kGamePhase, std::uint8_t{5});
    w.put(kYellowFlagState, std::int8_t{0});
    w.put(kInRealtime, std::uint8_t{1});
    w.put(kRaining, 0.12);
    w.put(kAmbientTemp, 21.5);
    w.put(kTrackTemp, 29.25);
    w.put(kWindX, 2.4);
    w.put(kWindY, 0.0);
    w.put(kWindZ, -1.7);
    w.put(kAvgPathWetness, 0.08);
    w.put(kTimeRemaining, 80'987.7f);
    w.put(kWeatherIndex, std::uint8_t{3});
}

void write_scoring_entry(Writer& w, std::size_t index, std::uint32_t slot, bool player) {
    using namespace layout::scoring;
    const std::size_t at = entry_offset(index);
    const auto n = std::to_string(index + 1);
    w.put(at + kSlotId, slot);
    w.put_text(at + kDriverName, kDriverNameSize, "Driver Number " + n);
    w.put_text(at + kVehicleName, kVehicleNameSize, "Endurance Team " + n + " #" + std::to_string(slot));
    w.put(at + kLapsCompleted, static_cast<std::int16_t>(25 + index % 7));
    w.put(at + kLapDistance, kTrackLength * static_cast<double>(index) / static_cast<double>(kCars));
    w.put(at + kPathLateral, 1.25);
    w.put(at + kTrackEdge, 6.5);
    w.put(at + kBestLapTime, 206.0 + static_cast<double>(index) * 0.3);
    w.put(at + kLastLapTime, 208.0 + static_cast<double>(index) * 0.3);
    w.put(at + kIsPlayer, static_cast<std::uint8_t>(player ? 1 : 0));
    w.put(at + kControl, static_cast<std::int8_t>(player ? 0 : (index % 5 == 0 ? kRemoteControl : 1)));
    w.put(at + kInPits, std::uint8_t{0});
    w.put_text(at + kVehicleClass, kVehicleClassSize, kClasses[index % kClasses.size()]);
    w.put(at + kFlag, std::uint8_t{0});
    w.put(at + kCountLapFlag, std::uint8_t{2});
    w.put_text(at + kVehicleFile, kVehicleFileSize,
               "CAR_" + n + "_" + std::string(kClasses[index % 3]) + ".VEH");
    w.put(at + kDrsState, std::uint8_t{0});
}

void write_telemetry_entry(Writer& w, std::size_t index, std::uint32_t slot, std::size_t model) {
    using namespace layout::telemetry;
    const std::size_t at = entry_offset(index);
    const double phase = static_cast<double>(index) * 0.37;
    w.put(at + kSlotId, slot);
    w.put(at + kElapsedTime, 5'412.34);
    w.put(at + kLapNumber, std::int32_t{27});
    w.put(at + kLapStartTime, 5'300.0);
    w.put(at + kPosX, 1'200.0 * std::cos(phase));
    w.put(at + kPosY, 35.0);
    w.put(at + kPosZ, 1'900.0 * std::sin(phase));
    w.put(at + kLocalVelX, 0.4);
    w.put(at + kLocalVelY, 0.02);
    w.put(at + kLocalVelZ, 68.0);
    w.put(at + kLocalAccelX, 7.5);
    w.put(at + kLocalAccelZ, -3.2);
    w.put(at + kOrientationRow2X, std::sin(phase));
    w.put(at + kOrientationRow2Z, std::cos(phase));
    w.put(at + kGear, std::int32_t{5});
    w.put(at + kEngineRpm, 7'250.0);
    w.put(at + kUnfilteredThrottle, 0.93);
    w.put(at + kUnfilteredBrake, 0.0);
    w.put(at + kUnfilteredSteering, -0.12);
    w.put(at + kUnfilteredClutch, 0.0);
    w.put(at + kFuel, 48.6);
    w.put(at + kEngineMaxRpm, 8'800.0);
    w.put(at + kCurrentSector, std::int32_t{1});
    w.put(at + kSpeedLimiter, std::uint8_t{0});
    w.put(at + kFuelCapacity, 90.0);
    w.put_text(at + kModelName, kModelNameSize, kModels[model % kModels.size()]);
}

}  // namespace

RealisticBlock::RealisticBlock() : bytes_(layout::kBlockSize) {
    Writer w(bytes_);
    write_header(w);
    // The player is the last entry of both lists, so every search scans all 104 entries. The
    // telemetry list is in another order than the scoring list, as in the simulator.
    for (std::size_t i = 0; i < kCars; ++i) {
        const bool player = i + 1 == kCars;
        const std::uint32_t slot = player ? kPlayerSlot : 1000 + static_cast<std::uint32_t>(i);
        write_scoring_entry(w, i, slot, player);
        const std::size_t telemetry_index = player ? i : kCars - 2 - i;
        write_telemetry_entry(w, telemetry_index, slot, i);
    }
    w.put(layout::telemetry::kActiveCount, static_cast<std::uint8_t>(kCars));
}

sim_bridge::TelemetrySnapshot lap_snapshot(std::size_t index, std::size_t count, std::int32_t lap_number) {
    const double t = static_cast<double>(index) / static_cast<double>(std::max<std::size_t>(count, 1));
    const double wave = std::sin(2.0 * std::numbers::pi * 9.0 * t);  // nine corners a lap
    sim_bridge::TelemetrySnapshot s;
    s.session_time_s = 5'000.0 + static_cast<double>(index) * 0.0162;
    s.session_time_ms = static_cast<std::uint64_t>(s.session_time_s * 1000.0);
    s.lap_number = lap_number;
    s.current_lap_time_s = static_cast<double>(index) * 0.0162;
    s.best_lap_time_s = 209.8;
    s.lap_distance_m = static_cast<float>(t * kTrackLength);
    s.track_length_m = static_cast<float>(kTrackLength);
    s.lap_fraction = static_cast<float>(t);
    s.speed_mps = static_cast<float>(62.0 + 22.0 * wave);
    s.speed_kmh = s.speed_mps * 3.6f;
    s.speed_mph = s.speed_mps * 2.23694f;
    s.engine_rpm = static_cast<float>(6'500.0 + 1'800.0 * wave);
    s.engine_max_rpm = 8'800.0f;
    s.throttle = static_cast<float>(std::clamp(0.5 + wave, 0.0, 1.0));
    s.brake = static_cast<float>(std::clamp(-wave - 0.4, 0.0, 1.0));
    s.steering = static_cast<float>(0.3 * std::cos(2.0 * std::numbers::pi * 9.0 * t));
    s.gear = static_cast<std::int8_t>(4 + static_cast<int>(2.0 * wave));
    s.fuel_l = static_cast<float>(60.0 - 4.2 * t);
    s.fuel_capacity_l = 90.0f;
    s.pos_x_m = static_cast<float>(1'800.0 * std::cos(2.0 * std::numbers::pi * t));
    s.pos_z_m = static_cast<float>(2'600.0 * std::sin(2.0 * std::numbers::pi * t));
    s.pos_y_m = 30.0f;
    s.heading_rad = static_cast<float>(2.0 * std::numbers::pi * t - std::numbers::pi);
    s.lateral_g = static_cast<float>(2.1 * std::cos(2.0 * std::numbers::pi * 9.0 * t));
    s.longitudinal_g = static_cast<float>(-1.5 * wave);
    s.path_lateral_m = 1.5f;
    s.track_edge_m = 6.0f;
    s.drs_active = false;
    return s;
}

}  // namespace corvel::bench
