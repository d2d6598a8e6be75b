// Placing a lap against the line, in this order:
// 1. every sample gets its telemetry tick's time (telemetry_ticks.hpp), on the poll clock;
// 2. the scoring pairs become anchors (session time, lap distance), unwrapped at the line;
// 3. the car's path length as a function of session time links ticks and anchors: between two
//    anchors the lap distance moves in proportion to the path, so it follows the car's own
//    movement but always meets LMU's distance at the anchors, whatever line the car takes;
// 4. the start and end crossings are where that distance is 0 and one track length;
// 5. the poll clock runs behind the session clock by the scoring's delivery delay, which the
//    data does not hold; the end bounds it: the last sample is the first poll that saw the
//    next lap number, so the line lies between its tick and the previous poll's.
// Every step is a pass over the samples or a binary search per anchor: linear time.
#include "analysis/line_anchor.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/lap_analysis.hpp"
#include "presentation/lap_text.hpp"
#include "analysis/lap_timeline.hpp"
#include "presentation/number_text.hpp"
#include "analysis/telemetry_ticks.hpp"

namespace corvel {
namespace {

constexpr double kKmhToMs = 1.0 / 3.6;
// Where the iteration on the scoring delay starts, and the most it can be.
constexpr double kTypicalScoringDelayS = 0.06;
constexpr double kMaxScoringDelayS = 0.3;
// The path is extended this far beyond the samples at their end speeds, no further.
constexpr double kMaxExtensionS = 1.0;
constexpr double kMinSpeedMs = 1.0;
// A lap distance that runs this much faster or slower than the path is not believed.
constexpr double kMinRatio = 0.5;
constexpr double kMaxRatio = 2.0;
// Path steps shorter than this cannot weigh the distance between two anchors.
constexpr double kMinPathStepM = 0.01;
// Without a track length in the metadata, the path must cover this share of a lap to give one.
constexpr double kMinShareForLength = 0.5;

struct Anchor {
    double session_s;
    double turns;  // lap fraction unwrapped: negative before the start line, above 1 past the end
    double path_m = 0.0;
};

// The distinct, finite scoring pairs in session-time order, the lap fraction unwrapped so it
// never falls back at the line, and shifted so the lap ends near one turn. A pair whose time
// or fraction steps back is dropped.
std::vector<Anchor> scoring_anchors(std::span<const LapSample> samples) {
    std::vector<Anchor> anchors;
    // The latest pair's time, kept apart so the common case (a poll that saw no new pair) is
    // one comparison; below every finite time until the first pair.
    double latest = -std::numeric_limits<double>::infinity();
    for (const LapSample& s : samples) {
        const double time = s.session_time;
        if (!(time > latest)) continue;  // also a time that is not a number
        const double fraction = s.lap_fraction;
        if (!std::isfinite(time) || !std::isfinite(fraction) || fraction < 0.0 || fraction > 1.0) continue;
        double turns = fraction;
        if (!anchors.empty()) {
            turns += std::round(anchors.back().turns - fraction);
            if (turns < anchors.back().turns) continue;
        }
        anchors.push_back({time, turns});
        latest = time;
    }
    if (!anchors.empty()) {
        const double shift = std::round(1.0 - anchors.back().turns);
        for (Anchor& a : anchors) a.turns += shift;
    }
    return anchors;
}

// How the car moved just before its first sample: its speed there and the acceleration its
// first half second of ticks shows (a lap joined late is extrapolated back to the line on it).
struct Approach {
    double speed_ms;
    double acceleration_ms2;

