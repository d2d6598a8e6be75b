// One timeline per lap, shared by every command: each sample's time and distance since LMU's
// line, both fresh at every telemetry tick (LMU's session clock and lap fraction only move with
// its scoring updates, a few times a second). Where the line cannot be placed, the timeline
// falls back to the first sample and the car's path, and says so.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "lap_format/lap_metadata.hpp"
#include "lap_format/lap_sample.hpp"

namespace corvel {

// One entry per sample, in sample order; both non-decreasing.
struct LapTimeline {
    // Line-anchored (line_anchored): seconds since the car crossed the line at the lap's start,
    // so a lap's first sample lies a little after 0 and a lap joined late starts later; each
    // sample has its telemetry tick's time (see line_anchor.hpp).
    // Otherwise seconds since the first sample (0 there): runs of equal session times spread
    // evenly up to the next distinct time, the first run laid back from its end and the last
    // run forward from its start at the mean poll interval. A time that is not finite or lies
    // before an earlier one counts as a repeat of the latest good time.
    std::vector<double> lap_time_s;
    // Line-anchored: LMU's lap distance in metres, 0 at the line, the same axis for every lap
    // of a track. Otherwise metres along the car's horizontal path (x/z), scaled so that a lap
    // from the line spans the track length when the metadata gives one; a lap that began
    // mid-lap starts at startTrackPct x track length. Either way a step that is not finite or
    // longer than max(5 m, 2 x speed x time step) (a teleport, a damaged position) adds no length.
    std::vector<double> distance_m;
    double mean_poll_interval_s = 0.0;  // 0 when the session clock never moves
    bool scaled_to_track_length = false;

    bool line_anchored = false;
    bool from_the_line = false;  // line-anchored and the first sample within 0.1 s of the line
    double track_length_m = 0.0;  // line-anchored: the length the distance uses
    // Line-anchored: the line-to-line time the times use (the official lap time when it agrees
    // with the samples), and the samples' own estimate.
    double line_to_line_s = 0.0;
    double estimated_line_to_line_s = 0.0;
    bool line_to_line_is_official = false;
    // How the line was placed or why it could not be: shown wherever the lap is shown.
    std::vector<std::string> notes;
    std::vector<std::string> warnings;  // the official lap time disagrees with the samples
};

[[nodiscard]] LapTimeline compute_lap_timeline(std::span<const LapSample> samples,
                                               const std::optional<LapMetadata>& metadata);

// The fallback alone: times from the first sample, distances along the car's path.
[[nodiscard]] LapTimeline first_sample_timeline(std::span<const LapSample> samples,
                                                const std::optional<LapMetadata>& metadata);

// The car's horizontal path length up to each sample, leaving out implausible steps; `time_s`
// is each sample's time (for the speed limit on a step).
[[nodiscard]] std::vector<double> car_path_m(std::span<const LapSample> samples, std::span<const double> time_s);

// The time half of the fallback timeline alone, from raw session times (seconds; any values).
[[nodiscard]] std::vector<double> spread_session_times(std::span<const double> session_times_s);

// Value of `ys` where the curve through (xs, ys) first reaches `x` (xs non-decreasing), linear
// between samples: at a distance the car stood still on, the time it arrived. Clamped to the
// first value below xs's range and to the last value at or past its end.
[[nodiscard]] double interpolate_at(std::span<const double> xs, std::span<const double> ys, double x);

// interpolate_at for many x along one curve. It keeps its place between calls, so x rising from
// call to call (a grid walked from start to end) costs a step or two each instead of a search;
// any other x is searched for. The same values as interpolate_at.
class CurveReader {
public:
    explicit CurveReader(std::span<const double> xs) : xs_(xs) {}

    [[nodiscard]] double at(std::span<const double> ys, double x) {
        return at_with([ys](std::size_t i) { return ys[i]; }, x);
    }
    // `y(i)` gives the curve's value at xs[i].
    template <class Y>
    [[nodiscard]] double at_with(Y y, double x) {
        const Point p = locate(x);
        if (p.i == p.j) return p.empty ? 0.0 : y(p.i);
        return y(p.i) + p.share * (y(p.j) - y(p.i));
    }

private:
    struct Point {
        std::size_t i = 0;
        std::size_t j = 0;
        double share = 0.0;
        bool empty = false;
    };
    Point locate(double x);

    std::span<const double> xs_;
    std::size_t above_ = 0;  // the first index whose x lay above the last x asked, 0 before any
};

// The samples a lap's time against distance is read from: a line-anchored lap's from the line
// to the end line (the samples past it left out), both crossings counted as points; otherwise all.
struct TimedSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
    double start_m = 0.0;  // where the lap's distance starts: the line, or a late first sample
    double end_m = 0.0;
};
[[nodiscard]] TimedSpan timed_span(const LapTimeline& timeline);

// The lap's time at a distance as every comparison reads it: for a line-anchored lap the time
// since the line (0 at the line, line_to_line_s at the end line), else interpolate_at.
[[nodiscard]] double time_at_distance(const LapTimeline& timeline, const TimedSpan& span, double distance_m);
[[nodiscard]] double time_at_distance(const LapTimeline& timeline, double distance_m);

// time_at_distance for many distances of one lap, each read like a CurveReader (fastest rising).
class LapTimeReader {
public:
    explicit LapTimeReader(const LapTimeline& timeline);
    [[nodiscard]] double at(double distance_m);
    [[nodiscard]] const TimedSpan& span() const { return span_; }

private:
    const LapTimeline& timeline_;
    TimedSpan span_;
    std::span<const double> d_;  // the timed span's distances and times
    std::span<const double> s_;
    CurveReader curve_;
};

}  // namespace corvel
