// The lap file reader: round trips through the real writer, one clear error per kind of
// damage, and no crash for any cut or flipped byte.
#include "lap_format/lap_file_reader.hpp"
#include "lap_format/json/lap_file.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "lap_format/lap_file_writer.hpp"
#include "lap_files.hpp"

namespace corvel {
namespace {

using testing::Bytes;
using testing::concat;
using testing::lap_header;
using testing::sample_block;
using testing::TempDir;
using testing::varied_samples;
using testing::zstd_frame;

Bytes valid_file(const std::vector<LapSample>& samples) {
    return concat(lap_header(static_cast<std::uint32_t>(samples.size())),
                  zstd_frame(sample_block(samples.size(), samples)));
}

void expect_error(const Bytes& file, ReadErrorKind kind, const std::string& fragment) {
    const auto result = decode_lap_telemetry(file);
    ASSERT_FALSE(result.has_value()) << "decoded a damaged file";
    EXPECT_EQ(result.error().kind, kind)
        << read_error_kind_name(result.error().kind) << ": " << result.error().message;
    EXPECT_NE(result.error().message.find(fragment), std::string::npos) << result.error().message;
}

TEST(LapFileReader, ReadsBackWhatTheWriterWrote) {
    const TempDir dir;
    const auto samples = varied_samples(600);
    ASSERT_TRUE(write_lap_telemetry(dir / "lap.bin", samples).has_value());

    const auto read = read_lap_telemetry(dir / "lap.bin");

    ASSERT_TRUE(read.has_value()) << read.error().message;
    EXPECT_EQ(*read, samples);
}

TEST(LapFileReader, KeepsNaNAndInfinitePositionsAsStored) {
    auto samples = varied_samples(3);
    samples[0].pos_x = std::numeric_limits<float>::quiet_NaN();
    samples[1].pos_z = -std::numeric_limits<float>::infinity();
    samples[2].lap_fraction = std::numeric_limits<float>::infinity();

    const auto read = decode_lap_telemetry(valid_file(samples));

    ASSERT_TRUE(read.has_value());
    EXPECT_TRUE(std::isnan((*read)[0].pos_x));
    EXPECT_EQ((*read)[1].pos_z, -std::numeric_limits<float>::infinity());
    EXPECT_EQ((*read)[2].lap_fraction, std::numeric_limits<float>::infinity());
}

TEST(LapFileReader, AcceptsAnEmptyLap) {
    const auto read = decode_lap_telemetry(valid_file({}));

    ASSERT_TRUE(read.has_value()) << read.error().message;
    EXPECT_TRUE(read->empty());
}

TEST(LapFileReader, AcceptsAFrameThatDoesNotStateItsSize) {
    const auto samples = varied_samples(5);
    const Bytes file = concat(lap_header(5), zstd_frame(sample_block(5, samples), false));

    const auto read = decode_lap_telemetry(file);

    ASSERT_TRUE(read.has_value()) << read.error().message;
    EXPECT_EQ(*read, samples);
}

TEST(LapFileReaderErrors, FileTooShortForTheHeader) {
    const Bytes file = valid_file(varied_samples(4));
    expect_error(Bytes(file.begin(), file.begin() + 10), ReadErrorKind::TooShortForHeader, "10 bytes");
    expect_error({}, ReadErrorKind::TooShortForHeader, "too short for the lap header");
}

TEST(LapFileReaderErrors, WrongMagic) {
    Bytes file = valid_file(varied_samples(4));
    file[3] = std::byte{'X'};
    expect_error(file, ReadErrorKind::WrongMagic, "found 56 4B 54 58");
}

TEST(LapFileReaderErrors, UnexpectedFixedHeaderBytes) {
    Bytes file = valid_file(varied_samples(4));
    file[4] = std::byte{6};
    expect_error(file, ReadErrorKind::UnexpectedHeaderBytes,
                 "bytes 4 to 7: expected 05 01 3C 00, found 06 01 3C 00");
}

TEST(LapFileReaderErrors, NonZeroReservedHeaderBytes) {
    Bytes file = valid_file(varied_samples(4));
    file[14] = std::byte{1};
    expect_error(file, ReadErrorKind::UnexpectedHeaderBytes, "bytes 12 to 15");
}

TEST(LapFileReaderErrors, CountBeyondTheReadersLimit) {
    expect_error(concat(lap_header(kMaxReadableSamples + 1), zstd_frame(sample_block(0, {}))),
                 ReadErrorKind::TooManySamples, std::to_string(kMaxReadableSamples + 1));
}

TEST(LapFileReaderErrors, HeaderWithoutFrame) {
    expect_error(lap_header(4), ReadErrorKind::TruncatedFrame, "no zstd frame");
}

TEST(LapFileReaderErrors, CutFrame) {
    Bytes file = valid_file(varied_samples(40));
    file.resize(file.size() - 5);
    expect_error(file, ReadErrorKind::TruncatedFrame, "truncated zstd frame");
}

TEST(LapFileReaderErrors, TrailingBytesAfterTheFrame) {
    const Bytes file = valid_file(varied_samples(4));
    expect_error(concat(file, Bytes(3, std::byte{0x42})), ReadErrorKind::TrailingBytes, "3 trailing bytes");
}

TEST(LapFileReaderErrors, SecondFrameAfterTheFirst) {
    const Bytes file = valid_file(varied_samples(4));
    expect_error(concat(file, zstd_frame(sample_block(0, {}))), ReadErrorKind::TrailingBytes,
                 "trailing bytes");
}

TEST(LapFileReaderErrors, CountMismatchBetweenHeaderAndBlock) {
    const auto samples = varied_samples(3);
    expect_error(concat(lap_header(3), zstd_frame(sample_block(2, samples))), ReadErrorKind::CountMismatch,
                 "the header says 3, the sample block says 2");
}

TEST(LapFileReaderErrors, FrameDeclaringMoreThanTheHeaderAllows) {
    const auto samples = varied_samples(3);
    expect_error(concat(lap_header(2), zstd_frame(sample_block(3, samples))), ReadErrorKind::FrameTooLarge,
                 "declares 131 bytes");
}

TEST(LapFileReaderErrors, FrameProducingMoreThanTheHeaderAllows) {
    // Without a stated size the reader only learns the size while decompressing.
    const auto samples = varied_samples(3);
    expect_error(concat(lap_header(2), zstd_frame(sample_block(3, samples), false)),
                 ReadErrorKind::FrameTooLarge, "8 + 41 * 2 = 90");
}

TEST(LapFileReaderErrors, HugeBombFrameIsRefusedBeforeDecompressing) {
    // 64 MB of zeros compress to a few kilobytes; the header claims one sample.
    const Bytes bomb = zstd_frame(Bytes(64U << 20, std::byte{0}));
    expect_error(concat(lap_header(1), bomb), ReadErrorKind::FrameTooLarge, "declares 67108864 bytes");
}

TEST(LapFileReaderErrors, BlockShorterThanItsCount) {
    auto block = sample_block(2, varied_samples(2));
    block.resize(block.size() - 20);
    expect_error(concat(lap_header(2), zstd_frame(block)), ReadErrorKind::BlockLengthMismatch,
                 "8 + 41 * 2 = 90");
}

TEST(LapFileReaderErrors, BlockTooShortForItsCountField) {
    expect_error(concat(lap_header(2), zstd_frame(Bytes(5, std::byte{2}))),
                 ReadErrorKind::BlockLengthMismatch, "too short for its 8-byte count");
}

TEST(LapFileReaderErrors, NotAZstdFrameAfterTheHeader) {
    expect_error(concat(lap_header(2), Bytes(40, std::byte{0x11})), ReadErrorKind::CorruptFrame,
                 "no zstd frame");
}

TEST(LapFileReaderErrors, CorruptFrameContent) {
    Bytes file = valid_file(varied_samples(50));
    // Frame header: 4 magic bytes, descriptor, content size; the first block header follows.
    // Block type 3 is reserved, which zstd rejects.
    const std::size_t block_header = 16 + 4 + 1 + 2;
    file[block_header] |= std::byte{0x06};
    const auto result = decode_lap_telemetry(file);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, ReadErrorKind::CorruptFrame) << result.error().message;
}

TEST(LapFileReaderErrors, NoCutOrFlippedByteCrashesTheReader) {
    // Runs under the sanitizers in CI: any overflow or unbounded allocation shows there.
    const Bytes file = valid_file(varied_samples(30));
    for (std::size_t size = 0; size < file.size(); ++size) {
        EXPECT_FALSE(
            decode_lap_telemetry(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size))))
            << "a file cut to " << size << " bytes was accepted";
    }
    for (std::size_t i = 0; i < file.size(); ++i) {
        Bytes damaged = file;
        damaged[i] ^= std::byte{0xA5};
        (void)decode_lap_telemetry(damaged);  // either result is fine; no crash, no leak
    }
}

