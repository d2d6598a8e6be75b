// Lap file decoding. The header's count bounds everything that follows: the frame may not
// declare or produce more than 8 + 41 * N bytes, so a hostile file cannot make the reader
// allocate more than its header admits (and the header is capped by kMaxReadableSamples).
#include "lap_format/lap_file_reader.hpp"

#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "lap_format/lap_file_writer.hpp"
#include "lap_format/utf8_path.hpp"

namespace corvel {
namespace {

constexpr std::array<std::uint8_t, 4> kFixedHeaderBytes{kLapFileFormatVersion, kLapFileSimulatorLmu,
                                                        kLapFileNominalRateHz, 0};

ReadError error(ReadErrorKind kind, std::string message) {
    return ReadError{kind, std::move(message)};
}

std::string hex_bytes(std::span<const std::byte> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (const std::byte b : bytes) {
        if (!text.empty()) {
            text += ' ';
        }
        const auto value = std::to_integer<unsigned>(b);
        text += kDigits[value >> 4];
        text += kDigits[value & 0xF];
    }
    return text;
}

std::uint64_t read_le(std::span<const std::byte> bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = bytes.size(); i-- > 0;) {
        value = (value << 8) | std::to_integer<std::uint64_t>(bytes[i]);
    }
    return value;
}

struct DCtxDeleter {
    void operator()(ZSTD_DCtx* ctx) const { ZSTD_freeDCtx(ctx); }
};

// Largest frame a writer can produce for `count` samples: it compresses into a buffer of
// ZSTD_compressBound bytes.
std::uint64_t max_frame_size(std::uint32_t count) {
    return ZSTD_compressBound(static_cast<std::size_t>(sample_block_size(count)));
}

std::expected<std::vector<std::byte>, ReadError> decompress_frame(std::span<const std::byte> frame,
                                                                  std::uint32_t count) {
    const std::uint64_t bound = sample_block_size(count);
    const std::string bound_text = "8 + 41 * " + std::to_string(count) + " = " + std::to_string(bound);

    const std::size_t frame_size = ZSTD_findFrameCompressedSize(frame.data(), frame.size());
    if (ZSTD_isError(frame_size)) {
        switch (ZSTD_getErrorCode(frame_size)) {
            case ZSTD_error_srcSize_wrong:
                return std::unexpected(error(ReadErrorKind::TruncatedFrame,
                                             "truncated zstd frame: the file ends inside the frame, " +
                                                 std::to_string(frame.size()) + " bytes after the header"));
            case ZSTD_error_prefix_unknown:
                return std::unexpected(
                    error(ReadErrorKind::CorruptFrame,
                          "no zstd frame after the header: the bytes there start with " +
                              hex_bytes(frame.first(std::min<std::size_t>(frame.size(), 4)))));
            default:
                return std::unexpected(
                    error(ReadErrorKind::CorruptFrame,
                          std::string("corrupt zstd frame: ") + ZSTD_getErrorName(frame_size)));
        }
    }
    if (frame_size < frame.size()) {
        return std::unexpected(error(ReadErrorKind::TrailingBytes,
                                     std::to_string(frame.size() - frame_size) +
                                         " trailing bytes after the zstd frame (which ends at byte " +
                                         std::to_string(kLapFileHeaderSize + frame_size) + ")"));
    }

    const unsigned long long declared = ZSTD_getFrameContentSize(frame.data(), frame.size());
    if (declared == ZSTD_CONTENTSIZE_ERROR) {
        return std::unexpected(
            error(ReadErrorKind::CorruptFrame, "corrupt zstd frame: unreadable frame header"));
    }
    const bool size_known = declared != ZSTD_CONTENTSIZE_UNKNOWN;
    if (size_known && declared > bound) {
        return std::unexpected(error(ReadErrorKind::FrameTooLarge,
                                     "the zstd frame declares " + std::to_string(declared) +
                                         " bytes, more than the header's count allows (" + bound_text + ")"));
    }

    // A frame that states its size gets exactly that much room; zstd refuses to write more.
    std::vector<std::byte> block(static_cast<std::size_t>(size_known ? declared : bound));
    const std::unique_ptr<ZSTD_DCtx, DCtxDeleter> ctx(ZSTD_createDCtx());
    if (!ctx) {
        throw std::bad_alloc();  // treated like any failed allocation
    }
    const std::size_t produced =
        ZSTD_decompressDCtx(ctx.get(), block.data(), block.size(), frame.data(), frame.size());
    if (ZSTD_isError(produced)) {
        if (ZSTD_getErrorCode(produced) == ZSTD_error_dstSize_tooSmall) {
            return std::unexpected(
                error(ReadErrorKind::FrameTooLarge,
                      "the zstd frame holds more than the header's count allows (" + bound_text + " bytes)"));
        }
        return std::unexpected(error(ReadErrorKind::CorruptFrame,
                                     std::string("corrupt zstd frame: ") + ZSTD_getErrorName(produced)));
    }
    block.resize(produced);
    return block;
}

}  // namespace

