// The stint in three steps: every lap file read and put on its timeline (in parallel: each lap
// is independent and decompressing is most of the cost), the laps grouped by track and car and
// judged, then per group the corners measured on every lap (in parallel again: the map comes
// from the group's best lap) and the figures put together. Every lap's samples stay in memory
// until its group is done, so each file is read once.
#include "analysis/stint_summary.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <tuple>

#include "analysis/corner_consistency.hpp"
#include "analysis/corner_metrics.hpp"
#include "analysis/ideal_lap.hpp"
#include "analysis/lap_library.hpp"
#include "analysis/lap_statistics.hpp"
#include "analysis/lap_timeline.hpp"
#include "analysis/parallel_for.hpp"
#include "lap_format/json/lap_file.hpp"
#include "lap_format/utf8_path.hpp"
#include "presentation/lap_text.hpp"

namespace corvel {
namespace {

// The best lap's path keeps about this many points for the map (the lap report's density).
constexpr double kPathPoints = 3000.0;

std::string slower_note() {
    return "slower than " + std::to_string(std::lround(100.0 * kComparableLapShare)) + " % of the best";
}

// A lap as read, with what needs only the lap itself.
struct ReadLap {
    std::string file;  // relative, with "/"
    std::optional<LapFile> lap;
    std::string error;  // when unreadable
    LapTimeline timeline;
    std::optional<double> lap_time_s;
    std::vector<std::string> notes;       // why the lap cannot count, known before the group is
    bool only_began_mid_lap = false;      // ... and the only reason is a late start
    std::vector<std::optional<CornerLapMetrics>> corners;
};

// "laps/monday/lap.bin" on every OS.
std::string relative_text(const std::filesystem::path& path, const std::filesystem::path& folder) {
    std::string text;
    for (const std::filesystem::path& part : path.lexically_relative(folder)) {
        text += (text.empty() ? "" : "/") + path_to_utf8(part);
    }
    return text;
}

std::optional<double> listing_lap_time(const LapFile& lap) {
    if (lap.metadata && std::isfinite(lap.metadata->lap_time_seconds) && lap.metadata->lap_time_seconds > 0.0) {
        return lap.metadata->lap_time_seconds;
    }
    const auto from_samples = lap_time_from_samples(lap.samples, lap.metadata);
    if (!from_samples) return std::nullopt;
    return from_samples->seconds;
}

void read_one(const std::filesystem::path& path, ReadLap& out) {
    auto read = read_lap_file(path);
    if (!read) {
        out.error = read.error().message;
        return;
    }
    out.lap = std::move(*read);
    const LapFile& lap = *out.lap;
    out.timeline = compute_lap_timeline(lap.samples, lap.metadata);
    out.lap_time_s = out.timeline.line_anchored ? std::optional(out.timeline.line_to_line_s) : listing_lap_time(lap);
    if (out.lap_time_s && !(std::isfinite(*out.lap_time_s) && *out.lap_time_s > 0.0)) out.lap_time_s.reset();

    bool mid_lap = false;
    if (!lap.metadata) {
        out.notes.emplace_back(lap.metadata_error ? "metadata broken: " + lap.metadata_error->message : "no metadata");
    } else if (lap.metadata->started_mid_lap || (out.timeline.line_anchored && !out.timeline.from_the_line)) {
        out.notes.emplace_back("began mid-lap");
        mid_lap = true;
    } else if (!out.timeline.line_anchored) {
        out.notes.emplace_back("not line-anchored");
    }
    for (std::string& note : sample_flag_notes(lap.samples)) out.notes.push_back(std::move(note));
    if (!out.lap_time_s && !mid_lap) out.notes.emplace_back("no lap time");
    out.only_began_mid_lap = mid_lap && out.notes.size() == 1 && out.timeline.line_anchored;
}

// `part` within `text`, ignoring ASCII case: "monza" finds "Autodromo Nazionale Monza".
bool contains_text(std::string_view text, std::string_view part) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return !std::ranges::search(text, part, {}, lower, lower).empty() || part.empty();
}

bool wanted(const ReadLap& read, const std::string& track, const std::string& car, const StintOptions& options) {
    const std::optional<LapMetadata>& m = read.lap->metadata;
    const auto any_of = [](const std::string& asked, std::initializer_list<std::optional<std::string>> names) {
        return std::ranges::any_of(names, [&](const auto& name) { return name && contains_text(*name, asked); });
    };
    if (options.track && !(m && any_of(*options.track, {track, m->track_name, m->track_id}))) return false;
    if (options.car && !(m && any_of(*options.car, {car, m->car_name, m->car_id}))) return false;
    return true;
}

std::optional<double> fuel_used(const LapFile& lap) {
    if (lap.metadata && lap.metadata->fuel_used_liters && std::isfinite(*lap.metadata->fuel_used_liters)) {
        return *lap.metadata->fuel_used_liters;
    }
    if (lap.samples.size() < 2) return std::nullopt;
    return (lap.samples.front().fuel_dl - lap.samples.back().fuel_dl) / 10.0;
}

// The best lap's path, a point at least every track length / kPathPoints.
std::vector<StintPathPoint> thinned_path(const LapFile& lap, const LapTimeline& timeline) {
    std::vector<StintPathPoint> path;
    const std::vector<double>& d = timeline.distance_m;
    const std::size_t n = std::min(lap.samples.size(), d.size());
    if (n == 0) return path;
    const double spacing = std::max(0.5, (d[n - 1] - d[0]) / kPathPoints);
    double last_kept = -std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < n; ++i) {
        const LapSample& s = lap.samples[i];
        if (!std::isfinite(s.pos_x) || !std::isfinite(s.pos_z)) continue;
        if (d[i] - last_kept < spacing && i + 1 != n) continue;
        last_kept = d[i];
        path.push_back({d[i], s.pos_x, s.pos_z});
    }
    return path;
}

