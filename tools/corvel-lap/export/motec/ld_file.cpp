// Encodes an LdLog into the .ld layout of docs/motec-ld.md. The file is built in one buffer
// whose size is known up front, so every block is written at its final offset.
#include "export/motec/ld_file.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

#include "text/utf8.hpp"

namespace corvel::motec {
namespace {

// Block positions: header, event, venue, vehicle, channel records, channel data.
constexpr std::size_t kEventOffset = kLdHeaderSize;
constexpr std::size_t kVenueOffset = kEventOffset + kLdEventSize;
constexpr std::size_t kVehicleOffset = kVenueOffset + kLdVenueSize;
constexpr std::size_t kFirstRecordOffset = kVehicleOffset + kLdVehicleSize;

// Constants that public descriptions report from files of MoTeC's ADL logger; their meaning
// is unknown, i2 checks the device fields to decide what the file may use.
constexpr std::uint32_t kMarker = 0x40;
constexpr std::uint16_t kHeaderUnknown1 = 1;
constexpr std::uint16_t kHeaderUnknown2 = 0x4240;
constexpr std::uint16_t kHeaderUnknown3 = 0x000F;
constexpr std::uint32_t kDeviceSerial = 0x1F44;
constexpr std::string_view kDeviceType = "ADL";
constexpr std::uint16_t kDeviceVersion = 420;
constexpr std::uint16_t kHeaderUnknown4 = 0xADB0;
constexpr std::uint32_t kProLogging = 0x000C81A4;
constexpr std::uint16_t kFirstChannelId = 0x2EE1;

constexpr std::uint16_t kKindFloat = 7;
constexpr std::uint16_t kKindInteger = 3;

std::size_t sample_size(LdSampleType type) {
    return type == LdSampleType::Float32 ? 4 : 2;
}

std::size_t padded_to_4(std::size_t n) {
    return (n + 3) & ~std::size_t{3};
}

// Writes fields into the preallocated file image at absolute offsets.
class Image {
  public:
    explicit Image(std::size_t size) : bytes_(size) {}

    template <typename T>
    void put(std::size_t offset, T value) {
        auto raw = std::bit_cast<std::array<std::byte, sizeof(T)>>(value);
        if constexpr (std::endian::native == std::endian::big) std::ranges::reverse(raw);
        std::memcpy(bytes_.data() + offset, raw.data(), raw.size());
    }

    // A fixed text field: cut so that one zero byte always ends it.
    void put_text(std::size_t offset, std::size_t width, const std::string& utf8) {
        const std::string text = to_windows_1252(utf8);
        const std::size_t n = std::min(text.size(), width - 1);
        std::memcpy(bytes_.data() + offset, text.data(), n);
    }

    std::vector<std::byte> release() && { return std::move(bytes_); }

