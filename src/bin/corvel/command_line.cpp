// parse_args: the process's arguments into CaptureOptions, help, or one error text.
#include "corvel/command_line.hpp"

#include <algorithm>
#include <exception>
#include <limits>
#include <system_error>

#include "lap_format/io_error.hpp"

namespace corvel {
namespace {

constexpr std::string_view kUsage =
    "Capture one full clean LMU lap as raw VKTF telemetry.\n"
    "\n"
    "  Usage: corvel -- [options]\n"
    "\n"
    "  Options:\n"
    "  --output-dir <path>     Directory to write the lap and metadata\n"
    "  --prefix <name>         Output filename prefix (default: lmu-clean-lap)\n"
    "  --poll-ms <ms>          Telemetry poll interval in milliseconds (default: 16)\n"
    "  --max-wait-secs <sec>   Stop waiting after N seconds\n"
    "\n";

// Unsigned decimal with one optional leading "+"; the failure texts are the ones users
// see after "Invalid --poll-ms value '...': ".
std::expected<std::uint64_t, std::string> parse_unsigned(std::string_view text) {
    if (text.empty()) return std::unexpected("cannot parse integer from empty string");
    if (text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::unexpected("invalid digit found in string");
    // Left to right, so whichever problem comes first is the one reported.
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::unexpected("invalid digit found in string");
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10)
            return std::unexpected("number too large to fit in target type");
        value = value * 10 + digit;
    }
    return value;
}

}  // namespace

std::expected<std::uint64_t, std::string> parse_positive_option(std::string_view option, std::string_view text) {
    auto value = parse_unsigned(text);
    if (!value)
        return std::unexpected("Invalid " + std::string(option) + " value '" + std::string(text) +
                               "': " + value.error());
    if (*value == 0) return std::unexpected(std::string(option) + " must be greater than 0");
    return *value;
}

std::expected<std::filesystem::path, std::string> current_working_directory() {
    std::error_code code;
    std::filesystem::path cwd = std::filesystem::current_path(code);
    if (code) return std::unexpected(IoError(code).display());
    return cwd;
}

std::string_view usage_text() {
    return kUsage;
}

std::expected<ParsedCommand, std::string> parse_args(std::span<const std::string> args,
                                                     const CwdProvider& cwd) {
    return parse_args_with(args, {}, cwd);
}

std::expected<ParsedCommand, std::string> parse_args_with(std::span<const std::string> args,
                                                          std::span<const ExtraOption> extra,
                                                          const CwdProvider& cwd) {
    auto dir = cwd();
    if (!dir) return std::unexpected("Failed to resolve cwd: " + dir.error());

    CaptureOptions options;
    options.output_dir = *dir / "temp_debug" / "lmu-captures";

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") return HelpRequested{};
        const auto added = std::find_if(extra.begin(), extra.end(), [&](const ExtraOption& o) { return o.name == arg; });
        const bool takes_value = arg == "--output-dir" || arg == "--prefix" || arg == "--poll-ms" ||
                                 arg == "--max-wait-secs" || added != extra.end();
        if (!takes_value) return std::unexpected("Unknown argument: " + arg);
        if (i + 1 == args.size()) return std::unexpected("Missing value for " + arg);
        const std::string& value = args[++i];

        if (added != extra.end()) {
            if (auto applied = added->apply(value); !applied) return std::unexpected(applied.error());
        } else if (arg == "--output-dir") {
            options.output_dir = path_from_utf8(value);
        } else if (arg == "--prefix") {
            options.prefix = value;
        } else {
            auto number = parse_positive_option(arg, value);
            if (!number) return std::unexpected(number.error());
            if (arg == "--poll-ms")
                options.poll_ms = *number;
            else
                options.max_wait_secs = *number;
        }
    }
    return options;
}

}  // namespace corvel
