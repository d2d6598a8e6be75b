// Typed reads from the block and its entries. The offset is a template argument, so every read
// is checked against the size of the span it reads from when the code compiles; values are
// copied byte-wise, since the simulator's fields are packed and unaligned.
#pragma once

#include <bit>
#include <cstddef>
#include <cstring>
#include <limits>
#include <span>
#include <string>
#include <type_traits>

#include "adapters/lmu/fixed_text.hpp"
#include "sim_bridge/lmu/block_layout.hpp"

namespace sim_bridge::lmu {

// The simulator writes little-endian values and corvel only runs on little-endian hosts
// (x86-64 Windows and Linux); a byte copy is then the whole decoding.
static_assert(std::endian::native == std::endian::little, "the LMU block is read on little-endian hosts");
// f64 -> f32 conversions rely on IEEE-754 rounding (out-of-range values become infinities).
static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559);

using ScoringEntry = std::span<const std::byte, scoring::kEntrySize>;
using TelemetryEntry = std::span<const std::byte, telemetry::kEntrySize>;

template <typename T, std::size_t Offset, std::size_t N>
[[nodiscard]] inline T read_value(std::span<const std::byte, N> bytes) {
    static_assert(std::is_trivially_copyable_v<T>);
    static_assert(Offset + sizeof(T) <= N, "field lies outside the span it is read from");
    T value;
    std::memcpy(&value, bytes.data() + Offset, sizeof(T));
    return value;
}

template <std::size_t Offset, std::size_t Size, std::size_t N>
[[nodiscard]] inline std::string read_text(std::span<const std::byte, N> bytes) {
    static_assert(Offset + Size <= N, "text field lies outside the span it is read from");
    return read_fixed_text(bytes.template subspan<Offset, Size>());
}

// A double rounded to single precision.
[[nodiscard]] constexpr float to_f32(double value) {
    return static_cast<float>(value);
}

}  // namespace sim_bridge::lmu
