// SVG rendering of one lap (and optionally a reference lap) on the lap timeline. Every
// coordinate goes through coord(), which never writes NaN or infinity, so odd samples cannot
// break the file.
#include "export/lap_plot.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <span>
#include <vector>

#include "analysis/lap_analysis.hpp"
#include "presentation/lap_text.hpp"
#include "analysis/lap_timeline.hpp"
#include "presentation/number_text.hpp"
#include "lap_format/sample_units.hpp"
#include "lap_format/utf8_path.hpp"
#include "presentation/xml_text.hpp"

namespace corvel {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Page geometry (px).
constexpr double kWidth = 1100.0;
constexpr double kLeft = 72.0;
constexpr double kRight = 28.0;
constexpr double kPlotWidth = kWidth - kLeft - kRight;
constexpr double kMapHeight = 470.0;
constexpr double kPanelGap = 36.0;
constexpr double kBottom = 58.0;

// Dark theme: speed colours and thin traces read best on a dark ground.
constexpr std::string_view kBackground = "#111318";
constexpr std::string_view kPanelFill = "#1a1d23";
constexpr std::string_view kPanelEdge = "#2c313a";
constexpr std::string_view kGrid = "#262a32";
constexpr std::string_view kZeroLine = "#4a505c";
constexpr std::string_view kText = "#d0d6de";
constexpr std::string_view kMutedText = "#8b949e";
constexpr std::string_view kLapColour = "#4fc3f7";
constexpr std::string_view kCompareColour = "#ffb74d";
constexpr std::string_view kThrottleColour = "#66bb6a";
constexpr std::string_view kBrakeColour = "#ef5350";
constexpr std::string_view kCompareThrottleColour = "#c5e1a5";
constexpr std::string_view kCompareBrakeColour = "#ffab91";
constexpr std::string_view kDeltaColour = "#e6edf3";

struct Rgb {
    double r, g, b;
};
// Slow to fast.
constexpr std::array<Rgb, 5> kSpeedStops{{
    {47, 126, 216},
    {53, 192, 192},
    {139, 211, 70},
    {245, 212, 59},
    {232, 69, 60},
}};
constexpr int kSpeedBuckets = 32;

struct Point {
    double x, y;
};
using Run = std::vector<Point>;

// A number for an SVG attribute: one decimal, never NaN or infinite.
std::string coord(double value) {
    if (!std::isfinite(value)) {
        value = 0.0;
    }
    value = std::clamp(value, -1e7, 1e7);
    std::string text = fixed_text(value, 1);
    if (text == "-0.0") {
        text = "0.0";
    }
    if (text.ends_with(".0")) {
        text.resize(text.size() - 2);
    }
    return text;
}

std::string hex_colour(const Rgb& c) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text = "#";
    for (const double channel : {c.r, c.g, c.b}) {
        const int v = std::clamp(static_cast<int>(std::lround(channel)), 0, 255);
        text += kDigits[v >> 4];
        text += kDigits[v & 0xF];
    }
    return text;
}

std::string speed_colour(double share) {
    share = std::clamp(share, 0.0, 1.0) * static_cast<double>(kSpeedStops.size() - 1);
    const auto index = std::min(static_cast<std::size_t>(share), kSpeedStops.size() - 2);
    const double t = share - static_cast<double>(index);
    const Rgb& a = kSpeedStops[index];
    const Rgb& b = kSpeedStops[index + 1];
    return hex_colour({a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t});
}

// 1, 2 or 5 times a power of ten, so that `range` holds about `target` steps.
double nice_step(double range, double target) {
    if (!std::isfinite(range) || range <= 0.0) {
        return 1.0;
    }
    const double raw = range / target;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 5.0}) {
        if (factor * magnitude >= raw) {
            return factor * magnitude;
        }
    }
    return 10.0 * magnitude;
}

// Tick values from `from` to `to` (inclusive, within rounding).
std::vector<double> ticks(double from, double to, double step) {
    std::vector<double> values;
    if (!(step > 0.0) || !std::isfinite(from) || !std::isfinite(to) || (to - from) / step > 1000.0) {
        return values;
    }
    for (double v = std::ceil(from / step - 1e-9) * step; v <= to + step * 1e-9; v += step) {
        values.push_back(std::abs(v) < step * 1e-9 ? 0.0 : v);
    }
    return values;
}

std::string tick_label(double value, double step) {
    const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    std::string text = fixed_text(value, std::clamp(decimals, 0, 6));
    return text == "-0" ? "0" : text;
}

// At most `max_chars` characters (code points), ending in an ellipsis when cut: the header
// lines must not run off the page.
std::string shorten(const std::string& text, std::size_t max_chars) {
    std::size_t chars = 0;
    std::size_t cut = 0;  // where the last character that fits beside the ellipsis ends
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) {
            continue;  // continuation byte
        }
        ++chars;
        if (chars == max_chars) {
            cut = i;
        } else if (chars > max_chars) {
            return text.substr(0, cut) + "\u2026";
        }
    }
    return text;
}

class Svg {
  public:
    void raw(std::string_view text) { out_ += text; }

