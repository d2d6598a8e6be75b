// The CSV export: RFC 4180 framing and the physical units of every column.
#include "export/csv_export.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>

#include "presentation/number_text.hpp"

namespace corvel {
namespace {

std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t at = text.find(separator); at != std::string::npos; at = text.find(separator, from)) {
        parts.push_back(text.substr(from, at - from));
        from = at + separator.size();
    }
    parts.push_back(text.substr(from));
    return parts;
}

std::string csv_of(const std::vector<LapSample>& samples, std::optional<double> track_length_m,
                   const std::optional<LapMetadata>& metadata = std::nullopt) {
    return lap_csv(samples, compute_lap_timeline(samples, metadata), track_length_m);
}

std::map<std::string, std::string> row_of(const std::string& csv, std::size_t row) {
    const auto lines = split(csv, "\r\n");
    const auto names = split(lines.at(0), ",");
    const auto values = split(lines.at(row + 1), ",");
    std::map<std::string, std::string> cells;
    for (std::size_t i = 0; i < names.size(); ++i) {
        cells[names[i]] = values.at(i);
    }
    return cells;
}

TEST(CsvField, QuotesOnlyWhenNeeded) {
    EXPECT_EQ(csv_field("12.5"), "12.5");
    EXPECT_EQ(csv_field(""), "");
    EXPECT_EQ(csv_field("a,b"), "\"a,b\"");
    EXPECT_EQ(csv_field("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(csv_field("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(csv_field("cr\r"), "\"cr\r\"");
}

TEST(LapCsv, HasAHeaderRowAndOneCrlfRowPerSample) {
    const std::vector<LapSample> samples(3);

    const std::string csv = csv_of(samples, std::nullopt);

    const auto lines = split(csv, "\r\n");
    ASSERT_EQ(lines.size(), 5U);  // header, 3 rows, and the empty text after the last CRLF
    EXPECT_EQ(lines.back(), "");
    EXPECT_EQ(split(lines[0], ",").size(), kLapCsvColumns.size());
    EXPECT_TRUE(lines[0].starts_with("sample,elapsed_s,session_time_s,lap_fraction,lap_distance_m,"));
    EXPECT_EQ(csv.find('\n'), csv.find("\r\n") + 1);  // no bare line feeds
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(split(lines[i], ",").size(), kLapCsvColumns.size());
    }
}

TEST(LapCsv, WritesPhysicalUnits) {
    LapSample s;
    s.session_time = 1834.25f;
    s.lap_fraction = 0.25f;
    s.lap = 7;
    s.throttle = 255;
    s.brake = 51;
    s.steering = -127;
    s.gear = 255;
    s.speed_kmh = 287;
    s.engine_rpm = 8450;
    s.fuel_dl = 456;
    s.pos_x = -12.5f;
    s.pos_z = 3.25f;
    s.lateral_g = -23;
    s.longitudinal_g = 11;
    s.path_lateral_cm = -150;
    s.track_edge_cm = 625;
    s.flags = sample_flag::kInPitLane | sample_flag::kLimiter | sample_flag::kLapInvalid;
    LapSample later = s;
    later.session_time = 1834.75f;
    later.gear = 0;
    later.lap_fraction = 0.5f;

    const auto csv = csv_of(std::vector<LapSample>{s, later}, 4000.0);
    const auto first = row_of(csv, 0);
    const auto second = row_of(csv, 1);

    EXPECT_EQ(first.at("sample"), "0");
    EXPECT_EQ(first.at("elapsed_s"), "0.0000");
    EXPECT_EQ(second.at("elapsed_s"), "0.5000");
    EXPECT_EQ(first.at("session_time_s"), "1834.25");
    EXPECT_EQ(first.at("lap_fraction"), "0.25");
    EXPECT_EQ(first.at("lap_distance_m"), "1000.00");
    EXPECT_EQ(first.at("lap"), "7");
    EXPECT_EQ(first.at("speed_kmh"), "287");
    EXPECT_EQ(first.at("throttle"), "1.0000");
    EXPECT_EQ(first.at("brake"), "0.2000");
    EXPECT_EQ(first.at("steering"), "-1.0000");
    EXPECT_EQ(first.at("gear"), "R");
    EXPECT_EQ(second.at("gear"), "N");
    EXPECT_EQ(first.at("engine_rpm"), "8450");
    EXPECT_EQ(first.at("fuel_l"), "45.6");
    EXPECT_EQ(first.at("pos_x_m"), "-12.5");
    EXPECT_EQ(first.at("pos_z_m"), "3.25");
    EXPECT_EQ(first.at("lateral_g"), "-2.3");
    EXPECT_EQ(first.at("longitudinal_g"), "1.1");
    EXPECT_EQ(first.at("path_lateral_m"), "-1.50");
    EXPECT_EQ(first.at("track_edge_m"), "6.25");
    EXPECT_EQ(first.at("in_pit_lane"), "1");
    EXPECT_EQ(first.at("yellow_flag"), "0");
    EXPECT_EQ(first.at("limiter_active"), "1");
    EXPECT_EQ(first.at("lap_invalid"), "1");
    EXPECT_EQ(first.at("abs_active"), "0");
}

TEST(LapCsv, LeavesLapDistanceEmptyWithoutATrackLength) {
    const auto csv = csv_of(std::vector<LapSample>(1), std::nullopt);
    EXPECT_EQ(row_of(csv, 0).at("lap_distance_m"), "");
}

TEST(LapCsv, WritesNonFiniteValuesAsWordsParsersKnow) {
    LapSample s;
    s.pos_x = -std::numeric_limits<float>::quiet_NaN();
    s.pos_z = -std::numeric_limits<float>::infinity();
    s.session_time = std::numeric_limits<float>::infinity();

    const auto row = row_of(csv_of(std::vector<LapSample>{s}, std::nullopt), 0);

    EXPECT_EQ(row.at("elapsed_s"), "nan");  // inf - inf
    EXPECT_EQ(row.at("pos_x_m"), "nan");
    EXPECT_EQ(row.at("pos_z_m"), "-inf");
}

// A car at 50 m/s down a straight, polled every 16 ms, with LMU's session clock and lap
// fraction moving only every 0.2 s (its scoring rate).
std::vector<LapSample> stepped_straight(std::size_t count) {
    std::vector<LapSample> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = 0.016 * static_cast<double>(i);
        const double scored = std::floor(t / 0.2) * 0.2;
        samples[i].session_time = static_cast<float>(500.0 + scored);
        samples[i].lap_fraction = static_cast<float>(scored * 50.0 / 1000.0);
        samples[i].pos_x = static_cast<float>(t * 50.0);
        samples[i].speed_kmh = 180;
    }
    return samples;
}

