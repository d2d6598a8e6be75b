// The lap metadata document: a golden text, the number forms of each width, string
// escaping, the createdAt form, and writing the file.
#include "corvel/lap_metadata_from_capture.hpp"

#include <gtest/gtest.h>

#include <limits>

#include "support/test_files.hpp"

namespace corvel {
namespace {

using namespace std::chrono;

UtcTime at(sys_days day, hours h, minutes m, seconds s, std::int64_t ticks) {
    return UtcTime(day) + h + m + s + UtcTime::duration(ticks);
}

LapMetadata golden_metadata() {
    sim_bridge::SessionInfo session;
    session.track_name = "Example Ring";
    session.track_layout = "GP";
    session.track_full_name = "Example Ring - GP";
    session.track_length_m = 700.0f;
    session.session_kind = sim_bridge::SessionKind::OtherPractice;

    sim_bridge::VehicleInfo vehicle;
    vehicle.car_name = "Example Car 963";
    vehicle.car_id = "963";
    vehicle.driver_name = "Jo \"Fast\" \\ Tab\tS\xC3\xA9";

    CleanLap lap;
    lap.lap = 3;
    lap.samples.resize(312);
    lap.lap_time_s = 91.234;
    lap.fuel_start_l = 45.5;
    lap.fuel_end_l = 46.0f;
    lap.fuel_used_l = 0.0;
    lap.start_track_pct = 0.0000025f;

    const auto path =
        std::filesystem::path("captures") / "lmu-clean-lap-example-ring-example-car-963-lap3-1768500252.bin";
    return make_lap_metadata(session, vehicle, lap, path, at(2026y / 1 / 15, 18h, 4min, 12s, 3'456'789));
}

constexpr std::string_view kGolden = R"({
  "simulator": "lmu",
  "trackName": "Example Ring",
  "trackId": null,
  "trackConfig": "GP",
  "trackLengthM": 700.0,
  "carName": "Example Car 963",
  "carId": "963",
  "carClass": null,
  "driverName": "Jo \"Fast\" \\ Tab\tSé",
  "sessionType": "practice",
  "sessionId": null,
  "lapNumber": 3,
  "lapTimeSeconds": 91.234,
  "sampleCount": 312,
  "fileName": "lmu-clean-lap-example-ring-example-car-963-lap3-1768500252.bin",
  "createdAt": "2026-01-15T18:04:12.345678900+00:00",
  "startTrackPct": 0.0000025,
  "startedMidLap": false,
  "fuelAtStartLiters": 45.5,
  "fuelAtEndLiters": 46.0,
  "fuelUsedLiters": 0.0,
  "incidentDelta": 0,
  "notes": [
    "Raw VKTF telemetry only; no DB/session-store rows written",
    "Captured with deferred LMU scoring sync so lap is start-to-finish only"
  ]
})";

// The value text of one member line of the document.
std::string value_of(const LapMetadata& metadata, std::string_view key) {
    const std::string doc = format_lap_metadata(metadata);
    const std::string marker = "\n  \"" + std::string(key) + "\": ";
    const std::size_t start = doc.find(marker);
    if (start == std::string::npos) return "<missing>";
    const std::size_t begin = start + marker.size();
    std::size_t end = doc.find('\n', begin);
    if (doc[end - 1] == ',') --end;
    return doc.substr(begin, end - begin);
}

std::string double_text(double value) {
    LapMetadata m;
    m.lap_time_seconds = value;
    return value_of(m, "lapTimeSeconds");
}

std::string float_text(float value) {
    LapMetadata m;
    m.track_length_m = value;
    return value_of(m, "trackLengthM");
}

std::string string_text(std::string value) {
    LapMetadata m;
    m.driver_name = std::move(value);
    return value_of(m, "driverName");
}

TEST(LapMetadataDocument, MatchesTheGoldenTextByteForByte) {
    EXPECT_EQ(format_lap_metadata(golden_metadata()), kGolden);
}

TEST(LapMetadataDocument, HasTwentyEightLinesAndNoTrailingNewline) {
    const std::string doc = format_lap_metadata(golden_metadata());
    EXPECT_EQ(std::count(doc.begin(), doc.end(), '\n'), 27);
    EXPECT_EQ(doc.back(), '}');
}

TEST(LapMetadataDocument, DoublesUseShortestDigitsAndTheirOwnThresholds) {
    EXPECT_EQ(double_text(0.0), "0.0");
    EXPECT_EQ(double_text(-0.0), "-0.0");
    EXPECT_EQ(double_text(700.0), "700.0");
    EXPECT_EQ(double_text(0.00025), "0.00025");
    EXPECT_EQ(double_text(0.00001), "0.00001");
    EXPECT_EQ(double_text(2.5e-6), "2.5e-6");
    EXPECT_EQ(double_text(1.5e-7), "1.5e-7");
    EXPECT_EQ(double_text(1e16), "1e+16");
    EXPECT_EQ(double_text(9999999999999998.0), "9999999999999998.0");
    EXPECT_EQ(double_text(-123.25), "-123.25");
    EXPECT_EQ(double_text(1.7976931348623157e308), "1.7976931348623157e+308");
    EXPECT_EQ(double_text(static_cast<double>(41.3f)), "41.29999923706055");
    EXPECT_EQ(double_text(std::numeric_limits<double>::quiet_NaN()), "null");
    EXPECT_EQ(double_text(-std::numeric_limits<double>::infinity()), "null");
}

