// Reading the raw lap telemetry file (16-byte header + one zstd frame of 41-byte samples).
// Every malformed input gives a ReadError naming the fault; sizes are checked before
// anything is allocated. A lap together with its metadata document: json/lap_file.hpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <span>
#include <vector>

#include "lap_format/lap_sample.hpp"
#include "lap_format/read_error.hpp"

namespace corvel {

// The largest sample count this reader accepts (about 18 hours at the default 16 ms poll),
// so that a header cannot make it allocate more than about 172 MB.
inline constexpr std::uint32_t kMaxReadableSamples = 1U << 22;

// 8 + 41 * count: the exact length of the decompressed sample block.
[[nodiscard]] constexpr std::uint64_t sample_block_size(std::uint64_t count) {
    return 8 + kLapSampleSize * count;
}

// Checks the 16-byte header (magic, fixed bytes, reserved zeros, count limit); returns N.
[[nodiscard]] std::expected<std::uint32_t, ReadError> decode_lap_file_header(
    std::span<const std::byte> file_bytes);

// Reads only the 16-byte header of the lap file at `path` and checks it; returns N.
[[nodiscard]] std::expected<std::uint32_t, ReadError> read_lap_file_header(const std::filesystem::path& path);

// Decodes a whole lap file held in memory.
[[nodiscard]] std::expected<std::vector<LapSample>, ReadError> decode_lap_telemetry(
    std::span<const std::byte> file_bytes);

// Reads and decodes the lap file at `path`; a file larger than its header's count can
// explain is refused before it is read.
[[nodiscard]] std::expected<std::vector<LapSample>, ReadError> read_lap_telemetry(
    const std::filesystem::path& path);

}  // namespace corvel
