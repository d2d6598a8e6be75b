// The ground truth of a run: what the stand-in published, one JSON object per line, so that
// end-to-end tests can compare corvel's output with it.
#pragma once

#include <cstdint>
#include <expected>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvel::lmu_sim {

// Builds one JSON object, keys in the order they are added.
class JsonObject {
  public:
    JsonObject& add(std::string_view key, std::string_view text);
    JsonObject& add(std::string_view key, const char* text) { return add(key, std::string_view(text)); }
    JsonObject& add(std::string_view key, double number);  // NaN and infinities become null
    JsonObject& add(std::string_view key, std::int64_t number);
    JsonObject& add(std::string_view key, int number) { return add(key, static_cast<std::int64_t>(number)); }
    JsonObject& add(std::string_view key, bool value);
    JsonObject& add(std::string_view key, std::optional<double> number);
    JsonObject& add(std::string_view key, const JsonObject& object);
    JsonObject& add(std::string_view key, const std::vector<JsonObject>& array);
    JsonObject& add_null(std::string_view key);
    // Appends all of `other`'s members.
    JsonObject& add_all(const JsonObject& other);

    [[nodiscard]] std::string str() const { return "{" + body_ + "}"; }

  private:
    void key(std::string_view name);
    std::string body_;
};

// A JSON string literal. Bytes that are not valid UTF-8 become U+FFFD, one per byte.
[[nodiscard]] std::string json_string(std::string_view text);
// Lower-case hexadecimal of every byte.
[[nodiscard]] std::string hex_bytes(std::string_view bytes);

class SessionScript;

// What the player's lap `lap` was in truth, on the published lap-distance axis: when it began
// and ended, and per corner the brake point, geometric apex, minimum-speed point and speed,
// throttle pickup, and the times from the line at the corner's start (brake point), apex and end.
// Corners are empty on the ring, which has no driver model.
[[nodiscard]] JsonObject lap_truth_json(SessionScript& script, std::int64_t lap);

class TruthLog {
  public:
    TruthLog() = default;  // writes nothing
    // Creates or truncates the file (UTF-8 path).
    [[nodiscard]] static std::expected<TruthLog, std::string> open(const std::string& path);

    // One line, flushed at once so that a reader sees it while the simulator runs.
    void write(const JsonObject& object);
    [[nodiscard]] bool enabled() const { return file_ != nullptr; }

  private:
    std::unique_ptr<std::ofstream> file_;
};

}  // namespace corvel::lmu_sim
