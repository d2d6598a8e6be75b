// The session at one moment: track, session kind and phase, flag, weather.
// Also the one-byte codes SessionKind, SessionPhase and FlagState.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sim_bridge {

enum class SessionKind : std::uint8_t {
    Unknown = 0,
    Practice = 1,
    Qualify = 2,
    Race = 3,
    TimeTrial = 4,
    Hotlap = 5,
    OtherPractice = 6,  // labelled "practice" like Practice; not produced by LMU
    OfflineTesting = 7,
    Warmup = 8,
};

// The text printed in the session line and stored in the metadata ("race", ...).
// Codes outside the table read "unknown".
[[nodiscard]] std::string_view session_kind_label(SessionKind kind);

enum class SessionPhase : std::uint8_t {
    Unknown = 0,  // also a paused session
    NotStarted = 1,
    PreRace = 2,
    Starting = 3,
    Running = 4,
    Over = 5,
    Stopped = 6,
};

enum class FlagState : std::uint8_t {
    None = 0,
    Green = 1,
    Yellow = 4,
    Red = 5,
    Chequered = 7,
    Blue = 8,
};

struct SessionInfo {
    std::string track_name;
    std::optional<std::string> track_layout;
    std::string track_full_name;
    std::optional<std::string> track_raw_name;
    float track_length_m = 0.0f;
    SessionKind session_kind = SessionKind::Unknown;
    std::optional<std::string> session_id;
    SessionPhase session_phase = SessionPhase::Unknown;
    FlagState flag_state = FlagState::None;
    bool in_realtime = false;
    std::optional<double> time_remaining_s;
    std::optional<std::int32_t> max_laps;
    std::int32_t player_laps = 0;
    std::uint32_t vehicle_count = 0;
    std::optional<std::string> game_version;
    std::string weather_text;
    std::optional<std::uint8_t> weather_code;
    float ambient_temp_c = 0.0f;
    float track_temp_c = 0.0f;
    float wind_speed_mps = 0.0f;
    float wind_direction_deg = 0.0f;
    float rain_intensity = 0.0f;
    float path_wetness_avg = 0.0f;
    bool track_wet = false;

    bool operator==(const SessionInfo&) const = default;
};

}  // namespace sim_bridge
