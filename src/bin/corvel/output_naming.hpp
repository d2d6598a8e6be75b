// Names of the two output files (<stem>.bin and <stem>.json) and creation of the output
// directory. Stem: <prefix>-<track>-<car>-lap<N>-<unix seconds>, every text part slugified.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <string>
#include <string_view>

#include "lap_format/io_error.hpp"
#include "sim_bridge/session_info.hpp"
#include "sim_bridge/vehicle_info.hpp"

namespace corvel {

// Longest slug of the prefix, the track and the car in a stem. Three such parts plus the
// fixed texts, a 20-digit lap number and a 20-digit clock stay below 255 bytes with ".json",
// the file-name limit of common file systems.
inline constexpr std::size_t kMaxStemSlugBytes = 64;

struct OutputPaths {
    std::filesystem::path telemetry;  // <dir>/<stem>.bin
    std::filesystem::path metadata;   // <dir>/<stem>.json

    bool operator==(const OutputPaths&) const = default;
};

// Lower-case ASCII letters, digits and single inner hyphens; every other character
// (non-ASCII ones as well, per UTF-8 character) separates words.
[[nodiscard]] std::string slugify(std::string_view text);

// Whole seconds since 1970-01-01 UTC from the system clock; 0 before that.
[[nodiscard]] std::uint64_t unix_seconds_now();

// Reads the clock itself.
[[nodiscard]] OutputPaths build_output_paths(const std::filesystem::path& dir, std::string_view prefix,
                                             const sim_bridge::SessionInfo& session,
                                             const sim_bridge::VehicleInfo& vehicle, std::int64_t lap);
[[nodiscard]] OutputPaths build_output_paths(const std::filesystem::path& dir, std::string_view prefix,
                                             const sim_bridge::SessionInfo& session,
                                             const sim_bridge::VehicleInfo& vehicle, std::int64_t lap,
                                             std::uint64_t unix_seconds);

// Creates `dir` and every missing parent; an existing directory is fine.
[[nodiscard]] std::expected<void, IoError> create_output_directory(const std::filesystem::path& dir);

}  // namespace corvel
