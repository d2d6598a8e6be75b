// The capture's options are taken out of the command line first; what is left is lmu-sim's.
#include "lap_generator/command_line.hpp"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <ostream>
#include <type_traits>
#include <vector>

namespace corvel::lap_generator {
namespace {

using Setter = std::function<std::optional<std::string>(CommandLine&, std::string_view)>;

struct OptionSpec {
    std::string_view name;
    Setter set;  // every capture option takes a value
};

template <class T>
std::optional<T> number_from(std::string_view text) {
    T value{};
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc{} || ptr != end) return std::nullopt;
    if constexpr (std::is_floating_point_v<T>) {
        if (!std::isfinite(value)) return std::nullopt;
    }
    return value;
}

// Milliseconds on the command line, seconds in the options.
Setter milliseconds(std::string_view what, std::function<void(CommandLine&, double)> store) {
    return [=](CommandLine& c, std::string_view text) -> std::optional<std::string> {
        const auto ms = number_from<double>(text);
        if (!ms || *ms < 0.0) return std::string(what);
        store(c, *ms / 1000.0);
        return std::nullopt;
    };
}

const std::vector<OptionSpec>& option_table() {
    static const std::vector<OptionSpec> table = {
        {"--output-dir",
         [](CommandLine& c, std::string_view v) -> std::optional<std::string> {
             if (v.empty()) return "--output-dir must be a folder";
             c.options.output_dir = std::filesystem::path(std::u8string(v.begin(), v.end()));
             return std::nullopt;
         }},
        {"--mode",
         [](CommandLine& c, std::string_view v) -> std::optional<std::string> {
             if (v == "corvel") {
                 c.options.mode = RecorderMode::FirstCleanLap;
             } else if (v == "stint") {
                 c.options.mode = RecorderMode::Continuing;
             } else {
                 return "--mode must be corvel or stint";
             }
             return std::nullopt;
         }},
        {"--keep",
         [](CommandLine& c, std::string_view v) -> std::optional<std::string> {
             const auto n = number_from<std::size_t>(v);
             if (!n || *n < 1 || *n > 1'000'000) return "--keep must be a number of laps from 1 to 1000000";
             c.options.laps_to_keep = *n;
             return std::nullopt;
         }},
        {"--capture-seed",
         [](CommandLine& c, std::string_view v) -> std::optional<std::string> {
             const auto n = number_from<std::uint64_t>(v);
             if (!n) return "--capture-seed must be a whole number from 0 to 18446744073709551615";
             c.options.seed = *n;
             return std::nullopt;
         }},
        {"--poll-ms", milliseconds("--poll-ms must be a time in milliseconds",
                                   [](CommandLine& c, double s) { c.options.poll_period_s = s; })},
        {"--poll-jitter-ms", milliseconds("--poll-jitter-ms must be a time in milliseconds",
                                          [](CommandLine& c, double s) { c.options.poll_jitter_s = s; })},
        {"--scoring-phase-ms", milliseconds("--scoring-phase-ms must be a time in milliseconds",
                                            [](CommandLine& c, double s) { c.options.scoring_phase_s = s; })},
        {"--join-lap",
         [](CommandLine& c, std::string_view v) -> std::optional<std::string> {
             const auto n = number_from<std::int64_t>(v);
             if (!n || *n < 1) return "--join-lap must be a lap number of 1 or more";
             c.options.join_lap = *n;
             return std::nullopt;
         }},
        {"--join-after-line",
         [](CommandLine& c, std::string_view v) -> std::optional<std::string> {
             const auto s = number_from<double>(v);
             if (!s) return "--join-after-line must be a time in seconds (negative: before the line)";
             c.options.join_after_line_s = *s;
             return std::nullopt;
         }},
        {"--prefix",
         [](CommandLine& c, std::string_view v) -> std::optional<std::string> {
             c.options.prefix = std::string(v);
             return std::nullopt;
         }},
        {"--wall-clock",
         [](CommandLine& c, std::string_view v) -> std::optional<std::string> {
             const auto n = number_from<std::int64_t>(v);
             if (!n || *n < 0 || *n > 253'402'300'799) return "--wall-clock must be Unix seconds from 0 to 253402300799";
             c.options.wall_clock_at_start = *n;
             return std::nullopt;
         }},
    };
    return table;
}

std::string fixed(double value, int decimals) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return std::string(buffer, result.ptr);
}

}  // namespace