    // Path covered in the `before_s` seconds up to the first sample.
    double path_m(double before_s) const {
        const double until = acceleration_ms2 > 0.0 ? std::min(before_s, speed_ms / acceleration_ms2) : before_s;
        return speed_ms * until - 0.5 * acceleration_ms2 * until * until;
    }
    // Seconds before the first sample at which `path` metres remained to it.
    double time_before(double path) const {
        if (std::abs(acceleration_ms2) < 1e-6) return path / speed_ms;
        const double root = speed_ms * speed_ms - 2.0 * acceleration_ms2 * path;
        if (root <= 0.0) return speed_ms / acceleration_ms2;  // standing before that
        return (speed_ms - std::sqrt(root)) / acceleration_ms2;
    }
};

constexpr double kApproachFitS = 0.5;
constexpr double kMaxAccelerationMs2 = 30.0;

Approach approach(std::span<const LapSample> samples, std::span<const double> time_s) {
    double n = 0.0, st = 0.0, sv = 0.0, stt = 0.0, stv = 0.0;
    for (std::size_t i = 0; i < samples.size() && time_s[i] <= time_s.front() + kApproachFitS; ++i) {
        if (i > 0 && time_s[i] == time_s[i - 1]) continue;  // the same tick seen again
        const double t = time_s[i] - time_s.front();
        const double v = (samples[i].speed_kmh + 0.5) * kKmhToMs;
        n += 1.0;
        st += t;
        sv += v;
        stt += t * t;
        stv += t * v;
    }
    const double spread = n * stt - st * st;
    const double slope = n >= 5.0 && spread > 0.0 ? (n * stv - st * sv) / spread : 0.0;
    const double speed = n > 0.0 ? (sv - slope * st) / n : 0.0;
    return {std::max(kMinSpeedMs, speed), std::clamp(slope, -kMaxAccelerationMs2, kMaxAccelerationMs2)};
}

// The car's path length as a function of session time, extended before the first sample on
// its approach and after the last at its speed.
class PathClock {
public:
    PathClock(std::span<const double> time_s, std::span<const double> path_m, Approach first, double last_speed_ms)
        : time_(time_s), path_(path_m), first_(first), last_speed_(last_speed_ms) {}

    double path_at(double t) const {
        if (t <= time_.front()) return path_.front() - first_.path_m(time_.front() - t);
        if (t >= time_.back()) return path_.back() + last_speed_ * (t - time_.back());
        return interpolate_at(time_, path_, t);
    }
    // path_at for each anchor, in one sweep (the anchors are in time order).
    void paths_at(std::vector<Anchor>& anchors) const {
        std::size_t i = 0;
        for (Anchor& a : anchors) {
            const double t = a.session_s;
            if (t <= time_.front() || t >= time_.back()) {
                a.path_m = path_at(t);
                continue;
            }
            while (i + 1 < time_.size() && time_[i + 1] <= t) ++i;  // time_[i] <= t < time_[i + 1]
            std::size_t j = i;
            while (j > 0 && time_[j - 1] == time_[i]) --j;  // the first of a run of equal times
            const double span = time_[i + 1] - time_[i];
            a.path_m = t == time_[i] ? path_[j] : path_[i] + (t - time_[i]) / span * (path_[i + 1] - path_[i]);
        }
    }
    // The time the car first reached path length `p`.
    double time_at(double p) const {
        if (p <= path_.front()) return time_.front() - first_.time_before(path_.front() - p);
        if (p > path_.back()) return time_.back() + (p - path_.back()) / last_speed_;
        return interpolate_at(path_, time_, p);
    }
    double first_time() const { return time_.front(); }
    double last_time() const { return time_.back(); }

private:
    std::span<const double> time_;
    std::span<const double> path_;
    Approach first_;
    double last_speed_;
};

// LMU's lap distance between the anchors, moving with the path between them.
class DistanceMap {
public:
    DistanceMap(std::vector<Anchor> anchors, double length_m) : anchors_(std::move(anchors)), length_(length_m) {}

    // Metres from the start line at session time `t` with the car at path length `p`.
    double distance_at(double t, double p) const {
        const auto above = std::ranges::upper_bound(anchors_, t, {}, &Anchor::session_s);
        if (above == anchors_.begin()) return metres(anchors_.front()) - ratio(0) * (anchors_.front().path_m - p);
        if (above == anchors_.end()) {
            return metres(anchors_.back()) + ratio(anchors_.size() - 2) * (p - anchors_.back().path_m);
        }
        return between(*(above - 1), *above, t, p);
    }

    // distance_at for every sample, in one sweep (the samples are in time order), appended to
    // `out`.
    void distances_at(std::span<const double> time_s, std::span<const double> path_m, std::vector<double>& out) const {
        std::size_t above = 0;  // the first anchor later than the sample
        double highest = -std::numeric_limits<double>::infinity();
        out.reserve(out.size() + time_s.size());
        for (std::size_t i = 0; i < time_s.size(); ++i) {
            const double t = time_s[i];
            const double p = path_m[i];
            while (above < anchors_.size() && anchors_[above].session_s <= t) ++above;
            double d = 0.0;
            if (above == 0) {
                d = metres(anchors_.front()) - ratio(0) * (anchors_.front().path_m - p);
            } else if (above == anchors_.size()) {
                d = metres(anchors_.back()) + ratio(anchors_.size() - 2) * (p - anchors_.back().path_m);
            } else {
                d = between(anchors_[above - 1], anchors_[above], t, p);
            }
            highest = std::max(highest, d);
            out.push_back(highest);
        }
    }

