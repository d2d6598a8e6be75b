// The stand-in simulator's command line: what session to script and how to publish it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "circuit.hpp"
#include "lap_driver.hpp"

namespace corvel::lmu_sim {

enum class AfterLaps : std::uint8_t { Exit, Idle };

// Deliberately broken data, for testing readers; each kind can be switched on alone.
struct HostileData {
    bool counts = false;   // vehicle count and telemetry count byte far out of range
    bool texts = false;    // text fields filled to the last byte, invalid UTF-8, control characters
    bool numbers = false;  // NaN and infinities in fields a capture does not depend on
    bool laps = false;     // lap numbers that run past the 32-bit limit

    [[nodiscard]] bool any() const { return counts || texts || numbers || laps; }
};

// The player's texts, as published.
struct PlayerTexts {
    std::string track = "Synthetic Ring (Endurance)";
    std::string driver = "Sim Driver";
    std::string vehicle_name = "Corvel Racing #7";
    std::string vehicle_class = "Hypercar";
    std::string vehicle_file = "CORVEL_HY_07.VEH";
    std::string model_name = "Synthetic LMH";
};

struct SimOptions {
    // "ring" (the synthetic circuit), a built-in circuit (spa, monza, sakhir) or "file".
    std::string track = "ring";
    std::optional<std::string> track_file;
    std::optional<std::string> raceline_file;
    std::string car = "hypercar";  // real circuits: hypercar or gt3
    DriverStyle driver;            // real circuits: seed, variation, spreads, mistakes
    bool list_corners = false;
    double telemetry_hz = 100.0;
    double scoring_hz = 5.0;
    // Given one of the two, the other follows: the car laps at its natural pace.
    double track_length_m = 4200.0;
    double lap_time_s = 90.0;
    std::optional<std::int64_t> start_lap;  // laps completed when the car appears; default 0
    double start_fraction = 0.0;
    std::optional<std::int64_t> laps;
    AfterLaps after_laps = AfterLaps::Exit;
    std::optional<double> exit_at_fraction;
    bool out_lap = false;
    std::vector<std::int64_t> invalid_laps;
    double menu_secs = 0.0;
    bool stay_in_menus = false;
    PlayerTexts texts;
    std::int32_t session_number = 1;
    std::int32_t game_version = 1200;
    std::uint8_t weather = 1;
    double rain = 0.0;
    double fuel_l = 62.0;
    std::optional<double> freeze_after_s;
    std::optional<double> hold_lock_s;  // 0: for good
    std::optional<double> duration_s;
    std::size_t map_size = 0;  // 0: the block size
    std::string name_prefix;
    std::string name_suffix;
    HostileData hostile;
    bool keep_objects = false;
    bool keep_process_name = false;
    bool quiet = false;
    std::optional<std::string> truth_path;
    bool help = false;
};

// `args` without the program name. The error is one line for the user.
[[nodiscard]] std::expected<SimOptions, std::string> parse_options(std::span<const std::string> args);

[[nodiscard]] std::string usage_text();

// The real circuit the options choose, nothing for the ring.
[[nodiscard]] std::expected<std::optional<CircuitData>, std::string> selected_circuit(const SimOptions& options);
[[nodiscard]] CarSpec selected_car(const SimOptions& options);

// The laps completed when the car appears: --start-lap, or near the 32-bit limit for
// hostile lap numbers, else 0.
[[nodiscard]] std::int64_t effective_start_lap(const SimOptions& options);

}  // namespace corvel::lmu_sim
