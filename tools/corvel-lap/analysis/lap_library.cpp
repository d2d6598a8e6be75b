// Listing a folder of laps. The header and the metadata answer almost everything; the samples
// are decoded only for a lap without a usable metadata lap time, and for the laps that could
// be the best of their track and car, whose pit-lane and invalid flags live only in the samples.
#include "analysis/lap_library.hpp"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <system_error>
#include <tuple>

#include "lap_format/lap_file_reader.hpp"
#include "lap_format/json/lap_file.hpp"
#include "presentation/lap_text.hpp"
#include "analysis/lap_analysis.hpp"
#include "presentation/number_text.hpp"
#include "analysis/lap_timeline.hpp"
#include "lap_format/utf8_path.hpp"

namespace corvel {
namespace {

bool is_lap_file(const std::filesystem::path& path) {
    std::string extension = path_to_utf8(path.extension());
    std::ranges::transform(extension, extension.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return extension == ".bin";
}

// The lap files of one folder; the sub-folders go to `folders` when recursing. Symbolic
// links to folders are not followed, so a link loop cannot make the listing endless.
void scan_folder(const std::filesystem::path& folder, bool recursive, std::vector<std::filesystem::path>& folders,
                 LapFiles& files) {
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    const std::filesystem::directory_iterator end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::filesystem::directory_entry& entry = *it;
        std::error_code type_ec;
        if (recursive && entry.is_directory(type_ec) && !entry.is_symlink(type_ec)) {
            folders.push_back(entry.path());
            continue;
        }
        if (is_lap_file(entry.path()) && entry.is_regular_file(type_ec)) {
            files.paths.push_back(entry.path());
        }
    }
    if (ec) {
        files.unreadable_folders.push_back({folder, ec.message()});
    }
}

bool has_flag(std::span<const LapSample> samples, std::uint8_t flag) {
    return std::ranges::any_of(samples, [flag](const LapSample& s) { return (s.flags & flag) != 0; });
}

// The invalid flag comes with LMU's scoring, which on a lap's first polls can still describe
// the end of the lap before (lap fraction just below 1, lap_progress below 0): a flag there
// belongs to that lap, and would otherwise mark the clean lap after an invalidated one.
bool invalidated(std::span<const LapSample> samples) {
    const std::vector<double> progress = lap_progress(samples);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if ((samples[i].flags & sample_flag::kLapInvalid) != 0 && !(progress[i] < 0.0)) return true;
    }
    return false;
}

void note_flags(LapListing& lap, std::span<const LapSample> samples) {
    std::ranges::move(sample_flag_notes(samples), std::back_inserter(lap.notes));
}

// Reads the samples and notes what only they tell; false when they cannot be read.
bool read_samples_into(LapListing& lap, std::vector<LapSample>& samples) {
    auto read = read_lap_telemetry(lap.path);
    if (!read) {
        lap.notes.push_back("unreadable: " + read.error().message);
        return false;
    }
    samples = std::move(*read);
    note_flags(lap, samples);
    return true;
}

void describe(LapListing& lap) {
    auto metadata = read_lap_metadata(metadata_path_for(lap.path));
    if (!metadata) {
        lap.notes.push_back("metadata broken: " + metadata.error().message);
    } else if (!*metadata) {
        lap.notes.emplace_back("no metadata");
    } else {
        lap.metadata = std::move(**metadata);
    }

    auto count = read_lap_file_header(lap.path);
    if (!count) {
        lap.notes.push_back("unreadable: " + count.error().message);
        return;
    }
    lap.samples = *count;
    if (lap.metadata) {
        if (lap.metadata->started_mid_lap) lap.notes.emplace_back("began mid-lap");
        if (lap.metadata->sample_count != *count) {
            lap.notes.push_back("metadata counts " + std::to_string(lap.metadata->sample_count) + " samples");
        }
        const double seconds = lap.metadata->lap_time_seconds;
        if (std::isfinite(seconds) && seconds > 0.0) {
            lap.lap_time_s = seconds;
            return;
        }
    }
    std::vector<LapSample> samples;
    if (!read_samples_into(lap, samples)) return;
    const std::optional<SampleLapTime> from_samples = lap_time_from_samples(samples, lap.metadata);
    lap.lap_time_from_samples = from_samples.has_value();
    if (!from_samples) {
        lap.notes.emplace_back("no lap time");
        return;
    }
    lap.lap_time_s = from_samples->seconds;
    lap.notes.push_back(from_samples->note);
}

// The fastest lap of a group that began at the line, off the pit lane and not invalidated.
// Laps are checked fastest first, so usually one lap's samples are read per group.
void mark_best(std::span<LapListing> group) {
    for (LapListing& lap : group) {
        const bool from_the_line = lap.metadata && !lap.metadata->started_mid_lap;
        if (!from_the_line || !lap.samples || !lap.lap_time_s || lap.lap_time_from_samples) continue;
        std::vector<LapSample> samples;
        if (!read_samples_into(lap, samples)) continue;
        if (has_flag(samples, sample_flag::kInPitLane) || has_flag(samples, sample_flag::kLapInvalid))
            continue;
        lap.best = true;
        return;
    }
}

// Laps without metadata after those with it, laps without a time last in their group.
auto sort_key(const LapListing& lap) {
    return std::make_tuple(!lap.metadata, listing_track(lap), listing_car(lap), !lap.lap_time_s,
                           lap.lap_time_s.value_or(0.0), lap.relative_path);
}

}  // namespace