TEST(LapCsv, AppendsTheTimelineColumnsAfterTheRecordedOnes) {
    const std::string csv = csv_of(std::vector<LapSample>(2), std::nullopt);

    // People's spreadsheets address the recorded columns by position: they stay where they were.
    EXPECT_TRUE(csv.starts_with(
        "sample,elapsed_s,session_time_s,lap_fraction,lap_distance_m,lap,speed_kmh,throttle,brake,clutch,"
        "steering,gear,engine_rpm,fuel_l,pos_x_m,pos_z_m,lateral_g,longitudinal_g,path_lateral_m,"
        "track_edge_m,aux_counter,in_pit_lane,yellow_flag,abs_active,tc_active,drs_active,limiter_active,"
        "lap_invalid,lap_time_s,distance_m\r\n"));
}

TEST(LapCsv, TimelineColumnsMoveAtEverySampleWhereTheRecordedOnesStep) {
    const std::vector<LapSample> samples = stepped_straight(100);
    const std::string csv = csv_of(samples, 1000.0);

    std::size_t repeated_elapsed = 0;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        const auto before = row_of(csv, i - 1);
        const auto row = row_of(csv, i);
        repeated_elapsed += row.at("elapsed_s") == before.at("elapsed_s") ? 1 : 0;
        ASSERT_GT(std::stod(row.at("lap_time_s")), std::stod(before.at("lap_time_s"))) << "row " << i;
        ASSERT_GT(std::stod(row.at("distance_m")), std::stod(before.at("distance_m"))) << "row " << i;
    }
    EXPECT_GT(repeated_elapsed, 80u);  // the recorded columns are left as they were
    const auto last = row_of(csv, samples.size() - 1);
    EXPECT_NEAR(std::stod(last.at("lap_time_s")), 99 * 0.016, 0.016);
    EXPECT_NEAR(std::stod(last.at("distance_m")), 99 * 0.016 * 50.0, 0.01);
}

TEST(LapCsv, TimelineCellsAreTheTimelineInFixedDecimals) {
    const std::vector<LapSample> samples = stepped_straight(40);
    LapTimeline timeline = compute_lap_timeline(samples, std::nullopt);
    timeline.distance_m.resize(39);  // a timeline shorter than the lap leaves its cells empty

    const std::string csv = lap_csv(samples, timeline, std::nullopt);

    const auto row = row_of(csv, 17);
    EXPECT_EQ(row.at("lap_time_s"), fixed_text(timeline.lap_time_s[17], 4));
    EXPECT_EQ(row.at("distance_m"), fixed_text(timeline.distance_m[17], 2));
    EXPECT_EQ(row.at("distance_m").find('.'), row.at("distance_m").size() - 3);
    EXPECT_EQ(row_of(csv, 39).at("distance_m"), "");
}

}  // namespace
}  // namespace corvel
