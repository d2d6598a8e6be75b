// Writes the .ldx beacon document. Marker times are whole microseconds in the exponent form
// that i2 itself writes, so a lap of 102.345 s is "1.02345000000000000e+08".
#include "export/motec/ldx_file.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace corvel::motec {
namespace {

// Beyond this a time in microseconds is no longer a whole number in a double.
constexpr double kMaxSeconds = 1e9;

std::string marker_time(double seconds) {
    const double micros =
        std::isfinite(seconds) ? std::round(std::clamp(seconds, 0.0, kMaxSeconds) * 1e6) : 0.0;
    char buffer[40];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, micros, std::chars_format::scientific, 17);
    return std::string(buffer, result.ptr);
}

// Zero-padded decimal of a non-negative number.
std::string padded(std::int64_t value, int width) {
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width)
        digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
    return digits;
}

std::string marker_line(std::size_t index, double seconds) {
    return "     <Marker Version=\"100\" ClassName=\"BCN\" Name=\"Manual." + std::to_string(index) +
           "\" Flags=\"77\" Time=\"" + marker_time(seconds) + "\"/>\r\n";
}

std::string detail_line(std::string_view id, const std::string& value) {
    return "   <String Id=\"" + std::string(id) + "\" Value=\"" + value + "\"/>\r\n";
}

}  // namespace

std::string format_lap_time(double seconds) {
    if (!std::isfinite(seconds) || seconds <= 0.0 || seconds > kMaxSeconds) return {};
    const auto millis = static_cast<std::int64_t>(std::llround(seconds * 1000.0));
    return std::to_string(millis / 60000) + ":" + padded((millis / 1000) % 60, 2) + "." +
           padded(millis % 1000, 3);
}

std::string format_ldx(std::span<const double> beacon_times_s, double fastest_lap_s) {
    std::string out;
    out += "<?xml version=\"1.0\"?>\r\n";
    out += "<LDXFile Locale=\"English_United Kingdom.1252\" DefaultLocale=\"C\" Version=\"1.6\">\r\n";
    out += " <Layers>\r\n  <Layer>\r\n   <MarkerBlock>\r\n    <MarkerGroup Name=\"Beacons\" Index=\"3\">\r\n";
    for (std::size_t i = 0; i < beacon_times_s.size(); ++i) out += marker_line(i + 1, beacon_times_s[i]);
    out += "    </MarkerGroup>\r\n   </MarkerBlock>\r\n   <RangeBlock/>\r\n  </Layer>\r\n";
    const std::size_t laps = beacon_times_s.empty() ? 0 : beacon_times_s.size() - 1;
    out += "  <Details>\r\n";
    out += detail_line("Total Laps", std::to_string(laps));
    out += detail_line("Fastest Time", format_lap_time(fastest_lap_s));
    out += detail_line("Fastest Lap", laps == 0 ? "0" : "1");
    out += "  </Details>\r\n </Layers>\r\n</LDXFile>\r\n";
    return out;
}

}  // namespace corvel::motec
