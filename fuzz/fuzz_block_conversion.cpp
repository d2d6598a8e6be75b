// Fuzz target: LMU's data block, as hostile as the memory another program writes can be,
// through convert_telemetry, build_session_info, build_vehicle_info and on into the 41-byte
// lap sample. Whatever the bytes, nothing may crash, read outside the copy or hit undefined
// behaviour, and every text that comes out must be valid UTF-8.
//
// The block is 324,820 bytes; an input that long is copied as it is. Shorter inputs (what the
// fuzzer mostly makes) are read as a first byte that picks the form, then:
//   even: the bytes tiled across the whole block, so every entry sees similar data;
//   odd:  patches onto a block that already holds a player with a matching telemetry entry,
//         each patch a 3-byte offset, a length byte and that many bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "adapters/lmu/block_conversion.hpp"
#include "adapters/lmu/vehicle_name_map.hpp"
#include "corvel/lap_sample_from_snapshot.hpp"
#include "fuzz_support.hpp"
#include "sim_bridge/lmu/block_layout.hpp"

namespace {

namespace lmu = sim_bridge::lmu;
using corvel::fuzz::is_valid_utf8;
using corvel::fuzz::require;

using Block = std::array<std::byte, lmu::kBlockSize>;

template <class T>
void put(Block& block, std::size_t offset, T value) {
    std::memcpy(block.data() + offset, &value, sizeof(T));
}

// One player (slot 7) in scoring entry 0 and telemetry entry 0, a track and a lap length:
// the shape a live session has, so patches start from data the conversions fully walk.
void fill_plausible(Block& block) {
    block.fill(std::byte{0});
    put(block, lmu::header::kVehicleCount, std::int32_t{1});
    put(block, lmu::telemetry::kActiveCount, std::uint8_t{1});
    put(block, lmu::header::kLapLength, 5000.0);
    const char track[] = "Example Ring (GP)";
    std::memcpy(block.data() + lmu::header::kTrackName, track, sizeof track - 1);
    const std::size_t s = lmu::scoring::entry_offset(0);
    put(block, s + lmu::scoring::kSlotId, std::uint32_t{7});
    put(block, s + lmu::scoring::kIsPlayer, std::uint8_t{1});
    put(block, s + lmu::scoring::kCountLapFlag, std::uint8_t{1});
    put(block, s + lmu::scoring::kLapDistance, 1200.0);
    const std::size_t t = lmu::telemetry::entry_offset(0);
    put(block, t + lmu::telemetry::kSlotId, std::uint32_t{7});
    put(block, t + lmu::telemetry::kLapNumber, std::int32_t{3});
    put(block, t + lmu::telemetry::kFuel, 40.0);
}

void apply_patches(Block& block, const std::uint8_t* data, std::size_t size) {
    std::size_t i = 0;
    while (i + 4 <= size) {
        const std::size_t offset =
            (static_cast<std::size_t>(data[i]) | static_cast<std::size_t>(data[i + 1]) << 8 |
             static_cast<std::size_t>(data[i + 2]) << 16) %
            lmu::kBlockSize;
        const std::size_t wanted = data[i + 3];
        i += 4;
        const std::size_t length = std::min({wanted, size - i, lmu::kBlockSize - offset});
        std::memcpy(block.data() + offset, data + i, length);
        i += length;
    }
}

void build_block(Block& block, const std::uint8_t* data, std::size_t size) {
    if (size >= lmu::kBlockSize) {
        std::memcpy(block.data(), data, lmu::kBlockSize);
        return;
    }
    if (size == 0) {
        block.fill(std::byte{0});
        return;
    }
    if ((data[0] & 1) == 0) {
        if (size == 1) {
            block.fill(std::byte{data[0]});
            return;
        }
        // Copy the pattern once, then keep doubling what is filled.
        const std::size_t pattern = std::min(size - 1, lmu::kBlockSize);
        std::memcpy(block.data(), data + 1, pattern);
        for (std::size_t filled = pattern; filled < lmu::kBlockSize;) {
            const std::size_t n = std::min(filled, lmu::kBlockSize - filled);
            std::memcpy(block.data() + filled, block.data(), n);
            filled += n;
        }
        return;
    }
    fill_plausible(block);
    apply_patches(block, data + 1, size - 1);
}

void check_text(const std::string& text) {
    require(is_valid_utf8(text), "converted text is not UTF-8");
}
void check_text(const std::optional<std::string>& text) {
    if (text) check_text(*text);
}

void check_vehicle(const sim_bridge::VehicleInfo& v) {
    check_text(v.car_name);
    require(!v.car_name.empty(), "car_name is never empty");
    check_text(v.car_id);
    check_text(v.car_class);
    check_text(v.driver_name);
    check_text(v.vehicle_name);
    check_text(v.vehicle_file);
    check_text(v.model_name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto block = std::make_unique<Block>();
    static const lmu::VehicleNameMap names;
    build_block(*block, data, size);
    const lmu::BlockView view(*block);

    const sim_bridge::TelemetrySnapshot snapshot = lmu::convert_telemetry(view);
    const sim_bridge::SessionInfo session = lmu::build_session_info(view);
    check_text(session.track_name);
    check_text(session.track_layout);
    check_text(session.track_full_name);
    check_text(session.track_raw_name);
    check_text(session.game_version);
    check_text(session.weather_text);
    require(session.vehicle_count <= lmu::scoring::kMaxEntries, "vehicle_count is clamped");

    if (const auto slot = lmu::player_slot_id(view)) {
        const sim_bridge::VehicleInfo player = lmu::build_vehicle_info(view, *slot, names);
        check_vehicle(player);
        require(player.slot_id == *slot, "the player's description carries its slot id");
    }
    // A slot id that the block may or may not carry: the last four input bytes.
    std::uint32_t any_slot = 0;
    if (size >= 4) std::memcpy(&any_slot, data + size - 4, 4);
    const sim_bridge::VehicleInfo other = lmu::build_vehicle_info(view, any_slot, names);
    if (other.slot_id_text.empty()) {
        require(other == sim_bridge::VehicleInfo{}, "an unknown slot gives the empty description");
    } else {
        check_vehicle(other);
    }

    // What the recorder would store: hostile floats must clamp, never overflow a cast.
    for (const std::int32_t lap : {snapshot.lap_number, 0, -1, 65'536, 2'147'483'647}) {
        const corvel::LapSample sample = corvel::make_lap_sample(snapshot, lap);
        corvel::EncodedLapSample encoded{};
        corvel::encode_lap_sample(sample, encoded);
        corvel::EncodedLapSample again{};
        corvel::encode_lap_sample(corvel::decode_lap_sample(encoded), again);
        require(encoded == again, "a lap sample reads back to the same bytes");
    }
    return 0;
}
