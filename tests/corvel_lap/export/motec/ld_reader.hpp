// A minimal reader of MoTeC .ld and .ldx files for the tests, written from docs/motec-ld.md
// alone and sharing no code with the writer, so a round trip checks the writer against the
// documented layout rather than against itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

namespace ldtest {

struct Channel {
    std::uint32_t record_offset = 0;
    std::uint32_t previous = 0;
    std::uint32_t next = 0;
    std::uint32_t data_offset = 0;
    std::uint32_t count = 0;
    std::uint16_t kind = 0;  // 7 float, 3/0/5 integer
    std::uint16_t size = 0;  // bytes per sample
    std::uint16_t rate_hz = 0;
    std::int16_t shift = 0, multiplier = 0, scale = 0, decimals = 0;
    std::string name, short_name, unit;
    std::vector<double> values;  // decoded with the documented formula
};

struct Log {
    std::uint32_t marker = 0;
    std::uint32_t channel_count = 0;
    std::uint32_t first_record = 0;
    std::uint32_t first_data = 0;
    std::string device_type;
    std::string date, time, driver, vehicle, venue, short_comment;
    std::string event, session, long_comment;  // event block
    std::string venue_block_name;
    std::string vehicle_id, vehicle_type, vehicle_comment;
    std::uint32_t vehicle_weight = 0;
    std::vector<Channel> channels;  // in list order

    [[nodiscard]] const Channel* find(const std::string& name) const;
};

// Fails with a description when a pointer, count or field lies outside the file.
[[nodiscard]] std::expected<Log, std::string> read_ld(std::span<const std::byte> file);

struct Ldx {
    std::vector<double> beacon_times_us;
    std::string total_laps, fastest_time, fastest_lap;
};
[[nodiscard]] Ldx read_ldx(const std::string& text);

}  // namespace ldtest