// The lap figures: which laps count, the best, the median and the spread.
void judge_laps(StintGroup& group, std::vector<ReadLap*>& laps) {
    std::optional<std::size_t> best;
    for (std::size_t i = 0; i < laps.size(); ++i) {
        if (!laps[i]->notes.empty()) continue;
        if (!best || *laps[i]->lap_time_s < *laps[*best]->lap_time_s) best = i;
    }
    std::vector<double> counted;
    for (std::size_t i = 0; i < laps.size(); ++i) {
        ReadLap& read = *laps[i];
        StintLap lap;
        lap.file = read.file;
        if (read.lap->metadata) lap.created_at = format_created_at(read.lap->metadata->created_at);
        lap.lap_time_s = read.lap_time_s;
        lap.fuel_used_l = fuel_used(*read.lap);
        if (best && read.lap_time_s) {
            const double best_s = *laps[*best]->lap_time_s;
            lap.gap_s = *read.lap_time_s - best_s;
            if (read.notes.empty() && *read.lap_time_s > kComparableLapShare * best_s) {
                read.notes.push_back(slower_note());
            }
        }
        lap.included = read.notes.empty();
        if (lap.included) counted.push_back(*read.lap_time_s);
        std::string note;
        for (const std::string& n : read.notes) note += (note.empty() ? "" : "; ") + n;
        if (!note.empty()) lap.note = std::move(note);
        group.laps.push_back(std::move(lap));
        for (const std::string& w : read.timeline.warnings) group.warnings.push_back(read.file + ": " + w);
    }
    group.best_lap = best;
    group.median_lap_s = median(counted);
    group.lap_time_std_dev_s = sample_std_dev(counted);
    if (group.lap_time_std_dev_s && group.median_lap_s && *group.median_lap_s > 0.0) {
        group.lap_time_std_dev_pct = 100.0 * *group.lap_time_std_dev_s / *group.median_lap_s;
    }
}