TEST(LapFileReaderFiles, MissingFileIsAnIoError) {
    const TempDir dir;
    const auto result = read_lap_telemetry(dir / "missing.bin");
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, ReadErrorKind::Io);
}

TEST(LapFileReaderFiles, DirectoryIsAnIoError) {
    const TempDir dir;
    const auto result = read_lap_telemetry(dir.path());
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, ReadErrorKind::Io);
}

TEST(LapFileReaderFiles, OversizedFileIsRefusedWithoutReadingIt) {
    const TempDir dir;
    testing::write_bytes(dir / "big.bin", concat(lap_header(1), Bytes(1U << 20, std::byte{0})));

    const auto result = read_lap_telemetry(dir / "big.bin");

    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, ReadErrorKind::FrameTooLarge) << result.error().message;
}

TEST(LapFileReaderFiles, ReadsTheMetadataBesideTheLap) {
    const TempDir dir;
    ASSERT_TRUE(write_lap_telemetry(dir / "lap.bin", varied_samples(5)).has_value());
    LapMetadata metadata;
    metadata.track_name = "Example Ring";
    metadata.sample_count = 5;
    ASSERT_TRUE(write_lap_metadata(dir / "lap.json", metadata).has_value());

    const auto lap = read_lap_file(dir / "lap.bin");

    ASSERT_TRUE(lap.has_value()) << lap.error().message;
    EXPECT_EQ(lap->samples.size(), 5U);
    ASSERT_TRUE(lap->metadata.has_value());
    EXPECT_EQ(lap->metadata->track_name, "Example Ring");
    EXPECT_FALSE(lap->metadata_error.has_value());
}

