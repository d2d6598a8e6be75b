// How corners read for a person: their labels, and the one sentence that says why a corner
// lost time.
#pragma once

#include <optional>
#include <string>

#include "analysis/corner_metrics.hpp"

namespace corvel {

// Below this loss a corner gets no sentence.
inline constexpr double kAdviceMinLossS = 0.020;
// Differences smaller than these explain nothing (the samples hold whole km/h).
inline constexpr double kAdviceBrakeM = 3.0;
inline constexpr double kAdviceApexKmh = 2.0;
inline constexpr double kAdviceThrottleM = 5.0;

// "T3" or "T3 La Source".
[[nodiscard]] std::string corner_label(const TrackCorner& corner);

// "T12: brakes 18 m earlier, 9 km/h slower at the apex, full throttle 22 m later: +0.24 s",
// the causes biggest (by their rough time cost) first; where none explains the loss, where in
// the corner it goes. Nothing when the corner loses kAdviceMinLossS or less.
[[nodiscard]] std::optional<std::string> corner_advice(const CornerDelta& corner, const CornerThirds& thirds);

}  // namespace corvel
