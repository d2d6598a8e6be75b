// Reads the metadata document with nlohmann/json. The library's exceptions stay inside this
// file: a parse failure becomes the error text of parse_lap_metadata.
#include "lap_format/json/lap_metadata_reader.hpp"

#include <charconv>
#include <chrono>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

namespace corvel {
namespace {

using Json = nlohmann::json;

std::string json_type_name(const Json& value) {
    if (value.is_number_integer()) {
        return "an integer";
    }
    if (value.is_number_float()) {
        return "a fractional number";
    }
    const std::string name = value.type_name();
    const bool vowel = !name.empty() && std::string_view("aeiou").find(name[0]) != std::string_view::npos;
    return name == "null" ? "null" : (vowel ? "an " : "a ") + name;
}

// Looks each key up once and turns a wrong type into the first error met.
class MemberReader {
  public:
    explicit MemberReader(const Json& object) : object_(object) {}

    [[nodiscard]] const std::optional<std::string>& error() const { return error_; }

    std::string text(const char* key) { return optional_text(key, false).value_or(std::string()); }
    std::optional<std::string> nullable_text(const char* key) { return optional_text(key, true); }

    // Numbers the writer turns into null when they are NaN or infinite.
    double number(const char* key) {
        return nullable_number(key).value_or(std::numeric_limits<double>::quiet_NaN());
    }

    std::optional<double> nullable_number(const char* key) {
        const Json* value = find(key);
        if (value == nullptr || value->is_null()) {
            return std::nullopt;
        }
        if (!value->is_number()) {
            fail(key, "a number", *value);
            return std::nullopt;
        }
        return value->get<double>();
    }

    std::int64_t signed_integer(const char* key) {
        const Json* value = find(key);
        if (value == nullptr) {
            return 0;
        }
        if (value->is_number_unsigned() && value->get<std::uint64_t>() > std::uint64_t{INT64_MAX}) {
            fail_text(key, "is out of range");
            return 0;
        }
        if (!value->is_number_integer()) {
            fail(key, "an integer", *value);
            return 0;
        }
        return value->get<std::int64_t>();
    }

    std::uint64_t unsigned_integer(const char* key) {
        const Json* value = find(key);
        if (value == nullptr) {
            return 0;
        }
        if (!value->is_number_unsigned()) {
            fail(key, "an unsigned integer", *value);
            return 0;
        }
        return value->get<std::uint64_t>();
    }

    bool boolean(const char* key) {
        const Json* value = find(key);
        if (value == nullptr) {
            return false;
        }
        if (!value->is_boolean()) {
            fail(key, "true or false", *value);
            return false;
        }
        return value->get<bool>();
    }

    const Json* find(const char* key) {
        const auto it = object_.find(key);
        if (it == object_.end()) {
            fail_text(key, "is missing");
            return nullptr;
        }
        return &*it;
    }

    void fail(const char* key, const std::string& expected, const Json& found) {
        fail_text(key, "must be " + expected + ", found " + json_type_name(found));
    }

    void fail_text(const char* key, const std::string& what) {
        if (!error_) {
            error_ = "\"" + std::string(key) + "\" " + what;
        }
    }

  private:
    std::optional<std::string> optional_text(const char* key, bool null_allowed) {
        const Json* value = find(key);
        if (value == nullptr) {
            return std::nullopt;
        }
        if (value->is_string()) {
            return value->get<std::string>();
        }
        if (!(null_allowed && value->is_null())) {
            fail(key, null_allowed ? "a string or null" : "a string", *value);
        }
        return std::nullopt;
    }

