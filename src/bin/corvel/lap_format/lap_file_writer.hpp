// The raw lap telemetry file: a 16-byte header ("VKTF", 05 01 3C 00, u32 count, 4 zero
// bytes) followed by one zstd frame (level 3, no dictionary) holding the sample block:
// u64 count, then the 41-byte samples in recording order. All little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "lap_format/app_error.hpp"
#include "lap_format/byte_sink.hpp"
#include "lap_format/lap_sample.hpp"

namespace corvel {

inline constexpr std::size_t kLapFileHeaderSize = 16;
inline constexpr std::array<std::byte, 4> kLapFileMagic{std::byte{'V'}, std::byte{'K'}, std::byte{'T'},
                                                        std::byte{'F'}};
inline constexpr std::uint8_t kLapFileFormatVersion = 5;   // header byte 4
inline constexpr std::uint8_t kLapFileSimulatorLmu = 1;    // header byte 5, SimulatorKind::LMU
inline constexpr std::uint8_t kLapFileNominalRateHz = 60;  // header byte 6, whatever --poll-ms says
inline constexpr int kLapCompressionLevel = 3;

using LapFileHeader = std::array<std::byte, kLapFileHeaderSize>;

// Fails (InvalidData "Failed to serialize header: ...") only when the count does not fit
// the header's 32 bits.
[[nodiscard]] std::expected<LapFileHeader, AppError> encode_lap_file_header(std::size_t sample_count);
// The uncompressed sample block, exactly 8 + 41 * N bytes.
[[nodiscard]] std::vector<std::byte> encode_sample_block(std::span<const LapSample> samples);

// One zstd frame of `block` at level 3 without a dictionary, or zstd's error name.
using CompressFn = std::expected<std::vector<std::byte>, std::string> (*)(std::span<const std::byte> block);
[[nodiscard]] std::expected<std::vector<std::byte>, std::string> compress_sample_block(
    std::span<const std::byte> block);

// Creates or truncates `path` and writes the lap file. The file is left in place on
// failure (empty after an encoding or compression failure, a prefix after a write failure).
[[nodiscard]] std::expected<void, AppError> write_lap_telemetry(const std::filesystem::path& path,
                                                                std::span<const LapSample> samples);

// The same, into an already opened sink, with the compression step replaceable (tests).
[[nodiscard]] std::expected<void, AppError> write_lap_telemetry_to(
    ByteSink& sink, std::span<const LapSample> samples, CompressFn compress = compress_sample_block);

}  // namespace corvel
