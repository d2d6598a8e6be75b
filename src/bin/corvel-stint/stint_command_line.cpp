// parse_stint_args: corvel's walk over the arguments with --laps added.
#include "corvel-stint/stint_command_line.hpp"

namespace corvel {
namespace {

constexpr std::string_view kStintUsage =
    "Record every clean LMU lap of a stint as raw VKTF telemetry.\n"
    "\n"
    "  Usage: corvel-stint -- [options]\n"
    "\n"
    "  Options:\n"
    "  --output-dir <path>     Directory to write the laps and metadata\n"
    "  --prefix <name>         Output filename prefix (default: lmu-clean-lap)\n"
    "  --poll-ms <ms>          Telemetry poll interval in milliseconds (default: 16)\n"
    "  --max-wait-secs <sec>   Stop waiting after N seconds (restarts after every lap)\n"
    "  --laps <n>              Stop after N clean laps (default: until stopped)\n"
    "\n"
    "  Ctrl+C stops the stint: laps already written are complete files,\n"
    "  the lap in progress is discarded.\n"
    "\n";

}  // namespace

std::string_view stint_usage_text() {
    return kStintUsage;
}

std::expected<ParsedStintCommand, std::string> parse_stint_args(std::span<const std::string> args,
                                                                const CwdProvider& cwd) {
    std::optional<std::uint64_t> laps;
    const ExtraOption laps_option{"--laps", [&laps](const std::string& value) -> std::expected<void, std::string> {
                                      auto count = parse_positive_option("--laps", value);
                                      if (!count) return std::unexpected(count.error());
                                      laps = *count;
                                      return {};
                                  }};
    auto parsed = parse_args_with(args, std::span(&laps_option, 1), cwd);
    if (!parsed) return std::unexpected(parsed.error());
    if (std::holds_alternative<HelpRequested>(*parsed)) return HelpRequested{};
    return StintOptions{std::get<CaptureOptions>(std::move(*parsed)), laps};
}

}  // namespace corvel