    void text(double x, double y, std::string_view content, std::string_view style = {},
              std::string_view anchor = "start") {
        out_ += "<text x=\"" + coord(x) + "\" y=\"" + coord(y) + "\"";
        if (anchor != "start") {
            out_ += " text-anchor=\"" + std::string(anchor) + "\"";
        }
        if (!style.empty()) {
            out_ += " " + std::string(style);
        }
        out_ += ">" + xml_escape(content) + "</text>\n";
    }

    void rect(double x, double y, double w, double h, std::string_view fill, std::string_view extra = {}) {
        out_ += "<rect x=\"" + coord(x) + "\" y=\"" + coord(y) + "\" width=\"" + coord(std::max(w, 0.0)) +
                "\" height=\"" + coord(std::max(h, 0.0)) + "\" fill=\"" + std::string(fill) + "\"";
        if (!extra.empty()) {
            out_ += " " + std::string(extra);
        }
        out_ += "/>\n";
    }

    void line(Point a, Point b, std::string_view stroke, double width, std::string_view extra = {}) {
        out_ += "<line x1=\"" + coord(a.x) + "\" y1=\"" + coord(a.y) + "\" x2=\"" + coord(b.x) + "\" y2=\"" +
                coord(b.y) + "\" stroke=\"" + std::string(stroke) + "\" stroke-width=\"" + coord10(width) +
                "\"";
        if (!extra.empty()) {
            out_ += " " + std::string(extra);
        }
        out_ += "/>\n";
    }

    void polyline(const Run& points, std::string_view stroke, double width, std::string_view extra = {}) {
        if (points.empty()) {
            return;
        }
        out_ += "<polyline fill=\"none\" stroke=\"" + std::string(stroke) + "\" stroke-width=\"" +
                coord10(width) + "\"";
        if (!extra.empty()) {
            out_ += " " + std::string(extra);
        }
        out_ += " points=\"";
        append_points(points);
        out_ += "\"/>\n";
    }

    void polygon(const Run& points, std::string_view fill, std::string_view extra = {}) {
        if (points.size() < 3) {
            return;
        }
        out_ += "<polygon fill=\"" + std::string(fill) + "\"";
        if (!extra.empty()) {
            out_ += " " + std::string(extra);
        }
        out_ += " points=\"";
        append_points(points);
        out_ += "\"/>\n";
    }

    [[nodiscard]] std::string take() { return std::move(out_); }

  private:
    static std::string coord10(double value) { return fixed_text(std::isfinite(value) ? value : 1.0, 1); }

    void append_points(const Run& points) {
        bool first = true;
        for (const Point& p : points) {
            if (!first) {
                out_ += ' ';
            }
            first = false;
            out_ += coord(p.x) + "," + coord(p.y);
        }
    }

    std::string out_;
};

// One lap's traces in plot units: x is the timeline's distance or time, pedals and steering in %.
struct Traces {
    std::vector<double> x;
    std::vector<double> speed;
    std::vector<double> throttle;
    std::vector<double> brake;
    std::vector<double> gear;
    std::vector<double> steering;
};

Traces make_traces(std::span<const LapSample> samples, const LapTimeline& timeline, PlotAxis axis) {
    Traces t;
    const std::vector<double>& xs = axis == PlotAxis::Time ? timeline.lap_time_s : timeline.distance_m;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const LapSample& s = samples[i];
        t.x.push_back(i < xs.size() ? xs[i] : kNaN);
        t.speed.push_back(s.speed_kmh);
        t.throttle.push_back(units::throttle(s) * 100.0);
        t.brake.push_back(units::brake(s) * 100.0);
        t.gear.push_back(units::gear_number(s));
        t.steering.push_back(units::steering(s) * 100.0);
    }
    return t;
}

struct Range {
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();

    void add(double v) {
        if (std::isfinite(v)) {
            min = std::min(min, v);
            max = std::max(max, v);
        }
    }
    [[nodiscard]] bool empty() const { return min > max; }
};

// A rectangle of the page with a data range mapped onto it.
struct Panel {
    double top = 0.0;
    double height = 0.0;
    double x_min = 0.0;
    double x_max = 1.0;
    double y_min = 0.0;
    double y_max = 1.0;
    std::string clip_id;

    [[nodiscard]] Point at(double x, double y) const {
        return {kLeft + (x - x_min) / (x_max - x_min) * kPlotWidth,
                top + height - (y - y_min) / (y_max - y_min) * height};
    }
};

// Consecutive finite points as runs; with `step`, each value holds until the next sample.
// Runs longer than the panel is wide keep each pixel column's first, lowest, highest and
// last point, which draws the same picture with far fewer numbers.
std::vector<Run> trace_runs(const Panel& panel, std::span<const double> xs, std::span<const double> ys,
                            bool step) {
    std::vector<Run> runs;
    Run run;
    auto flush = [&] {
        if (!run.empty()) {
            runs.push_back(std::move(run));
        }
        run.clear();
    };
    for (std::size_t i = 0; i < xs.size(); ++i) {
        if (!std::isfinite(xs[i]) || !std::isfinite(ys[i])) {
            flush();
            continue;
        }
        const Point p = panel.at(xs[i], ys[i]);
        if (step && !run.empty()) {
            run.push_back({p.x, run.back().y});
        }
        run.push_back(p);
    }
    flush();
    for (Run& r : runs) {
        if (r.size() < 4 * static_cast<std::size_t>(kPlotWidth)) {
            continue;
        }
        Run thin;
        std::size_t begin = 0;
        while (begin < r.size()) {
            const double column = std::floor(r[begin].x);
            std::size_t end = begin;
            std::size_t low = begin;
            std::size_t high = begin;
            while (end < r.size() && std::floor(r[end].x) == column) {
                low = r[end].y < r[low].y ? end : low;
                high = r[end].y > r[high].y ? end : high;
                ++end;
            }
            std::array<std::size_t, 4> keep{begin, std::min(low, high), std::max(low, high), end - 1};
            for (std::size_t k = 0; k < keep.size(); ++k) {
                if (k == 0 || keep[k] != keep[k - 1]) {
                    thin.push_back(r[keep[k]]);
                }
            }
            begin = end;
        }
        r = std::move(thin);
    }
    return runs;
}

