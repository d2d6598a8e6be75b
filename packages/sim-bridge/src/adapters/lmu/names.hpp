// Name rules shared by the session and vehicle descriptions: when a simulator text counts as a
// usable name, and how a track text splits into base name and layout.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sim_bridge::lmu {

// The trimmed text, or absent when it is empty, reads "unknown" (any ASCII case), holds U+FFFD
// or invalid UTF-8, or holds a control character (U+0000-001F, U+007F-009F).
[[nodiscard]] std::optional<std::string> clean_name(std::string_view text);

struct TrackName {
    std::string base;
    std::optional<std::string> layout;

    bool operator==(const TrackName&) const = default;
};

// "Spa (Endurance)" -> Spa + Endurance; "Monza - GP", "Monza / GP", "Monza | GP", "Monza, GP"
// -> Monza + GP (separators tried in that order, last occurrence of each); else the whole text.
[[nodiscard]] TrackName split_track_name(std::string_view trimmed_text);

// ASCII letters upper-cased, every other byte kept.
[[nodiscard]] std::string ascii_upper(std::string_view text);

}  // namespace sim_bridge::lmu
