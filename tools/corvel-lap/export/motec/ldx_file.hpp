// The .ldx file that i2 reads beside an .ld of the same stem: beacon markers that split the
// log into laps, plus the lap count and fastest time. Layout: docs/motec-ld.md.
#pragma once

#include <span>
#include <string>

namespace corvel::motec {

// Beacon times in seconds since the start of the log, in order; `fastest_lap_s` is shown as
// m:ss.mmm (an empty value when it is not a finite, positive number). Lines end in CR LF.
[[nodiscard]] std::string format_ldx(std::span<const double> beacon_times_s, double fastest_lap_s);

// "1:42.345": minutes, then seconds with three decimals, rounded to the millisecond.
[[nodiscard]] std::string format_lap_time(double seconds);

}  // namespace corvel::motec
