// Lap-wide figures computed from the samples alone (the metadata only lends a track length).
#include "corvel_lap/lap_analysis.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "corvel_lap/sample_units.hpp"

namespace corvel {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct TrackPoint {
    double progress;
    double elapsed;
};

// The samples as a strictly rising progress -> elapsed time curve (samples that step back
// or have no usable fraction or time are left out).
std::vector<TrackPoint> monotone_track(std::span<const LapSample> samples) {
    const std::vector<double> progress = lap_progress(samples);
    std::vector<TrackPoint> track;
    track.reserve(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double t = elapsed_s(samples, i);
        if (!std::isfinite(progress[i]) || !std::isfinite(t)) {
            continue;
        }
        if (track.empty() || progress[i] > track.back().progress) {
            track.push_back({progress[i], t});
        }
    }
    return track;
}

double elapsed_at(const std::vector<TrackPoint>& track, double progress) {
    const auto it = std::lower_bound(track.begin(), track.end(), progress,
                                     [](const TrackPoint& point, double p) { return point.progress < p; });
    if (it == track.begin()) {
        return track.front().elapsed;
    }
    if (it == track.end()) {
        return track.back().elapsed;
    }
    const TrackPoint& before = *(it - 1);
    const double weight = (progress - before.progress) / (it->progress - before.progress);
    return before.elapsed + weight * (it->elapsed - before.elapsed);
}

FlagShare flag_share(std::span<const LapSample> samples, std::uint8_t flag, double mean_interval_s) {
    FlagShare share;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (!units::has_flag(samples[i], flag)) {
            continue;
        }
        ++share.samples;
        const double interval =
            i + 1 < samples.size() ? elapsed_s(samples, i + 1) - elapsed_s(samples, i) : mean_interval_s;
        if (std::isfinite(interval) && interval > 0.0) {
            share.seconds += interval;
        }
    }
    share.share =
        samples.empty() ? 0.0 : static_cast<double>(share.samples) / static_cast<double>(samples.size());
    return share;
}

}  // namespace

std::vector<double> lap_progress(std::span<const LapSample> samples) {
    std::vector<double> progress(samples.size(), kNaN);
    double previous = kNaN;
    double laps = 0.0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double fraction = samples[i].lap_fraction;
        if (!std::isfinite(fraction)) {
            continue;
        }
        if (std::isfinite(previous)) {
            if (fraction - previous < -0.5) {
                laps += 1.0;  // crossed the line forwards
            } else if (fraction - previous > 0.5) {
                laps -= 1.0;  // crossed it backwards
            }
        }
        progress[i] = fraction + laps;
        previous = fraction;
    }
    // Begun just before the line: count the lap from the line, the first samples below zero.
    const auto first =
        std::find_if(progress.begin(), progress.end(), [](double p) { return std::isfinite(p); });
    const auto last =
        std::find_if(progress.rbegin(), progress.rend(), [](double p) { return std::isfinite(p); });
    if (first != progress.end() && *first > 0.5 && *last > 1.0) {
        for (double& p : progress) {
            p -= 1.0;
        }
    }
    return progress;
}

double elapsed_s(std::span<const LapSample> samples, std::size_t index) {
    return static_cast<double>(samples[index].session_time) -
           static_cast<double>(samples.front().session_time);
}

std::optional<double> track_length_m(const std::optional<LapMetadata>& metadata) {
    if (!metadata || !std::isfinite(metadata->track_length_m) || metadata->track_length_m <= 0.0f) {
        return std::nullopt;
    }
    return static_cast<double>(metadata->track_length_m);
}

LapSummary summarize_lap(std::span<const LapSample> samples) {
    LapSummary summary;
    summary.sample_count = samples.size();
    if (samples.empty()) {
        return summary;
    }
    // A damaged sample's time (NaN, infinite) must not make the whole duration unknown.
    auto finite_time = [](const LapSample& s) { return std::isfinite(s.session_time); };
    const auto first = std::find_if(samples.begin(), samples.end(), finite_time);
    const auto last = std::find_if(samples.rbegin(), samples.rend(), finite_time);
    double mean_interval = kNaN;
    if (first != samples.end()) {
        summary.duration_s =
            static_cast<double>(last->session_time) - static_cast<double>(first->session_time);
        const auto timed = std::count_if(samples.begin(), samples.end(), finite_time);
        if (summary.duration_s > 0.0 && timed > 1) {
            mean_interval = summary.duration_s / static_cast<double>(timed - 1);
            summary.mean_rate_hz = 1.0 / mean_interval;
        }
    }
    const auto [slowest, fastest] =
        std::minmax_element(samples.begin(), samples.end(),
                            [](const LapSample& a, const LapSample& b) { return a.speed_kmh < b.speed_kmh; });
    summary.min_speed_kmh = slowest->speed_kmh;
    summary.max_speed_kmh = fastest->speed_kmh;
    summary.fuel_start_l = units::fuel_l(samples.front());
    summary.fuel_end_l = units::fuel_l(samples.back());
    summary.pit_lane = flag_share(samples, sample_flag::kInPitLane, mean_interval);
    summary.invalid = flag_share(samples, sample_flag::kLapInvalid, mean_interval);
    summary.yellow = flag_share(samples, sample_flag::kYellow, mean_interval);
    return summary;
}

std::vector<DeltaPoint> time_delta(std::span<const LapSample> lap, std::span<const LapSample> reference) {
    const std::vector<TrackPoint> ours = monotone_track(lap);
    const std::vector<TrackPoint> theirs = monotone_track(reference);
    std::vector<DeltaPoint> delta;
    if (ours.size() < 2 || theirs.size() < 2) {
        return delta;
    }
    // Both clocks start where both laps have data, so a later first sample costs nothing.
    const double from = std::max(ours.front().progress, theirs.front().progress);
    const double to = std::min(ours.back().progress, theirs.back().progress);
    if (!(from < to)) {
        return delta;
    }
    const double our_start = elapsed_at(ours, from);
    const double their_start = elapsed_at(theirs, from);
    delta.reserve(ours.size());
    for (const TrackPoint& point : ours) {
        if (point.progress < from || point.progress > to) {
            continue;
        }
        delta.push_back({point.progress,
                         (point.elapsed - our_start) - (elapsed_at(theirs, point.progress) - their_start)});
    }
    return delta;
}

}  // namespace corvel
