// Field by field, the scripted session in LMU's layout. Values the adapter does not read are
// left zero; the hostile switches overwrite chosen fields after the normal values are in.
#include "block_writer.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace corvel::lmu_sim {
namespace {

namespace header = sim_bridge::lmu::header;
namespace scoring = sim_bridge::lmu::scoring;
namespace telemetry = sim_bridge::lmu::telemetry;

constexpr double kSessionLengthS = 7200.0;
constexpr std::uint8_t kGreenFlagPhase = 5;
constexpr std::uint8_t kBeforeSessionPhase = 0;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Pads `text` with `fill` to exactly `size` bytes (cut first when longer): no NUL is left.
std::string filled(std::string text, std::size_t size, char fill = '#') {
    text.resize(size, fill);
    return text;
}

// The broken forms of each text: a stray byte and a bad sequence, a control character, a
// multi-byte character cut in half at the very end, or simply no terminating NUL.
EntryTexts spoil(const EntryTexts& t) {
    EntryTexts out;
    out.driver = filled(t.driver, scoring::kDriverNameSize - 2) + "\xE2\x82";
    out.vehicle_name = filled(fit_text(t.vehicle_name, 40) + " \xFF\xC3\x28", scoring::kVehicleNameSize);
    out.vehicle_class = filled(t.vehicle_class, scoring::kVehicleClassSize);
    out.vehicle_file = filled(t.vehicle_file, scoring::kVehicleFileSize);
    out.model_name = filled(fit_text(t.model_name, 20) + "\x07", telemetry::kModelNameSize);
    return out;
}

std::uint8_t byte_of(bool value) {
    return value ? 1 : 0;
}

}  // namespace

void BlockImage::put_text(std::size_t offset, std::size_t size, std::string_view text) {
    std::fill_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), size, std::byte{0});
    std::memcpy(bytes_.data() + offset, text.data(), std::min(size, text.size()));
}

std::string fit_text(std::string_view text, std::size_t size) {
    if (text.size() <= size) return std::string(text);
    std::size_t cut = size;
    // Step back over continuation bytes (10xxxxxx) to the start of the cut character.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0U) == 0x80U) --cut;
    return std::string(text.substr(0, cut));
}

std::int32_t wrap_lap_number(std::int64_t laps) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(laps)));
}

PublishedTexts published_texts(const SimOptions& options, const std::vector<Entrant>& entrants) {
    PublishedTexts out;
    out.track = fit_text(options.texts.track, header::kTrackNameSize);
    if (options.hostile.texts)
        out.track = filled(fit_text(out.track, 48) + " \xFF\xC3\x28", header::kTrackNameSize);
    for (const auto& e : entrants) {
        EntryTexts t{
            fit_text(e.driver, scoring::kDriverNameSize),
            fit_text(e.vehicle_name, scoring::kVehicleNameSize),
            fit_text(e.vehicle_class, scoring::kVehicleClassSize),
            fit_text(e.vehicle_file, scoring::kVehicleFileSize),
            fit_text(e.model_name, telemetry::kModelNameSize),
        };
        out.entries.push_back(options.hostile.texts ? spoil(t) : t);
    }
    return out;
}

std::size_t BlockWriter::telemetry_index(std::size_t scoring_index, std::size_t cars) {
    return cars == 0 ? 0 : (scoring_index + 1) % cars;
}

BlockWriter::BlockWriter(const SimOptions& options, const SessionScript& script)
    : options_(&options),
      script_(&script),
      texts_(published_texts(options, script.entrants())),
      clock_origin_s_(session_clock_origin(options)) {}

void BlockWriter::write_scoring(BlockImage& image, const WorldState& scoring_moment) {
    write_header(image, scoring_moment);
    for (std::size_t i = 0; i < scoring_moment.cars.size(); ++i) {
        write_scoring_entry(image, i, scoring_moment.cars[i]);
    }
    if (options_->hostile.numbers) spoil_numbers(image, scoring_moment, true);
    image.put(header::kScoringEventWord, ++scoring_updates_);
}

void BlockWriter::write_telemetry(BlockImage& image, const WorldState& now) {
    const auto cars = now.cars.size();
    std::uint8_t active = static_cast<std::uint8_t>(std::min<std::size_t>(cars, telemetry::kMaxEntries));
    if (options_->hostile.counts && now.on_track) active = 255;
    image.put(telemetry::kActiveCount, active);
    for (std::size_t i = 0; i < cars; ++i)
        write_telemetry_entry(image, telemetry_index(i, cars), now.cars[i], now.time_s);
    if (options_->hostile.numbers) spoil_numbers(image, now, false);
    image.put(header::kTelemetryEventWord, ++telemetry_updates_);
}

