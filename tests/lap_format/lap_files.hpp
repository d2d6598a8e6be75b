// Hand-made lap files for the corvel-lap tests: any header, any block, compressed with or
// without a stated size; `varied_samples` to fill them.
#pragma once

#include <zstd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "lap_format/lap_sample.hpp"
#include "support/test_files.hpp"

namespace corvel::testing {

inline void append_le(Bytes& out, std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i) {
        out.push_back(static_cast<std::byte>((value >> (8 * i)) & 0xFF));
    }
}

// The 16-byte header: "VKTF", 05 01 3C 00, count, four zero bytes.
inline Bytes lap_header(std::uint32_t count) {
    Bytes header{std::byte{'V'}, std::byte{'K'}, std::byte{'T'}, std::byte{'F'},
                 std::byte{5},   std::byte{1},   std::byte{60},  std::byte{0}};
    append_le(header, count, 4);
    append_le(header, 0, 4);
    return header;
}

// The uncompressed block: `block_count` as u64, then the encoded samples.
inline Bytes sample_block(std::uint64_t block_count, const std::vector<LapSample>& samples) {
    Bytes block;
    append_le(block, block_count, 8);
    for (const LapSample& sample : samples) {
        std::array<std::byte, kLapSampleSize> encoded{};
        encode_lap_sample(sample, encoded);
        block.insert(block.end(), encoded.begin(), encoded.end());
    }
    return block;
}

// One zstd frame of `content`; without `state_size` the frame leaves its content size out.
inline Bytes zstd_frame(const Bytes& content, bool state_size = true) {
    ZSTD_CCtx* ctx = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(ctx, ZSTD_c_compressionLevel, 3);
    ZSTD_CCtx_setParameter(ctx, ZSTD_c_contentSizeFlag, state_size ? 1 : 0);
    Bytes frame(ZSTD_compressBound(content.size()));
    const std::size_t size = ZSTD_compress2(ctx, frame.data(), frame.size(), content.data(), content.size());
    ZSTD_freeCCtx(ctx);
    frame.resize(ZSTD_isError(size) ? 0 : size);
    return frame;
}

inline Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// `count` samples with every field varied, the lap number fixed.
inline std::vector<LapSample> varied_samples(std::size_t count, std::uint16_t lap = 3) {
    std::vector<LapSample> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        LapSample& s = samples[i];
        const auto k = static_cast<int>(i);
        s.session_time = 100.0f + static_cast<float>(i) * 0.016f;
        s.lap_fraction = static_cast<float>(i) / static_cast<float>(count);
        s.lap = lap;
        s.aux_counter = static_cast<std::uint32_t>(i * 7);
        s.throttle = static_cast<std::uint8_t>(k * 13 % 256);
        s.brake = static_cast<std::uint8_t>(255 - k * 13 % 256);
        s.clutch = static_cast<std::uint8_t>(k % 2 == 0 ? 0 : 255);
        s.steering = static_cast<std::int8_t>(k % 255 - 127);
        s.gear = static_cast<std::uint8_t>(k % 12 == 11 ? 255 : k % 11);
        s.speed_kmh = static_cast<std::uint16_t>(k * 3 % 656);
        s.engine_rpm = static_cast<std::uint16_t>(4000 + k * 10);
        s.fuel_dl = static_cast<std::uint16_t>(456 - k % 400);
        s.pos_x = 10.0f * static_cast<float>(k % 50);
        s.pos_z = -5.0f * static_cast<float>(k % 30);
        s.lateral_g = static_cast<std::int8_t>(k % 255 - 127);
        s.longitudinal_g = static_cast<std::int8_t>(127 - k % 255);
        s.constant_30 = 30;
        s.flags = static_cast<std::uint8_t>(((k % 5 == 0) ? sample_flag::kInPitLane : sample_flag::kOnTrack) |
                                            (k % 3 == 0 ? sample_flag::kYellow : 0) |
                                            (k % 7 == 0 ? sample_flag::kLapInvalid : 0));
        s.path_lateral_cm = static_cast<std::int16_t>(k * 100 - 32700 % 65000);
        s.track_edge_cm = static_cast<std::uint16_t>(k * 50 % 65501);
    }
    return samples;
}

}  // namespace corvel::testing