    const Json& object_;
    std::optional<std::string> error_;
};

bool parse_digits(std::string_view text, std::size_t pos, std::size_t count, int& out) {
    if (pos + count > text.size()) {
        return false;
    }
    const char* first = text.data() + pos;
    const auto [end, ec] = std::from_chars(first, first + count, out);
    return ec == std::errc() && end == first + count && first[0] != '-' && first[0] != '+';
}

std::expected<Json, std::string> parse_json(std::string_view text) {
    try {
        return Json::parse(text);
    } catch (const Json::exception& e) {
        // A syntax error, or a number too large for a double (out_of_range.406, "1e999").
        // "[json.exception.parse_error.101] parse error at line 3, ..." minus the tag.
        std::string message = e.what();
        if (const auto tag_end = message.find("] ");
            message.starts_with("[json.") && tag_end != std::string::npos) {
            message.erase(0, tag_end + 2);
        }
        return std::unexpected("not valid JSON: " + message);
    }
}

}  // namespace

std::optional<UtcTime> parse_created_at(std::string_view text) {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (text.size() < 25 || !parse_digits(text, 0, 4, year) || text[4] != '-' ||
        !parse_digits(text, 5, 2, month) || text[7] != '-' || !parse_digits(text, 8, 2, day) ||
        text[10] != 'T' || !parse_digits(text, 11, 2, hour) || text[13] != ':' ||
        !parse_digits(text, 14, 2, minute) || text[16] != ':' || !parse_digits(text, 17, 2, second)) {
        return std::nullopt;
    }
    std::size_t pos = 19;
    std::int64_t ticks = 0;  // 100 ns units of the fraction
    if (text[pos] == '.') {
        ++pos;
        std::size_t digits = 0;
        std::int64_t scale = 1'000'000;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            if (digits < 7) {
                ticks += (text[pos] - '0') * scale;
                scale /= 10;
            }
            ++digits;
            ++pos;
        }
        if (digits == 0 || digits > 9) {
            return std::nullopt;
        }
    }
    if (text.substr(pos) != "+00:00") {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{std::chrono::year(year),
                                           std::chrono::month(static_cast<unsigned>(month)),
                                           std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok() || hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    const auto seconds = std::chrono::sys_days(date).time_since_epoch() + std::chrono::hours(hour) +
                         std::chrono::minutes(minute) + std::chrono::seconds(second);
    return UtcTime(std::chrono::duration_cast<UtcTime::duration>(seconds) + UtcTime::duration(ticks));
}

std::expected<LapMetadata, std::string> parse_lap_metadata(std::string_view json_text) {
    const auto document = parse_json(json_text);
    if (!document) {
        return std::unexpected(document.error());
    }
    if (!document->is_object()) {
        return std::unexpected("the document must be a JSON object, found " + json_type_name(*document));
    }
    MemberReader in(*document);
    LapMetadata m;
    m.simulator = in.text("simulator");
    m.track_name = in.text("trackName");
    m.track_id = in.nullable_text("trackId");
    m.track_config = in.nullable_text("trackConfig");
    m.track_length_m = static_cast<float>(in.number("trackLengthM"));
    m.car_name = in.text("carName");
    m.car_id = in.nullable_text("carId");
    m.car_class = in.nullable_text("carClass");
    m.driver_name = in.text("driverName");
    m.session_type = in.text("sessionType");
    m.session_id = in.nullable_text("sessionId");
    m.lap_number = in.signed_integer("lapNumber");
    m.lap_time_seconds = in.number("lapTimeSeconds");
    m.sample_count = in.unsigned_integer("sampleCount");
    m.file_name = in.text("fileName");
    const std::string created_at = in.text("createdAt");
    m.start_track_pct = static_cast<float>(in.number("startTrackPct"));
    m.started_mid_lap = in.boolean("startedMidLap");
    m.fuel_at_start_liters = in.nullable_number("fuelAtStartLiters");
    m.fuel_at_end_liters = in.number("fuelAtEndLiters");
    m.fuel_used_liters = in.nullable_number("fuelUsedLiters");
    const std::int64_t incidents = in.signed_integer("incidentDelta");
    if (incidents < INT32_MIN || incidents > INT32_MAX) {
        in.fail_text("incidentDelta", "is out of range");
    }
    m.incident_delta = static_cast<std::int32_t>(incidents);
    if (const Json* notes = in.find("notes")) {
        if (!notes->is_array() || notes->size() != m.notes.size() ||
            !std::all_of(notes->begin(), notes->end(), [](const Json& note) { return note.is_string(); })) {
            in.fail_text("notes", "must be an array of two strings");
        } else {
            for (std::size_t i = 0; i < m.notes.size(); ++i) {
                m.notes[i] = (*notes)[i].get<std::string>();
            }
        }
    }
    if (in.error()) {
        return std::unexpected(*in.error());
    }
    const auto time = parse_created_at(created_at);
    if (!time) {
        return std::unexpected("\"createdAt\" is not a UTC time like 2026-01-15T18:04:12.345+00:00: \"" +
                               created_at + "\"");
    }
    m.created_at = *time;
    return m;
}

}  // namespace corvel
