// Builds the MoTeC log of one lap: picks the time base, resamples every quantity of the sample
// record onto the even grid in physical units, and fills the header texts from the metadata.
#include "export/motec/lap_to_motec.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <string_view>

#include "lap_format/sample_units.hpp"
#include "export/motec/even_grid.hpp"
#include "export/motec/ld_file.hpp"
#include "export/motec/ldx_file.hpp"

namespace corvel::motec {
namespace {

enum class Method : std::uint8_t { Linear, Hold };

struct ChannelSpec {
    std::string_view name;
    std::string_view short_name;
    std::string_view unit;
    Method method;
    double (*value)(const LapSample&);
};

double flag(const LapSample& s, std::uint8_t bit) {
    return units::has_flag(s, bit) ? 1.0 : 0.0;
}

// In the order of the channel table of docs/motec-ld.md; Lap Distance goes in after the first.
constexpr std::array kChannels{
    ChannelSpec{"Session Time", "Time", "s", Method::Linear,
                [](const LapSample& s) { return static_cast<double>(s.session_time); }},
    ChannelSpec{"Ground Speed", "Speed", "km/h", Method::Linear,
                [](const LapSample& s) { return static_cast<double>(s.speed_kmh); }},
    ChannelSpec{"Throttle Pos", "Thr", "%", Method::Linear,
                [](const LapSample& s) { return units::throttle(s) * 100.0; }},
    ChannelSpec{"Brake Pos", "Brk", "%", Method::Linear,
                [](const LapSample& s) { return units::brake(s) * 100.0; }},
    ChannelSpec{"Clutch Pos", "Clu", "%", Method::Linear,
                [](const LapSample& s) { return units::clutch(s) * 100.0; }},
    ChannelSpec{"Steering Pos", "Steer", "%", Method::Linear,
                [](const LapSample& s) { return units::steering(s) * 100.0; }},
    ChannelSpec{"Gear", "Gear", "", Method::Hold,
                [](const LapSample& s) { return static_cast<double>(units::gear_number(s)); }},
    ChannelSpec{"Engine RPM", "RPM", "rpm", Method::Linear,
                [](const LapSample& s) { return static_cast<double>(s.engine_rpm); }},
    ChannelSpec{"Fuel Level", "Fuel", "l", Method::Linear,
                [](const LapSample& s) { return units::fuel_l(s); }},
    ChannelSpec{"Pos X", "PosX", "m", Method::Linear,
                [](const LapSample& s) { return static_cast<double>(s.pos_x); }},
    ChannelSpec{"Pos Z", "PosZ", "m", Method::Linear,
                [](const LapSample& s) { return static_cast<double>(s.pos_z); }},
    ChannelSpec{"G Force Lat", "GLat", "G", Method::Linear,
                [](const LapSample& s) { return units::lateral_g(s); }},
    ChannelSpec{"G Force Long", "GLong", "G", Method::Linear,
                [](const LapSample& s) { return units::longitudinal_g(s); }},
    ChannelSpec{"Path Lateral", "PathLat", "m", Method::Linear,
                [](const LapSample& s) { return units::path_lateral_m(s); }},
    ChannelSpec{"Track Edge", "TrkEdge", "m", Method::Linear,
                [](const LapSample& s) { return units::track_edge_m(s); }},
    ChannelSpec{"Pit Lane", "Pit", "", Method::Hold,
                [](const LapSample& s) { return flag(s, sample_flag::kInPitLane); }},
    ChannelSpec{"Yellow Flag", "Yellow", "", Method::Hold,
                [](const LapSample& s) { return flag(s, sample_flag::kYellow); }},
    ChannelSpec{"ABS Active", "ABS", "", Method::Hold,
                [](const LapSample& s) { return flag(s, sample_flag::kAbs); }},
    ChannelSpec{"TC Active", "TC", "", Method::Hold,
                [](const LapSample& s) { return flag(s, sample_flag::kTc); }},
    ChannelSpec{"DRS Active", "DRS", "", Method::Hold,
                [](const LapSample& s) { return flag(s, sample_flag::kDrs); }},
    ChannelSpec{"Pit Limiter", "Limiter", "", Method::Hold,
                [](const LapSample& s) { return flag(s, sample_flag::kLimiter); }},
    ChannelSpec{"Lap Invalid", "Invalid", "", Method::Hold,
                [](const LapSample& s) { return flag(s, sample_flag::kLapInvalid); }},
};

LdChannel make_channel(std::string_view name, std::string_view short_name, std::string_view unit,
                       Method method, const EvenGrid& grid, std::vector<double> at_kept) {
    fill_non_finite(at_kept);
    LdChannel channel;
    channel.name = name;
    channel.short_name = short_name;
    channel.unit = unit;
    channel.type = method == Method::Hold ? LdSampleType::Int16 : LdSampleType::Float32;
    channel.values = method == Method::Hold ? resample_hold(grid, at_kept) : resample_linear(grid, at_kept);
    return channel;
}

std::vector<double> values_at_kept(std::span<const LapSample> samples, const EvenGrid& grid,
                                   double (*value)(const LapSample&)) {
    std::vector<double> out;
    out.reserve(grid.kept.size());
    for (const std::size_t i : grid.kept) out.push_back(value(samples[i]));
    return out;
}

bool usable_track_length(const std::optional<double>& length) {
    return length && std::isfinite(*length) && *length > 0.0;
}

std::string fixed(double value, int decimals) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return result.ec == std::errc{} ? std::string(buffer, result.ptr) : std::string("?");
}

std::string lap_time_text(const std::optional<double>& lap_time_s) {
    const std::string text = lap_time_s ? format_lap_time(*lap_time_s) : std::string();
    return text.empty() ? std::string("no time") : text;
}

std::string upper_ascii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string long_comment(std::span<const LapSample> samples, const EvenGrid& grid, const MotecLapDetails& d,
                         const LapTimeline& timeline, bool has_distance) {
    std::string text = "Lap " + std::to_string(d.lap_number);
    if (!d.source_file_name.empty()) text += " of " + d.source_file_name;
    text += ", lap time " + lap_time_text(d.lap_time_s) + ". ";
    text += std::to_string(samples.size()) + " captured samples";
    if (grid.kept.size() != samples.size())
        text += " (" + std::to_string(grid.kept.size()) + " with increasing session times)";
    text += " resampled to " + std::to_string(grid.rate_hz) + " Hz, the lap's mean rate of " +
            fixed(grid.mean_rate_hz, 2) + " Hz rounded, on an even grid of " + std::to_string(grid.points) +
            (timeline.line_anchored ? " points from the start line" : " points from the first sample") +
            ": linear interpolation; gear and flags hold the last sample.";
    const double lead = grid.times_s.front();
    if (lead > 0.0)
        text += " The first sample, " + fixed(lead, 3) + " s after the line, is held back to it so that the log "
                "starts at the line.";
    const double log_end = static_cast<double>(grid.points - 1) / grid.rate_hz;
    const double held = log_end - grid.times_s.back();
    if (held > 0.0)
        text += " The last sample is held for the final " + fixed(held * 1000.0, 0) +
                " ms so that the log reaches the lap time.";
    if (!timeline.line_anchored) text += " The line could not be placed: time 0 is the first sample.";
    if (!has_distance) text += " The metadata has no usable track length, so Lap Distance is left out.";
    text += " Exported by corvel-lap.";
    return text;
}

LdSession make_session(std::span<const LapSample> samples, const EvenGrid& grid, const MotecLapDetails& d,
                       const LapTimeline& timeline, bool has_distance) {
    LdSession s;
    const LdDateTime when = ld_date_time(d.created_at);
    s.date = when.date;
    s.time = when.time;
    s.driver = d.driver_name;
    s.vehicle = d.car_name.empty() ? d.car_id : d.car_name;
    s.venue = d.track_name.empty() ? d.track_id : d.track_name;
    s.short_comment = "Lap " + std::to_string(d.lap_number) + " " + lap_time_text(d.lap_time_s);
    s.event = upper_ascii(d.simulator.empty() ? std::string("lmu") : d.simulator);
    if (!d.track_config.empty()) s.event += " " + d.track_config;
    s.session = session_words(d.session_type);
    s.long_comment = long_comment(samples, grid, d, timeline, has_distance);
    s.vehicle_id = s.vehicle;
    s.vehicle_type = d.car_class;
    s.vehicle_comment = d.car_id;
    return s;
}

std::string padded(int value, std::size_t width) {
    std::string digits = std::to_string(value);
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    return digits;
}

std::string two_digits(unsigned value) {
    return padded(static_cast<int>(value), 2);
}

}  // namespace