TEST(LapMetadataDocument, FloatsUseShortestSinglePrecisionDigits) {
    EXPECT_EQ(float_text(0.0123f), "0.0123");
    EXPECT_EQ(float_text(0.0000025f), "0.0000025");
    EXPECT_EQ(float_text(0.000001f), "0.000001");
    EXPECT_EQ(float_text(9.5e-7f), "9.5e-7");
    EXPECT_EQ(float_text(123456.7f), "123456.7");
    EXPECT_EQ(float_text(1e13f), "1e+13");
    EXPECT_EQ(float_text(-0.0f), "-0.0");
    EXPECT_EQ(float_text(std::numeric_limits<float>::quiet_NaN()), "null");
    EXPECT_EQ(float_text(std::numeric_limits<float>::infinity()), "null");
}

TEST(LapMetadataDocument, EscapesStringsTheJsonWay) {
    EXPECT_EQ(string_text("a/b"), "\"a/b\"");
    EXPECT_EQ(string_text("\b\f\n\r\t"), "\"\\b\\f\\n\\r\\t\"");
    EXPECT_EQ(string_text(std::string("\x01\x1f\x7f", 3)), "\"\\u0001\\u001f\x7f\"");
    EXPECT_EQ(string_text(std::string("nul\0end", 7)), "\"nul\\u0000end\"");
    EXPECT_EQ(string_text("\xE2\x82\xAC"), "\"\xE2\x82\xAC\"");
}

TEST(LapMetadataDocument, ReplacesBytesThatAreNotUtf8) {
    EXPECT_EQ(string_text("a\xFF"
                          "b\xC3"),
              "\"a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD\"");
}

TEST(LapMetadataDocument, AbsentOptionalsAreNull) {
    LapMetadata m;
    m.fuel_at_start_liters.reset();
    m.fuel_used_liters.reset();
    EXPECT_EQ(value_of(m, "fuelAtStartLiters"), "null");
    EXPECT_EQ(value_of(m, "fuelUsedLiters"), "null");
    EXPECT_EQ(value_of(m, "sessionId"), "null");
    EXPECT_EQ(value_of(m, "carId"), "null");
}

TEST(LapMetadataDocument, EmptyCarNameStaysEmpty) {
    sim_bridge::VehicleInfo vehicle;
    const LapMetadata m = make_lap_metadata({}, vehicle, CleanLap{}, "x.bin", UtcTime{});
    EXPECT_EQ(value_of(m, "carName"), "\"\"");
    EXPECT_EQ(value_of(m, "sessionType"), "\"unknown\"");
}

TEST(CreatedAt, ShowsOnlyTheDigitsTheFractionNeeds) {
    const sys_days day = 2026y / 1 / 15;
    EXPECT_EQ(format_created_at(at(day, 18h, 4min, 12s, 0)), "2026-01-15T18:04:12+00:00");
    EXPECT_EQ(format_created_at(at(day, 18h, 4min, 12s, 3'450'000)), "2026-01-15T18:04:12.345+00:00");
    EXPECT_EQ(format_created_at(at(day, 18h, 4min, 12s, 3'456'780)), "2026-01-15T18:04:12.345678+00:00");
    EXPECT_EQ(format_created_at(at(day, 18h, 4min, 12s, 3'456'789)), "2026-01-15T18:04:12.345678900+00:00");
    EXPECT_EQ(format_created_at(at(day, 0h, 0min, 0s, 1)), "2026-01-15T00:00:00.000000100+00:00");
    EXPECT_EQ(format_created_at(at(1970y / 1 / 1, 0h, 0min, 0s, 0)), "1970-01-01T00:00:00+00:00");
}

TEST(CreatedAt, NowIsWholeTicks) {
    const UtcTime now = utc_now();
    EXPECT_GT(now.time_since_epoch().count(), 0);
}

TEST(FileNameText, IsTheLastComponent) {
    EXPECT_EQ(file_name_text(std::filesystem::path("a") / "b" / "lap.bin"), "lap.bin");
}

TEST(WriteLapMetadata, WritesTheDocumentWithoutTrailingNewline) {
    testing::TempDir dir;
    const auto path = dir.path() / "lap.json";
    testing::write_text(path, std::string(5000, 'x'));
    ASSERT_TRUE(write_lap_metadata(path, golden_metadata()).has_value());
    EXPECT_EQ(testing::read_text(path), kGolden);
}

TEST(WriteLapMetadata, ReportsTheSystemError) {
    testing::TempDir dir;
    auto result = write_lap_metadata(dir.path() / "absent" / "lap.json", golden_metadata());
    ASSERT_FALSE(result.has_value());
    EXPECT_TRUE(result.error().starts_with("Failed to write metadata: ")) << result.error();
    EXPECT_TRUE(result.error().ends_with(")")) << result.error();
    EXPECT_NE(result.error().find("(os error "), std::string::npos) << result.error();
}

}  // namespace
}  // namespace corvel
