// Turns one captured lap (its samples and the texts of its metadata) into the two files of a
// MoTeC i2 log: the channels in physical units on an even time grid, the session header, and
// the .ldx that marks the lap. Channel table and header texts: docs/motec-ld.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "lap_format/lap_metadata.hpp"
#include "lap_format/lap_sample.hpp"
#include "analysis/lap_timeline.hpp"

namespace corvel::motec {

// What the export takes from the lap's metadata document (see details_from_metadata). Empty
// texts stand for absent ones.
struct MotecLapDetails {
    std::string source_file_name;  // the lap file's name, for the long comment
    std::string simulator = "lmu";
    std::string driver_name;
    std::string car_name;
    std::string car_id;
    std::string car_class;
    std::string track_name;
    std::string track_id;
    std::string track_config;
    std::string session_type;  // the metadata's label, "time_trial"
    std::optional<UtcTime> created_at;
    std::int64_t lap_number = 0;
    std::optional<double> lap_time_s;
    std::optional<double> track_length_m;
};

struct MotecExport {
    std::vector<std::byte> ld;
    std::string ldx;
    std::uint16_t rate_hz = 0;
    std::size_t points = 0;  // samples per channel
    std::size_t channels = 0;
    std::size_t samples_used = 0;   // captured samples that formed the time base
    bool has_lap_distance = false;  // false when the metadata lacks a usable track length
};

// The details of a lap whose metadata document could be read, or of a lap without one (the
// lap number then comes from the samples).
[[nodiscard]] MotecLapDetails details_from_metadata(const std::optional<LapMetadata>& metadata,
                                                    std::span<const LapSample> samples,
                                                    const std::string& source_file_name);

// `timeline` is compute_lap_timeline of the same samples: its lap times are the log's time
// base and its distance the Lap Distance channel.
[[nodiscard]] std::expected<MotecExport, std::string> export_lap_to_motec(std::span<const LapSample> samples,
                                                                          const LapTimeline& timeline,
                                                                          const MotecLapDetails& details);

// Parts of the header, exposed for their tests.
struct LdDateTime {
    std::string date;  // "15/01/2026"
    std::string time;  // "18:04:12"
};
// The metadata's "createdAt" in UTC; 01/01/1970 00:00:00 when absent or outside years 1..9999.
[[nodiscard]] LdDateTime ld_date_time(const std::optional<UtcTime>& created_at);
// "time_trial" -> "Time Trial"; "" -> "Unknown".
[[nodiscard]] std::string session_words(const std::string& label);

}  // namespace corvel::motec
