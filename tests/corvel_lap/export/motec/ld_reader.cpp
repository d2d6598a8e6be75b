// Test-side .ld/.ldx reader, following docs/motec-ld.md: header at 0, event block through the
// header's pointer, venue and vehicle through the event and venue pointers, channel records as
// a linked list from the header's first-record pointer.
#include "ld_reader.hpp"

#include <cmath>
#include <cstring>
#include <regex>
#include <set>

namespace ldtest {
namespace {

class Bytes {
  public:
    explicit Bytes(std::span<const std::byte> file) : file_(file) {}

    [[nodiscard]] bool has(std::size_t offset, std::size_t n) const {
        return offset <= file_.size() && n <= file_.size() - offset;
    }

    template <typename T>
    [[nodiscard]] T get(std::size_t offset) const {
        // Little-endian regardless of the host.
        std::uint64_t raw = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            raw |= static_cast<std::uint64_t>(std::to_integer<std::uint8_t>(file_[offset + i])) << (8 * i);
        T value;
        if constexpr (sizeof(T) == 2) {
            const auto narrow = static_cast<std::uint16_t>(raw);
            std::memcpy(&value, &narrow, 2);
        } else {
            const auto narrow = static_cast<std::uint32_t>(raw);
            std::memcpy(&value, &narrow, 4);
        }
        return value;
    }

    // A zero-padded text field: the bytes before the first zero.
    [[nodiscard]] std::string text(std::size_t offset, std::size_t width) const {
        std::string out;
        for (std::size_t i = 0; i < width; ++i) {
            const char c = static_cast<char>(file_[offset + i]);
            if (c == '\0') break;
            out.push_back(c);
        }
        return out;
    }

  private:
    std::span<const std::byte> file_;
};

std::expected<void, std::string> read_channel(const Bytes& b, std::uint32_t at, Channel& c) {
    if (!b.has(at, 0x7C)) return std::unexpected("channel record outside the file at " + std::to_string(at));
    c.record_offset = at;
    c.previous = b.get<std::uint32_t>(at + 0x00);
    c.next = b.get<std::uint32_t>(at + 0x04);
    c.data_offset = b.get<std::uint32_t>(at + 0x08);
    c.count = b.get<std::uint32_t>(at + 0x0C);
    c.kind = b.get<std::uint16_t>(at + 0x12);
    c.size = b.get<std::uint16_t>(at + 0x14);
    c.rate_hz = b.get<std::uint16_t>(at + 0x16);
    c.shift = b.get<std::int16_t>(at + 0x18);
    c.multiplier = b.get<std::int16_t>(at + 0x1A);
    c.scale = b.get<std::int16_t>(at + 0x1C);
    c.decimals = b.get<std::int16_t>(at + 0x1E);
    c.name = b.text(at + 0x20, 32);
    c.short_name = b.text(at + 0x40, 8);
    c.unit = b.text(at + 0x48, 12);

    const bool is_float = c.kind == 7;
    const bool is_integer = c.kind == 0 || c.kind == 3 || c.kind == 5;
    if (!(is_float && c.size == 4) && !(is_integer && (c.size == 2 || c.size == 4)))
        return std::unexpected(c.name + ": unsupported sample type " + std::to_string(c.kind) + "/" +
                               std::to_string(c.size));
    if (!b.has(c.data_offset, static_cast<std::size_t>(c.count) * c.size))
        return std::unexpected(c.name + ": data outside the file");
    if (c.scale == 0) return std::unexpected(c.name + ": scale 0");
    c.values.reserve(c.count);
    for (std::uint32_t i = 0; i < c.count; ++i) {
        const std::size_t p = c.data_offset + static_cast<std::size_t>(i) * c.size;
        double raw = 0;
        if (is_float) {
            raw = b.get<float>(p);
        } else if (c.size == 2) {
            raw = b.get<std::int16_t>(p);
        } else {
            raw = b.get<std::int32_t>(p);
        }
        c.values.push_back((raw / c.scale * std::pow(10.0, -c.decimals) + c.shift) * c.multiplier);
    }
    return {};
}

}  // namespace

const Channel* Log::find(const std::string& name) const {
    for (const Channel& c : channels)
        if (c.name == name) return &c;
    return nullptr;
}

std::expected<Log, std::string> read_ld(std::span<const std::byte> file) {
    const Bytes b(file);
    if (!b.has(0, 0x6E2)) return std::unexpected("shorter than the header");
    Log log;
    log.marker = b.get<std::uint32_t>(0x000);
    log.first_record = b.get<std::uint32_t>(0x008);
    log.first_data = b.get<std::uint32_t>(0x00C);
    const auto event_at = b.get<std::uint32_t>(0x024);
    log.device_type = b.text(0x04A, 8);
    log.channel_count = b.get<std::uint32_t>(0x056);
    log.date = b.text(0x05E, 16);
    log.time = b.text(0x07E, 16);
    log.driver = b.text(0x09E, 64);
    log.vehicle = b.text(0x0DE, 64);
    log.venue = b.text(0x15E, 64);
    log.short_comment = b.text(0x624, 64);

    if (!b.has(event_at, 0x484)) return std::unexpected("event block outside the file");
    log.event = b.text(event_at, 64);
    log.session = b.text(event_at + 0x40, 64);
    log.long_comment = b.text(event_at + 0x80, 1024);
    const auto venue_at = b.get<std::uint32_t>(event_at + 0x480);
    if (!b.has(venue_at, 0x44E)) return std::unexpected("venue block outside the file");
    log.venue_block_name = b.text(venue_at, 64);
    const auto vehicle_at = b.get<std::uint32_t>(venue_at + 0x44A);
    if (!b.has(vehicle_at, 0x104)) return std::unexpected("vehicle block outside the file");
    log.vehicle_id = b.text(vehicle_at, 64);
    log.vehicle_weight = b.get<std::uint32_t>(vehicle_at + 0xC0);
    log.vehicle_type = b.text(vehicle_at + 0xC4, 32);
    log.vehicle_comment = b.text(vehicle_at + 0xE4, 32);

    std::set<std::uint32_t> seen;
    for (std::uint32_t at = log.first_record; at != 0;) {
        if (!seen.insert(at).second) return std::unexpected("the channel list loops");
        Channel c;
        if (auto ok = read_channel(b, at, c); !ok) return std::unexpected(ok.error());
        at = c.next;
        log.channels.push_back(std::move(c));
    }
    return log;
}

Ldx read_ldx(const std::string& text) {
    Ldx ldx;
    const std::regex marker(R"re(<Marker [^>]*ClassName="BCN"[^>]*Time="([^"]+)")re");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), marker); it != std::sregex_iterator(); ++it)
        ldx.beacon_times_us.push_back(std::stod((*it)[1].str()));
    const auto detail = [&](const std::string& id) {
        std::smatch m;
        const std::regex re("<String Id=\"" + id + "\" Value=\"([^\"]*)\"/>");
        return std::regex_search(text, m, re) ? m[1].str() : std::string("<missing>");
    };
    ldx.total_laps = detail("Total Laps");
    ldx.fastest_time = detail("Fastest Time");
    ldx.fastest_lap = detail("Fastest Lap");
    return ldx;
}

}  // namespace ldtest