  private:
    std::vector<std::byte> bytes_;
};

std::int16_t to_int16(double value) {
    if (!std::isfinite(value)) return 0;
    const double rounded = std::nearbyint(value);
    if (rounded <= std::numeric_limits<std::int16_t>::min()) return std::numeric_limits<std::int16_t>::min();
    if (rounded >= std::numeric_limits<std::int16_t>::max()) return std::numeric_limits<std::int16_t>::max();
    return static_cast<std::int16_t>(rounded);
}

float to_float32(double value) {
    if (!std::isfinite(value)) return 0.0f;
    constexpr double kMax = std::numeric_limits<float>::max();
    return static_cast<float>(std::clamp(value, -kMax, kMax));
}

void put_header(Image& image, const LdLog& log, std::size_t first_data_offset) {
    const LdSession& s = log.session;
    image.put<std::uint32_t>(0x000, kMarker);
    image.put<std::uint32_t>(0x008, static_cast<std::uint32_t>(kFirstRecordOffset));
    image.put<std::uint32_t>(0x00C, static_cast<std::uint32_t>(first_data_offset));
    image.put<std::uint32_t>(0x024, static_cast<std::uint32_t>(kEventOffset));
    image.put<std::uint16_t>(0x040, kHeaderUnknown1);
    image.put<std::uint16_t>(0x042, kHeaderUnknown2);
    image.put<std::uint16_t>(0x044, kHeaderUnknown3);
    image.put<std::uint32_t>(0x046, kDeviceSerial);
    image.put_text(0x04A, 8, std::string(kDeviceType));
    image.put<std::uint16_t>(0x052, kDeviceVersion);
    image.put<std::uint16_t>(0x054, kHeaderUnknown4);
    image.put<std::uint32_t>(0x056, static_cast<std::uint32_t>(log.channels.size()));
    image.put_text(0x05E, 16, s.date);
    image.put_text(0x07E, 16, s.time);
    image.put_text(0x09E, 64, s.driver);
    image.put_text(0x0DE, 64, s.vehicle);
    image.put_text(0x15E, 64, s.venue);
    image.put<std::uint32_t>(0x5DE, kProLogging);
    image.put_text(0x624, 64, s.short_comment);
}

void put_blocks(Image& image, const LdSession& s) {
    image.put_text(kEventOffset + 0x000, 64, s.event);
    image.put_text(kEventOffset + 0x040, 64, s.session);
    image.put_text(kEventOffset + 0x080, 1024, s.long_comment);
    image.put<std::uint32_t>(kEventOffset + 0x480, static_cast<std::uint32_t>(kVenueOffset));

    image.put_text(kVenueOffset + 0x000, 64, s.venue);
    image.put<std::uint32_t>(kVenueOffset + 0x44A, static_cast<std::uint32_t>(kVehicleOffset));

    image.put_text(kVehicleOffset + 0x000, 64, s.vehicle_id);
    image.put<std::uint32_t>(kVehicleOffset + 0x0C0, 0);  // weight unknown
    image.put_text(kVehicleOffset + 0x0C4, 32, s.vehicle_type);
    image.put_text(kVehicleOffset + 0x0E4, 32, s.vehicle_comment);
}

void put_channel_record(Image& image, std::size_t index, std::size_t count, const LdChannel& channel,
                        std::uint16_t rate_hz, std::size_t data_offset) {
    const std::size_t at = kFirstRecordOffset + index * kLdChannelRecordSize;
    const std::size_t previous = index == 0 ? 0 : at - kLdChannelRecordSize;
    const std::size_t next = index + 1 == count ? 0 : at + kLdChannelRecordSize;
    const bool is_float = channel.type == LdSampleType::Float32;
    image.put<std::uint32_t>(at + 0x00, static_cast<std::uint32_t>(previous));
    image.put<std::uint32_t>(at + 0x04, static_cast<std::uint32_t>(next));
    image.put<std::uint32_t>(at + 0x08, static_cast<std::uint32_t>(data_offset));
    image.put<std::uint32_t>(at + 0x0C, static_cast<std::uint32_t>(channel.values.size()));
    image.put<std::uint16_t>(at + 0x10, static_cast<std::uint16_t>(kFirstChannelId + index));
    image.put<std::uint16_t>(at + 0x12, is_float ? kKindFloat : kKindInteger);
    image.put<std::uint16_t>(at + 0x14, static_cast<std::uint16_t>(sample_size(channel.type)));
    image.put<std::uint16_t>(at + 0x16, rate_hz);
    image.put<std::int16_t>(at + 0x18, 0);  // shift
    image.put<std::int16_t>(at + 0x1A, 1);  // multiplier
    image.put<std::int16_t>(at + 0x1C, 1);  // scale
    image.put<std::int16_t>(at + 0x1E, 0);  // decimal places
    image.put_text(at + 0x20, 32, channel.name);
    image.put_text(at + 0x40, 8, channel.short_name);
    image.put_text(at + 0x48, 12, channel.unit);
}

void put_channel_data(Image& image, const LdChannel& channel, std::size_t data_offset) {
    std::size_t at = data_offset;
    for (const double value : channel.values) {
        if (channel.type == LdSampleType::Float32) {
            image.put<float>(at, to_float32(value));
            at += 4;
        } else {
            image.put<std::int16_t>(at, to_int16(value));
            at += 2;
        }
    }
}

// Appends one code point in Windows-1252, '?' where it has no single byte of ours.
void append_1252(std::string& out, std::uint32_t code_point) {
    const bool printable_ascii = code_point >= 0x20 && code_point < 0x7F;
    const bool latin1 = code_point >= 0xA0 && code_point <= 0xFF;
    out.push_back(printable_ascii || latin1 ? static_cast<char>(code_point) : '?');
}

}  // namespace

std::string to_windows_1252(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const text::DecodedChar decoded = text::decode_utf8_at(utf8, i);
        if (!decoded.valid) {
            out.push_back('?');  // one mark per malformed byte, then resynchronise on the next
            ++i;
            continue;
        }
        append_1252(out, decoded.code_point);
        i += decoded.length;
    }
    return out;
}

std::expected<std::vector<std::byte>, std::string> encode_ld(const LdLog& log) {
    if (log.channels.empty()) return std::unexpected("a MoTeC log needs at least one channel");
    if (log.sample_rate_hz == 0) return std::unexpected("a MoTeC log needs a sample rate above 0 Hz");

    // Offsets are 32-bit; the sums below stay far from size_t's limit on every platform
    // once each channel's byte count has been checked against the 32-bit limit.
    constexpr std::size_t kLimit = std::numeric_limits<std::uint32_t>::max();
    const std::size_t count = log.channels.size();
    if (count > (kLimit - kFirstRecordOffset) / kLdChannelRecordSize)
        return std::unexpected("too many channels for a MoTeC log");
    const std::size_t first_data_offset = kFirstRecordOffset + count * kLdChannelRecordSize;
    std::vector<std::size_t> data_offsets;
    data_offsets.reserve(count);
    std::size_t end = first_data_offset;
    for (const LdChannel& channel : log.channels) {
        if (channel.values.size() > (kLimit - end) / sample_size(channel.type))
            return std::unexpected("the channels are too long for a MoTeC log (over 4 GiB)");
        data_offsets.push_back(end);
        end = padded_to_4(end + channel.values.size() * sample_size(channel.type));
        if (end > kLimit) return std::unexpected("the channels are too long for a MoTeC log (over 4 GiB)");
    }

    Image image(end);
    put_header(image, log, first_data_offset);
    put_blocks(image, log.session);
    for (std::size_t i = 0; i < count; ++i) {
        put_channel_record(image, i, count, log.channels[i], log.sample_rate_hz, data_offsets[i]);
        put_channel_data(image, log.channels[i], data_offsets[i]);
    }
    return std::move(image).release();
}

}  // namespace corvel::motec