struct LapView {
    const LapFile* file;
    Traces traces;
};

class LapPlot {
  public:
    LapPlot(const LapFile& lap, const PlotReference* reference, PlotAxis axis)
        : lap_(lap), compare_(reference != nullptr ? &reference->file : nullptr), axis_(axis),
          corners_(reference != nullptr ? reference->corners : nullptr) {
        length_ = track_length_m(lap.metadata);
        if (!length_ && compare_ != nullptr) {
            length_ = track_length_m(compare_->metadata);
        }
        Range x;
        x.add(0.0);
        if (reference == nullptr) {
            const LapTimeline timeline = compute_lap_timeline(lap.samples, lap.metadata);
            on_track_length_ = timeline.scaled_to_track_length;
            views_.push_back({&lap, make_traces(lap.samples, timeline, axis)});
        } else {
            const LapComparison& comparison = reference->comparison;
            on_track_length_ = comparison.lap.scaled_to_track_length;
            views_.push_back({&lap, make_traces(lap.samples, comparison.lap, axis)});
            views_.push_back({compare_, make_traces(compare_->samples, comparison.reference, axis)});
            set_delta(comparison);
        }
        if (axis == PlotAxis::Distance && length_) {
            x.add(*length_);
        }
        for (const LapView& view : views_) {
            for (const double v : view.traces.x) {
                x.add(v);
            }
        }
        x_min_ = x.min;
        x_max_ = x.max;
    }

    // The delta at the comparison's grid; on the time axis each point stands at this lap's
    // time at that distance.
    void set_delta(const LapComparison& comparison) {
        delta_y_ = comparison.delta_s;
        delta_at_end_s_ = comparison.delta_at_end_s;
        delta_at_line_ = comparison.ends_at_line;
        if (axis_ == PlotAxis::Distance) {
            delta_x_ = comparison.distance_m;
            return;
        }
        delta_x_.reserve(comparison.distance_m.size());
        for (const double d : comparison.distance_m) {
            delta_x_.push_back(interpolate_at(comparison.lap.distance_m, comparison.lap.lap_time_s, d));
        }
    }