void BlockWriter::write_header(BlockImage& image, const WorldState& world) const {
    const auto& o = *options_;
    const double clock = clock_origin_s_ + world.time_s;
    const double end = clock_origin_s_ + kSessionLengthS;
    image.put(header::kGameVersion, o.game_version);
    image.put_text(header::kTrackName, header::kTrackNameSize,
                   world.on_track ? std::string_view(texts_.track) : "");
    image.put(header::kSessionNumber, world.on_track ? o.session_number : 0);
    image.put(header::kCurrentSessionTime, world.on_track ? clock : 0.0);
    image.put(header::kSessionEndTime, world.on_track ? end : 0.0);
    image.put(header::kMaxLaps, std::int32_t{0});
    image.put(header::kLapLength, world.on_track ? o.track_length_m : 0.0);
    std::int32_t vehicles = static_cast<std::int32_t>(world.cars.size());
    if (o.hostile.counts && world.on_track) vehicles = std::numeric_limits<std::int32_t>::max();
    image.put(header::kVehicleCount, vehicles);
    image.put(header::kGamePhase, world.on_track ? kGreenFlagPhase : kBeforeSessionPhase);
    image.put(header::kYellowFlagState, std::int8_t{0});
    image.put(header::kInRealtime, byte_of(world.in_realtime));
    image.put(header::kRaining, o.rain);
    image.put(header::kAmbientTemp, 22.5 - 4.0 * o.rain);
    image.put(header::kTrackTemp, 31.0 - 12.0 * o.rain);
    image.put(header::kWindX, 2.4);
    image.put(header::kWindY, 0.0);
    image.put(header::kWindZ, -1.1);
    image.put(header::kAvgPathWetness, 0.8 * o.rain);
    image.put(header::kTimeRemaining, world.on_track ? static_cast<float>(std::max(0.0, end - clock)) : 0.0f);
    image.put(header::kWeatherIndex, o.weather);
}

void BlockWriter::write_scoring_entry(BlockImage& image, std::size_t index, const CarState& car) const {
    const std::size_t at = scoring::entry_offset(index);
    const auto& entrants = script_->entrants();
    const auto who =
        static_cast<std::size_t>(std::find_if(entrants.begin(), entrants.end(),
                                              [&](const Entrant& e) { return e.slot_id == car.slot_id; }) -
                                 entrants.begin());
    const Entrant& entrant = entrants[who];
    const EntryTexts& texts = texts_.entries[who];
    image.put(at + scoring::kSlotId, car.slot_id);
    image.put_text(at + scoring::kDriverName, scoring::kDriverNameSize, texts.driver);
    image.put_text(at + scoring::kVehicleName, scoring::kVehicleNameSize, texts.vehicle_name);
    image.put(at + scoring::kLapsCompleted, static_cast<std::int16_t>(wrap_lap_number(car.laps_completed)));
    image.put(at + scoring::kFinishStatus, std::int8_t{0});
    image.put(at + scoring::kLapDistance, car.lap_distance_m);
    image.put(at + scoring::kPathLateral, car.path_lateral_m);
    // The track's half-width on the side of the centre line where the car is.
    image.put(at + scoring::kTrackEdge,
              car.path_lateral_m >= 0.0 ? car.point.width_positive_m : car.point.width_negative_m);
    image.put(at + scoring::kBestLapTime, car.best_lap_s.value_or(-1.0));
    image.put(at + scoring::kLastLapTime, car.last_lap_s.value_or(-1.0));
    image.put(at + scoring::kIsPlayer, byte_of(entrant.is_player));
    image.put(at + scoring::kControl, entrant.control);
    image.put(at + scoring::kInPits, byte_of(car.in_pits()));
    image.put_text(at + scoring::kVehicleClass, scoring::kVehicleClassSize, texts.vehicle_class);
    image.put(at + scoring::kFlag, std::uint8_t{0});
    image.put(at + scoring::kCountLapFlag, static_cast<std::uint8_t>(car.counting));
    image.put_text(at + scoring::kVehicleFile, scoring::kVehicleFileSize, texts.vehicle_file);
    image.put(at + scoring::kDrsState, std::uint8_t{0});
}

