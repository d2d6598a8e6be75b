// The command line of corvel: CaptureOptions, parse_args and the usage text.
// Arguments arrive as UTF-8 texts (main converts the Windows command line).
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "lap_format/utf8_path.hpp"

namespace corvel {

inline constexpr std::string_view kDefaultPrefix = "lmu-clean-lap";
inline constexpr std::uint64_t kDefaultPollMs = 16;

struct CaptureOptions {
    std::filesystem::path output_dir;  // default: <cwd>/temp_debug/lmu-captures
    std::string prefix{kDefaultPrefix};
    std::uint64_t poll_ms = kDefaultPollMs;      // never 0
    std::optional<std::uint64_t> max_wait_secs;  // never 0 when present

    bool operator==(const CaptureOptions&) const = default;
};

// -h / --help: the caller prints usage_text() to standard output and exits with status 0.
struct HelpRequested {
    bool operator==(const HelpRequested&) const = default;
};

using ParsedCommand = std::variant<CaptureOptions, HelpRequested>;

// Yields the current working directory, or the system's error text ("... (os error N)").
using CwdProvider = std::function<std::expected<std::filesystem::path, std::string>()>;

[[nodiscard]] std::expected<std::filesystem::path, std::string> current_working_directory();

// `args` are the arguments after the program name. The working directory is resolved
// before any argument is looked at, so its failure ("Failed to resolve cwd: ...") wins
// even over --help. Errors are the exact texts shown to the user (without the
// "Argument error: " the driver puts in front).
[[nodiscard]] std::expected<ParsedCommand, std::string> parse_args(
    std::span<const std::string> args, const CwdProvider& cwd = current_working_directory);

// A value option that another program built on corvel's command line adds to it (corvel-stint's
// --laps). `apply` takes the value and returns the error text shown to the user, if any.
struct ExtraOption {
    std::string_view name;
    std::function<std::expected<void, std::string>(const std::string& value)> apply;
};

// parse_args with more value options, matched like corvel's own, in the same left-to-right walk.
[[nodiscard]] std::expected<ParsedCommand, std::string> parse_args_with(std::span<const std::string> args,
                                                                        std::span<const ExtraOption> extra,
                                                                        const CwdProvider& cwd);

// A count for a value option: unsigned decimal, not 0, with corvel's error texts
// ("Invalid <option> value '<text>': ..." or "<option> must be greater than 0").
[[nodiscard]] std::expected<std::uint64_t, std::string> parse_positive_option(std::string_view option,
                                                                              std::string_view text);

// The usage text, byte for byte, ending with an empty line.
[[nodiscard]] std::string_view usage_text();

}  // namespace corvel