    std::string render() {
        const double header = compare_ != nullptr ? 96.0 : 74.0;
        std::vector<PanelSpec> specs = panel_specs();
        double height = header + kMapHeight + kBottom;
        for (const PanelSpec& spec : specs) {
            height += kPanelGap + spec.height;
        }

        svg_.raw("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
        svg_.raw("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + coord(kWidth) + "\" height=\"" +
                 coord(height) + "\" viewBox=\"0 0 " + coord(kWidth) + " " + coord(height) +
                 "\" font-family=\"DejaVu Sans, Verdana, Arial, sans-serif\" font-size=\"12\">\n");
        svg_.raw("<title>" + xml_escape(document_title()) + "</title>\n");
        svg_.rect(0, 0, kWidth, height, kBackground);
        draw_header();

        double top = header;
        draw_map(top);
        top += kMapHeight;
        Panel last;
        panels_top_ = top + kPanelGap;
        for (std::size_t i = 0; i < specs.size(); ++i) {
            top += kPanelGap;
            last = draw_panel(specs[i], top, i);
            top += specs[i].height;
        }
        draw_x_axis(last);
        svg_.raw("</svg>\n");
        return svg_.take();
    }

  private:
    enum class PanelKind { Speed, Pedals, Gear, Steering, Delta };
    struct PanelSpec {
        PanelKind kind;
        std::string title;
        double height;
    };

    std::vector<PanelSpec> panel_specs() const {
        std::vector<PanelSpec> specs{
            {PanelKind::Speed, "Speed (km/h)", 190.0},
            {PanelKind::Pedals, "Throttle and brake (%)", 120.0},
            {PanelKind::Gear, "Gear", 100.0},
            {PanelKind::Steering, "Steering (%, left negative)", 110.0},
        };
        if (compare_ != nullptr) {
            specs.push_back({PanelKind::Delta,
                             "Time delta to the reference (s): " + std::string(kDeltaConvention), 140.0});
        }
        return specs;
    }

    [[nodiscard]] std::string file_name(const LapFile& file) const {
        return path_to_utf8(file.path.filename());
    }

    [[nodiscard]] std::string document_title() const {
        if (lap_.metadata) {
            return track_text(*lap_.metadata) + " - " + car_text(*lap_.metadata) + " - lap " +
                   std::to_string(lap_.metadata->lap_number);
        }
        return file_name(lap_);
    }

    [[nodiscard]] std::string lap_line(const LapFile& file) const {
        std::string line;
        if (file.metadata) {
            const LapMetadata& m = *file.metadata;
            const std::string time = lap_time_text(m.lap_time_seconds);
            line = "Lap " + std::to_string(m.lap_number) + "  " +
                   (time == "unknown" ? "time unknown" : time) + "  \u00b7  " + car_text(m);
            if (!m.driver_name.empty()) {
                line += "  \u00b7  " + m.driver_name;
            }
            if (!m.session_type.empty()) {
                line += "  \u00b7  " + m.session_type;
            }
        } else {
            const LapSummary summary = summarize_lap(file.samples);
            line = "no metadata  \u00b7  " + std::to_string(file.samples.size()) + " samples over " +
                   fixed_text(summary.duration_s, 3) + " s";
        }
        return line;
    }

    void draw_header() {
        std::string title = lap_.metadata ? track_text(*lap_.metadata) : file_name(lap_);
        if (length_) {
            title += "  \u00b7  " + fixed_text(*length_ / 1000.0, 2) + " km";
        }
        svg_.text(kLeft, 32, title,
                  "font-size=\"21\" font-weight=\"bold\" fill=\"" + std::string(kText) + "\"");
        constexpr std::size_t kMaxLineChars = 144;
        if (compare_ == nullptr) {
            svg_.text(kLeft, 56, shorten(lap_line(lap_) + "  \u00b7  " + file_name(lap_), kMaxLineChars),
                      "font-size=\"13\" fill=\"" + std::string(kMutedText) + "\"");
            return;
        }
        std::string this_line = lap_line(lap_);
        if (!delta_y_.empty()) {
            const double final_delta = delta_at_end_s_;
            this_line += "  \u00b7  " + fixed_text(std::abs(final_delta), 3) + " s " +
                         (final_delta > 0.0 ? "slower" : "faster") + " than the reference";
        }
        svg_.line({kLeft, 52}, {kLeft + 22, 52}, kLapColour, 3);
        svg_.text(kLeft + 30, 56, shorten(this_line + "  \u00b7  " + file_name(lap_), kMaxLineChars - 4),
                  "font-size=\"13\" fill=\"" + std::string(kText) + "\"");
        svg_.line({kLeft, 74}, {kLeft + 22, 74}, kCompareColour, 3);
        svg_.text(kLeft + 30, 78,
                  shorten(lap_line(*compare_) + "  \u00b7  " + file_name(*compare_), kMaxLineChars - 4),
                  "font-size=\"13\" fill=\"" + std::string(kText) + "\"");
    }

    // ---- track map -------------------------------------------------------------------

    struct MapProjection {
        double scale = 1.0;
        double offset_x = 0.0;
        double offset_y = 0.0;

        [[nodiscard]] Point at(const LapSample& s) const {
            // Seen from above: x to the right, z away from the viewer (up the page).
            return {offset_x + static_cast<double>(s.pos_x) * scale,
                    offset_y - static_cast<double>(s.pos_z) * scale};
        }
    };

    static bool has_position(const LapSample& s) { return std::isfinite(s.pos_x) && std::isfinite(s.pos_z); }

    void draw_map(double top) {
        const double left = kLeft;
        const double legend_width = 90.0;
        const double width = kPlotWidth - legend_width;
        const double inner_top = top + 34.0;
        const double inner_height = kMapHeight - 48.0;
        svg_.rect(kLeft, top + 8, kPlotWidth, kMapHeight - 8, kPanelFill,
                  "stroke=\"" + std::string(kPanelEdge) + "\" rx=\"6\"");
        svg_.text(kLeft + 12, top + 28, "Track map, coloured by speed",
                  "font-size=\"13\" font-weight=\"bold\" fill=\"" + std::string(kText) + "\"");

        Range xs;
        Range zs;
        for (const LapView& view : views_) {
            for (const LapSample& s : view.file->samples) {
                if (has_position(s)) {
                    xs.add(s.pos_x);
                    zs.add(s.pos_z);
                }
            }
        }
        if (xs.empty()) {
            svg_.text(left + width / 2, inner_top + inner_height / 2, "No position data",
                      "font-size=\"16\" fill=\"" + std::string(kMutedText) + "\"", "middle");
            return;
        }
        const double pad = 24.0;
        const double box_w = width - 2 * pad;
        const double box_h = inner_height - 2 * pad;
        const double span_x = xs.max - xs.min;
        const double span_z = zs.max - zs.min;
        double scale = std::min(span_x > 0 ? box_w / span_x : std::numeric_limits<double>::infinity(),
                                span_z > 0 ? box_h / span_z : std::numeric_limits<double>::infinity());
        if (!std::isfinite(scale) || scale <= 0.0) {
            scale = 1.0;  // a standing car: one point, drawn in the middle
        }
        MapProjection projection;
        projection.scale = scale;
        const double centre_x = (xs.min + xs.max) / 2;
        const double centre_z = (zs.min + zs.max) / 2;
        projection.offset_x = left + width / 2 - centre_x * scale;
        projection.offset_y = inner_top + inner_height / 2 + centre_z * scale;

        if (compare_ != nullptr) {
            for (const Run& run : map_runs(compare_->samples, projection)) {
                svg_.polyline(run, kCompareColour, 1.5,
                              "stroke-opacity=\"0.75\" stroke-linejoin=\"round\" stroke-linecap=\"round\"");
            }
        }
        draw_speed_path(projection);
        draw_direction_marks(projection);
        draw_speed_legend(kLeft + kPlotWidth - legend_width + 30, inner_top + 18, inner_height - 44);
    }

    static std::vector<Run> map_runs(std::span<const LapSample> samples, const MapProjection& projection) {
        std::vector<Run> runs(1);
        for (const LapSample& s : samples) {
            if (!has_position(s)) {
                if (!runs.back().empty()) {
                    runs.emplace_back();
                }
                continue;
            }
            runs.back().push_back(projection.at(s));
        }
        return runs;
    }

    [[nodiscard]] Range speed_range() const {
        Range range;
        for (const double v : views_.front().traces.speed) {
            range.add(v);
        }
        return range;
    }

    void draw_speed_path(const MapProjection& projection) {
        const auto& samples = lap_.samples;
        const Range range = speed_range();
        auto bucket_of = [&](double speed) {
            if (range.empty() || range.max <= range.min) {
                return kSpeedBuckets / 2;
            }
            const auto b = static_cast<int>((speed - range.min) / (range.max - range.min) * kSpeedBuckets);
            return std::clamp(b, 0, kSpeedBuckets - 1);
        };
        Run run;
        int run_bucket = -1;
        auto flush = [&] {
            if (run.size() >= 2) {
                svg_.polyline(run, speed_colour((run_bucket + 0.5) / kSpeedBuckets), 4.5,
                              "stroke-linejoin=\"round\" stroke-linecap=\"round\"");
            }
            run.clear();
        };
        std::size_t drawn = 0;
        for (std::size_t i = 1; i < samples.size(); ++i) {
            if (!has_position(samples[i - 1]) || !has_position(samples[i])) {
                flush();
                continue;
            }
            const int bucket = bucket_of((samples[i - 1].speed_kmh + samples[i].speed_kmh) / 2.0);
            if (bucket != run_bucket || run.empty()) {
                flush();
                run_bucket = bucket;
                run.push_back(projection.at(samples[i - 1]));
            }
            run.push_back(projection.at(samples[i]));
            ++drawn;
        }
        flush();
        if (drawn == 0) {
            // One usable position (or none in a row): still show where the car was.
            for (const LapSample& s : samples) {
                if (has_position(s)) {
                    const Point p = projection.at(s);
                    svg_.raw("<circle cx=\"" + coord(p.x) + "\" cy=\"" + coord(p.y) + "\" r=\"5\" fill=\"" +
                             speed_colour(0.5) + "\"/>\n");
                    break;
                }
            }
        }
    }

    // The first position at least `min_px` away from sample `from` along the lap, as a unit vector.
    static std::optional<Point> heading(std::span<const LapSample> samples, std::size_t from,
                                        const MapProjection& projection, double min_px) {
        const Point origin = projection.at(samples[from]);
        for (std::size_t i = from + 1; i < samples.size(); ++i) {
            if (!has_position(samples[i])) {
                continue;
            }
            const Point p = projection.at(samples[i]);
            const double dx = p.x - origin.x;
            const double dy = p.y - origin.y;
            const double length = std::hypot(dx, dy);
            if (length >= min_px && std::isfinite(length)) {
                return Point{dx / length, dy / length};
            }
        }
        return std::nullopt;
    }

    void arrow(Point at, Point direction, double size, std::string_view fill) {
        const Point normal{-direction.y, direction.x};
        const Run triangle{
            {at.x + direction.x * size, at.y + direction.y * size},
            {at.x - direction.x * size * 0.7 + normal.x * size * 0.75,
             at.y - direction.y * size * 0.7 + normal.y * size * 0.75},
            {at.x - direction.x * size * 0.7 - normal.x * size * 0.75,
             at.y - direction.y * size * 0.7 - normal.y * size * 0.75},
        };
        svg_.polygon(triangle, fill, "stroke=\"#111318\" stroke-width=\"1.2\" stroke-linejoin=\"round\"");
    }

    void draw_direction_marks(const MapProjection& projection) {
        const auto& samples = lap_.samples;
        std::vector<std::size_t> positioned;
        for (std::size_t i = 0; i < samples.size(); ++i) {
            if (has_position(samples[i])) {
                positioned.push_back(i);
            }
        }
        if (positioned.empty()) {
            return;
        }
        // Chevrons a quarter, half and three quarters round show the direction of travel.
        for (const double share : {0.25, 0.5, 0.75}) {
            const std::size_t i =
                positioned[static_cast<std::size_t>(share * static_cast<double>(positioned.size() - 1))];
            if (const auto dir = heading(samples, i, projection, 3.0)) {
                arrow(projection.at(samples[i]), *dir, 7.0, "#f0f3f6");
            }
        }
        const std::size_t first = positioned.front();
        const Point start = projection.at(samples[first]);
        const auto dir = heading(samples, first, projection, 3.0);
        if (dir) {
            // The start line across the track, and an arrow leaving it.
            const Point normal{-dir->y, dir->x};
            svg_.line({start.x - normal.x * 13, start.y - normal.y * 13},
                      {start.x + normal.x * 13, start.y + normal.y * 13}, "#ffffff", 4,
                      "stroke-linecap=\"round\"");
            arrow({start.x + dir->x * 22, start.y + dir->y * 22}, *dir, 9.0, "#ffffff");
            svg_.text(start.x - normal.x * 20 - dir->x * 8, start.y - normal.y * 20 - dir->y * 8 + 4, "Start",
                      "font-size=\"13\" font-weight=\"bold\" fill=\"#ffffff\" stroke=\"#111318\" "
                      "stroke-width=\"3\" "
                      "paint-order=\"stroke\"",
                      "middle");
        } else {
            svg_.raw("<circle cx=\"" + coord(start.x) + "\" cy=\"" + coord(start.y) +
                     "\" r=\"7\" fill=\"none\" stroke=\"#ffffff\" stroke-width=\"2.5\"/>\n");
            svg_.text(start.x, start.y - 12, "Start",
                      "font-size=\"13\" font-weight=\"bold\" fill=\"#ffffff\"", "middle");
        }
    }

    void draw_speed_legend(double x, double top, double height) {
        const Range range = speed_range();
        if (range.empty()) {
            return;
        }
        svg_.raw("<defs><linearGradient id=\"speed-scale\" x1=\"0\" y1=\"1\" x2=\"0\" y2=\"0\">");
        for (int i = 0; i <= 8; ++i) {
            const double share = i / 8.0;
            svg_.raw("<stop offset=\"" + fixed_text(share, 3) + "\" stop-color=\"" + speed_colour(share) +
                     "\"/>");
        }
        svg_.raw("</linearGradient></defs>\n");
        svg_.rect(x, top, 14, height, "url(#speed-scale)", "rx=\"3\"");
        const std::string style = "font-size=\"11\" fill=\"" + std::string(kMutedText) + "\"";
        svg_.text(x + 7, top - 8, "km/h", style, "middle");
        svg_.text(x + 20, top + 8, fixed_text(range.max, 0), style);
        svg_.text(x + 20, top + height / 2 + 4, fixed_text((range.min + range.max) / 2, 0), style);
        svg_.text(x + 20, top + height, fixed_text(range.min, 0), style);
    }

    // ---- traces ------------------------------------------------------------------------

    Panel draw_panel(const PanelSpec& spec, double top, std::size_t index) {
        Panel panel;
        panel.top = top;
        panel.height = spec.height;
        panel.x_min = x_min_;
        panel.x_max = x_max_;
        panel.clip_id = "panel-" + std::to_string(index);
        std::vector<std::pair<double, std::string>> y_ticks;
        set_y_axis(spec.kind, panel, y_ticks);

        svg_.text(kLeft, top - 9, spec.title,
                  "font-size=\"13\" font-weight=\"bold\" fill=\"" + std::string(kText) + "\"");
        svg_.raw("<defs><clipPath id=\"" + panel.clip_id + "\"><rect x=\"" + coord(kLeft) + "\" y=\"" +
                 coord(top) + "\" width=\"" + coord(kPlotWidth) + "\" height=\"" + coord(spec.height) +
                 "\"/></clipPath></defs>\n");
        svg_.rect(kLeft, top, kPlotWidth, spec.height, kPanelFill,
                  "stroke=\"" + std::string(kPanelEdge) + "\"");
        for (const double x : x_ticks()) {
            svg_.line(panel.at(x, panel.y_min), panel.at(x, panel.y_max), kGrid, 1);
        }
        for (const auto& [value, label] : y_ticks) {
            const Point p = panel.at(x_min_, value);
            svg_.line(p, {kLeft + kPlotWidth, p.y}, value == 0.0 && panel.y_min < 0.0 ? kZeroLine : kGrid, 1);
            svg_.text(kLeft - 7, p.y + 4, label, "font-size=\"11\" fill=\"" + std::string(kMutedText) + "\"",
                      "end");
        }

        svg_.raw("<g clip-path=\"url(#" + panel.clip_id + ")\">\n");
        if (views_.front().traces.x.empty()) {
            svg_.text(kLeft + kPlotWidth / 2, top + spec.height / 2 + 5, "No samples",
                      "font-size=\"14\" fill=\"" + std::string(kMutedText) + "\"", "middle");
        } else {
            draw_series(spec.kind, panel);
        }
        svg_.raw("</g>\n");
        if (spec.kind == PanelKind::Pedals) {
            legend(panel, {{"throttle", kThrottleColour}, {"brake", kBrakeColour}});
        }
        return panel;
    }

    void set_y_axis(PanelKind kind, Panel& panel, std::vector<std::pair<double, std::string>>& labels) const {
        auto add_ticks = [&](double step, std::string_view suffix = {}) {
            for (const double v : ticks(panel.y_min, panel.y_max, step)) {
                labels.emplace_back(v, tick_label(v, step) + std::string(suffix));
            }
        };
        switch (kind) {
            case PanelKind::Speed: {
                Range speed;
                for (const LapView& view : views_) {
                    for (const double v : view.traces.speed) {
                        speed.add(v);
                    }
                }
                const double top = speed.empty() ? 100.0 : std::max(speed.max, 50.0);
                const double step = nice_step(top, 8.0);
                panel.y_min = 0.0;
                panel.y_max = std::ceil(top / step) * step;
                add_ticks(step);
                break;
            }
            case PanelKind::Pedals:
                panel.y_min = 0.0;
                panel.y_max = 100.0;
                add_ticks(50.0);
                break;
            case PanelKind::Gear: {
                Range gears;
                for (const LapView& view : views_) {
                    for (const double v : view.traces.gear) {
                        gears.add(v);
                    }
                }
                const double low = gears.empty() ? 0.0 : std::min(gears.min, 0.0);
                const double high = gears.empty() ? 6.0 : std::max(gears.max, 1.0);
                panel.y_min = low - 0.5;
                panel.y_max = high + 0.5;
                const double step = high - low > 6 ? 2.0 : 1.0;
                for (double g = low; g <= high; g += step) {
                    labels.emplace_back(g, g < 0 ? "R" : (g == 0 ? "N" : fixed_text(g, 0)));
                }
                break;
            }
            case PanelKind::Steering:
                panel.y_min = -100.0;
                panel.y_max = 100.0;
                add_ticks(50.0);
                break;
            case PanelKind::Delta: {
                double largest = 0.0;
                for (const double delta : delta_y_) {
                    if (std::isfinite(delta)) {
                        largest = std::max(largest, std::abs(delta));
                    }
                }
                const double step = nice_step(std::max(largest, 0.1) * 2, 4.0);
                panel.y_max = std::max(std::ceil(largest / step), 1.0) * step;
                panel.y_min = -panel.y_max;
                add_ticks(step);
                break;
            }
        }
    }

    void draw_trace(const Panel& panel, const Traces& t, const std::vector<double>& ys,
                    std::string_view colour, double width, std::string_view extra = {}, bool step = false) {
        for (const Run& run : trace_runs(panel, t.x, ys, step)) {
            if (run.size() == 1) {
                // A sample between unusable ones: a dot, where a line would be invisible.
                svg_.raw("<circle cx=\"" + coord(run[0].x) + "\" cy=\"" + coord(run[0].y) + "\" r=\"" +
                         coord(width + 0.5) + "\" fill=\"" + std::string(colour) + "\"/>\n");
                continue;
            }
            svg_.polyline(run, colour, width,
                          "stroke-linejoin=\"round\"" + (extra.empty() ? "" : " " + std::string(extra)));
        }
    }

    void draw_series(PanelKind kind, const Panel& panel) {
        const Traces& ours = views_.front().traces;
        const Traces* theirs = views_.size() > 1 ? &views_[1].traces : nullptr;
        const std::string dashed = "stroke-dasharray=\"5 3\"";
        switch (kind) {
            case PanelKind::Speed:
                if (theirs != nullptr) {
                    draw_trace(panel, *theirs, theirs->speed, kCompareColour, 1.6);
                }
                draw_trace(panel, ours, ours.speed, kLapColour, 1.8);
                break;
            case PanelKind::Pedals:
                if (theirs != nullptr) {
                    draw_trace(panel, *theirs, theirs->throttle, kCompareThrottleColour, 1.3, dashed);
                    draw_trace(panel, *theirs, theirs->brake, kCompareBrakeColour, 1.3, dashed);
                }
                draw_trace(panel, ours, ours.throttle, kThrottleColour, 1.6);
                draw_trace(panel, ours, ours.brake, kBrakeColour, 1.6);
                break;
            case PanelKind::Gear:
                if (theirs != nullptr) {
                    draw_trace(panel, *theirs, theirs->gear, kCompareColour, 1.5, {}, true);
                }
                draw_trace(panel, ours, ours.gear, kLapColour, 1.8, {}, true);
                break;
            case PanelKind::Steering:
                if (theirs != nullptr) {
                    draw_trace(panel, *theirs, theirs->steering, kCompareColour, 1.3);
                }
                draw_trace(panel, ours, ours.steering, kLapColour, 1.5);
                break;
            case PanelKind::Delta:
                draw_delta(panel);
                break;
        }
    }

    void legend(const Panel& panel,
                std::initializer_list<std::pair<std::string_view, std::string_view>> entries) {
        // Above the panel's right end, beside its title, where no trace can hide it.
        double x = kLeft + kPlotWidth;
        const double y = panel.top - 9;
        for (auto it = std::rbegin(entries); it != std::rend(entries); ++it) {
            const double text_width = 7.0 * static_cast<double>(it->first.size());
            svg_.text(x, y, it->first, "font-size=\"12\" fill=\"" + std::string(kText) + "\"", "end");
            svg_.line({x - text_width - 24, y - 4}, {x - text_width - 6, y - 4}, it->second, 3);
            x -= text_width + 40;
        }
    }

    void draw_delta(const Panel& panel) {
        if (delta_y_.empty()) {
            svg_.text(kLeft + kPlotWidth / 2, panel.top + panel.height / 2 + 5,
                      "The laps share no stretch of track",
                      "font-size=\"14\" fill=\"" + std::string(kMutedText) + "\"", "middle");
            return;
        }
        const std::vector<double>& xs = delta_x_;
        const std::vector<double>& ys = delta_y_;
        const double zero_y = panel.at(x_min_, 0.0).y;
        // Shade time lost red and time won green: the area to the zero line, clipped to each side.
        const std::string above = panel.clip_id + "-lost";
        const std::string below = panel.clip_id + "-won";
        svg_.raw("<defs><clipPath id=\"" + above + "\"><rect x=\"" + coord(kLeft) + "\" y=\"" +
                 coord(panel.top) + "\" width=\"" + coord(kPlotWidth) + "\" height=\"" +
                 coord(zero_y - panel.top) + "\"/></clipPath><clipPath id=\"" + below + "\"><rect x=\"" +
                 coord(kLeft) + "\" y=\"" + coord(zero_y) + "\" width=\"" + coord(kPlotWidth) +
                 "\" height=\"" + coord(panel.top + panel.height - zero_y) + "\"/></clipPath></defs>\n");
        for (const Run& run : trace_runs(panel, xs, ys, false)) {
            Run area = run;
            area.push_back({run.back().x, zero_y});
            area.push_back({run.front().x, zero_y});
            svg_.polygon(area, kBrakeColour, "fill-opacity=\"0.3\" clip-path=\"url(#" + above + ")\"");
            svg_.polygon(area, kThrottleColour, "fill-opacity=\"0.3\" clip-path=\"url(#" + below + ")\"");
            svg_.polyline(run, kDeltaColour, 1.6, "stroke-linejoin=\"round\"");
        }
        const double final_delta = delta_at_end_s_;
        svg_.text(kLeft + kPlotWidth - 10, panel.top + 18,
                  (final_delta > 0 ? "+" : "") + fixed_text(final_delta, 3) + " s at the end" +
                      (delta_at_line_ ? " (the line)" : " of the common distance"),
                  "font-size=\"12\" font-weight=\"bold\" fill=\"" + std::string(kText) + "\"", "end");
    }

    [[nodiscard]] std::string x_axis_title() const {
        if (axis_ == PlotAxis::Time) {
            return "Lap time (s)";
        }
        return on_track_length_ ? "Lap distance (m)"
                                : "Distance along the car's path (m, track length unknown)";
    }

    [[nodiscard]] double x_step() const { return nice_step(x_max_ - x_min_, 10.0); }

    [[nodiscard]] std::vector<double> x_ticks() const { return ticks(x_min_, x_max_, x_step()); }

    void draw_x_axis(const Panel& panel) {
        const double y = panel.top + panel.height;
        const std::string style = "font-size=\"11\" fill=\"" + std::string(kMutedText) + "\"";
        for (const double x : x_ticks()) {
            const Point p = panel.at(x, panel.y_min);
            svg_.line({p.x, y}, {p.x, y + 5}, kZeroLine, 1);
            svg_.text(p.x, y + 18, tick_label(x, x_step()), style, "middle");
        }
        svg_.text(kLeft + kPlotWidth / 2, y + 40, x_axis_title(),
                  "font-size=\"12\" fill=\"" + std::string(kText) + "\"", "middle");
        draw_corner_marks(panel);
    }

    // Each corner's apex as a faint line through every panel, its number at the top.
    void draw_corner_marks(const Panel& panel) {
        if (corners_ == nullptr || axis_ != PlotAxis::Distance) return;
        const double bottom = panel.top + panel.height;
        double previous_x = -1e9;
        bool lowered = false;
        for (const TrackCorner& c : corners_->corners) {
            if (!(c.apex_m >= x_min_ && c.apex_m <= x_max_)) continue;
            const double x = panel.at(c.apex_m, panel.y_min).x;
            // Close apexes (a chicane) take turns on two rows.
            lowered = x - previous_x < 22.0 && !lowered;
            previous_x = x;
            svg_.line({x, panels_top_}, {x, bottom}, kZeroLine, 1, "stroke-dasharray=\"2 4\"");
            svg_.text(x, panels_top_ + (lowered ? 21 : 10), "T" + std::to_string(c.number),
                      "font-size=\"10\" fill=\"" + std::string(kMutedText) + "\"", "middle");
        }
    }

    const LapFile& lap_;
    const LapFile* compare_;
    PlotAxis axis_;
    const CornerMap* corners_;
    double panels_top_ = 0.0;
    std::optional<double> length_;
    bool on_track_length_ = false;  // this lap's distance is scaled to the track length
    std::vector<LapView> views_;
    std::vector<double> delta_x_;  // the delta trace, on the plot's x axis
    std::vector<double> delta_y_;
    double delta_at_end_s_ = 0.0;
    bool delta_at_line_ = false;
    double x_min_ = 0.0;
    double x_max_ = 1.0;
    Svg svg_;
};

}  // namespace

std::optional<PlotAxis> plot_axis_from_text(std::string_view text) {
    if (text == "distance") {
        return PlotAxis::Distance;
    }
    if (text == "time") {
        return PlotAxis::Time;
    }
    return std::nullopt;
}

std::string render_lap_plot(const LapFile& lap, const PlotReference* reference, PlotAxis axis) {
    return LapPlot(lap, reference, axis).render();
}

}  // namespace corvel
