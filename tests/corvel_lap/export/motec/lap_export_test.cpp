// A captured lap exported to MoTeC and read back with the independent reader: channel names,
// units and counts, values against the samples, the header texts and the lap marker.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <random>

#include "lap_format/sample_units.hpp"
#include "ld_reader.hpp"
#include "export/motec/lap_to_motec.hpp"
#include "export/motec/ldx_file.hpp"
#include "synthetic_lap.hpp"

namespace corvel::motec {
namespace {

using motec_test::make_synthetic_lap;
using motec_test::SyntheticLap;

MotecLapDetails ring_details(const SyntheticLap& lap) {
    using namespace std::chrono;
    MotecLapDetails d;
    d.source_file_name = "lmu-ring-gt3-lap3-1768500252.bin";
    d.driver_name = "Test Driver";
    d.car_name = "Stand-in GT3 #7";
    d.car_id = "standin_gt3_7";
    d.car_class = "GT3";
    d.track_name = "Corvel Test Ring";
    d.track_id = "corvel_ring";
    d.track_config = "Short";
    d.session_type = "time_trial";
    d.created_at = time_point_cast<UtcTime::duration>(sys_days{2026y / 1 / 15} + 18h + 4min + 12s + 345ms);
    d.lap_number = lap.lap_number;
    d.lap_time_s = lap.lap_time_s;
    d.track_length_m = lap.track_length_m;
    return d;
}

struct Exported {
    MotecExport files;
    ldtest::Log log;
    ldtest::Ldx ldx;
};

// The timeline the motec command computes: from the samples, the metadata's track length and
// its lap time.
LapTimeline timeline_of(std::span<const LapSample> samples, const MotecLapDetails& details) {
    LapMetadata metadata;
    metadata.track_length_m = static_cast<float>(details.track_length_m.value_or(0.0));
    metadata.lap_time_seconds = details.lap_time_s.value_or(0.0);
    return compute_lap_timeline(samples, metadata);
}

std::expected<MotecExport, std::string> export_lap(std::span<const LapSample> samples,
                                                   const MotecLapDetails& details) {
    return export_lap_to_motec(samples, timeline_of(samples, details), details);
}

// The samples' times on the log's clock: time since the line when the timeline places it (the
// log starts there, or at a first sample placed before it), else since the first sample.
std::vector<double> log_times_of(std::span<const LapSample> samples, const MotecLapDetails& details) {
    const LapTimeline timeline = timeline_of(samples, details);
    std::vector<double> times = timeline.lap_time_s;
    const double first = times.empty() ? 0.0 : times.front();
    const double origin = timeline.line_anchored ? std::min(0.0, first) : first;
    for (double& t : times) t -= origin;
    return times;
}

// From the first sample to the last on the timeline.
double timeline_span(const SyntheticLap& lap) {
    const std::vector<double> times = log_times_of(lap.samples, ring_details(lap));
    return times.back() - times.front();
}

Exported export_and_read(const SyntheticLap& lap, const MotecLapDetails& details) {
    auto files = export_lap(lap.samples, details);
    EXPECT_TRUE(files.has_value()) << files.error();
    auto log = ldtest::read_ld(files->ld);
    EXPECT_TRUE(log.has_value()) << log.error();
    return {*files, *log, ldtest::read_ldx(files->ldx)};
}

// What the grid point at `t` seconds of the log should hold, computed from the samples at
// their times on the log's clock: linear between the two samples around t, or the last sample
// at or before (the first before it).
double expected_at(const std::vector<LapSample>& samples, const std::vector<double>& times, double t,
                   const std::function<double(const LapSample&)>& f, bool hold) {
    if (t <= times.front()) return f(samples.front());
    for (std::size_t i = 0; i + 1 < samples.size(); ++i) {
        const double a = times[i];
        const double b = times[i + 1];
        if (t >= b) continue;
        if (hold) return f(samples[i]);
        return f(samples[i]) + (f(samples[i + 1]) - f(samples[i])) * (t - a) / (b - a);
    }
    return f(samples.back());
}

const std::vector<std::string> kExpectedNames{
    "Session Time", "Lap Distance", "Ground Speed", "Throttle Pos", "Brake Pos",  "Clutch Pos",
    "Steering Pos", "Gear",         "Engine RPM",   "Fuel Level",   "Pos X",      "Pos Z",
    "G Force Lat",  "G Force Long", "Path Lateral", "Track Edge",   "Pit Lane",   "Yellow Flag",
    "ABS Active",   "TC Active",    "DRS Active",   "Pit Limiter",  "Lap Invalid"};

TEST(MotecExport, WritesOneChannelPerQuantityWithI2NamesAndUnits) {
    const SyntheticLap lap = make_synthetic_lap();

    const Exported out = export_and_read(lap, ring_details(lap));

    std::vector<std::string> names;
    std::vector<std::string> units;
    for (const auto& c : out.log.channels) {
        names.push_back(c.name);
        units.push_back(c.unit);
    }
    EXPECT_EQ(names, kExpectedNames);
    EXPECT_EQ(units, (std::vector<std::string>{"s", "m", "km/h", "%", "%", "%", "%", "", "rpm", "l", "m", "m",
                                               "G", "G", "m",    "m", "",  "",  "",  "", "",    "",  ""}));
    EXPECT_EQ(out.log.channel_count, kExpectedNames.size());
    EXPECT_EQ(out.files.channels, kExpectedNames.size());
}

TEST(MotecExport, AllChannelsShareTheLapsMeanRateAndOneLength) {
    const SyntheticLap lap = make_synthetic_lap();
    const double span = timeline_span(lap);
    const double mean_rate = static_cast<double>(lap.samples.size() - 1) / span;

    const Exported out = export_and_read(lap, ring_details(lap));

    const auto rate = static_cast<std::uint16_t>(std::lround(mean_rate));
    // The log runs from the line to the last sample, just past the next crossing.
    const double last = log_times_of(lap.samples, ring_details(lap)).back();
    ASSERT_GT(last, lap.lap_time_s);
    const auto points = static_cast<std::uint32_t>(std::floor(last * rate)) + 1;
    EXPECT_EQ(out.files.rate_hz, rate);
    for (const auto& c : out.log.channels) {
        EXPECT_EQ(c.rate_hz, rate) << c.name;
        EXPECT_EQ(c.count, points) << c.name;
        EXPECT_EQ(c.values.size(), points) << c.name;
    }
}

TEST(MotecExport, ValuesFollowTheSamplesInPhysicalUnits) {
    const SyntheticLap lap = make_synthetic_lap();
    const Exported out = export_and_read(lap, ring_details(lap));
    const std::vector<double> times = log_times_of(lap.samples, ring_details(lap));
    struct Check {
        std::string name;
        std::function<double(const LapSample&)> value;
        bool hold;
        double tolerance;
    };
    const std::vector<Check> checks{
        {"Session Time", [](const LapSample& s) { return s.session_time; }, false, 1e-3},
        {"Ground Speed", [](const LapSample& s) { return s.speed_kmh; }, false, 1e-3},
        {"Throttle Pos", [](const LapSample& s) { return s.throttle / 2.55; }, false, 1e-3},
        {"Brake Pos", [](const LapSample& s) { return s.brake / 2.55; }, false, 1e-3},
        {"Steering Pos", [](const LapSample& s) { return s.steering / 1.27; }, false, 1e-3},
        {"Gear", [](const LapSample& s) { return units::gear_number(s); }, true, 0.0},
        {"Engine RPM", [](const LapSample& s) { return s.engine_rpm; }, false, 1e-2},
        {"Fuel Level", [](const LapSample& s) { return s.fuel_dl / 10.0; }, false, 1e-4},
        {"Pos X", [](const LapSample& s) { return s.pos_x; }, false, 1e-3},
        {"Pos Z", [](const LapSample& s) { return s.pos_z; }, false, 1e-3},
        {"G Force Lat", [](const LapSample& s) { return s.lateral_g / 10.0; }, false, 1e-5},
        {"G Force Long", [](const LapSample& s) { return s.longitudinal_g / 10.0; }, false, 1e-5},
        {"Path Lateral", [](const LapSample& s) { return s.path_lateral_cm / 100.0; }, false, 1e-5},
        {"Track Edge", [](const LapSample& s) { return s.track_edge_cm / 100.0; }, false, 1e-5},
        {"Pit Lane", [](const LapSample& s) { return (s.flags & 2) ? 1 : 0; }, true, 0.0},
        {"Yellow Flag", [](const LapSample& s) { return (s.flags & 4) ? 1 : 0; }, true, 0.0},
        {"ABS Active", [](const LapSample& s) { return (s.flags & 8) ? 1 : 0; }, true, 0.0},
        {"TC Active", [](const LapSample& s) { return (s.flags & 16) ? 1 : 0; }, true, 0.0},
    };
    for (const Check& check : checks) {
        const ldtest::Channel* channel = out.log.find(check.name);
        ASSERT_NE(channel, nullptr) << check.name;
        for (std::size_t k = 0; k < channel->values.size(); ++k) {
            const double t = static_cast<double>(k) / channel->rate_hz;
            ASSERT_NEAR(channel->values[k], expected_at(lap.samples, times, t, check.value, check.hold),
                        check.tolerance)
                << check.name << " at grid point " << k;
        }
    }
}

TEST(MotecExport, FlagsAreZeroOrOneAndEachSetFlagShowsUp) {
    const SyntheticLap lap = make_synthetic_lap();

    const Exported out = export_and_read(lap, ring_details(lap));

    for (const char* name :
         {"Pit Lane", "Yellow Flag", "ABS Active", "TC Active", "DRS Active", "Pit Limiter", "Lap Invalid"}) {
        const ldtest::Channel* c = out.log.find(name);
        ASSERT_NE(c, nullptr) << name;
        EXPECT_EQ(c->kind, 3) << name;
        for (const double v : c->values) ASSERT_TRUE(v == 0.0 || v == 1.0) << name;
    }
    const auto ever_set = [&](const char* name) {
        const auto& v = out.log.find(name)->values;
        return std::ranges::find(v, 1.0) != v.end();
    };
    EXPECT_TRUE(ever_set("Yellow Flag"));
    EXPECT_TRUE(ever_set("ABS Active"));
    EXPECT_TRUE(ever_set("TC Active"));
    EXPECT_FALSE(ever_set("Pit Lane"));
    EXPECT_FALSE(ever_set("Lap Invalid"));
}

TEST(MotecExport, LapDistanceRunsFromTheLineOverOneTrackLength) {
    const SyntheticLap lap = make_synthetic_lap();

    const Exported out = export_and_read(lap, ring_details(lap));

    const ldtest::Channel* distance = out.log.find("Lap Distance");
    ASSERT_NE(distance, nullptr);
    EXPECT_EQ(distance->short_name, "Dist");
    EXPECT_GE(distance->values.front(), 0.0);
    EXPECT_LT(distance->values.front(), 1.0);
    for (std::size_t k = 1; k < distance->values.size(); ++k)
        ASSERT_GT(distance->values[k], distance->values[k - 1]) << "no jump back at the line, point " << k;
    EXPECT_NEAR(distance->values.back(), lap.track_length_m, 1.0);
}

TEST(MotecExport, WithoutAUsableTrackLengthLapDistanceIsLeftOut) {
    const SyntheticLap lap = make_synthetic_lap();
    for (const std::optional<double> length :
         {std::optional<double>{}, std::optional<double>{std::numeric_limits<double>::quiet_NaN()},
          std::optional<double>{0.0}, std::optional<double>{-5.0}}) {
        MotecLapDetails details = ring_details(lap);
        details.track_length_m = length;

        const Exported out = export_and_read(lap, details);

        EXPECT_FALSE(out.files.has_lap_distance);
        EXPECT_EQ(out.log.find("Lap Distance"), nullptr);
        EXPECT_EQ(out.log.channels.size(), kExpectedNames.size() - 1);
        EXPECT_NE(out.log.long_comment.find("Lap Distance is left out"), std::string::npos);
    }
}

TEST(MotecExport, HeaderTextsComeFromTheMetadata) {
    const SyntheticLap lap = make_synthetic_lap();

    const Exported out = export_and_read(lap, ring_details(lap));

    EXPECT_EQ(out.log.driver, "Test Driver");
    EXPECT_EQ(out.log.vehicle, "Stand-in GT3 #7");
    EXPECT_EQ(out.log.vehicle_id, "Stand-in GT3 #7");
    EXPECT_EQ(out.log.vehicle_type, "GT3");
    EXPECT_EQ(out.log.vehicle_comment, "standin_gt3_7");
    EXPECT_EQ(out.log.venue, "Corvel Test Ring");
    EXPECT_EQ(out.log.venue_block_name, "Corvel Test Ring");
    EXPECT_EQ(out.log.event, "LMU Short");
    EXPECT_EQ(out.log.session, "Time Trial");
    EXPECT_EQ(out.log.date, "15/01/2026");
    EXPECT_EQ(out.log.time, "18:04:12");
    EXPECT_EQ(out.log.short_comment, "Lap 3 0:12.500");
}

TEST(MotecExport, LongCommentStatesTheSourceRateAndMethod) {
    const SyntheticLap lap = make_synthetic_lap();

    const Exported out = export_and_read(lap, ring_details(lap));

    const std::string& c = out.log.long_comment;
    EXPECT_NE(c.find("lmu-ring-gt3-lap3-1768500252.bin"), std::string::npos) << c;
    EXPECT_NE(c.find(std::to_string(lap.samples.size()) + " captured samples"), std::string::npos) << c;
    EXPECT_NE(c.find("resampled to " + std::to_string(out.files.rate_hz) + " Hz"), std::string::npos) << c;
    EXPECT_NE(c.find("linear interpolation"), std::string::npos) << c;
    EXPECT_NE(c.find("gear and flags hold the last sample"), std::string::npos) << c;
}

TEST(MotecExport, TheLogReachesTheLapTimeWhenTheSamplesStopJustShort) {
    SyntheticLap lap = make_synthetic_lap();
    lap.samples.pop_back();  // the lap ends a poll or two before its lap time now
    const double span = timeline_span(lap);
    ASSERT_LT(span, lap.lap_time_s);

    const Exported out = export_and_read(lap, ring_details(lap));

    const double log_end = static_cast<double>(out.files.points - 1) / out.files.rate_hz;
    EXPECT_GE(log_end, lap.lap_time_s);
    EXPECT_LT(log_end, lap.lap_time_s + 1.0 / out.files.rate_hz);
    const ldtest::Channel* speed = out.log.find("Ground Speed");
    EXPECT_EQ(speed->values.back(), lap.samples.back().speed_kmh);
    EXPECT_NE(out.log.long_comment.find("so that the log reaches the lap time"), std::string::npos);
}

TEST(MotecExport, AShortRecordingIsNotStretchedToItsLapTime) {
    SyntheticLap lap = make_synthetic_lap();
    lap.samples.resize(lap.samples.size() / 2);  // as when recording began mid-lap
    const double span = timeline_span(lap);

    const Exported out = export_and_read(lap, ring_details(lap));

    EXPECT_LE(static_cast<double>(out.files.points - 1) / out.files.rate_hz, span);
}

TEST(MotecExport, LdxMarksOneLapFromLineToLine) {
    const SyntheticLap lap = make_synthetic_lap();

    const Exported out = export_and_read(lap, ring_details(lap));

    EXPECT_EQ(out.ldx.beacon_times_us, (std::vector<double>{0.0, 12'500'000.0}));
    EXPECT_EQ(out.ldx.total_laps, "1");
    EXPECT_EQ(out.ldx.fastest_time, "0:12.500");
    EXPECT_EQ(out.ldx.fastest_lap, "1");
}

// The log's clock is the time since the line, so the Session Time channel at log time t reads
// the session time the car had t seconds after it crossed the line (session 1000 s), also for a
// lap whose recording began late; its end beacon is the crossing, from the samples alone when
// there is no lap time. A lap whose line cannot be placed keeps the first sample as time 0.
TEST(MotecExport, TheLogsClockAndBeaconsStandOnTheLine) {
    struct Case {
        const char* name;
        double joined_s;        // samples before this (since the line) are dropped
        bool with_lap_time;
        bool line_placed;       // false: the lap fraction is frozen
        double first_on_log_s;  // where the first sample's values appear on the log's clock
    };
    for (const Case c : {Case{"from the line", 0.0, true, true, 0.004}, Case{"joined 0.6 s late", 0.6, true, true, 0.6},
                         Case{"no lap time", 0.0, false, true, 0.004}, Case{"line not placed", 0.0, false, false, 0.0}}) {
        SCOPED_TRACE(c.name);
        SyntheticLap lap = make_synthetic_lap();
        std::erase_if(lap.samples, [&](const LapSample& s) { return s.session_time < 1000.0f + c.joined_s; });
        const double first_s = lap.samples.front().session_time - 1000.0;
        if (!c.line_placed) {
            for (LapSample& s : lap.samples) s.lap_fraction = 0.25f;
        }
        MotecLapDetails details = ring_details(lap);
        if (!c.with_lap_time) details.lap_time_s.reset();

        const Exported out = export_and_read(lap, details);

        const ldtest::Channel* session = out.log.find("Session Time");
        ASSERT_NE(session, nullptr);
        const double rate = out.files.rate_hz;
        const double log_end = static_cast<double>(out.files.points - 1) / rate;
        ASSERT_EQ(out.ldx.beacon_times_us.size(), 2u);
        // Truth: at log time t the car is t - (first_on_log - first) seconds past the line.
        const double shift = c.line_placed ? 0.0 : first_s;
        for (std::size_t k = 0; k < session->values.size(); ++k) {
            const double t = static_cast<double>(k) / rate;
            if (t < std::max(c.first_on_log_s, 0.05) || t > log_end - 0.05) continue;  // held ends
            ASSERT_NEAR(session->values[k], 1000.0 + t + shift, 0.015) << "log time " << t;
        }
        if (c.line_placed) {
            EXPECT_EQ(out.ldx.beacon_times_us[0], 0.0);
            EXPECT_NEAR(out.ldx.beacon_times_us[1], 12.5e6, 5e3);  // the crossing, within 5 ms
            EXPECT_GE(log_end, out.ldx.beacon_times_us[1] / 1e6);   // and inside the log
        } else {
            EXPECT_NEAR(out.ldx.beacon_times_us[1], log_end * 1e6, 1.0);
            EXPECT_NE(out.log.long_comment.find("The line could not be placed"), std::string::npos);
        }
        if (c.joined_s > 0.0) {
            EXPECT_NE(out.log.long_comment.find("is held back to it so that the log starts at the line"),
                      std::string::npos)
                << out.log.long_comment;
        }
        if (!c.with_lap_time) {
            EXPECT_EQ(out.log.short_comment, "Lap 3 no time");
        }
    }
}

TEST(MotecExport, ALapWithoutMetadataStillExports) {
    const SyntheticLap lap = make_synthetic_lap();
    const MotecLapDetails details = details_from_metadata(std::nullopt, lap.samples, "orphan.bin");

    const Exported out = export_and_read(lap, details);

    EXPECT_EQ(details.lap_number, 3);
    EXPECT_EQ(out.log.date, "01/01/1970");
    EXPECT_EQ(out.log.venue, "");
    EXPECT_EQ(out.log.event, "LMU");
    EXPECT_EQ(out.log.session, "Unknown");
    EXPECT_EQ(out.log.find("Lap Distance"), nullptr);
}

TEST(MotecExport, RefusesALapWhoseTimesNeverAdvance) {
    SyntheticLap lap = make_synthetic_lap();
    for (LapSample& s : lap.samples) s.session_time = 42.0f;

    const auto files = export_lap(lap.samples, ring_details(lap));

    ASSERT_FALSE(files.has_value());
    EXPECT_NE(files.error().find("increasing session times"), std::string::npos);
}

TEST(MotecExport, GarbageSampleValuesGiveFiniteChannels) {
    SyntheticLap lap = make_synthetic_lap();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    lap.samples[0].pos_x = nan;
    lap.samples[10].lap_fraction = nan;
    lap.samples[11].lap_fraction = 37.0f;
    lap.samples[12].pos_z = std::numeric_limits<float>::infinity();
    lap.samples[13].session_time = nan;

    const Exported out = export_and_read(lap, ring_details(lap));

    for (const auto& c : out.log.channels)
        for (const double v : c.values) ASSERT_TRUE(std::isfinite(v)) << c.name;
}

TEST(MotecExport, ArbitrarySampleBytesEitherExportFiniteChannelsOrFailCleanly) {
    std::mt19937 random(20260115);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<std::size_t> length(0, 40);
    int exported = 0;
    for (int round = 0; round < 300; ++round) {
        std::vector<LapSample> samples(length(random));
        for (LapSample& s : samples) {
            EncodedLapSample raw;
            for (std::byte& b : raw) b = static_cast<std::byte>(byte(random));
            s = decode_lap_sample(raw);
        }
        // Every other lap gets increasing times, so both paths are taken.
        if (round % 2 == 0)
            for (std::size_t i = 0; i < samples.size(); ++i)
                samples[i].session_time = 0.016f * static_cast<float>(i);
        MotecLapDetails details;
        details.lap_time_s = round % 3 == 0
                                 ? std::optional<double>(static_cast<double>(samples.size()) * 0.016)
                                 : std::nullopt;
        details.track_length_m = round % 5 == 0 ? 1e30 : 5000.0;

        const auto files = export_lap(samples, details);
        if (!files) continue;
        ++exported;
        const auto log = ldtest::read_ld(files->ld);
        ASSERT_TRUE(log.has_value()) << log.error();
        for (const auto& c : log->channels)
            for (const double v : c.values) ASSERT_TRUE(std::isfinite(v)) << c.name << " in round " << round;
    }
    EXPECT_GT(exported, 100);
}

TEST(MotecExport, ASteppedSessionClockKeepsEverySampleAndASmoothLapDistance) {
    // LMU's session clock and lap fraction move only with its 5 Hz scoring.
    SyntheticLap lap = make_synthetic_lap();
    std::size_t scored = 0;
    for (std::size_t i = 0; i < lap.samples.size(); ++i) {
        if (lap.samples[i].session_time - lap.samples[scored].session_time >= 0.2f) scored = i;
        lap.samples[i].session_time = lap.samples[scored].session_time;
        lap.samples[i].lap_fraction = lap.samples[scored].lap_fraction;
    }

    const Exported out = export_and_read(lap, ring_details(lap));

    EXPECT_EQ(out.files.samples_used, lap.samples.size());
    EXPECT_GE(out.files.rate_hz, 60);  // the poll rate, not the scoring rate
    EXPECT_LE(out.files.rate_hz, 64);
    // From the car's path, not the stepped fraction: it moves at every grid point.
    const ldtest::Channel* distance = out.log.find("Lap Distance");
    ASSERT_NE(distance, nullptr);
    for (std::size_t k = 1; k < distance->values.size(); ++k) {
        const double log_end = static_cast<double>(out.files.points - 1) / out.files.rate_hz;
        if (static_cast<double>(k) / out.files.rate_hz > log_end - 0.1) break;  // the held end
        ASSERT_GT(distance->values[k], distance->values[k - 1]) << "grid point " << k;
    }
    // The ring at 36..44 m/s: about 0.65 m between grid points, never a 0.2 s jump of 8 m.
    for (std::size_t k = 1; k < distance->values.size(); ++k)
        ASSERT_LT(distance->values[k] - distance->values[k - 1], 1.0) << "grid point " << k;
}

TEST(MotecExport, RefusesATimelineOfAnotherLap) {
    const SyntheticLap lap = make_synthetic_lap();
    LapTimeline timeline = timeline_of(lap.samples, ring_details(lap));
    timeline.lap_time_s.pop_back();

    const auto files = export_lap_to_motec(lap.samples, timeline, ring_details(lap));

    ASSERT_FALSE(files.has_value());
    EXPECT_NE(files.error().find("timeline"), std::string::npos) << files.error();
}

TEST(MotecHeader, DateAndTimeAreTheMetadatasCreationTimeInUtc) {
    using namespace std::chrono;
    const UtcTime t = time_point_cast<UtcTime::duration>(sys_days{2026y / 1 / 5} + 8h + 4min + 2s + 999ms);

    EXPECT_EQ(ld_date_time(t).date, "05/01/2026");
    EXPECT_EQ(ld_date_time(t).time, "08:04:02");
    EXPECT_EQ(ld_date_time(std::nullopt).date, "01/01/1970");
    EXPECT_EQ(ld_date_time(std::nullopt).time, "00:00:00");
}

TEST(MotecHeader, SessionLabelsBecomeWords) {
    EXPECT_EQ(session_words("practice"), "Practice");
    EXPECT_EQ(session_words("time_trial"), "Time Trial");
    EXPECT_EQ(session_words("offline_testing"), "Offline Testing");
    EXPECT_EQ(session_words(""), "Unknown");
}

TEST(MotecHeader, LapTimesAreMinutesSecondsAndMilliseconds) {
    EXPECT_EQ(format_lap_time(102.345), "1:42.345");
    EXPECT_EQ(format_lap_time(59.9996), "1:00.000");
    EXPECT_EQ(format_lap_time(12.5), "0:12.500");
    EXPECT_EQ(format_lap_time(3725.0), "62:05.000");
    EXPECT_EQ(format_lap_time(0.0), "");
    EXPECT_EQ(format_lap_time(std::numeric_limits<double>::quiet_NaN()), "");
}

}  // namespace
}  // namespace corvel::motec