    // The session time at which the car reached `x` metres from the start line.
    double time_of(double x, const PathClock& path) const {
        const auto above = std::ranges::upper_bound(anchors_, x, {}, [this](const Anchor& a) { return metres(a); });
        if (above == anchors_.begin()) return path.time_at(anchors_.front().path_m - (metres(anchors_.front()) - x) / ratio(0));
        if (above == anchors_.end()) {
            return path.time_at(anchors_.back().path_m + (x - metres(anchors_.back())) / ratio(anchors_.size() - 2));
        }
        const Anchor& a = *(above - 1);
        const Anchor& b = *above;
        const double share = (x - metres(a)) / (metres(b) - metres(a));
        if (b.path_m - a.path_m <= kMinPathStepM) return a.session_s + share * (b.session_s - a.session_s);
        const double t = path.time_at(a.path_m + share * (b.path_m - a.path_m));
        return std::clamp(t, a.session_s, b.session_s);
    }

private:
    double between(const Anchor& a, const Anchor& b, double t, double p) const {
        const double path = b.path_m - a.path_m;
        const double share = path > kMinPathStepM ? (p - a.path_m) / path : (t - a.session_s) / (b.session_s - a.session_s);
        return metres(a) + std::clamp(share, 0.0, 1.0) * (metres(b) - metres(a));
    }
    double metres(const Anchor& a) const { return a.turns * length_; }
    // Lap metres per path metre over the anchor interval from `j`; 1 where the path tells nothing.
    double ratio(std::size_t j) const {
        const double path = anchors_[j + 1].path_m - anchors_[j].path_m;
        if (path <= kMinPathStepM) return 1.0;
        return std::clamp((metres(anchors_[j + 1]) - metres(anchors_[j])) / path, kMinRatio, kMaxRatio);
    }

