// Fuzz target: the lap metadata writer. Any document it writes, whatever the names, numbers
// and times it is given, must parse as JSON (nlohmann::json, a parser written apart from
// ours) with the same values: every key present and in order, strings equal (invalid UTF-8
// shown as U+FFFD), numbers read back to the same value in their own width, NaN and the
// infinities as null. The document must also read back through corvel-lap to the same text.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "lap_format/lap_metadata.hpp"
#include "lap_format/json/lap_metadata_reader.hpp"
#include "fuzz_support.hpp"

namespace {

using corvel::fuzz::is_valid_utf8;
using corvel::fuzz::require;
using Json = nlohmann::ordered_json;

constexpr std::array<const char*, 23> kKeys = {
    "simulator",      "trackName",     "trackId",        "trackConfig",       "trackLengthM",
    "carName",        "carId",         "carClass",       "driverName",        "sessionType",
    "sessionId",      "lapNumber",     "lapTimeSeconds", "sampleCount",       "fileName",
    "createdAt",      "startTrackPct", "startedMidLap",  "fuelAtStartLiters", "fuelAtEndLiters",
    "fuelUsedLiters", "incidentDelta", "notes"};

std::string text(FuzzedDataProvider& in) {
    return in.ConsumeRandomLengthString(80);
}

std::optional<std::string> optional_text(FuzzedDataProvider& in) {
    if (in.ConsumeBool()) return std::nullopt;
    return text(in);
}

template <class F>
F number(FuzzedDataProvider& in) {
    // Raw bits reach NaNs, infinities, subnormals and negative zero as well as plain values.
    if (in.ConsumeBool()) return in.ConsumeFloatingPoint<F>();
    using Bits = std::conditional_t<sizeof(F) == 4, std::uint32_t, std::uint64_t>;
    return std::bit_cast<F>(in.ConsumeIntegral<Bits>());
}

std::optional<double> optional_number(FuzzedDataProvider& in) {
    if (in.ConsumeBool()) return std::nullopt;
    return number<double>(in);
}

void check_string(const Json& value, const std::string& written) {
    require(value.is_string(), "a string member reads as a string");
    if (is_valid_utf8(written))
        require(value.get<std::string>() == written, "a UTF-8 string reads back unchanged");
}

void check_optional_string(const Json& value, const std::optional<std::string>& written) {
    if (!written) {
        require(value.is_null(), "an absent string is null");
        return;
    }
    check_string(value, *written);
}

template <class F>
void check_number(const Json& value, F written) {
    if (!std::isfinite(written)) {
        require(value.is_null(), "NaN and the infinities are null");
        return;
    }
    require(value.is_number_float(), "a number member is written with a point or an exponent");
    const F read = static_cast<F>(value.get<double>());
    require(read == written && std::signbit(read) == std::signbit(written),
            "a number reads back to its value");
}

void check_optional_number(const Json& value, const std::optional<double>& written) {
    if (!written) {
        require(value.is_null(), "an absent number is null");
        return;
    }
    check_number(value, *written);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    corvel::LapMetadata m;
    m.track_name = text(in);
    m.track_id = optional_text(in);
    m.track_config = optional_text(in);
    m.track_length_m = number<float>(in);
    m.car_name = text(in);
    m.car_id = optional_text(in);
    m.car_class = optional_text(in);
    m.driver_name = text(in);
    m.session_type = text(in);
    m.session_id = optional_text(in);
    m.lap_number = in.ConsumeIntegral<std::int32_t>();
    m.lap_time_seconds = number<double>(in);
    m.sample_count = in.ConsumeIntegral<std::uint64_t>();
    m.file_name = text(in);
    // The system clock, anywhere from 1970 to the end of year 9999.
    m.created_at = corvel::UtcTime(corvel::UtcTime::duration(
        in.ConsumeIntegralInRange<std::int64_t>(0, 253'402'300'799LL * 10'000'000LL + 9'999'999LL)));
    m.start_track_pct = number<float>(in);
    m.started_mid_lap = in.ConsumeBool();
    m.fuel_at_start_liters = optional_number(in);
    m.fuel_at_end_liters = number<double>(in);
    m.fuel_used_liters = optional_number(in);
    m.incident_delta = in.ConsumeIntegral<std::int32_t>();

    const std::string document = corvel::format_lap_metadata(m);
    require(document.front() == '{' && document.back() == '}',
            "the document is one object, no newline after it");
    require(std::count(document.begin(), document.end(), '\n') == 27, "the document has 28 lines");
    require(is_valid_utf8(document), "the document is UTF-8");

    Json json;
    try {
        json = Json::parse(document);
    } catch (const Json::exception& e) {
        std::fprintf(stderr, "%s\n%s\n", e.what(), document.c_str());
        require(false, "the document parses as JSON");
    }
    require(json.is_object() && json.size() == kKeys.size(), "the document has the 23 keys");
    std::size_t i = 0;
    for (auto it = json.begin(); it != json.end(); ++it, ++i)
        require(it.key() == kKeys[i], "the keys are in order");

    check_string(json["simulator"], m.simulator);
    check_string(json["trackName"], m.track_name);
    check_optional_string(json["trackId"], m.track_id);
    check_optional_string(json["trackConfig"], m.track_config);
    check_number(json["trackLengthM"], m.track_length_m);
    check_string(json["carName"], m.car_name);
    check_optional_string(json["carId"], m.car_id);
    check_optional_string(json["carClass"], m.car_class);
    check_string(json["driverName"], m.driver_name);
    check_string(json["sessionType"], m.session_type);
    check_optional_string(json["sessionId"], m.session_id);
    require(json["lapNumber"].is_number_integer() && json["lapNumber"].get<std::int64_t>() == m.lap_number,
            "lapNumber reads back");
    check_number(json["lapTimeSeconds"], m.lap_time_seconds);
    require(
        json["sampleCount"].is_number_unsigned() || (m.sample_count == 0 && json["sampleCount"].is_number()),
        "sampleCount is an unsigned integer");
    require(json["sampleCount"].get<std::uint64_t>() == m.sample_count, "sampleCount reads back");
    check_string(json["fileName"], m.file_name);
    require(json["createdAt"].is_string(), "createdAt is a string");
    const auto created = corvel::parse_created_at(json["createdAt"].get<std::string>());
    require(created && *created == m.created_at, "createdAt reads back to the same instant");
    check_number(json["startTrackPct"], m.start_track_pct);
    require(json["startedMidLap"].is_boolean() && json["startedMidLap"].get<bool>() == m.started_mid_lap,
            "startedMidLap reads back");
    check_optional_number(json["fuelAtStartLiters"], m.fuel_at_start_liters);
    check_number(json["fuelAtEndLiters"], m.fuel_at_end_liters);
    check_optional_number(json["fuelUsedLiters"], m.fuel_used_liters);
    require(json["incidentDelta"].get<std::int64_t>() == m.incident_delta, "incidentDelta reads back");
    require(json["notes"].is_array() && json["notes"].size() == 2 &&
                json["notes"][0] == corvel::kMetadataNoteRawOnly &&
                json["notes"][1] == corvel::kMetadataNoteScoringSync,
            "notes are the two fixed texts");

    // corvel-lap reads what corvel writes: the same document comes out again.
    const auto read = corvel::parse_lap_metadata(document);
    if (read)
        require(corvel::format_lap_metadata(*read) == document,
                "corvel-lap reads the document back unchanged");
    return 0;
}
