// Lap texts; names may be empty or absent in the metadata, which every function tolerates.
#include "presentation/lap_text.hpp"

#include <cmath>

#include "presentation/number_text.hpp"

namespace corvel {
namespace {

bool blank(const std::string& text) {
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

std::string with_detail(std::string name, const std::optional<std::string>& detail) {
    if (detail && !blank(*detail)) {
        name += " (" + *detail + ")";
    }
    return name;
}

}  // namespace

std::string lap_time_text(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0.0) {
        return "unknown";
    }
    if (seconds >= 1e9) {  // no lap lasts 30 years; show the value rather than overflow
        return fixed_text(seconds, 3) + " s";
    }
    // Round once to whole milliseconds so that 59.9996 becomes 1:00.000, not 0:60.000.
    const auto millis = static_cast<long long>(std::llround(seconds * 1000.0));
    const long long minutes = millis / 60'000;
    const std::string rest = fixed_text(static_cast<double>(millis % 60'000) / 1000.0, 3);
    if (minutes == 0) {
        return rest;
    }
    return std::to_string(minutes) + ":" + (rest.size() < 6 ? "0" : "") + rest;
}

std::string track_text(const LapMetadata& metadata) {
    std::string name = metadata.track_name;
    if (blank(name)) {
        name = metadata.track_id && !blank(*metadata.track_id) ? *metadata.track_id : "unknown track";
    }
    return with_detail(std::move(name), metadata.track_config);
}

std::string car_text(const LapMetadata& metadata) {
    std::string name = metadata.car_name;
    if (blank(name)) {
        name = metadata.car_id && !blank(*metadata.car_id) ? *metadata.car_id : "unknown car";
    }
    return with_detail(std::move(name), metadata.car_class);
}

std::string line_text(const LapTimeline& timeline) {
    if (!timeline.line_anchored || timeline.lap_time_s.empty()) {
        return timeline.notes.empty() ? std::string("not line-anchored") : timeline.notes.front();
    }
    return "line-anchored; first sample " + fixed_text(timeline.distance_m.front(), 1) + " m, " +
           fixed_text(timeline.lap_time_s.front(), 2) + " s after the line";
}

std::string line_to_line_text(const LapTimeline& timeline) {
    if (!timeline.line_anchored) return lap_time_text(timeline.lap_time_s.empty() ? 0.0 : timeline.lap_time_s.back()) + " from the first sample to the last";
    if (timeline.line_to_line_is_official) {
        return lap_time_text(timeline.line_to_line_s) + " line to line (the official lap time; the samples say " +
               lap_time_text(timeline.estimated_line_to_line_s) + ")";
    }
    return lap_time_text(timeline.line_to_line_s) + " line to line, from the samples";
}

}  // namespace corvel