void BlockWriter::write_telemetry_entry(BlockImage& image, std::size_t index, const CarState& car,
                                        double time_s) const {
    const std::size_t at = telemetry::entry_offset(index);
    const auto& entrants = script_->entrants();
    const auto who =
        static_cast<std::size_t>(std::find_if(entrants.begin(), entrants.end(),
                                              [&](const Entrant& e) { return e.slot_id == car.slot_id; }) -
                                 entrants.begin());
    const auto& spec = script_->car();
    const auto& c = car.controls;
    // LMU numbers the sectors 1, 2, 0; the sign bit marks the pit lane.
    const double third = car.lap_distance_m * 3.0 / options_->track_length_m;
    std::uint32_t sector = third < 1.0 ? 1U : third < 2.0 ? 2U : 0U;
    if (car.in_pits()) sector |= 0x8000'0000U;

    image.put(at + telemetry::kSlotId, car.slot_id);
    image.put(at + telemetry::kElapsedTime, clock_origin_s_ + time_s);
    image.put(at + telemetry::kLapNumber, wrap_lap_number(car.laps_completed));
    image.put(at + telemetry::kLapStartTime, clock_origin_s_ + car.lap_start_s);
    image.put(at + telemetry::kPosX, car.point.x_m);
    image.put(at + telemetry::kPosY, car.point.y_m);
    image.put(at + telemetry::kPosZ, car.point.z_m);
    // The car's own frame: z forward, x towards the inside of a positive-curvature corner.
    image.put(at + telemetry::kLocalVelX, 0.0);
    image.put(at + telemetry::kLocalVelY, 0.0);
    image.put(at + telemetry::kLocalVelZ, car.speed_mps);
    image.put(at + telemetry::kLocalAccelX, car.lat_accel_mps2);
    image.put(at + telemetry::kLocalAccelZ, car.long_accel_mps2);
    image.put(at + telemetry::kOrientationRow2X, std::sin(car.point.heading_rad));
    image.put(at + telemetry::kOrientationRow2Z, std::cos(car.point.heading_rad));
    image.put(at + telemetry::kGear, static_cast<std::int32_t>(c.gear));
    image.put(at + telemetry::kEngineRpm, c.rpm);
    image.put(at + telemetry::kUnfilteredThrottle, c.throttle);
    image.put(at + telemetry::kUnfilteredBrake, c.brake);
    image.put(at + telemetry::kUnfilteredSteering, c.steering);
    image.put(at + telemetry::kUnfilteredClutch, c.clutch);
    image.put(at + telemetry::kFuel, car.fuel_l);
    image.put(at + telemetry::kEngineMaxRpm, spec.rev_limit_rpm);
    image.put(at + telemetry::kCurrentSector, sector);
    image.put(at + telemetry::kSpeedLimiter, byte_of(car.phase == CarPhase::PitBox || car.limiter_on()));
    image.put(at + telemetry::kFuelCapacity, spec.fuel_capacity_l);
    image.put(at + telemetry::kLapInvalidated, byte_of(car.lap_invalid));
    image.put(at + telemetry::kAbsActive, byte_of(c.abs_active));
    image.put(at + telemetry::kTcActive, byte_of(c.tc_active));
    image.put(at + telemetry::kSpeedLimiterActive, byte_of(car.limiter_on()));
    image.put_text(at + telemetry::kModelName, telemetry::kModelNameSize, texts_.entries[who].model_name);
}

// NaN and infinities in weather, temperatures and inputs that a capture records but does not
// depend on; lap times, lap distance, speed and fuel stay sound so that a lap can still end.
void BlockWriter::spoil_numbers(BlockImage& image, const WorldState& world, bool scoring_part) const {
    if (!world.on_track) return;
    const auto player = script_->player_index();
    if (scoring_part) {
        image.put(header::kRaining, kNaN);
        image.put(header::kAmbientTemp, kInf);
        image.put(header::kTrackTemp, -kInf);
        image.put(header::kWindX, kNaN);
        image.put(header::kAvgPathWetness, kNaN);
        image.put(header::kTimeRemaining, std::numeric_limits<float>::quiet_NaN());
        image.put(header::kSessionEndTime, kInf);
        if (player < world.cars.size()) {
            const auto at = scoring::entry_offset(player);
            image.put(at + scoring::kPathLateral, kNaN);
            image.put(at + scoring::kTrackEdge, -kInf);
        }
        return;
    }
    if (player >= world.cars.size()) return;
    const auto at = telemetry::entry_offset(telemetry_index(player, world.cars.size()));
    image.put(at + telemetry::kUnfilteredClutch, kNaN);
    image.put(at + telemetry::kUnfilteredSteering, kInf);
    image.put(at + telemetry::kEngineMaxRpm, kNaN);
    image.put(at + telemetry::kLocalAccelX, -kInf);
    image.put(at + telemetry::kFuelCapacity, kInf);
    image.put(at + telemetry::kPosY, kNaN);
}

}  // namespace corvel::lmu_sim
