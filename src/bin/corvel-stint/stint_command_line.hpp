// The command line of corvel-stint: corvel's options plus --laps N, and its usage text.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "corvel/command_line.hpp"

namespace corvel {

struct StintOptions {
    CaptureOptions capture;
    std::optional<std::uint64_t> laps;  // stop after this many written laps; never 0 when present

    bool operator==(const StintOptions&) const = default;
};

using ParsedStintCommand = std::variant<StintOptions, HelpRequested>;

// As parse_args, with "--laps" among the value options (errors in corvel's words).
[[nodiscard]] std::expected<ParsedStintCommand, std::string> parse_stint_args(
    std::span<const std::string> args, const CwdProvider& cwd = current_working_directory);

// The usage text, byte for byte, ending with an empty line.
[[nodiscard]] std::string_view stint_usage_text();

}  // namespace corvel
