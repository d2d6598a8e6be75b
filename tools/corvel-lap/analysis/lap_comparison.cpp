// Lap against reference by distance: the track check, the common distance, the delta grid and
// the minisectors.
#include "analysis/lap_comparison.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "analysis/lap_analysis.hpp"
#include "presentation/number_text.hpp"
#include "lap_format/utf8_path.hpp"

namespace corvel {
namespace {

struct TimedLap {
    const LapFile* file;
    LapTimeline timeline;
    TimedSpan span;
};

// A lap's time and speed at the distances a comparison asks for, rising ones cheapest.
class LapReader {
public:
    explicit LapReader(const TimedLap& lap) : lap_(lap), time_(lap.timeline), speed_(lap.timeline.distance_m) {}

    double time_at(double distance_m) { return time_.at(distance_m); }
    double speed_at(double distance_m) {
        return speed_.at_with([this](std::size_t i) { return static_cast<double>(lap_.file->samples[i].speed_kmh); }, distance_m);
    }
    const TimedLap& lap() const { return lap_; }

private:
    const TimedLap& lap_;
    LapTimeReader time_;
    CurveReader speed_;
};

// A name from the metadata in quotes, its control characters (a line break in a track name)
// shown as spaces so the error stays one line.
std::string quoted(std::string text) {
    std::ranges::replace_if(
        text, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }, ' ');
    return "\"" + text + "\"";
}

std::string optional_text(const std::optional<std::string>& text) {
    return text ? quoted(*text) : std::string("none");
}

// Why the metadata says the two laps are from different tracks, or nothing.
std::optional<std::string> track_mismatch(const LapMetadata& a, const LapMetadata& b) {
    if (a.track_id && b.track_id) {
        if (*a.track_id != *b.track_id) {
            return "the laps are from different tracks (track id " + quoted(*a.track_id) + " and " +
                   quoted(*b.track_id) + ")";
        }
    } else if (a.track_name != b.track_name) {
        return "the laps are from different tracks (" + quoted(a.track_name) + " and " +
               quoted(b.track_name) + ")";
    }
    if (a.track_config != b.track_config) {
        return "the laps are from different track layouts (" + optional_text(a.track_config) + " and " +
               optional_text(b.track_config) + ")";
    }
    const std::optional<double> la = track_length_m(a);
    const std::optional<double> lb = track_length_m(b);
    if (la && lb && std::abs(*la - *lb) > kMaxTrackLengthMismatch * std::max(*la, *lb)) {
        return "the laps are from tracks of different lengths (" + fixed_text(*la, 1) + " m and " +
               fixed_text(*lb, 1) + " m)";
    }
    return std::nullopt;
}

std::optional<std::string> metadata_warning(const LapFile& file) {
    if (file.metadata) {
        return std::nullopt;
    }
    const std::string name = path_to_utf8(file.path.filename());
    if (file.metadata_error) {
        return name + ": " + file.metadata_error->message + "; comparing by its samples alone";
    }
    return name + ": no metadata beside the lap; comparing by its samples alone";
}

TimedLap timed(const LapFile& file) {
    TimedLap lap{&file, compute_lap_timeline(file.samples, file.metadata), {}};
    lap.span = timed_span(lap.timeline);
    return lap;
}

// The lowest and highest speed over [from, to]: the samples inside and the speed at both ends.
std::pair<double, double> speed_range(LapReader& reader, double from, double to) {
    const std::vector<double>& d = reader.lap().timeline.distance_m;
    const std::vector<LapSample>& samples = reader.lap().file->samples;
    double low = reader.speed_at(from);
    double high = low;
    const double at_end = reader.speed_at(to);
    low = std::min(low, at_end);
    high = std::max(high, at_end);
    const auto begin = std::ranges::lower_bound(d, from);
    const auto end = std::ranges::upper_bound(d, to);
    for (auto it = begin; it < end; ++it) {
        const double v = samples[static_cast<std::size_t>(it - d.begin())].speed_kmh;
        low = std::min(low, v);
        high = std::max(high, v);
    }
    return {low, high};
}

std::vector<Minisector> minisectors(LapReader& lap, LapReader& reference, double from, double to, std::size_t count) {
    std::vector<Minisector> sectors(count);
    const double length = (to - from) / static_cast<double>(count);
    for (std::size_t k = 0; k < count; ++k) {
        Minisector& m = sectors[k];
        m.start_m = from + length * static_cast<double>(k);
        m.end_m = k + 1 == count ? to : from + length * static_cast<double>(k + 1);
        const double lap_start = lap.time_at(m.start_m);
        m.lap_s = lap.time_at(m.end_m) - lap_start;
        const double reference_start = reference.time_at(m.start_m);
        m.reference_s = reference.time_at(m.end_m) - reference_start;
        m.delta_s = m.lap_s - m.reference_s;
        std::tie(m.lap_min_speed_kmh, m.lap_max_speed_kmh) = speed_range(lap, m.start_m, m.end_m);
        std::tie(m.reference_min_speed_kmh, m.reference_max_speed_kmh) = speed_range(reference, m.start_m, m.end_m);
    }
    std::vector<std::size_t> order(count);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::ranges::stable_sort(
        order, [&](std::size_t a, std::size_t b) { return sectors[a].delta_s > sectors[b].delta_s; });
    for (std::size_t k = 0; k < std::min(count, kWorstMinisectors); ++k) {
        if (sectors[order[k]].delta_s > 0.0) {
            sectors[order[k]].worst = true;
        }
    }
    return sectors;
}

}  // namespace

