// The ideal lap: the track cut into its corners and the straights between them, from the line
// to the line, and the best time of each part over a set of laps put together.
//
// Each part's time on a lap is the difference of the lap's time since the line at the part's
// two ends (time_at_distance, as compare reads it), so one lap's parts add up exactly to its
// line-to-line time. The best of several measured times leans low: each carries a little
// noise, and the minimum picks the luckiest draw (docs/corvel-lap.md says how far).
#pragma once

#include <cstddef>
#include <vector>

#include "analysis/corner_map.hpp"
#include "analysis/lap_timeline.hpp"
#include "analysis/stint_summary.hpp"

namespace corvel {

// The parts in track order covering [0, track_length_m] without gaps or overlaps: each corner
// of `map` clipped at the line (a corner the line cuts is timed only on the lap's side of it),
// straights between them. best_s is +infinity until a lap is taken.
[[nodiscard]] std::vector<IdealPart> ideal_lap_parts(const CornerMap& map, double track_length_m);

// Each part's time on one line-anchored lap from the line to the line.
[[nodiscard]] std::vector<double> part_times(const LapTimeline& timeline, const std::vector<IdealPart>& parts);

// Keeps, per part, the faster of the time so far and lap `lap`'s (`times` from part_times);
// on a tie the earlier lap keeps it.
void take_faster_parts(std::vector<IdealPart>& parts, const std::vector<double>& times, std::size_t lap);

}  // namespace corvel
