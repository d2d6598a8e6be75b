// The two figures of a set of laps that the stint reports everywhere: the median (the typical
// value, unmoved by one bad lap) and the sample standard deviation (the spread).
#pragma once

#include <optional>
#include <span>

namespace corvel {

// The middle value, or the mean of the two middle values; nothing for no values.
[[nodiscard]] std::optional<double> median(std::span<const double> values);

// sqrt(sum (x - mean)^2 / (n - 1)): the spread of the laps as a sample of the driver's laps;
// nothing for fewer than two values.
[[nodiscard]] std::optional<double> sample_std_dev(std::span<const double> values);

}  // namespace corvel
