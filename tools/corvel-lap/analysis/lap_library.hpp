// A folder of captured laps as a list: one entry per lap file with what its header and
// metadata say, sorted by track, car and lap time, with the best lap of each track and car
// marked. Samples are read only where the metadata cannot answer, so large folders list fast.
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "lap_format/lap_metadata.hpp"
#include "lap_format/lap_sample.hpp"

namespace corvel {

struct LapListing {
    std::filesystem::path path;
    std::filesystem::path relative_path;   // from the listed folder
    std::optional<std::uint32_t> samples;  // the header's count; nullopt when the header is unreadable
    std::optional<LapMetadata> metadata;   // when present and readable
    std::optional<double> lap_time_s;      // the metadata's, else from the samples
    bool lap_time_from_samples = false;
    bool best = false;
    std::vector<std::string> notes;  // "began mid-lap", "invalidated", "no metadata", ...
};

struct LapLibrary {
    std::vector<LapListing> laps;
    std::vector<std::string> warnings;  // folders that could not be read
};

struct LapLibraryOptions {
    bool recursive = false;
};

// Every ".bin" file in `folder` (and below it when recursive), each one listed even when it
// cannot be read. The error is for a folder that does not exist or cannot be read at all.
[[nodiscard]] std::expected<LapLibrary, std::string> list_laps(const std::filesystem::path& folder,
                                                               LapLibraryOptions options);

// The ".bin" files of `folder` (and below it when recursive) as `list_laps` finds them, in no
// particular order, and the folders below it that could not be read. The error is for a
// folder that does not exist or cannot be read at all.
struct UnreadableFolder {
    std::filesystem::path folder;
    std::string error;  // the system's text
};
struct LapFiles {
    std::vector<std::filesystem::path> paths;
    std::vector<UnreadableFolder> unreadable_folders;
};
[[nodiscard]] std::expected<LapFiles, std::string> find_lap_files(const std::filesystem::path& folder,
                                                                  LapLibraryOptions options);

// The notes that only a lap's samples give: "pit lane" and "invalidated", in that order. An
// invalid flag on the first polls, while LMU's scoring still describes the lap before, does
// not count.
[[nodiscard]] std::vector<std::string> sample_flag_notes(std::span<const LapSample> samples);

// The lap's time as its samples give it, and how it was found (the listing's note).
struct SampleLapTime {
    double seconds = 0.0;
    std::string note;
};

// The line-anchored timeline's line-to-line time when the line can be placed (`metadata`, when
// there is one, gives the track length; its lap time is not used), else the fallback timeline's
// time from the first sample to the last. Nothing when the samples give no time at all.
[[nodiscard]] std::optional<SampleLapTime> lap_time_from_samples(std::span<const LapSample> samples,
                                                                 const std::optional<LapMetadata>& metadata);

// The grouping key of the best-lap marker and the sort, as shown to the user.
[[nodiscard]] std::string listing_track(const LapListing& lap);
[[nodiscard]] std::string listing_car(const LapListing& lap);

}  // namespace corvel
