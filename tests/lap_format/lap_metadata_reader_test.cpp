// The metadata reader against the real writer's documents, and its errors for documents
// that are not ours.
#include "lap_format/json/lap_metadata_reader.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "lap_format/lap_metadata.hpp"

namespace corvel {
namespace {

LapMetadata full_metadata() {
    LapMetadata m;
    m.track_name = "Circuit de la Sarthe";
    m.track_id = "LEMANS";
    m.track_config = "24h";
    m.track_length_m = 13626.0f;
    m.car_name = "Example Car 963";
    m.car_id = "EX963";
    m.car_class = "Hypercar";
    m.driver_name = "A \"quoted\" \\ driver\twith tab, \xC3\xA9 and \x01";
    m.session_type = "practice";
    m.session_id = "s-1";
    m.lap_number = 12;
    m.lap_time_seconds = 212.345678;
    m.sample_count = 13271;
    m.file_name = "lmu-clean-lap-lemans-example-car-963-lap12-1736964252.bin";
    m.created_at = UtcTime(std::chrono::seconds(1736964252) + UtcTime::duration(3456789));
    m.start_track_pct = 0.0000025f;
    m.started_mid_lap = false;
    m.fuel_at_start_liters = 45.5;
    m.fuel_at_end_liters = 41.29999923706055;
    m.fuel_used_liters = 4.200000762939453;
    m.incident_delta = 0;
    return m;
}

TEST(LapMetadataReader, ReadsBackWhatTheWriterWrote) {
    const LapMetadata written = full_metadata();

    const auto read = parse_lap_metadata(format_lap_metadata(written));

    ASSERT_TRUE(read.has_value()) << read.error();
    EXPECT_EQ(*read, written);
}

TEST(LapMetadataReader, ReadsNullsAsAbsentValues) {
    LapMetadata written = full_metadata();
    written.track_id.reset();
    written.track_config.reset();
    written.car_id.reset();
    written.car_class.reset();
    written.session_id.reset();
    written.fuel_at_start_liters.reset();
    written.fuel_used_liters.reset();

    const auto read = parse_lap_metadata(format_lap_metadata(written));

    ASSERT_TRUE(read.has_value()) << read.error();
    EXPECT_EQ(*read, written);
}

TEST(LapMetadataReader, ReadsNullNumbersAsNaN) {
    LapMetadata written = full_metadata();
    written.track_length_m = std::numeric_limits<float>::quiet_NaN();
    written.lap_time_seconds = std::numeric_limits<double>::infinity();

    const auto read = parse_lap_metadata(format_lap_metadata(written));

    ASSERT_TRUE(read.has_value()) << read.error();
    EXPECT_TRUE(std::isnan(read->track_length_m));
    EXPECT_TRUE(std::isnan(read->lap_time_seconds));
}

TEST(LapMetadataReader, ReadsNegativeLapNumbers) {
    LapMetadata written = full_metadata();
    written.lap_number = -4;

    const auto read = parse_lap_metadata(format_lap_metadata(written));

    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->lap_number, -4);
}

TEST(LapMetadataReaderErrors, NotJson) {
    const auto read = parse_lap_metadata("{\"simulator\": \"lmu\",");
    ASSERT_FALSE(read.has_value());
    EXPECT_TRUE(read.error().starts_with("not valid JSON: ")) << read.error();
}

// Found by fuzzing: the JSON library reports a number beyond a double's range with another
// exception than a syntax error, which used to escape the reader and end the program.
TEST(LapMetadataReaderErrors, NumberTooLargeForADoubleIsNotValidJson) {
    for (const char* text : {"6666666666666666e666", "{\"trackLengthM\": 1e999}"}) {
        const auto read = parse_lap_metadata(text);
        ASSERT_FALSE(read.has_value()) << text;
        EXPECT_TRUE(read.error().starts_with("not valid JSON: ")) << read.error();
    }
}

TEST(LapMetadataReaderErrors, NotAnObject) {
    const auto read = parse_lap_metadata("[1, 2]");
    ASSERT_FALSE(read.has_value());
    EXPECT_EQ(read.error(), "the document must be a JSON object, found an array");
}

TEST(LapMetadataReaderErrors, MissingKeyIsNamed) {
    std::string text = format_lap_metadata(full_metadata());
    const auto at = text.find("  \"sampleCount\"");
    text.erase(at, text.find('\n', at) + 1 - at);

    const auto read = parse_lap_metadata(text);

    ASSERT_FALSE(read.has_value());
    EXPECT_EQ(read.error(), "\"sampleCount\" is missing");
}

TEST(LapMetadataReaderErrors, WrongTypeIsNamed) {
    std::string text = format_lap_metadata(full_metadata());
    const std::string from = "\"lapNumber\": 12";
    text.replace(text.find(from), from.size(), "\"lapNumber\": \"12\"");

    const auto read = parse_lap_metadata(text);

    ASSERT_FALSE(read.has_value());
    EXPECT_EQ(read.error(), "\"lapNumber\" must be an integer, found a string");
}

TEST(LapMetadataReaderErrors, NegativeSampleCount) {
    std::string text = format_lap_metadata(full_metadata());
    const std::string from = "\"sampleCount\": 13271";
    text.replace(text.find(from), from.size(), "\"sampleCount\": -1");

    const auto read = parse_lap_metadata(text);

    ASSERT_FALSE(read.has_value());
    EXPECT_EQ(read.error(), "\"sampleCount\" must be an unsigned integer, found an integer");
}

TEST(LapMetadataReaderErrors, MalformedCreatedAt) {
    std::string text = format_lap_metadata(full_metadata());
    const auto at = text.find("\"createdAt\": \"") + 14;
    text.replace(at, 10, "2025-02-30");

    const auto read = parse_lap_metadata(text);

    ASSERT_FALSE(read.has_value());
    EXPECT_TRUE(read.error().starts_with("\"createdAt\" is not a UTC time")) << read.error();
}

TEST(CreatedAtParser, ReadsEveryFractionWidth) {
    const auto base = UtcTime(std::chrono::seconds(1736964252));
    EXPECT_EQ(parse_created_at("2025-01-15T18:04:12+00:00"), base);
    EXPECT_EQ(parse_created_at("2025-01-15T18:04:12.345+00:00"), base + std::chrono::milliseconds(345));
    EXPECT_EQ(parse_created_at("2025-01-15T18:04:12.345678+00:00"), base + std::chrono::microseconds(345678));
    EXPECT_EQ(parse_created_at("2025-01-15T18:04:12.345678900+00:00"), base + UtcTime::duration(3456789));
}

TEST(CreatedAtParser, RefusesOtherForms) {
    EXPECT_FALSE(parse_created_at("2025-01-15T18:04:12Z"));
    EXPECT_FALSE(parse_created_at("2025-01-15 18:04:12+00:00"));
    EXPECT_FALSE(parse_created_at("2025-01-15T18:04:12.+00:00"));
    EXPECT_FALSE(parse_created_at("2025-13-15T18:04:12+00:00"));
    EXPECT_FALSE(parse_created_at("2025-01-15T24:04:12+00:00"));
    EXPECT_FALSE(parse_created_at("2025-01-15T18:04:12+01:00"));
    EXPECT_FALSE(parse_created_at(""));
}

}  // namespace
}  // namespace corvel
