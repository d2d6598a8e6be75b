// Command-line parsing for lmu-sim: a table of options, each with its own value check, so
// that every mistake gets one clear line naming the option.
#include "sim_options.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string_view>

#include "sim_bridge/lmu/block_layout.hpp"
#include "speed_profile.hpp"

namespace corvel::lmu_sim {
namespace {

using Setter = std::function<std::optional<std::string>(SimOptions&, std::string_view)>;

struct OptionSpec {
    std::string_view name;
    bool takes_value;
    Setter set;
};

std::optional<double> to_double(std::string_view text) {
    double value = 0.0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc{} || ptr != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<std::int64_t> to_int(std::string_view text) {
    std::int64_t value = 0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc{} || ptr != end) return std::nullopt;
    return value;
}

std::string must_be(std::string_view name, std::string_view what) {
    return std::string(name) + " must be " + std::string(what);
}

// A number in [low, high]; `open_high` excludes the upper bound.
Setter number_in(double SimOptions::*field, double low, double high, bool open_high, std::string_view what) {
    return [=](SimOptions& o, std::string_view text) -> std::optional<std::string> {
        const auto value = to_double(text);
        if (!value || *value < low || *value > high || (open_high && *value == high))
            return std::string(what);
        o.*field = *value;
        return std::nullopt;
    };
}

Setter optional_number_in(std::optional<double> SimOptions::*field, double low, double high, bool open_high,
                          std::string_view what) {
    return [=](SimOptions& o, std::string_view text) -> std::optional<std::string> {
        const auto value = to_double(text);
        if (!value || *value < low || *value > high || (open_high && *value == high))
            return std::string(what);
        o.*field = *value;
        return std::nullopt;
    };
}

// A whole number in [low, high], stored in the field's own type (the range keeps it in reach).
template <class T>
Setter integer_in(T SimOptions::*field, std::int64_t low, std::int64_t high, std::string_view name,
                  std::string_view what) {
    return [=](SimOptions& o, std::string_view text) -> std::optional<std::string> {
        const auto n = to_int(text);
        if (!n || *n < low || *n > high) return must_be(name, what);
        o.*field = static_cast<T>(*n);
        return std::nullopt;
    };
}

Setter plain_text(std::string SimOptions::*field) {
    return [=](SimOptions& o, std::string_view value) -> std::optional<std::string> {
        o.*field = std::string(value);
        return std::nullopt;
    };
}

Setter text(std::string PlayerTexts::*field) {
    return [=](SimOptions& o, std::string_view value) -> std::optional<std::string> {
        o.texts.*field = std::string(value);
        return std::nullopt;
    };
}

Setter flag(bool SimOptions::*field) {
    return [=](SimOptions& o, std::string_view) -> std::optional<std::string> {
        o.*field = true;
        return std::nullopt;
    };
}

std::optional<std::string> set_hostile(SimOptions& o, std::string_view list) {
    std::size_t start = 0;
    while (start <= list.size()) {
        const auto comma = list.find(',', start);
        const auto item =
            list.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        if (item == "all") {
            o.hostile = {true, true, true, true};
        } else if (item == "counts") {
            o.hostile.counts = true;
        } else if (item == "texts") {
            o.hostile.texts = true;
        } else if (item == "numbers") {
            o.hostile.numbers = true;
        } else if (item == "laps") {
            o.hostile.laps = true;
        } else {
            return "--hostile takes a comma-separated list of counts, texts, numbers, laps or all";
        }
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return std::nullopt;
}

// N:M pairs of --spread and LAP:CORNER:KIND[:SIZE] of --mistake.
std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    while (true) {
        const auto at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text = text.substr(at + 1);
    }
}

std::optional<std::string> add_spread(SimOptions& o, std::string_view v) {
    const auto parts = split(v, ':');
    const auto corner = parts.size() == 2 ? to_int(parts[0]) : std::nullopt;
    const auto metres = parts.size() == 2 ? to_double(parts[1]) : std::nullopt;
    if (!corner || *corner < 1 || *corner > 1000 || !metres || *metres < 0.0 || *metres > 200.0)
        return must_be("--spread", "CORNER:METRES, a corner number and a spread from 0 to 200 m");
    o.driver.spreads.push_back({static_cast<int>(*corner), *metres});
    return std::nullopt;
}

std::optional<std::string> add_mistake(SimOptions& o, std::string_view v) {
    const auto parts = split(v, ':');
    const auto wrong = [] {
        return must_be("--mistake", "LAP:CORNER:KIND[:SIZE] with KIND early-brake, late-brake, over-slow, "
                                    "late-throttle or off-track, and SIZE from 0 to 500");
    };
    if (parts.size() < 3 || parts.size() > 4) return wrong();
    const auto lap = to_int(parts[0]);
    const auto corner = to_int(parts[1]);
    const auto kind = mistake_kind(parts[2]);
    if (!lap || *lap < 1 || !corner || *corner < 1 || *corner > 1000 || !kind) return wrong();
    double size = default_mistake_size(*kind);
    if (parts.size() == 4) {
        const auto given = to_double(parts[3]);
        if (!given || *given < 0.0 || *given > 500.0) return wrong();
        size = *given;
    }
    o.driver.mistakes.push_back({*lap, static_cast<int>(*corner), *kind, size});
    return std::nullopt;
}

const std::vector<OptionSpec>& option_table() {
    static const std::vector<OptionSpec> table = {
        {"--track", true,
         [](SimOptions& o, std::string_view v) -> std::optional<std::string> {
             if (v != "ring" && !builtin_circuit(v)) return must_be("--track", "ring, spa, monza or sakhir");
             o.track = std::string(v);
             return std::nullopt;
         }},
        {"--track-file", true,
         [](SimOptions& o, std::string_view v) -> std::optional<std::string> {
             if (v.empty()) return must_be("--track-file", "a file path");
             o.track_file = std::string(v);
             return std::nullopt;
         }},
        {"--raceline", true,
         [](SimOptions& o, std::string_view v) -> std::optional<std::string> {
             if (v.empty()) return must_be("--raceline", "a file path");
             o.raceline_file = std::string(v);
             return std::nullopt;
         }},
        {"--car", true,
         [](SimOptions& o, std::string_view v) -> std::optional<std::string> {
             if (v != "hypercar" && v != "gt3") return must_be("--car", "hypercar or gt3");
             o.car = std::string(v);
             return std::nullopt;
         }},
        {"--seed", true,
         [](SimOptions& o, std::string_view v) -> std::optional<std::string> {
             const auto n = to_int(v);
             if (!n || *n < 0) return must_be("--seed", "a whole number of 0 or more");
             o.driver.seed = static_cast<std::uint64_t>(*n);
             return std::nullopt;
         }},
        {"--no-variation", false,
         [](SimOptions& o, std::string_view) -> std::optional<std::string> {
             o.driver.vary = false;
             return std::nullopt;
         }},
        {"--spread", true, add_spread},
        {"--mistake", true, add_mistake},
        {"--list-corners", false, flag(&SimOptions::list_corners)},
        {"--telemetry-hz", true,
         number_in(&SimOptions::telemetry_hz, 1.0, 1000.0, false,
                   "--telemetry-hz must be a rate from 1 to 1000")},
        {"--scoring-hz", true,
         number_in(&SimOptions::scoring_hz, 0.1, 1000.0, false,
                   "--scoring-hz must be a rate from 0.1 to 1000")},
        {"--track-length", true,
         number_in(&SimOptions::track_length_m, 100.0, 100000.0, false,
                   "--track-length must be a length in metres from 100 to 100000")},
        {"--lap-time", true,
         number_in(&SimOptions::lap_time_s, 2.0, 36000.0, false,
                   "--lap-time must be a time in seconds from 2 to 36000")},
        {"--start-lap", true,
         integer_in(&SimOptions::start_lap, 0, 4'000'000'000LL, "--start-lap", "a lap count from 0 to 4000000000")},
        {"--start-fraction", true,
         number_in(&SimOptions::start_fraction, 0.0, 1.0, true,
                   "--start-fraction must be at least 0 and below 1")},
        {"--laps", true, integer_in(&SimOptions::laps, 1, 1'000'000, "--laps", "a number of laps from 1 to 1000000")},
        {"--after-laps", true,
         [](SimOptions& o, std::string_view v) -> std::optional<std::string> {
             if (v == "exit") {
                 o.after_laps = AfterLaps::Exit;
             } else if (v == "idle") {
                 o.after_laps = AfterLaps::Idle;
             } else {
                 return must_be("--after-laps", "exit or idle");
             }
             return std::nullopt;
         }},
        {"--exit-at-fraction", true,
         optional_number_in(&SimOptions::exit_at_fraction, 0.0, 1.0, true,
                            "--exit-at-fraction must be at least 0 and below 1")},
        {"--out-lap", false, flag(&SimOptions::out_lap)},
        {"--invalid-lap", true,
         [](SimOptions& o, std::string_view v) -> std::optional<std::string> {
             const auto n = to_int(v);
             if (!n || *n < 1) return must_be("--invalid-lap", "a lap number of 1 or more");
             o.invalid_laps.push_back(*n);
             return std::nullopt;
         }},
        {"--menu-secs", true,
         number_in(&SimOptions::menu_secs, 0.0, 86400.0, false,
                   "--menu-secs must be a time in seconds from 0 to 86400")},
        {"--in-menus", false, flag(&SimOptions::stay_in_menus)},
        {"--track-name", true, text(&PlayerTexts::track)},
        {"--driver-name", true, text(&PlayerTexts::driver)},
        {"--vehicle-name", true, text(&PlayerTexts::vehicle_name)},
        {"--vehicle-class", true, text(&PlayerTexts::vehicle_class)},
        {"--vehicle-file", true, text(&PlayerTexts::vehicle_file)},
        {"--model-name", true, text(&PlayerTexts::model_name)},
        {"--session", true,
         integer_in(&SimOptions::session_number, -1000, 1000, "--session", "a session number, 0 to 13 in LMU")},
        {"--game-version", true,
         integer_in(&SimOptions::game_version, INT32_MIN, INT32_MAX, "--game-version", "a 32-bit number")},
        {"--weather", true,
         integer_in(&SimOptions::weather, 0, 255, "--weather", "a weather index from 0 to 255 (LMU uses 0 to 10)")},
        {"--rain", true, number_in(&SimOptions::rain, 0.0, 1.0, false, "--rain must be from 0 to 1")},
        {"--fuel", true,
         number_in(&SimOptions::fuel_l, 1.0, 500.0, false, "--fuel must be from 1 to 500 litres")},
        {"--freeze-after", true,
         optional_number_in(&SimOptions::freeze_after_s, 0.0, 1e7, false,
                            "--freeze-after must be a time in seconds")},
        {"--hold-lock", true,
         optional_number_in(&SimOptions::hold_lock_s, 0.0, 1e7, false,
                            "--hold-lock must be a time in seconds (0: until exit)")},
        {"--duration", true,
         optional_number_in(&SimOptions::duration_s, 0.0, 1e7, false,
                            "--duration must be a time in seconds")},
        {"--map-size", true,
         integer_in(&SimOptions::map_size, 64, 64 * 1024 * 1024, "--map-size", "a size in bytes from 64 to 67108864")},
        {"--name-prefix", true, plain_text(&SimOptions::name_prefix)},
        {"--name-suffix", true, plain_text(&SimOptions::name_suffix)},
        {"--hostile", true, set_hostile},
        {"--keep-objects", false, flag(&SimOptions::keep_objects)},
        {"--keep-process-name", false, flag(&SimOptions::keep_process_name)},
        {"--quiet", false, flag(&SimOptions::quiet)},
        {"--truth", true,
         [](SimOptions& o, std::string_view v) -> std::optional<std::string> {
             if (v.empty()) return must_be("--truth", "a file path");
             o.truth_path = std::string(v);
             return std::nullopt;
         }},
        {"--help", false, flag(&SimOptions::help)},
        {"-h", false, flag(&SimOptions::help)},
    };
    return table;
}

bool has_slash(std::string_view name) {
    return name.find_first_of("/\\") != std::string_view::npos;
}

}  // namespace

std::expected<SimOptions, std::string> parse_options(std::span<const std::string> args) {
    SimOptions options;
    const std::string default_track_name = options.texts.track;
    // Zero until given, so that the missing one of the pair can follow the other.
    options.track_length_m = 0.0;
    options.lap_time_s = 0.0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        std::optional<std::string_view> inline_value;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            inline_value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        const auto& table = option_table();
        const auto spec =
            std::find_if(table.begin(), table.end(), [&](const OptionSpec& s) { return s.name == arg; });
        if (spec == table.end())
            return std::unexpected("unknown option " + std::string(arg) + " (see --help)");
        std::string_view value;
        if (spec->takes_value) {
            if (inline_value) {
                value = *inline_value;
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return std::unexpected(std::string(arg) + " needs a value");
            }
        } else if (inline_value) {
            return std::unexpected(std::string(arg) + " takes no value");
        }
        if (auto problem = spec->set(options, value)) return std::unexpected(*problem);
    }
    if (options.track_file) {
        if (options.track != "ring") return std::unexpected("--track and --track-file exclude each other");
        options.track = "file";
    } else if (options.raceline_file) {
        return std::unexpected("--raceline goes with --track-file");
    }
    if (options.track != "ring") {
        if (options.track_length_m != 0.0 || options.lap_time_s != 0.0)
            return std::unexpected("--lap-time and --track-length apply to --track ring only");
        const auto circuit = selected_circuit(options);
        if (!circuit) return std::unexpected(circuit.error());
        // The published length is the centre line's; the lap time is the model's.
        const Track track(**circuit);
        const SpeedProfile model(track, selected_car(options), LapEdits{});
        options.track_length_m = track.lap_length_m();
        options.lap_time_s = std::round(model.lap_time_s() * 1000.0) / 1000.0;
        if (options.texts.track == default_track_name) options.texts.track = (*circuit)->track_name;
    } else if (options.track_length_m == 0.0 && options.lap_time_s == 0.0) {
        const SimOptions defaults;
        options.track_length_m = defaults.track_length_m;
        options.lap_time_s = defaults.lap_time_s;
    } else if (options.track_length_m == 0.0) {
        options.track_length_m = natural_track_length(options.lap_time_s, CarSpec{});
    } else if (options.lap_time_s == 0.0) {
        options.lap_time_s =
            std::round(natural_lap_time(options.track_length_m, CarSpec{}) * 1000.0) / 1000.0;
    }
    if (options.help) return options;

    if (options.scoring_hz > options.telemetry_hz) {
        return std::unexpected("--scoring-hz must not exceed --telemetry-hz");
    }
    if (options.out_lap && options.start_fraction != 0.0) {
        return std::unexpected(
            "--out-lap starts in the pit box; it cannot be combined with --start-fraction");
    }
    if (has_slash(options.name_prefix) || has_slash(options.name_suffix)) {
        return std::unexpected("--name-prefix and --name-suffix must not contain / or \\");
    }
    if (options.map_size == 0) options.map_size = sim_bridge::lmu::kBlockSize;
    return options;
}

std::expected<std::optional<CircuitData>, std::string> selected_circuit(const SimOptions& options) {
    if (options.track == "ring") return std::optional<CircuitData>();
    if (options.track_file) {
        auto loaded = circuit_from_files(*options.track_file, options.raceline_file);
        if (!loaded) return std::unexpected(loaded.error());
        return std::optional<CircuitData>(std::move(*loaded));
    }
    return builtin_circuit(options.track);
}

CarSpec selected_car(const SimOptions& options) {
    return options.car == "gt3" ? gt3() : hypercar();
}

std::int64_t effective_start_lap(const SimOptions& options) {
    if (options.start_lap) return *options.start_lap;
    // Three laps before the largest 32-bit lap number: the fourth crossing wraps it.
    if (options.hostile.laps) return 2'147'483'644;
    return 0;
}

std::string usage_text() {
    return R"USAGE(lmu-sim: a stand-in for Le Mans Ultimate that publishes a scripted session in LMU's
shared memory ("LMU_Data", "LMU_Data_Event", "LMU_SharedMemoryLockData",
"LMU_SharedMemoryLockEvent"), so that corvel can be tried without the simulator.

Usage: lmu-sim [options]

The player's car drives laps of a synthetic closed track; lap times differ a little from lap
to lap. Telemetry is written at --telemetry-hz; the scoring part (lap distance, laps completed,
last and best lap times, pits) at --scoring-hz and from a moment 50 ms older, so a new lap time
shows up some reads after the telemetry's lap number rose, as in LMU. Laps are numbered from 1
for the session's first lap (the telemetry's lap number is the count of laps completed).

Session:
  --track-length M       length of the lap in metres (default 4200)
  --lap-time S           lap time in seconds around which laps vary (default 90); when only
                         one of the two is given, the other is chosen so that the car laps at
                         a plausible pace. Laps under about 12 s need a track too small for
                         that: the car then goes faster and corners harder than it could
  --start-lap N          laps already completed when the car appears (default 0)
  --start-fraction F     where on its lap the car appears, 0 <= F < 1 (default 0)
  --out-lap              appear in the pit box instead: 2 s standing, the pit lane on the
                         limiter, then an out-lap for which no lap time is published
  --laps N               drive N laps (every line crossing counts, out-lap included), then
                         do what --after-laps says
  --after-laps exit|idle exit 1 s after the last lap (its time is published by then), or park
                         in the garage and keep publishing (default exit)
  --exit-at-fraction F   exit when the car reaches F of the lap after the --laps laps (of its
                         first lap, or the next one if it appeared past F, without --laps)
  --invalid-lap N        invalidate lap N from 40 % of its length on (repeatable); its time
                         is still published but does not count as best lap
  --menu-secs S          sit in the menus (no car, not in realtime) for S seconds first
  --in-menus             never leave the menus
  --session N            session number: 0 test day, 1-4 practice, 5-8 qualifying, 9 warm-up,
                         10-13 race (default 1)
  --track-name TEXT      (default "Synthetic Ring (Endurance)")
  --driver-name TEXT     (default "Sim Driver")
  --vehicle-name TEXT    (default "Corvel Racing #7")
  --vehicle-class TEXT   (default "Hypercar")
  --vehicle-file TEXT    (default "CORVEL_HY_07.VEH")
  --model-name TEXT      (default "Synthetic LMH")
  --game-version N       (default 1200)
  --weather N            weather index, 0..10 in LMU (default 1, light clouds)
  --rain X               rain severity 0..1; the track's wetness follows (default 0)
  --fuel L               fuel in the tank when the car appears (default 62)

Publishing:
  --telemetry-hz HZ      (default 100)
  --scoring-hz HZ        (default 5)
  --map-size BYTES       size of the "LMU_Data" mapping (default 324820; a smaller mapping
                         holds only the start of the block)
  --name-prefix TEXT     put TEXT before each of the four object names (for parallel tests)
  --name-suffix TEXT     put TEXT after each of the four object names
  --freeze-after S       stop writing and signalling after S seconds, but keep running
  --hold-lock S          after the first block, take the lock and keep it S seconds without
                         writing (0: until exit)
  --hostile LIST         publish broken data: counts (vehicle and telemetry counts out of
                         range), texts (no NUL, invalid UTF-8, control characters), numbers
                         (NaN and infinities where a capture does not depend on them), laps
                         (lap numbers that pass the 32-bit limit); comma-separated, or all
  --duration S           exit after S seconds
  --keep-objects         leave the objects behind on exit, like a killed simulator
  --truth FILE           write what was published as JSON lines (see tools/lmu-sim/README.md)
  --keep-process-name    Linux: do not run as "LMU.exe"
  --quiet                print nothing but errors
  -h, --help             print this text

On Linux lmu-sim runs itself again under the process name "LMU.exe", so corvel's detection
sees LMU running. On Windows its process is lmu-sim.exe, which corvel's detection and its
watchdog do not count as LMU (corvel still connects and records); a copy of lmu-sim.exe
named LMU.exe is seen as LMU.

At start, objects left behind by a killed run are replaced; on exit (also on Ctrl+C or
SIGTERM) they are removed. Exit status: 0 when it ends as asked, 1 on an error.
)USAGE";
}

}  // namespace corvel::lmu_sim
