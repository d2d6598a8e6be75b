// Names for a track's corners from a small JSON object, by corner number ("1") or by apex
// distance ("@402", the nearest apex within kCornerNameMatchM).
#pragma once

#include <expected>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/corner_map.hpp"

namespace corvel {

inline constexpr double kCornerNameMatchM = 50.0;

struct CornerNames {
    std::vector<std::pair<int, std::string>> by_number;
    std::vector<std::pair<double, std::string>> by_apex_m;
};

// The error says what is wrong, without the file's name.
[[nodiscard]] std::expected<CornerNames, std::string> parse_corner_names(std::string_view json_text);

// Names the map's corners; a number wins over an apex distance for the same corner.
void apply_corner_names(CornerMap& map, const CornerNames& names);

}  // namespace corvel
