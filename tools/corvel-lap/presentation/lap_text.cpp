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

}  // namespace corvel
