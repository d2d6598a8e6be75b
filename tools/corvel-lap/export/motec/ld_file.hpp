// The MoTeC i2 log file (.ld): a fixed header, event/venue/vehicle blocks and one record plus
// one data array per channel, all little-endian. Layout and field values: docs/motec-ld.md.
// This unit knows nothing of laps: it takes plain texts and channels of numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>
#include <vector>

namespace corvel::motec {

enum class LdSampleType : std::uint8_t { Float32, Int16 };

struct LdChannel {
    std::string name;        // at most 31 bytes are kept
    std::string short_name;  // at most 7
    std::string unit;        // at most 11
    LdSampleType type = LdSampleType::Float32;
    // Physical values. Int16 channels store them rounded to the nearest integer and
    // saturated; non-finite values are stored as 0 in both types.
    std::vector<double> values;
};

// The session texts. UTF-8 in; written as Windows-1252 (see docs/motec-ld.md).
struct LdSession {
    std::string date;  // "DD/MM/YYYY"
    std::string time;  // "HH:MM:SS"
    std::string driver;
    std::string vehicle;
    std::string venue;
    std::string short_comment;  // at most 63 bytes
    std::string event;
    std::string session;
    std::string long_comment;  // at most 1023 bytes
    std::string vehicle_id;
    std::string vehicle_type;
    std::string vehicle_comment;
};

struct LdLog {
    LdSession session;
    std::uint16_t sample_rate_hz = 0;  // shared by every channel
    std::vector<LdChannel> channels;
};

// Field positions shared by the writer and its docs; readers must follow the pointers.
inline constexpr std::size_t kLdHeaderSize = 0x6E2;
inline constexpr std::size_t kLdEventSize = 0x484;
inline constexpr std::size_t kLdVenueSize = 0x44E;
inline constexpr std::size_t kLdVehicleSize = 0x104;
inline constexpr std::size_t kLdChannelRecordSize = 0x7C;

// The whole file in memory. Fails when there is no channel, the rate is 0, or the file
// would not fit the format's 32-bit offsets.
[[nodiscard]] std::expected<std::vector<std::byte>, std::string> encode_ld(const LdLog& log);

// UTF-8 to Windows-1252 as the .ld stores texts: ASCII and U+00A0..U+00FF kept, everything
// else (control characters and invalid bytes included) becomes '?'.
[[nodiscard]] std::string to_windows_1252(const std::string& utf8);

}  // namespace corvel::motec
