// The checks of `verify`. Record checks report the first offending sample and how many
// there are, so a damaged file gives a few lines, not thousands.
#include "analysis/lap_verification.hpp"

#include <charconv>
#include <functional>

#include "lap_format/utf8_path.hpp"
#include "presentation/xml_text.hpp"

namespace corvel {
namespace {

// The lap number the file name carries: the stem ends in "-lap<N>-<seconds>" (N may be
// negative: "-lap-1-1736964252").
std::optional<std::int64_t> file_lap_number(std::string_view stem) {
    const auto dash = stem.rfind('-');
    if (dash == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view seconds = stem.substr(dash + 1);
    const std::string_view rest = stem.substr(0, dash);
    const auto marker = rest.rfind("-lap");
    if (seconds.empty() || seconds.find_first_not_of("0123456789") != std::string_view::npos ||
        marker == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view number = rest.substr(marker + 4);
    std::int64_t lap = 0;
    const auto end = std::from_chars(number.data(), number.data() + number.size(), lap);
    if (number.empty() || end.ec != std::errc() || end.ptr != number.data() + number.size()) {
        return std::nullopt;
    }
    return lap;
}

void check_records(const std::vector<LapSample>& samples, std::string_view what,
                   const std::function<bool(const LapSample&)>& sound, std::vector<std::string>& problems) {
    std::size_t bad = 0;
    std::size_t first = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (!sound(samples[i])) {
            if (bad++ == 0) {
                first = i;
            }
        }
    }
    if (bad > 0) {
        problems.push_back("samples " + std::string(what) + ": " + std::to_string(bad) + " of " +
                           std::to_string(samples.size()) + " (first: sample " + std::to_string(first) + ")");
    }
}

}  // namespace

std::vector<std::string> verify_lap(const LapFile& lap) {
    std::vector<std::string> problems;
    if (lap.metadata_error) {
        problems.push_back(lap.metadata_error->message);
    } else if (!lap.metadata) {
        problems.push_back("no metadata document " + path_to_utf8(lap.metadata_path.filename()) +
                           " beside the lap file");
    }
    if (lap.metadata) {
        const LapMetadata& m = *lap.metadata;
        if (m.sample_count != lap.samples.size()) {
            problems.push_back("sample count mismatch: the metadata says " + std::to_string(m.sample_count) +
                               ", the lap file holds " + std::to_string(lap.samples.size()));
        }
        const std::string name = path_to_utf8(lap.path.filename());
        // The writer leaves "fileName" empty for a name that is not valid Unicode.
        const bool unnamed = m.file_name.empty() && !is_valid_utf8(name);
        if (m.file_name != name && !unnamed) {
            problems.push_back("file name mismatch: the metadata names \"" + m.file_name +
                               "\", the file is \"" + name + "\"");
        }
        if (const auto named_lap = file_lap_number(path_to_utf8(lap.path.stem()));
            named_lap && *named_lap != m.lap_number) {
            problems.push_back("lap number mismatch: the file name says lap " + std::to_string(*named_lap) +
                               ", the metadata's lapNumber is " + std::to_string(m.lap_number));
        }
        // Samples keep the recorder's lap number with negatives as 0, in 16 bits.
        const auto stored_lap = static_cast<std::uint16_t>(m.lap_number < 0 ? 0 : m.lap_number);
        check_records(
            lap.samples,
            "with another lap number than the metadata's lapNumber " + std::to_string(m.lap_number) +
                " (stored as " + std::to_string(stored_lap) + ")",
            [stored_lap](const LapSample& s) { return s.lap == stored_lap; }, problems);
        if (m.simulator != "lmu") {
            problems.push_back("the metadata names simulator \"" + m.simulator +
                               "\", lap files hold LMU laps");
        }
    }
    check_records(
        lap.samples, "without the fixed value 30 in byte 35",
        [](const LapSample& s) { return s.constant_30 == 30; }, problems);
    check_records(
        lap.samples, "with both or neither of the two pit-lane flag bits",
        [](const LapSample& s) {
            return ((s.flags & sample_flag::kOnTrack) != 0) != ((s.flags & sample_flag::kInPitLane) != 0);
        },
        problems);
    check_records(
        lap.samples, "with values outside the stored ranges (speed, gear, steering, g, path, edge)",
        [](const LapSample& s) {
            return s.speed_kmh <= 655 && (s.gear <= 10 || s.gear == 255) && s.steering >= -127 &&
                   s.lateral_g >= -127 && s.longitudinal_g >= -127 && s.path_lateral_cm >= -32700 &&
                   s.path_lateral_cm <= 32700 && s.track_edge_cm <= 65500;
        },
        problems);
    return problems;
}

}  // namespace corvel