// The corner map of the best lap, every lap's corners on it, the ideal lap and the corner figures.
void analyse_track(StintGroup& group, std::vector<ReadLap*>& laps) {
    if (!group.best_lap) return;
    const ReadLap& best = *laps[*group.best_lap];
    group.track_length_m = best.timeline.track_length_m;
    group.map = find_corner_map(best.lap->samples, best.timeline.distance_m, group.track_length_m);
    group.best_lap_path = thinned_path(*best.lap, best.timeline);
    if (group.map.corners.empty()) group.warnings.push_back("no corners found on the best lap " + best.file);

    // Counted laps, and laps that only began late, cover corners on the same axis.
    std::vector<std::size_t> measured;
    for (std::size_t i = 0; i < laps.size(); ++i) {
        if (group.laps[i].included || laps[i]->only_began_mid_lap) measured.push_back(i);
    }
    parallel_for(measured.size(), [&](std::size_t k) {
        ReadLap& read = *laps[measured[k]];
        read.corners = measure_corners(read.lap->samples, read.timeline, group.map);
    });

    group.ideal_parts = ideal_lap_parts(group.map, group.track_length_m);
    for (std::size_t i = 0; i < laps.size(); ++i) {
        if (group.laps[i].included) take_faster_parts(group.ideal_parts, part_times(laps[i]->timeline, group.ideal_parts), i);
    }
    double ideal = 0.0;
    for (const IdealPart& p : group.ideal_parts) ideal += p.best_s;
    if (std::isfinite(ideal)) group.ideal_lap_s = ideal;

    for (std::size_t c = 0; c < group.map.corners.size(); ++c) {
        std::vector<CornerLapMetrics> taken;
        for (const std::size_t i : measured) {
            if (c < laps[i]->corners.size() && laps[i]->corners[c]) taken.push_back(*laps[i]->corners[c]);
        }
        group.corners.push_back(corner_consistency(group.map.corners[c], taken));
    }
    group.work_on = corners_to_work_on(group.corners);
}

auto lap_order(const ReadLap& read) {
    const std::optional<LapMetadata>& m = read.lap->metadata;
    return std::make_tuple(!m, m ? m->created_at : UtcTime{}, read.file);
}

}  // namespace

std::expected<StintSummary, std::string> summarize_stint(const std::filesystem::path& folder,
                                                         const StintOptions& options) {
    auto files = find_lap_files(folder, {.recursive = options.recursive});
    if (!files) return std::unexpected(files.error());

    StintSummary summary;
    for (const UnreadableFolder& f : files->unreadable_folders) {
        summary.unreadable.push_back({relative_text(f.folder, folder), "cannot read the folder: " + f.error});
    }
    std::vector<ReadLap> reads(files->paths.size());
    for (std::size_t i = 0; i < reads.size(); ++i) reads[i].file = relative_text(files->paths[i], folder);
    parallel_for(reads.size(), [&](std::size_t i) { read_one(files->paths[i], reads[i]); });

    // Laps without metadata form their own group, after the others.
    std::map<std::tuple<bool, std::string, std::string>, std::vector<ReadLap*>> groups;
    for (ReadLap& read : reads) {
        if (!read.lap) {
            summary.unreadable.push_back({read.file, read.error});
            continue;
        }
        const std::optional<LapMetadata>& m = read.lap->metadata;
        // The texts `list` groups by.
        const std::string track = m ? track_text(*m) : std::string();
        const std::string car = m ? car_text(*m) : std::string();
        if (!wanted(read, track, car, options)) {
            read.lap.reset();
            continue;
        }
        groups[{!m, track, car}].push_back(&read);
    }
    std::ranges::sort(summary.unreadable, {}, &UnreadableLap::file);

    for (auto& [key, laps] : groups) {
        std::ranges::sort(laps, [](const ReadLap* a, const ReadLap* b) { return lap_order(*a) < lap_order(*b); });
        StintGroup group;
        group.track = std::get<1>(key);
        group.car = std::get<2>(key);
        judge_laps(group, laps);
        for (std::size_t i = 0; i < laps.size(); ++i) {
            if (!group.laps[i].included && !laps[i]->only_began_mid_lap) laps[i]->lap.reset();  // not measured
        }
        analyse_track(group, laps);
        for (ReadLap* read : laps) read->lap.reset();  // the samples are done with
        summary.groups.push_back(std::move(group));
    }
    return summary;
}

}  // namespace corvel
