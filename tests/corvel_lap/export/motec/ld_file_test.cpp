// The .ld writer read back by the independent test reader: header texts, block pointers,
// the channel list, sample types and values, and the limits of text fields.
#include "export/motec/ld_file.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ld_reader.hpp"

namespace corvel::motec {
namespace {

LdLog two_channel_log() {
    LdLog log;
    log.sample_rate_hz = 50;
    log.session.date = "15/01/2026";
    log.session.time = "18:04:12";
    log.session.driver = "Test Driver";
    log.session.vehicle = "Stand-in GT3";
    log.session.venue = "Corvel Ring";
    log.session.short_comment = "Lap 3 1:42.345";
    log.session.event = "LMU Short";
    log.session.session = "Practice";
    log.session.long_comment = "resampled to 50 Hz";
    log.session.vehicle_id = "Stand-in GT3";
    log.session.vehicle_type = "GT3";
    log.session.vehicle_comment = "gt3_7";
    log.channels.push_back({"Ground Speed", "Speed", "km/h", LdSampleType::Float32, {0.0, 101.5, 250.25}});
    log.channels.push_back({"Gear", "Gear", "", LdSampleType::Int16, {-1.0, 0.0, 6.0}});
    return log;
}

ldtest::Log read_back(const LdLog& log) {
    auto bytes = encode_ld(log);
    EXPECT_TRUE(bytes.has_value()) << bytes.error();
    auto read = ldtest::read_ld(*bytes);
    EXPECT_TRUE(read.has_value()) << read.error();
    return *read;
}

TEST(LdFile, HeaderAndSessionBlocksReadBackThroughTheirPointers) {
    const ldtest::Log log = read_back(two_channel_log());

    EXPECT_EQ(log.marker, 0x40u);
    EXPECT_EQ(log.device_type, "ADL");
    EXPECT_EQ(log.date, "15/01/2026");
    EXPECT_EQ(log.time, "18:04:12");
    EXPECT_EQ(log.driver, "Test Driver");
    EXPECT_EQ(log.vehicle, "Stand-in GT3");
    EXPECT_EQ(log.venue, "Corvel Ring");
    EXPECT_EQ(log.short_comment, "Lap 3 1:42.345");
    EXPECT_EQ(log.event, "LMU Short");
    EXPECT_EQ(log.session, "Practice");
    EXPECT_EQ(log.long_comment, "resampled to 50 Hz");
    EXPECT_EQ(log.venue_block_name, "Corvel Ring");
    EXPECT_EQ(log.vehicle_id, "Stand-in GT3");
    EXPECT_EQ(log.vehicle_type, "GT3");
    EXPECT_EQ(log.vehicle_comment, "gt3_7");
    EXPECT_EQ(log.vehicle_weight, 0u);
}

TEST(LdFile, ChannelsFormADoublyLinkedListInOrder) {
    const ldtest::Log log = read_back(two_channel_log());

    ASSERT_EQ(log.channel_count, 2u);
    ASSERT_EQ(log.channels.size(), 2u);
    EXPECT_EQ(log.channels[0].previous, 0u);
    EXPECT_EQ(log.channels[0].next, log.channels[1].record_offset);
    EXPECT_EQ(log.channels[1].previous, log.channels[0].record_offset);
    EXPECT_EQ(log.channels[1].next, 0u);
    EXPECT_EQ(log.first_data, log.channels[0].data_offset);
    EXPECT_GE(log.channels[0].data_offset, log.channels[1].record_offset + 0x7Cu);
    EXPECT_GE(log.channels[1].data_offset, log.channels[0].data_offset + 3 * 4u);
}

TEST(LdFile, FloatAndIntegerChannelsKeepNamesUnitsRateAndValues) {
    const ldtest::Log log = read_back(two_channel_log());

    const ldtest::Channel& speed = log.channels[0];
    EXPECT_EQ(speed.name, "Ground Speed");
    EXPECT_EQ(speed.short_name, "Speed");
    EXPECT_EQ(speed.unit, "km/h");
    EXPECT_EQ(speed.rate_hz, 50);
    EXPECT_EQ(speed.kind, 7);
    EXPECT_EQ(speed.size, 4);
    EXPECT_EQ(speed.values, (std::vector<double>{0.0, 101.5, 250.25}));

    const ldtest::Channel& gear = log.channels[1];
    EXPECT_EQ(gear.name, "Gear");
    EXPECT_EQ(gear.unit, "");
    EXPECT_EQ(gear.kind, 3);
    EXPECT_EQ(gear.size, 2);
    EXPECT_EQ(gear.rate_hz, 50);
    EXPECT_EQ(gear.values, (std::vector<double>{-1.0, 0.0, 6.0}));
}

TEST(LdFile, IntegerChannelsRoundAndSaturateAndNonFiniteValuesBecomeZero) {
    LdLog in = two_channel_log();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    in.channels[0].values = {nan, std::numeric_limits<double>::infinity(), 1e300};
    in.channels[1].values = {2.6, -2.6, 40000.0, -40000.0, nan};

    const ldtest::Log log = read_back(in);

    EXPECT_EQ(log.channels[0].values[0], 0.0);
    EXPECT_EQ(log.channels[0].values[1], 0.0);
    EXPECT_EQ(log.channels[0].values[2], std::numeric_limits<float>::max());
    EXPECT_EQ(log.channels[1].values, (std::vector<double>{3.0, -3.0, 32767.0, -32768.0, 0.0}));
}

TEST(LdFile, OddLengthIntegerChannelsKeepTheNextChannelAlignedToFourBytes) {
    LdLog in = two_channel_log();
    std::swap(in.channels[0], in.channels[1]);  // three int16 values first: 6 bytes

    const ldtest::Log log = read_back(in);

    EXPECT_EQ(log.channels[1].data_offset % 4, 0u);
    EXPECT_EQ(log.channels[1].values, (std::vector<double>{0.0, 101.5, 250.25}));
}

TEST(LdFile, LongTextsAreCutSoAZeroByteEndsEveryField) {
    LdLog in = two_channel_log();
    in.session.driver = std::string(100, 'd');
    in.channels[0].name = std::string(40, 'n');
    in.channels[0].short_name = "Speedometer";
    in.channels[0].unit = "kilometres/hour";

    const ldtest::Log log = read_back(in);

    EXPECT_EQ(log.driver, std::string(63, 'd'));
    EXPECT_EQ(log.vehicle, "Stand-in GT3");  // the next field is untouched
    EXPECT_EQ(log.channels[0].name, std::string(31, 'n'));
    EXPECT_EQ(log.channels[0].short_name, "Speedom");
    EXPECT_EQ(log.channels[0].unit, "kilometres/");
}

TEST(LdFile, TextsAreWrittenInWindows1252) {
    EXPECT_EQ(to_windows_1252("Ren\xC3\xA9"
                              "e"),
              "Ren\xE9"
              "e");
    EXPECT_EQ(to_windows_1252("\xC2\xB0"
                              "C"),
              "\xB0"
              "C");
    EXPECT_EQ(to_windows_1252("\xE6\x97\xA5"), "?");        // no single byte for it
    EXPECT_EQ(to_windows_1252("a\tb\x7F"), "a?b?");         // control characters
    EXPECT_EQ(to_windows_1252("\xC3"), "?");                // cut short
    EXPECT_EQ(to_windows_1252("\xFF\xC0\x80"), "???");      // never valid
    EXPECT_EQ(to_windows_1252("\xED\xA0\x80"), "???");      // a surrogate
    EXPECT_EQ(to_windows_1252("\xF0\x9F\x8F\x81!"), "?!");  // outside the BMP
    // Malformed spellings of NO-BREAK SPACE and NEL are bad bytes, never the 0xA0/0x85 byte.
    EXPECT_EQ(to_windows_1252("\xC0\xA0"), "??");
    EXPECT_EQ(to_windows_1252("\xE0\x80\xA0"), "???");
    EXPECT_EQ(to_windows_1252("a\xA0"
                              "b\x85"),
              "a?b?");
}

TEST(LdFile, RefusesALogWithoutChannelsOrRate) {
    LdLog no_channels = two_channel_log();
    no_channels.channels.clear();
    LdLog no_rate = two_channel_log();
    no_rate.sample_rate_hz = 0;

    EXPECT_FALSE(encode_ld(no_channels).has_value());
    EXPECT_FALSE(encode_ld(no_rate).has_value());
}

TEST(LdFile, EmptyChannelsAreStillListed) {
    LdLog in = two_channel_log();
    in.channels[0].values.clear();

    const ldtest::Log log = read_back(in);

    ASSERT_EQ(log.channels.size(), 2u);
    EXPECT_EQ(log.channels[0].count, 0u);
    EXPECT_EQ(log.channels[1].values.size(), 3u);
}

}  // namespace
}  // namespace corvel::motec
