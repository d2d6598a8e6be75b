// LapMetadata: the JSON document written beside each lap file, describing track, car,
// driver, session, lap time, fuel and how the lap's recording began.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <ratio>
#include <string>
#include <string_view>


namespace corvel {

// UTC wall-clock time at 100-nanosecond resolution (the Windows clock's tick).
using UtcTime = std::chrono::time_point<std::chrono::system_clock,
                                        std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>>;

// The system clock now, truncated to 100 ns.
[[nodiscard]] UtcTime utc_now();

// "2026-01-15T18:04:12.345678900+00:00": a fraction only when not zero, with 3, 6 or 9
// digits (whole milliseconds, whole microseconds, otherwise).
[[nodiscard]] std::string format_created_at(UtcTime time);

inline constexpr std::string_view kMetadataNoteRawOnly =
    "Raw VKTF telemetry only; no DB/session-store rows written";
inline constexpr std::string_view kMetadataNoteScoringSync =
    "Captured with deferred LMU scoring sync so lap is start-to-finish only";

// Members in the order of the document's keys.
struct LapMetadata {
    std::string simulator = "lmu";
    std::string track_name;
    std::optional<std::string> track_id;
    std::optional<std::string> track_config;
    float track_length_m = 0.0f;
    std::string car_name;
    std::optional<std::string> car_id;
    std::optional<std::string> car_class;
    std::string driver_name;
    std::string session_type;
    std::optional<std::string> session_id;
    std::int64_t lap_number = 0;  // the capture's lap number, as in the file name
    double lap_time_seconds = 0.0;
    std::uint64_t sample_count = 0;
    std::string file_name;
    UtcTime created_at{};
    float start_track_pct = 0.0f;
    bool started_mid_lap = false;
    std::optional<double> fuel_at_start_liters;
    double fuel_at_end_liters = 0.0;
    std::optional<double> fuel_used_liters;
    std::int32_t incident_delta = 0;
    std::array<std::string, 2> notes{std::string(kMetadataNoteRawOnly),
                                     std::string(kMetadataNoteScoringSync)};

    bool operator==(const LapMetadata&) const = default;
};

// The last component of `path` as UTF-8, or empty when it is not valid Unicode.
[[nodiscard]] std::string file_name_text(const std::filesystem::path& path);

// The exact document: pretty-printed, two-space indent, no trailing newline.
[[nodiscard]] std::string format_lap_metadata(const LapMetadata& metadata);

// Creates or truncates `path` and writes the document. Errors: "Failed to serialize
// metadata: ..." or "Failed to write metadata: <I/O error text>".
[[nodiscard]] std::expected<void, std::string> write_lap_metadata(const std::filesystem::path& path,
                                                                  const LapMetadata& metadata);

}  // namespace corvel