    std::vector<Anchor> anchors_;
    double length_;
};

double speed_ms(const LapSample& s) {
    return std::max(kMinSpeedMs, (s.speed_kmh + 0.5) * kKmhToMs);
}

struct Crossings {
    double start_s;
    double end_s;
};

}  // namespace

std::expected<LineAnchoredLap, std::string> anchor_to_line(std::span<const LapSample> samples,
                                                           const std::optional<LapMetadata>& metadata) {
    if (samples.size() < 2) return std::unexpected(std::string("too few samples"));
    const std::size_t n = samples.size();
    TelemetryTicks ticks = reconstruct_tick_times(samples);
    const std::vector<double> path = car_path_m(samples, ticks.time_s);

    std::vector<Anchor> anchors = scoring_anchors(samples);
    // Only pairs whose moment lies near the samples can be tied to the path.
    std::erase_if(anchors, [&](const Anchor& a) {
        return a.session_s < ticks.time_s.front() - kMaxExtensionS ||
               a.session_s > ticks.time_s.back() + kMaxExtensionS + kMaxScoringDelayS;
    });
    if (anchors.size() < 2 || !(anchors.back().turns > anchors.front().turns)) {
        return std::unexpected(std::string("the lap fraction does not move"));
    }
    const std::optional<double> metadata_length = track_length_m(metadata);
    if (!metadata_length && anchors.back().turns - anchors.front().turns < kMinShareForLength) {
        return std::unexpected(std::string("no track length, and too little of the lap to measure one"));
    }

    LineAnchoredLap lap;
    lap.tick_period_s = ticks.tick_period_s;
    const Approach first = approach(samples, ticks.time_s);
    // The work stays on the poll clock (the tick times); the anchors move onto it by the delay.
    const std::vector<double>& poll_time = ticks.time_s;
    const PathClock clock(poll_time, path, first, speed_ms(samples.back()));
    double delay = kTypicalScoringDelayS;
    Crossings line{};  // on the poll clock
    std::optional<DistanceMap> distances;
    for (int round = 0; round < 2; ++round) {
        std::vector<Anchor> shifted = anchors;
        for (Anchor& a : shifted) a.session_s -= delay;
        clock.paths_at(shifted);
        double length = metadata_length.value_or(0.0);
        if (!metadata_length) {
            length = (shifted.back().path_m - shifted.front().path_m) / (shifted.back().turns - shifted.front().turns);
            if (!(length > 0.0) || !std::isfinite(length)) {
                return std::unexpected(std::string("no track length, and the car's path gives none"));
            }
        }
        lap.track_length_m = length;
        distances.emplace(std::move(shifted), length);
        line = {distances->time_of(0.0, clock), distances->time_of(length, clock)};
        if (round == 1) break;
        // The last sample is the first poll that saw the next lap number: the line lies
        // between its tick and the previous poll's.
        const double last = poll_time[n - 1];
        const double before = poll_time[n - 2];
        if (!(last > before)) break;
        delay = std::clamp(delay + line.end_s - 0.5 * (last + before), 0.0, kMaxScoringDelayS);
    }
    lap.track_length_estimated = !metadata_length;

    if (!(line.end_s - clock.last_time() <= 0.5)) {
        const double short_m = lap.track_length_m - distances->distance_at(clock.last_time(), path.back());
        return std::unexpected("the samples end " + fixed_text(short_m, 1) + " m before the line");
    }
    // The last sample is the first poll past the end line: samples far past it are a lap cut
    // short, whose lap fraction wrapped the wrong way (the end line put at its start).
    if (!(clock.last_time() - line.end_s <= kMaxExtensionS)) {
        return std::unexpected("the samples run " + fixed_text(clock.last_time() - line.end_s, 1) +
                               " s past the line");
    }
    if (!(line.end_s > line.start_s)) return std::unexpected(std::string("the line crossings are out of order"));

    distances->distances_at(poll_time, path, lap.distance_m);

    lap.estimated_span_s = line.end_s - line.start_s;
    const double first_after_line_s = poll_time.front() - line.start_s;
    lap.from_the_line = first_after_line_s <= kFromTheLineS;
    const double official = metadata ? metadata->lap_time_seconds : 0.0;
    const bool has_official = std::isfinite(official) && official > 0.0;
    double scale = 1.0;
    double start = line.start_s;
    lap.span_s = lap.estimated_span_s;
    if (lap.from_the_line && has_official) {
        if (std::abs(lap.estimated_span_s - official) <= kOfficialTimeToleranceS) {
            scale = official / lap.estimated_span_s;  // the estimate's small error spread over the lap
            lap.span_s = official;
            lap.span_is_official = true;
        } else {
            lap.warnings.push_back("the line-to-line time from the samples, " + lap_time_text(lap.estimated_span_s) +
                                   ", differs from the official lap time " + lap_time_text(official) + " by " +
                                   fixed_text(std::abs(lap.estimated_span_s - official), 3) +
                                   " s; using the samples' time");
        }
    } else if (!lap.from_the_line && has_official && official > line.end_s - poll_time.front()) {
        // Joined after the line: only the end crossing is measured; count back from it.
        start = line.end_s - official;
        lap.span_s = official;
        lap.span_is_official = true;
        lap.notes.push_back("joined after the line: time since the line counted back from the end crossing "
                            "with the official lap time");
    } else if (!lap.from_the_line) {
        lap.notes.push_back("joined after the line and no official lap time: the start crossing is extrapolated " +
                            fixed_text(first_after_line_s, 2) +
                            " s back from the first scoring pairs and samples, good to a few hundredths of a "
                            "second while the speed is steady there");
    }
    lap.lap_time_s = std::move(ticks.time_s);
    bool finite = true;
    for (double& t : lap.lap_time_s) {
        t = (t - start) * scale;
        finite &= std::isfinite(t);
    }
    // The distances are a running maximum: finite at both ends, finite throughout.
    if (!finite || !std::isfinite(lap.distance_m.front()) || !std::isfinite(lap.distance_m.back())) {
        return std::unexpected(std::string("the samples give no finite times and distances"));
    }
    if (lap.track_length_estimated) {
        lap.notes.push_back("track length estimated from the car's path: " + fixed_text(lap.track_length_m, 1) + " m");
    }
    if (ticks.tick_period_s <= 0.0) {
        lap.notes.push_back("the telemetry ticks fit no regular grid: each sample has its poll's time");
    }
    return lap;
}

}  // namespace corvel
