// The 41-byte little-endian encoding of a LapSample, one field list for both directions.
#include "lap_format/lap_sample.hpp"

#include <bit>
#include <concepts>
#include <type_traits>

namespace corvel {
namespace {

// Sequential little-endian writer over the 41-byte record.
class Encoder {
  public:
    explicit Encoder(std::span<std::byte, kLapSampleSize> out) : out_(out) {}

    template <std::integral T>
    void put(T value) {
        auto bits = static_cast<std::make_unsigned_t<T>>(value);
        for (std::size_t i = 0; i < sizeof(T); ++i) {
            out_[pos_++] = static_cast<std::byte>(bits & 0xFFu);
            bits = static_cast<std::make_unsigned_t<T>>(bits >> 8);
        }
    }
    void put(float value) { put(std::bit_cast<std::uint32_t>(value)); }

  private:
    std::span<std::byte, kLapSampleSize> out_;
    std::size_t pos_ = 0;
};

class Decoder {
  public:
    explicit Decoder(std::span<const std::byte, kLapSampleSize> in) : in_(in) {}

    template <std::integral T>
    void get(T& value) {
        std::make_unsigned_t<T> bits = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i) {
            bits = static_cast<std::make_unsigned_t<T>>(
                bits |
                static_cast<std::make_unsigned_t<T>>(std::to_integer<unsigned>(in_[pos_++]) << (8 * i)));
        }
        value = static_cast<T>(bits);
    }
    void get(float& value) {
        std::uint32_t bits = 0;
        get(bits);
        value = std::bit_cast<float>(bits);
    }

  private:
    std::span<const std::byte, kLapSampleSize> in_;
    std::size_t pos_ = 0;
};

// The one list of fields in on-disk order, shared by encoding and decoding.
template <class Sample, class Visitor>
void for_each_field(Sample& s, Visitor&& visit) {
    visit(s.session_time);
    visit(s.lap_fraction);
    visit(s.lap);
    visit(s.aux_counter);
    visit(s.throttle);
    visit(s.brake);
    visit(s.clutch);
    visit(s.steering);
    visit(s.gear);
    visit(s.speed_kmh);
    visit(s.engine_rpm);
    visit(s.fuel_dl);
    visit(s.pos_x);
    visit(s.pos_z);
    visit(s.lateral_g);
    visit(s.longitudinal_g);
    visit(s.constant_30);
    visit(s.flags);
    visit(s.path_lateral_cm);
    visit(s.track_edge_cm);
}

}  // namespace

void encode_lap_sample(const LapSample& sample, std::span<std::byte, kLapSampleSize> out) {
    Encoder encoder(out);
    for_each_field(sample, [&](auto value) { encoder.put(value); });
}

LapSample decode_lap_sample(std::span<const std::byte, kLapSampleSize> in) {
    Decoder decoder(in);
    LapSample sample;
    for_each_field(sample, [&](auto& field) { decoder.get(field); });
    return sample;
}

}  // namespace corvel
