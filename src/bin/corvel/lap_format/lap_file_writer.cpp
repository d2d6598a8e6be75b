// write_lap_telemetry: header, sample block, one zstd frame, through one 8192-byte buffer.
#include "lap_format/lap_file_writer.hpp"

#include <zstd.h>

#include <limits>
#include <new>

#include "lap_format/buffered_writer.hpp"
#include "lap_format/output_file.hpp"

namespace corvel {
namespace {

template <class T>
void put_le(std::byte*& out, T value) {
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        *out++ = static_cast<std::byte>(static_cast<std::uint64_t>(value) >> (8 * i) & 0xFFu);
    }
}

}  // namespace

std::expected<LapFileHeader, AppError> encode_lap_file_header(std::size_t sample_count) {
    if (sample_count > std::numeric_limits<std::uint32_t>::max()) {
        return std::unexpected(AppError::invalid_data("Failed to serialize header: sample count " +
                                                      std::to_string(sample_count) +
                                                      " does not fit in 32 bits"));
    }
    LapFileHeader header{};
    std::byte* out = header.data();
    for (const std::byte b : kLapFileMagic) *out++ = b;
    put_le(out, kLapFileFormatVersion);
    put_le(out, kLapFileSimulatorLmu);
    put_le(out, kLapFileNominalRateHz);
    put_le(out, std::uint8_t{0});
    put_le(out, static_cast<std::uint32_t>(sample_count));
    // The last four bytes stay zero.
    return header;
}

std::vector<std::byte> encode_sample_block(std::span<const LapSample> samples) {
    std::vector<std::byte> block(8 + kLapSampleSize * samples.size());
    std::byte* out = block.data();
    put_le(out, static_cast<std::uint64_t>(samples.size()));
    for (const LapSample& sample : samples) {
        encode_lap_sample(sample, std::span<std::byte, kLapSampleSize>(out, kLapSampleSize));
        out += kLapSampleSize;
    }
    return block;
}

std::expected<std::vector<std::byte>, std::string> compress_sample_block(std::span<const std::byte> block) {
    ZSTD_CCtx* context = ZSTD_createCCtx();
    // zstd fails to create a context only when it cannot allocate one.
    if (context == nullptr) throw std::bad_alloc();
    const auto fail = [context](std::size_t code) {
        ZSTD_freeCCtx(context);
        return std::unexpected(std::string(ZSTD_getErrorName(code)));
    };

    if (const std::size_t r = ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, kLapCompressionLevel);
        ZSTD_isError(r)) {
        return fail(r);
    }
    if (const std::size_t r = ZSTD_CCtx_loadDictionary(context, nullptr, 0); ZSTD_isError(r)) return fail(r);
    const std::size_t bound = ZSTD_compressBound(block.size());
    if (ZSTD_isError(bound)) return fail(bound);

    std::vector<std::byte> frame(bound);
    const std::size_t size = ZSTD_compress2(context, frame.data(), frame.size(), block.data(), block.size());
    if (ZSTD_isError(size)) return fail(size);
    ZSTD_freeCCtx(context);
    frame.resize(size);
    return frame;
}

std::expected<void, AppError> write_lap_telemetry_to(ByteSink& sink, std::span<const LapSample> samples,
                                                     CompressFn compress) {
    BufferedWriter writer(sink);

    auto header = encode_lap_file_header(samples.size());
    if (!header) return std::unexpected(header.error());
    const std::vector<std::byte> block = encode_sample_block(samples);
    auto frame = compress(block);
    if (!frame)
        return std::unexpected(AppError::invalid_data("Failed to compress samples: " + frame.error()));

    if (auto r = writer.write(*header); !r) return std::unexpected(AppError::io(r.error()));
    if (auto r = writer.write(*frame); !r) return std::unexpected(AppError::io(r.error()));
    if (auto r = writer.flush(); !r) return std::unexpected(AppError::io(r.error()));
    return {};
}

std::expected<void, AppError> write_lap_telemetry(const std::filesystem::path& path,
                                                  std::span<const LapSample> samples) {
    auto file = OutputFile::create(path);
    if (!file) return std::unexpected(AppError::io(file.error()));
    if (auto written = write_lap_telemetry_to(*file, samples); !written) return written;
    // A failing close can mean the data never reached the disk; say so rather than succeed.
    if (auto closed = file->close(); !closed) return std::unexpected(AppError::io(closed.error()));
    return {};
}

}  // namespace corvel
