// Minimal JSON output: the truth log needs objects of strings, numbers and booleans only.
// Numbers are written in their shortest exact form, so a test compares them bit for bit.
#include "truth_log.hpp"

#include <charconv>
#include <cmath>
#include <filesystem>

#include "session_script.hpp"
#include "text/utf8.hpp"

namespace corvel::lmu_sim {

std::string json_string(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const text::DecodedChar decoded = text::decode_utf8_at(text, i);
        const std::size_t length = decoded.length;
        if (!decoded.valid) {  // one replacement per malformed byte
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out.append(text.substr(i, length));
        }
        i += length;
    }
    return out + "\"";
}

std::string hex_bytes(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
    }
    return out;
}

void JsonObject::key(std::string_view name) {
    if (!body_.empty()) body_ += ',';
    body_ += json_string(name);
    body_ += ':';
}

JsonObject& JsonObject::add(std::string_view name, std::string_view text) {
    key(name);
    body_ += json_string(text);
    return *this;
}

JsonObject& JsonObject::add(std::string_view name, double number) {
    key(name);
    if (!std::isfinite(number)) {
        body_ += "null";
        return *this;
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    body_.append(buffer, result.ptr);
    return *this;
}

JsonObject& JsonObject::add(std::string_view name, std::int64_t number) {
    key(name);
    body_ += std::to_string(number);
    return *this;
}

JsonObject& JsonObject::add(std::string_view name, bool value) {
    key(name);
    body_ += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::add(std::string_view name, std::optional<double> number) {
    return number ? add(name, *number) : add_null(name);
}

JsonObject& JsonObject::add(std::string_view name, const JsonObject& object) {
    key(name);
    body_ += object.str();
    return *this;
}

JsonObject& JsonObject::add(std::string_view name, const std::vector<JsonObject>& array) {
    key(name);
    body_ += '[';
    for (std::size_t i = 0; i < array.size(); ++i) {
        if (i > 0) body_ += ',';
        body_ += array[i].str();
    }
    body_ += ']';
    return *this;
}

JsonObject lap_truth_json(SessionScript& script, std::int64_t number) {
    const LapPlan lap = script.player().lap(number);
    const Track& track = script.track();
    const auto lap_distance = [&](double path_m) { return track.at(path_m).lap_distance_m; };
    std::vector<JsonObject> corners;
    if (const LapDriver* driver = script.lap_driver(); driver && lap.driven) {
        for (const auto& c : driver->corner_truth(*lap.driven)) {
            corners.push_back(JsonObject()
                                  .add("corner", c.number)
                                  .add("brake_m", lap_distance(c.brake_m))
                                  .add("apex_m", lap_distance(c.apex_m))
                                  .add("min_speed_m", lap_distance(c.min_speed_m))
                                  .add("min_speed_mps", c.min_speed_mps)
                                  .add("throttle_m", lap_distance(c.pickup_m))
                                  .add("start_time_s", c.start_time_s)
                                  .add("apex_time_s", c.apex_time_s)
                                  .add("end_time_s", c.end_time_s));
        }
    }
    return JsonObject()
        .add("lap", lap.number)
        .add("started_s", lap.start_s)
        .add("ended_s", lap.end_s())
        .add("lap_time_s", lap.duration_s)
        .add("out_lap", lap.out_lap)
        .add("invalid", lap.invalid)
        .add("fuel_at_line_l", lap.fuel_at_line_l)
        .add("corners", corners);
}

JsonObject& JsonObject::add_all(const JsonObject& other) {
    if (!body_.empty() && !other.body_.empty()) body_ += ',';
    body_ += other.body_;
    return *this;
}

JsonObject& JsonObject::add_null(std::string_view name) {
    key(name);
    body_ += "null";
    return *this;
}

std::expected<TruthLog, std::string> TruthLog::open(const std::string& path) {
    const std::filesystem::path file(std::u8string(path.begin(), path.end()));
    auto stream = std::make_unique<std::ofstream>(file, std::ios::binary | std::ios::trunc);
    if (!stream->is_open()) return std::unexpected("cannot write the truth log \"" + path + "\"");
    TruthLog log;
    log.file_ = std::move(stream);
    return log;
}

void TruthLog::write(const JsonObject& object) {
    if (!file_) return;
    *file_ << object.str() << '\n';
    file_->flush();
}

}  // namespace corvel::lmu_sim
