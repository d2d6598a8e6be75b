// CSV rows, built column by column in the order of kLapCsvColumns.
#include "export/csv_export.hpp"

#include <cmath>

#include "analysis/lap_analysis.hpp"
#include "presentation/number_text.hpp"
#include "lap_format/sample_units.hpp"

namespace corvel {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

class Row {
  public:
    explicit Row(std::string& out) : out_(out) {}
    ~Row() { out_ += kLineEnd; }
    Row(const Row&) = delete;
    Row& operator=(const Row&) = delete;

    void add(std::string_view field) {
        if (!first_) {
            out_ += ',';
        }
        first_ = false;
        out_ += csv_field(field);
    }
    void add_flag(const LapSample& s, std::uint8_t flag) { add(units::has_flag(s, flag) ? "1" : "0"); }

  private:
    std::string& out_;
    bool first_ = true;
};

// A timeline value, or an empty cell where the timeline has none.
std::string timeline_cell(const std::vector<double>& values, std::size_t i, int decimals) {
    return i < values.size() ? fixed_text(values[i], decimals) : std::string();
}

void add_sample_row(std::string& out, std::span<const LapSample> samples, std::size_t i, double progress,
                    const LapTimeline& timeline, std::optional<double> track_length_m) {
    const LapSample& s = samples[i];
    Row row(out);
    row.add(std::to_string(i));
    row.add(fixed_text(elapsed_s(samples, i), 4));
    row.add(shortest_text(s.session_time));
    row.add(shortest_text(s.lap_fraction));
    row.add(track_length_m && std::isfinite(progress) ? fixed_text(progress * *track_length_m, 2) : "");
    row.add(std::to_string(s.lap));
    row.add(std::to_string(s.speed_kmh));
    row.add(fixed_text(units::throttle(s), 4));
    row.add(fixed_text(units::brake(s), 4));
    row.add(fixed_text(units::clutch(s), 4));
    row.add(fixed_text(units::steering(s), 4));
    row.add(units::gear_label(s));
    row.add(std::to_string(s.engine_rpm));
    row.add(fixed_text(units::fuel_l(s), 1));
    row.add(shortest_text(s.pos_x));
    row.add(shortest_text(s.pos_z));
    row.add(fixed_text(units::lateral_g(s), 1));
    row.add(fixed_text(units::longitudinal_g(s), 1));
    row.add(fixed_text(units::path_lateral_m(s), 2));
    row.add(fixed_text(units::track_edge_m(s), 2));
    row.add(std::to_string(s.aux_counter));
    row.add_flag(s, sample_flag::kInPitLane);
    row.add_flag(s, sample_flag::kYellow);
    row.add_flag(s, sample_flag::kAbs);
    row.add_flag(s, sample_flag::kTc);
    row.add_flag(s, sample_flag::kDrs);
    row.add_flag(s, sample_flag::kLimiter);
    row.add_flag(s, sample_flag::kLapInvalid);
    row.add(timeline_cell(timeline.lap_time_s, i, 4));
    row.add(timeline_cell(timeline.distance_m, i, 2));
}

}  // namespace

std::string csv_field(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    quoted += '"';
    return quoted;
}

std::string lap_csv(std::span<const LapSample> samples, const LapTimeline& timeline,
                    std::optional<double> track_length_m) {
    std::string out;
    out.reserve(220 * (samples.size() + 1));
    {
        Row header(out);
        for (const std::string_view column : kLapCsvColumns) {
            header.add(column);
        }
    }
    const std::vector<double> progress = lap_progress(samples);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        add_sample_row(out, samples, i, progress[i], timeline, track_length_m);
    }
    return out;
}

}  // namespace corvel