std::expected<CommandLine, std::string> parse_command_line(std::span<const std::string> args) {
    CommandLine line;
    line.options.mode = RecorderMode::Continuing;
    std::vector<std::string> sim_args;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            line.help = true;
            return line;
        }
        std::optional<std::string_view> inline_value;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            inline_value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        const auto& table = option_table();
        const auto spec = std::find_if(table.begin(), table.end(), [&](const OptionSpec& s) { return s.name == arg; });
        if (spec == table.end()) {
            sim_args.push_back(args[i]);  // lmu-sim's, or unknown: its parser says which
            continue;
        }
        std::string_view value;
        if (inline_value) {
            value = *inline_value;
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return std::unexpected(std::string(arg) + " needs a value");
        }
        if (auto problem = spec->set(line, value)) return std::unexpected(*problem);
    }
    if (line.options.output_dir.empty()) return std::unexpected("--output-dir is required");
    auto sim = lmu_sim::parse_options(sim_args);
    if (!sim) return std::unexpected(sim.error());
    if (sim->truth_path) return std::unexpected("--truth is lmu-sim's own log; the laps' truth is written beside them");
    line.options.sim = std::move(*sim);
    return line;
}

std::string usage_text() {
    return R"USAGE(lap-generator: laps with known truth, without waiting. Runs lmu-sim's session, LMU's
block conversion and corvel's clean-lap recorder on a virtual clock, and writes each lap
as corvel names it (<stem>.bin, <stem>.json) with <stem>.truth.json beside it.

Usage: lap-generator --output-dir DIR [capture options] [lmu-sim options]

Capture:
  --output-dir DIR        where the laps go (created when missing)
  --mode corvel|stint     corvel: the first clean lap only; stint: every clean lap, as
                          corvel-stint (default stint)
  --keep N                stop after N clean laps (default: every lap of the session;
                          then lmu-sim's --laps or --duration must end it)
  --capture-seed N        seed of the poll jitter and the scoring phase (default 1)
  --poll-ms MS            pause between polls (default 16)
  --poll-jitter-ms MS     each pause varies by up to this, either way (default 1.5)
  --scoring-phase-ms MS   offset of the scoring ticks after telemetry tick 0, below one
                          scoring period (default: from the seed)
  --join-lap N            the lap at whose line the capture joins (default: the first lap
                          that begins on track)
  --join-after-line S     join S seconds after that line; negative: before it (default 0)
  --prefix TEXT           file-name prefix (default "lmu-clean-lap")
  --wall-clock SECONDS    Unix seconds at the session's start, for file names and
                          "createdAt" (default 1767225600, 2026-01-01T00:00:00Z)

Every other option is lmu-sim's (see lmu-sim --help): the track, the laps, the telemetry
and scoring rates, the start lap and fraction, and so on.
Exit status: 0 when the laps were written, 1 on an error.
)USAGE";
}

int lap_generator_main(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    const auto line = parse_command_line(args);
    if (!line) {
        err << "lap-generator: error: " << line.error() << std::endl;
        return 1;
    }
    if (line->help) {
        out << usage_text();
        return 0;
    }
    const auto started = std::chrono::steady_clock::now();
    const auto session = generate_laps(line->options);
    if (!session) {
        err << "lap-generator: error: " << session.error() << std::endl;
        return 1;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    for (const GeneratedLap& lap : session->laps) {
        out << "lap " << lap.lap.lap << ": " << fixed(lap.lap.lap_time_s, 3) << " s, " << lap.lap.samples.size()
            << " samples" << (lap.lap.started_mid_lap ? " (begun mid-lap)" : "") << ": "
            << file_name_text(lap.paths.telemetry) << "\n";
    }
    out << "lap-generator: " << session->laps.size() << " laps in " << fixed(took.count(), 3) << " s\n";
    return 0;
}

}  // namespace corvel::lap_generator
