// Test-side builder of LMU data blocks: a zeroed block with values poked at the layout's offsets.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <vector>

#include "sim_bridge/lmu/block_layout.hpp"

namespace sim_bridge::lmu::testing {

class BlockBuilder {
  public:
    BlockBuilder() : bytes_(kBlockSize) {}

    template <typename T>
    BlockBuilder& put(std::size_t offset, T value) {
        static_assert(std::is_arithmetic_v<T>);
        std::memcpy(bytes_.data() + offset, &value, sizeof(T));
        return *this;
    }

    // Copies at most `size` bytes; the rest of the field stays NUL.
    BlockBuilder& put_text(std::size_t offset, std::size_t size, std::string_view text) {
        std::fill_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), size, std::byte{0});
        std::copy_n(reinterpret_cast<const std::byte*>(text.data()), std::min(size, text.size()),
                    bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
        return *this;
    }

    template <typename T>
    BlockBuilder& scoring(std::size_t index, std::size_t field, T value) {
        return put(scoring::entry_offset(index) + field, value);
    }
    template <typename T>
    BlockBuilder& telemetry(std::size_t index, std::size_t field, T value) {
        return put(telemetry::entry_offset(index) + field, value);
    }

    BlockBuilder& vehicle_count(std::int32_t count) { return put(header::kVehicleCount, count); }
    BlockBuilder& telemetry_count(std::uint8_t count) { return put(telemetry::kActiveCount, count); }

    // A car with `slot` in scoring entry `scoring_index` and telemetry entry `telemetry_index`;
    // its lap counts (the lap-counting byte is set) unless a test clears it.
    BlockBuilder& car(std::size_t scoring_index, std::size_t telemetry_index, std::uint32_t slot,
                      bool player = false) {
        scoring(scoring_index, scoring::kSlotId, slot);
        scoring(scoring_index, scoring::kIsPlayer, static_cast<std::uint8_t>(player ? 1 : 0));
        scoring(scoring_index, scoring::kCountLapFlag, std::uint8_t{1});
        return telemetry(telemetry_index, telemetry::kSlotId, slot);
    }

    // A session with one car, the player's, in entry 0 of both lists.
    static BlockBuilder with_player(std::uint32_t slot = 7) {
        BlockBuilder b;
        b.vehicle_count(1).telemetry_count(1).car(0, 0, slot, true);
        return b;
    }

    [[nodiscard]] BlockView view() const { return BlockView(bytes_.data(), kBlockSize); }

  private:
    std::vector<std::byte> bytes_;
};

}  // namespace sim_bridge::lmu::testing
