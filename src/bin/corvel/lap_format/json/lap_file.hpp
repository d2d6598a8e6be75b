// A captured lap as the tools read it: the raw lap telemetry file and the metadata
// document beside it (same stem, ".json"). A broken or missing document never hides the
// samples; callers decide whether it is fatal.
#pragma once

#include <expected>
#include <filesystem>
#include <optional>
#include <vector>

#include "lap_format/lap_file_reader.hpp"
#include "lap_format/lap_metadata.hpp"
#include "lap_format/read_error.hpp"

namespace corvel {

// The metadata document that belongs to a lap file: same stem, ".json".
[[nodiscard]] std::filesystem::path metadata_path_for(const std::filesystem::path& lap_path);

// Reads the metadata document; nullopt when no file exists at `path`.
[[nodiscard]] std::expected<std::optional<LapMetadata>, ReadError> read_lap_metadata(
    const std::filesystem::path& path);

// A lap file with its metadata. The telemetry must be sound; the metadata may be absent or
// broken without hiding the samples (callers decide whether that is fatal).
struct LapFile {
    std::filesystem::path path;
    std::vector<LapSample> samples;
    std::filesystem::path metadata_path;
    std::optional<LapMetadata> metadata;      // the document beside the lap, when readable
    std::optional<ReadError> metadata_error;  // why a document that exists could not be used
};

[[nodiscard]] std::expected<LapFile, ReadError> read_lap_file(const std::filesystem::path& path);

}  // namespace corvel