std::expected<LapComparison, std::string> compare_laps(const LapFile& lap, const LapFile& reference,
                                                       std::size_t segments) {
    if (segments < 1 || segments > kMaxMinisectors) {
        return std::unexpected("the number of minisectors must be 1 to " + std::to_string(kMaxMinisectors) +
                               ", not " + std::to_string(segments));
    }
    if (lap.metadata && reference.metadata) {
        if (auto mismatch = track_mismatch(*lap.metadata, *reference.metadata)) {
            return std::unexpected(*mismatch);
        }
    }
    LapComparison result;
    for (const LapFile* file : {&lap, &reference}) {
        if (auto warning = metadata_warning(*file)) {
            result.warnings.push_back(*warning);
        }
    }

    TimedLap ours = timed(lap);
    TimedLap theirs = timed(reference);
    for (const TimedLap* timed_lap : {&ours, &theirs}) {
        for (const std::string& warning : timed_lap->timeline.warnings) {
            result.warnings.push_back(path_to_utf8(timed_lap->file->path.filename()) + ": " + warning);
        }
    }
    const bool empty = ours.timeline.distance_m.empty() || theirs.timeline.distance_m.empty();
    const double from = empty ? 0.0 : std::max(ours.span.start_m, theirs.span.start_m);
    const double to = empty ? 0.0 : std::min(ours.span.end_m, theirs.span.end_m);
    if (!(to - from >= kMinCommonDistanceM)) {
        const double common = std::max(0.0, to - from);
        return std::unexpected("the laps share too little distance to compare: " + fixed_text(common, 1) +
                               " m (at least " + fixed_text(kMinCommonDistanceM, 0) + " m needed)");
    }

    // Two line-anchored laps both count time from the line, so the delta needs no common
    // start: a lap joined late shows what it truly lost before the common distance began.
    const bool since_line = ours.timeline.line_anchored && theirs.timeline.line_anchored;
    result.since_line = since_line;
    LapReader our_reader(ours);
    LapReader their_reader(theirs);
    const double our_start = since_line ? 0.0 : our_reader.time_at(from);
    const double their_start = since_line ? 0.0 : their_reader.time_at(from);
    const auto steps = static_cast<std::size_t>(std::ceil((to - from) / kComparisonGridStepM));
    result.distance_m.reserve(steps + 1);
    result.delta_s.reserve(steps + 1);
    for (std::size_t k = 0; k <= steps; ++k) {
        const double d = std::min(to, from + kComparisonGridStepM * static_cast<double>(k));
        result.distance_m.push_back(d);
        result.delta_s.push_back((our_reader.time_at(d) - our_start) - (their_reader.time_at(d) - their_start));
    }
    result.from_m = from;
    result.to_m = to;
    result.delta_at_end_s = result.delta_s.back();
    result.ends_at_line = ours.timeline.scaled_to_track_length && theirs.timeline.scaled_to_track_length;
    result.minisectors = minisectors(our_reader, their_reader, from, to, segments);
    const auto lap_time = [](const LapTimeline& t) {
        return t.line_anchored ? t.line_to_line_s : t.lap_time_s.back();
    };
    result.lap_time_s = lap_time(ours.timeline);
    result.reference_time_s = lap_time(theirs.timeline);
    result.lap = std::move(ours.timeline);
    result.reference = std::move(theirs.timeline);
    return result;
}

}  // namespace corvel
