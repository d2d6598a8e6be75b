// Helpers of the corvel-lap tests: a temporary directory, whole-file reads and writes, hand-
// made lap files (any header, any block, compressed with or without a stated size).
#pragma once

#include <zstd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "corvel/lap_sample.hpp"

namespace corvel::testing {

using Bytes = std::vector<std::byte>;

class TempDir {
  public:
    TempDir() {
        static std::atomic<int> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = std::filesystem::temp_directory_path() /
                ("corvel-lap-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }
    [[nodiscard]] std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

inline void write_bytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void write_text(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline std::string read_text(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline Bytes read_bytes(const std::filesystem::path& path) {
    const std::string text = read_text(path);
    Bytes bytes(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        bytes[i] = static_cast<std::byte>(text[i]);
    }
    return bytes;
}

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
