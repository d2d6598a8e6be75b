// When each sample's telemetry was taken. corvel polls every 16 ms or so, but LMU's telemetry
// ticks at its own rate (50 or 100 Hz): a poll sees the newest tick, which is up to one tick
// period old, and at 50 Hz about one poll in five sees the same tick again. Giving every sample
// the time of its own tick keeps that staleness out of every time and distance derived from it.
#pragma once

#include <span>
#include <vector>

#include "lap_format/lap_sample.hpp"

namespace corvel {

struct TelemetryTicks {
    // Per sample: its tick's time in seconds on the poll clock (the session clock as the polls
    // saw it, which runs behind the session clock by the scoring's delivery delay). A sample
    // that repeats the previous one's telemetry shares its time. Non-decreasing.
    std::vector<double> time_s;
    // The telemetry's period when the ticks fit a regular grid, else 0 (then each sample has
    // the time of its poll instead).
    double tick_period_s = 0.0;
};

[[nodiscard]] TelemetryTicks reconstruct_tick_times(std::span<const LapSample> samples);

// The poll clock alone: each poll's session time, with the polls between two scoring updates
// spread evenly and those before the first and after the last update at the mean poll
// interval. A time that is not finite or steps back counts as a repeat of the latest good one.
[[nodiscard]] std::vector<double> poll_clock(std::vector<double> session_times_s);

}  // namespace corvel
