// A lap file together with the metadata document beside it.
#include "lap_format/json/lap_file.hpp"

#include <fstream>
#include <string>
#include <system_error>

#include "lap_format/json/lap_metadata_reader.hpp"
#include "lap_format/utf8_path.hpp"

namespace corvel {
namespace {

ReadError error(ReadErrorKind kind, std::string message) {
    return ReadError{kind, std::move(message)};
}

}  // namespace

std::filesystem::path metadata_path_for(const std::filesystem::path& lap_path) {
    std::filesystem::path path = lap_path;
    path.replace_extension(".json");
    return path;
}

std::expected<std::optional<LapMetadata>, ReadError> read_lap_metadata(const std::filesystem::path& path) {
    const std::string name = path_to_utf8(path.filename());
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        if (ec) {
            return std::unexpected(error(ReadErrorKind::Io, "metadata " + name + ": " + ec.message()));
        }
        return std::optional<LapMetadata>{};
    }
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) {
        return std::unexpected(error(ReadErrorKind::Io, "metadata " + name + ": " + ec.message()));
    }
    // The document is well under a kilobyte; anything huge is not ours.
    constexpr std::uintmax_t kMaxMetadataSize = 1U << 20;
    if (size > kMaxMetadataSize) {
        return std::unexpected(
            error(ReadErrorKind::MetadataInvalid, "metadata " + name + ": " + std::to_string(size) +
                                                      " bytes, too large for a lap metadata document"));
    }
    std::ifstream in(path, std::ios::binary);
    std::string text(static_cast<std::size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (!in) {
        return std::unexpected(error(ReadErrorKind::Io, "metadata " + name + ": cannot read the file"));
    }
    auto metadata = parse_lap_metadata(text);
    if (!metadata) {
        return std::unexpected(
            error(ReadErrorKind::MetadataInvalid, "metadata " + name + ": " + metadata.error()));
    }
    return std::optional<LapMetadata>(std::move(*metadata));
}

std::expected<LapFile, ReadError> read_lap_file(const std::filesystem::path& path) {
    auto samples = read_lap_telemetry(path);
    if (!samples) {
        return std::unexpected(samples.error());
    }
    LapFile lap{.path = path,
                .samples = std::move(*samples),
                .metadata_path = metadata_path_for(path),
                .metadata = std::nullopt,
                .metadata_error = std::nullopt};
    auto metadata = read_lap_metadata(lap.metadata_path);
    if (metadata) {
        lap.metadata = std::move(*metadata);
    } else {
        lap.metadata_error = std::move(metadata.error());
    }
    return lap;
}

}  // namespace corvel
