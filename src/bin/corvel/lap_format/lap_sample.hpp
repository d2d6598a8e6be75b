// LapSample: one recorded moment of a lap, 20 fields, 41 bytes on disk (little-endian,
// declaration order, no padding). The capture tool builds it from a snapshot
// (make_lap_sample); readers decode it. Units and scales: sample_units.hpp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace corvel {

// Bits of LapSample::flags. Exactly one of the two pit-lane bits is set in every record.
namespace sample_flag {
inline constexpr std::uint8_t kOnTrack = 1;      // not in the pit lane
inline constexpr std::uint8_t kInPitLane = 2;
inline constexpr std::uint8_t kYellow = 4;
inline constexpr std::uint8_t kAbs = 8;
inline constexpr std::uint8_t kTc = 16;
inline constexpr std::uint8_t kDrs = 32;
inline constexpr std::uint8_t kLimiter = 64;
inline constexpr std::uint8_t kLapInvalid = 128;
}  // namespace sample_flag

struct LapSample {
    float session_time = 0.0f;        // s
    float lap_fraction = 0.0f;        // 0..1 of the lap
    std::uint16_t lap = 0;            // the recorder's lap number, low 16 bits
    std::uint32_t aux_counter = 0;
    std::uint8_t throttle = 0;        // 0..255 = 0..1
    std::uint8_t brake = 0;           // 0..255 = 0..1
    std::uint8_t clutch = 0;          // 0..255 = 0..1
    std::int8_t steering = 0;         // -127..127 = -1..1
    std::uint8_t gear = 0;            // 255 = reverse, 0 neutral, up to 10
    std::uint16_t speed_kmh = 0;      // 0..655
    std::uint16_t engine_rpm = 0;
    std::uint16_t fuel_dl = 0;        // tenths of a litre
    float pos_x = 0.0f;               // m
    float pos_z = 0.0f;               // m
    std::int8_t lateral_g = 0;        // tenths of g
    std::int8_t longitudinal_g = 0;   // tenths of g
    std::uint8_t constant_30 = 30;
    std::uint8_t flags = 0;           // sample_flag bits
    std::int16_t path_lateral_cm = 0; // -32700..32700
    std::uint16_t track_edge_cm = 0;  // 0..65500

    bool operator==(const LapSample&) const = default;
};

inline constexpr std::size_t kLapSampleSize = 41;
using EncodedLapSample = std::array<std::byte, kLapSampleSize>;

// The 41-byte on-disk form, and back.
void encode_lap_sample(const LapSample& sample, std::span<std::byte, kLapSampleSize> out);
[[nodiscard]] LapSample decode_lap_sample(std::span<const std::byte, kLapSampleSize> in);

}  // namespace corvel
