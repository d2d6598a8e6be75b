// Resampling of unevenly spaced samples onto an even time grid at their mean rate, as a log
// with one fixed rate per channel needs: linear for continuous quantities, sample-and-hold for
// discrete ones (gear, flags). Method and limits: docs/motec-ld.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace corvel::motec {

inline constexpr std::uint16_t kMaxGridRateHz = 1000;
inline constexpr std::size_t kMaxGridPoints = 1'000'000;
// A grid may hold at most this many points per kept sample (plus the stretch to a wanted end):
// more means samples too sparse to stand for a lap, and a file far larger than the lap.
inline constexpr std::size_t kMaxGridPointsPerSample = 2;
inline constexpr std::size_t kGridPointAllowance = 1000;

struct EvenGrid {
    std::vector<std::size_t> kept;  // indices of the samples that form the time base
    std::vector<double> times_s;    // their times, seconds since the log's start
    std::uint16_t rate_hz = 0;      // the grid's rate; point k lies at k / rate_hz seconds
    std::size_t points = 0;
    double mean_rate_hz = 0.0;  // before rounding, for the record
};

// How far past the last sample a grid may be stretched to reach a wanted end.
inline constexpr double kMaxHoldPastLastSampleS = 0.5;

// Lays the grid over the samples' times: the lap timeline's `lap_time_s`, where LMU's scoring
// steps are already spread over the polls. A time that is not finite or earlier than the
// previous kept one drops its sample (the timeline has none; other callers may). The log
// starts at the first kept sample, or at `start_at_s` (on the samples' clock) when that lies
// before it: the points before the first sample hold its values. The grid ends at the last
// sample, or reaches `end_at_least_s` (seconds since the log's start) when that lies at most
// kMaxHoldPastLastSampleS past the last sample; points past the last sample hold its values.
// Fails when fewer than two samples remain, their times span no time, or the grid would be
// too long or too sparse for them (the points before the first sample not counted).
[[nodiscard]] std::expected<EvenGrid, std::string> plan_even_grid(std::span<const double> sample_times_s,
                                                                  double end_at_least_s = 0.0,
                                                                  std::optional<double> start_at_s = std::nullopt);

// `values` holds one value per kept sample (grid.kept order).
[[nodiscard]] std::vector<double> resample_linear(const EvenGrid& grid, std::span<const double> values);
[[nodiscard]] std::vector<double> resample_hold(const EvenGrid& grid, std::span<const double> values);

// Replaces each non-finite value by the previous finite one (the first finite one before
// any, 0 when there is none at all).
void fill_non_finite(std::span<double> values);

}  // namespace corvel::motec