TEST(LapFileReaderFiles, ALapWithoutMetadataStillReads) {
    const TempDir dir;
    ASSERT_TRUE(write_lap_telemetry(dir / "lap.bin", varied_samples(5)).has_value());

    const auto lap = read_lap_file(dir / "lap.bin");

    ASSERT_TRUE(lap.has_value());
    EXPECT_FALSE(lap->metadata.has_value());
    EXPECT_FALSE(lap->metadata_error.has_value());
    EXPECT_EQ(lap->metadata_path, dir / "lap.json");
}

TEST(LapFileReaderFiles, BrokenMetadataIsReportedBesideTheSamples) {
    const TempDir dir;
    ASSERT_TRUE(write_lap_telemetry(dir / "lap.bin", varied_samples(5)).has_value());
    testing::write_text(dir / "lap.json", "{\"simulator\": ");

    const auto lap = read_lap_file(dir / "lap.bin");

    ASSERT_TRUE(lap.has_value());
    EXPECT_EQ(lap->samples.size(), 5U);
    ASSERT_TRUE(lap->metadata_error.has_value());
    EXPECT_EQ(lap->metadata_error->kind, ReadErrorKind::MetadataInvalid);
    EXPECT_NE(lap->metadata_error->message.find("lap.json"), std::string::npos)
        << lap->metadata_error->message;
}

}  // namespace
}  // namespace corvel