std::expected<std::uint32_t, ReadError> decode_lap_file_header(std::span<const std::byte> file_bytes) {
    if (file_bytes.size() < kLapFileHeaderSize) {
        return std::unexpected(
            error(ReadErrorKind::TooShortForHeader,
                  "file too short for the lap header: " + std::to_string(file_bytes.size()) +
                      " bytes, the header alone has 16"));
    }
    const auto magic = file_bytes.first<4>();
    if (!std::equal(magic.begin(), magic.end(), kLapFileMagic.begin())) {
        return std::unexpected(
            error(ReadErrorKind::WrongMagic,
                  "wrong magic: expected \"VKTF\" (56 4B 54 46), found " + hex_bytes(magic)));
    }
    const auto fixed = file_bytes.subspan<4, 4>();
    if (!std::equal(fixed.begin(), fixed.end(), kFixedHeaderBytes.begin(),
                    [](std::byte b, std::uint8_t expected) {
                        return std::to_integer<std::uint8_t>(b) == expected;
                    })) {
        return std::unexpected(
            error(ReadErrorKind::UnexpectedHeaderBytes,
                  "unexpected header bytes 4 to 7: expected 05 01 3C 00, found " + hex_bytes(fixed)));
    }
    const auto reserved = file_bytes.subspan<12, 4>();
    if (std::any_of(reserved.begin(), reserved.end(), [](std::byte b) { return b != std::byte{0}; })) {
        return std::unexpected(
            error(ReadErrorKind::UnexpectedHeaderBytes,
                  "unexpected header bytes 12 to 15: expected 00 00 00 00, found " + hex_bytes(reserved)));
    }
    const auto count = static_cast<std::uint32_t>(read_le(file_bytes.subspan<8, 4>()));
    if (count > kMaxReadableSamples) {
        return std::unexpected(
            error(ReadErrorKind::TooManySamples, "the header counts " + std::to_string(count) +
                                                     " samples, more than this reader accepts (" +
                                                     std::to_string(kMaxReadableSamples) + ")"));
    }
    return count;
}

std::expected<std::vector<LapSample>, ReadError> decode_lap_telemetry(std::span<const std::byte> file_bytes) {
    const auto count = decode_lap_file_header(file_bytes);
    if (!count) {
        return std::unexpected(count.error());
    }
    const auto frame = file_bytes.subspan(kLapFileHeaderSize);
    if (frame.empty()) {
        return std::unexpected(
            error(ReadErrorKind::TruncatedFrame, "truncated file: no zstd frame after the header"));
    }
    const auto block = decompress_frame(frame, *count);
    if (!block) {
        return std::unexpected(block.error());
    }
    const std::span<const std::byte> bytes(*block);
    if (bytes.size() < 8) {
        return std::unexpected(
            error(ReadErrorKind::BlockLengthMismatch, "the sample block is " + std::to_string(bytes.size()) +
                                                          " bytes, too short for its 8-byte count"));
    }
    const std::uint64_t block_count = read_le(bytes.first<8>());
    if (block_count != *count) {
        return std::unexpected(error(ReadErrorKind::CountMismatch,
                                     "sample count mismatch: the header says " + std::to_string(*count) +
                                         ", the sample block says " + std::to_string(block_count)));
    }
    if (bytes.size() != sample_block_size(*count)) {
        return std::unexpected(
            error(ReadErrorKind::BlockLengthMismatch, "the sample block is " + std::to_string(bytes.size()) +
                                                          " bytes, but " + std::to_string(*count) +
                                                          " samples need 8 + 41 * " + std::to_string(*count) +
                                                          " = " + std::to_string(sample_block_size(*count))));
    }
    std::vector<LapSample> samples;
    samples.reserve(*count);
    for (std::size_t offset = 8; offset < bytes.size(); offset += kLapSampleSize) {
        samples.push_back(decode_lap_sample(bytes.subspan(offset).first<kLapSampleSize>()));
    }
    return samples;
}

std::expected<std::vector<LapSample>, ReadError> read_lap_telemetry(const std::filesystem::path& path) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) {
        return std::unexpected(error(ReadErrorKind::Io, "cannot read the file: " + ec.message()));
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::unexpected(error(ReadErrorKind::Io, "cannot open the file for reading"));
    }
    std::vector<std::byte> bytes(
        static_cast<std::size_t>(std::min<std::uintmax_t>(size, kLapFileHeaderSize)));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!in) {
        return std::unexpected(error(ReadErrorKind::Io, "cannot read the file's header"));
    }
    const auto count = decode_lap_file_header(bytes);
    if (!count) {
        return std::unexpected(count.error());
    }
    const std::uint64_t frame_limit = max_frame_size(*count);
    if (size - kLapFileHeaderSize > frame_limit) {
        return std::unexpected(error(ReadErrorKind::FrameTooLarge,
                                     "the file holds " + std::to_string(size - kLapFileHeaderSize) +
                                         " bytes after the header, more than a zstd frame of " +
                                         std::to_string(*count) + " samples can take (" +
                                         std::to_string(frame_limit) + ")"));
    }
    bytes.resize(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data() + kLapFileHeaderSize),
            static_cast<std::streamsize>(bytes.size() - kLapFileHeaderSize));
    if (static_cast<std::size_t>(in.gcount()) != bytes.size() - kLapFileHeaderSize) {
        return std::unexpected(
            error(ReadErrorKind::Io, "cannot read the whole file (it changed while being read?)"));
    }
    return decode_lap_telemetry(bytes);
}

std::expected<std::uint32_t, ReadError> read_lap_file_header(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::unexpected(error(ReadErrorKind::Io, "cannot open the file for reading"));
    }
    std::array<std::byte, kLapFileHeaderSize> header{};
    in.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(header.size()));
    return decode_lap_file_header(std::span(header).first(static_cast<std::size_t>(in.gcount())));
}

}  // namespace corvel
