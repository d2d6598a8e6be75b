// Lap-wide figures computed from the samples alone (the metadata only lends a track length).
#include "analysis/lap_analysis.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "lap_format/sample_units.hpp"

namespace corvel {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

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

}  // namespace corvel