LdDateTime ld_date_time(const std::optional<UtcTime>& created_at) {
    const LdDateTime fallback{"01/01/1970", "00:00:00"};
    if (!created_at) return fallback;
    const auto seconds = std::chrono::floor<std::chrono::seconds>(*created_at);
    const auto day = std::chrono::floor<std::chrono::days>(seconds);
    const std::chrono::year_month_day ymd{day};
    const int year = static_cast<int>(ymd.year());
    if (!ymd.ok() || year < 1 || year > 9999) return fallback;
    const std::chrono::hh_mm_ss hms{seconds - day};
    return {two_digits(static_cast<unsigned>(ymd.day())) + "/" +
                two_digits(static_cast<unsigned>(ymd.month())) + "/" + padded(year, 4),
            two_digits(static_cast<unsigned>(hms.hours().count())) + ":" +
                two_digits(static_cast<unsigned>(hms.minutes().count())) + ":" +
                two_digits(static_cast<unsigned>(hms.seconds().count()))};
}

std::string session_words(const std::string& label) {
    if (label.empty()) return "Unknown";
    std::string words;
    bool word_start = true;
    for (const char c : label) {
        if (c == '_' || c == ' ') {
            words.push_back(' ');
            word_start = true;
            continue;
        }
        words.push_back(word_start && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
        word_start = false;
    }
    return words;
}

MotecLapDetails details_from_metadata(const std::optional<LapMetadata>& metadata,
                                      std::span<const LapSample> samples,
                                      const std::string& source_file_name) {
    MotecLapDetails d;
    d.source_file_name = source_file_name;
    if (!metadata) {
        if (!samples.empty()) d.lap_number = samples.front().lap;
        return d;
    }
    const LapMetadata& m = *metadata;
    d.simulator = m.simulator;
    d.driver_name = m.driver_name;
    d.car_name = m.car_name;
    d.car_id = m.car_id.value_or("");
    d.car_class = m.car_class.value_or("");
    d.track_name = m.track_name;
    d.track_id = m.track_id.value_or("");
    d.track_config = m.track_config.value_or("");
    d.session_type = m.session_type;
    d.created_at = m.created_at;
    d.lap_number = m.lap_number;
    d.lap_time_s = m.lap_time_seconds;
    d.track_length_m = m.track_length_m;
    return d;
}

std::expected<MotecExport, std::string> export_lap_to_motec(std::span<const LapSample> samples,
                                                            const LapTimeline& timeline,
                                                            const MotecLapDetails& details) {
    if (timeline.lap_time_s.size() != samples.size() || timeline.distance_m.size() != samples.size())
        return std::unexpected("the lap timeline has " + std::to_string(timeline.lap_time_s.size()) +
                               " times for " + std::to_string(samples.size()) + " samples");
    // A line-anchored lap's log starts at the start crossing and its beacons lie on both
    // crossings (a lap joined late shows its first sample at its time since the line);
    // otherwise the log starts at the first sample and ends at the lap time. The log reaches
    // the end beacon when the samples stop just short of it, so that it lies within the log.
    const bool has_lap_time =
        details.lap_time_s && std::isfinite(*details.lap_time_s) && *details.lap_time_s > 0.0;
    const bool from_line = timeline.line_anchored && !timeline.lap_time_s.empty();
    const double first_time = from_line ? timeline.lap_time_s.front() : 0.0;
    const double origin = std::min(0.0, first_time);  // a first sample placed before the line opens the log
    const double end_s = from_line ? timeline.line_to_line_s - origin : has_lap_time ? *details.lap_time_s : 0.0;
    auto grid = plan_even_grid(timeline.lap_time_s, end_s, from_line ? std::optional(0.0) : std::nullopt);
    if (!grid) return std::unexpected(grid.error());

    const bool has_distance = usable_track_length(details.track_length_m);
    LdLog log;
    log.sample_rate_hz = grid->rate_hz;
    log.channels.reserve(kChannels.size() + 1);
    for (std::size_t c = 0; c < kChannels.size(); ++c) {
        const ChannelSpec& spec = kChannels[c];
        log.channels.push_back(make_channel(spec.name, spec.short_name, spec.unit, spec.method, *grid,
                                            values_at_kept(samples, *grid, spec.value)));
        if (c == 0 && has_distance) {
            std::vector<double> metres;
            metres.reserve(grid->kept.size());
            for (const std::size_t i : grid->kept) metres.push_back(timeline.distance_m[i]);
            log.channels.push_back(
                make_channel("Lap Distance", "Dist", "m", Method::Linear, *grid, std::move(metres)));
        }
    }
    log.session = make_session(samples, *grid, details, timeline, has_distance);

    auto ld = encode_ld(log);
    if (!ld) return std::unexpected(ld.error());

    const double log_end = static_cast<double>(grid->points - 1) / grid->rate_hz;
    const std::array<double, 2> beacons = from_line ? std::array{0.0 - origin, end_s}
                                                    : std::array{0.0, has_lap_time ? *details.lap_time_s : log_end};

    MotecExport out;
    out.ld = std::move(*ld);
    out.ldx = format_ldx(beacons, beacons[1] - beacons[0]);
    out.rate_hz = grid->rate_hz;
    out.points = grid->points;
    out.channels = log.channels.size();
    out.samples_used = grid->kept.size();
    out.has_lap_distance = has_distance;
    return out;
}

}  // namespace corvel::motec
