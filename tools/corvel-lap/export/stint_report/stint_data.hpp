// The stint page's data blob: one group of a stint summary as one JSON document, with for
// each lap the file name of its report when one was written. Safe inside <script>.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/stint_summary.hpp"

namespace corvel {

// What the page says about a lap's report against the best lap.
struct StintLapReport {
    std::optional<std::string> file;   // the report's file name, beside the page (UTF-8)
    std::optional<std::string> error;  // why there is none, when one was asked for
};

// `reports` is empty (no reports asked for) or holds one entry per lap of `group`.
[[nodiscard]] std::string build_stint_data(const StintGroup& group, const std::vector<StintLapReport>& reports);

}  // namespace corvel
