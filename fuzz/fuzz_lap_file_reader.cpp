// Fuzz target: corvel-lap's reader of captured laps. The input is read three ways:
//   - as a whole lap file (header and zstd frame) by decode_lap_telemetry;
//   - as the sample block inside a well-formed file (the harness writes header and frame), so
//     that counts and lengths that disagree reach the block checks past the zstd layer;
//   - as the metadata document beside a lap, by parse_lap_metadata.
// Whatever is accepted must survive a round trip through corvel's own writers unchanged.
#include <zstd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "lap_format/lap_file_writer.hpp"
#include "lap_format/lap_metadata.hpp"
#include "lap_format/lap_file_reader.hpp"
#include "lap_format/json/lap_metadata_reader.hpp"
#include "fuzz_support.hpp"

namespace {

using corvel::fuzz::require;

class MemorySink final : public corvel::ByteSink {
  public:
    std::expected<std::size_t, corvel::IoError> write(std::span<const std::byte> bytes) override {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return bytes.size();
    }
    [[nodiscard]] const std::vector<std::byte>& bytes() const { return bytes_; }

  private:
    std::vector<std::byte> bytes_;
};

std::vector<std::byte> encoded(std::span<const corvel::LapSample> samples) {
    std::vector<std::byte> out(samples.size() * corvel::kLapSampleSize);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        corvel::encode_lap_sample(
            samples[i], std::span<std::byte, corvel::kLapSampleSize>(out.data() + i * corvel::kLapSampleSize,
                                                                     corvel::kLapSampleSize));
    }
    return out;
}

// Accepted samples, written again by corvel's writer, read back to the same bytes.
void check_round_trip(const std::vector<corvel::LapSample>& samples) {
    if (samples.empty()) return;
    MemorySink sink;
    require(corvel::write_lap_telemetry_to(sink, samples).has_value(), "accepted samples can be written");
    const auto again = corvel::decode_lap_telemetry(sink.bytes());
    require(again.has_value(), "a written lap reads back");
    require(encoded(*again) == encoded(samples), "a written lap reads back to the same samples");
}

void read_as_file(std::span<const std::byte> bytes) {
    const auto samples = corvel::decode_lap_telemetry(bytes);
    if (!samples) {
        require(!samples.error().message.empty(), "every refusal names its fault");
        return;
    }
    const auto count = corvel::decode_lap_file_header(bytes);
    require(count && *count == samples->size(), "the header's count is the number of samples");
    check_round_trip(*samples);
}

// The header states what the block's leading u64 says, when it fits, so that the reader's
// checks past the frame are what decides.
void read_as_block(std::span<const std::byte> block) {
    std::uint64_t stated = 0;
    if (block.size() >= 8) std::memcpy(&stated, block.data(), 8);
    const std::size_t count = stated <= corvel::kMaxReadableSamples
                                  ? static_cast<std::size_t>(stated)
                                  : (block.size() >= 8 ? (block.size() - 8) / 41 : 0);
    const auto header = corvel::encode_lap_file_header(count);
    if (!header) return;
    std::vector<std::byte> frame(ZSTD_compressBound(block.size()));
    const std::size_t size = ZSTD_compress(frame.data(), frame.size(), block.data(), block.size(), 1);
    if (ZSTD_isError(size)) return;
    std::vector<std::byte> file(header->begin(), header->end());
    file.insert(file.end(), frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(size));
    read_as_file(file);
}

void read_as_metadata(std::string_view text) {
    const auto metadata = corvel::parse_lap_metadata(text);
    if (!metadata) return;
    // Compared as text: a member may hold NaN, which no == admits.
    const std::string document = corvel::format_lap_metadata(*metadata);
    const auto again = corvel::parse_lap_metadata(document);
    require(again.has_value(), "a written document reads back");
    require(corvel::format_lap_metadata(*again) == document, "a written document reads back unchanged");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto bytes = corvel::fuzz::as_bytes(data, size);
    read_as_file(bytes);
    read_as_block(bytes);
    read_as_metadata(corvel::fuzz::as_text(data, size));
    return 0;
}