std::string listing_track(const LapListing& lap) {
    return lap.metadata ? track_text(*lap.metadata) : std::string();
}

std::string listing_car(const LapListing& lap) {
    return lap.metadata ? car_text(*lap.metadata) : std::string();
}

std::optional<SampleLapTime> lap_time_from_samples(std::span<const LapSample> samples,
                                                   const std::optional<LapMetadata>& metadata) {
    std::optional<LapMetadata> without_time = metadata;
    if (without_time) without_time->lap_time_seconds = 0.0;  // unusable, or it would be listed
    const LapTimeline timeline = compute_lap_timeline(samples, without_time);
    if (timeline.line_anchored) {
        const double seconds = timeline.line_to_line_s;
        if (!std::isfinite(seconds) || seconds <= 0.0) return std::nullopt;
        if (timeline.from_the_line) return SampleLapTime{seconds, "lap time from the samples, line to line"};
        return SampleLapTime{seconds, "lap time from the samples, line to line, its start extrapolated " +
                                          fixed_text(timeline.lap_time_s.front(), 2) + " s before the first sample"};
    }
    // The fallback's spread session clock, not its raw span: the clock moves only with the
    // scoring updates, so its span misses up to one scoring period at each end of the lap.
    // First to last sample: nothing placed the line.
    const std::vector<double>& times = timeline.lap_time_s;
    if (times.size() < 2) return std::nullopt;
    const double seconds = times.back();
    if (!std::isfinite(seconds) || seconds <= 0.0) return std::nullopt;
    return SampleLapTime{seconds, "lap time from the samples, first to last sample (the line could not be placed)"};
}

std::vector<std::string> sample_flag_notes(std::span<const LapSample> samples) {
    std::vector<std::string> notes;
    if (has_flag(samples, sample_flag::kInPitLane)) notes.emplace_back("pit lane");
    if (invalidated(samples)) notes.emplace_back("invalidated");
    return notes;
}

std::expected<LapFiles, std::string> find_lap_files(const std::filesystem::path& folder, LapLibraryOptions options) {
    std::error_code ec;
    const auto status = std::filesystem::status(folder, ec);
    if (!std::filesystem::exists(status)) {
        return std::unexpected("no folder " + path_to_utf8(folder));
    }
    if (!std::filesystem::is_directory(status)) {
        return std::unexpected(path_to_utf8(folder) + " is not a folder");
    }
    std::filesystem::directory_iterator probe(folder, ec);
    if (ec) {
        return std::unexpected("cannot read the folder " + path_to_utf8(folder) + ": " + ec.message());
    }

    LapFiles files;
    std::vector<std::filesystem::path> folders{folder};
    while (!folders.empty()) {
        const std::filesystem::path next = std::move(folders.back());
        folders.pop_back();
        scan_folder(next, options.recursive, folders, files);
    }
    return files;
}

std::expected<LapLibrary, std::string> list_laps(const std::filesystem::path& folder,
                                                 LapLibraryOptions options) {
    auto files = find_lap_files(folder, options);
    if (!files) return std::unexpected(files.error());
    LapLibrary library;
    for (const UnreadableFolder& f : files->unreadable_folders) {
        library.warnings.push_back("cannot read the folder " + path_to_utf8(f.folder) + ": " + f.error +
                                   "; laps in it are not listed");
    }
    for (std::filesystem::path& path : files->paths) {
        LapListing lap;
        lap.relative_path = path.lexically_relative(folder);
        lap.path = std::move(path);
        library.laps.push_back(std::move(lap));
    }
    for (LapListing& lap : library.laps) {
        describe(lap);
    }
    std::ranges::sort(library.laps,
                      [](const LapListing& a, const LapListing& b) { return sort_key(a) < sort_key(b); });
    auto group_start = library.laps.begin();
    while (group_start != library.laps.end()) {
        const auto same_group = [&](const LapListing& lap) {
            return lap.metadata.has_value() == group_start->metadata.has_value() &&
                   listing_track(lap) == listing_track(*group_start) &&
                   listing_car(lap) == listing_car(*group_start);
        };
        const auto group_end = std::find_if_not(group_start, library.laps.end(), same_group);
        mark_best(std::span(group_start, group_end));
        group_start = group_end;
    }
    return library;
}

}  // namespace corvel
