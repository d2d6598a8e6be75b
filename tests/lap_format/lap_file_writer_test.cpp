// The raw lap telemetry file: layout, round trip through zstd, determinism, and how the
// writer reports sinks that fail, take nothing, or take a little at a time.
#include "lap_format/lap_file_writer.hpp"

#include <gtest/gtest.h>
#include <zstd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "lap_format/buffered_writer.hpp"
#include "support/test_files.hpp"

namespace corvel {
namespace {

using testing::read_bytes;
using testing::TempDir;

// Samples that vary like driving does; `noisy` makes them compress poorly.
std::vector<LapSample> make_samples(std::size_t count, bool noisy = false) {
    std::vector<LapSample> samples;
    std::minstd_rand random(7);
    for (std::size_t i = 0; i < count; ++i) {
        LapSample s;
        s.session_time = static_cast<float>(100.0 + 0.016 * static_cast<double>(i));
        s.lap_fraction = static_cast<float>(i) / static_cast<float>(count);
        s.lap = 3;
        s.throttle = static_cast<std::uint8_t>(i % 100 * 255 / 100);
        s.speed_kmh = static_cast<std::uint16_t>(80 + i % 200);
        s.gear = static_cast<std::uint8_t>(1 + i % 6);
        s.fuel_dl = static_cast<std::uint16_t>(500 - i / 100);
        s.pos_x = noisy ? static_cast<float>(random()) : static_cast<float>(i) * 0.5f;
        s.pos_z = noisy ? static_cast<float>(random()) : -static_cast<float>(i) * 0.25f;
        s.flags = sample_flag::kOnTrack;
        samples.push_back(s);
    }
    return samples;
}

std::vector<std::byte> decompress(std::span<const std::byte> frame) {
    const unsigned long long size = ZSTD_getFrameContentSize(frame.data(), frame.size());
    EXPECT_NE(size, ZSTD_CONTENTSIZE_UNKNOWN);
    EXPECT_NE(size, ZSTD_CONTENTSIZE_ERROR);
    std::vector<std::byte> block(static_cast<std::size_t>(size));
    const std::size_t got = ZSTD_decompress(block.data(), block.size(), frame.data(), frame.size());
    EXPECT_FALSE(ZSTD_isError(got)) << ZSTD_getErrorName(got);
    block.resize(got);
    return block;
}

template <class T>
T read_le(std::span<const std::byte> bytes, std::size_t offset) {
    T value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        value = static_cast<T>(value |
                               static_cast<T>(std::to_integer<std::uint64_t>(bytes[offset + i]) << (8 * i)));
    }
    return value;
}

// The system's code for an interrupted write: a cancelled write on Windows, a signal on POSIX.
IoError interrupted_write() {
#ifdef _WIN32
    return IoError(std::error_code(995, std::system_category()));  // ERROR_OPERATION_ABORTED
#else
    return IoError(std::error_code(EINTR, std::system_category()));
#endif
}

// Records what reaches it; can take only a few bytes per call, report interruptions,
// take nothing, or fail.
class ScriptedSink final : public ByteSink {
  public:
    std::size_t max_per_write = SIZE_MAX;
    bool interrupt_every_other = false;
    // Interruptions (interrupted_write()) before each write that takes bytes; SIZE_MAX: all.
    std::size_t interruptions_before_each_take = 0;
    bool take_nothing = false;
    std::optional<IoError> failure;

    std::vector<std::byte> received;
    std::vector<std::size_t> write_sizes;

    std::expected<std::size_t, IoError> write(std::span<const std::byte> bytes) override {
        write_sizes.push_back(bytes.size());
        if (failure) return std::unexpected(*failure);
        if (interrupt_every_other && (calls_++ % 2 == 0)) {
            return std::unexpected(IoError(IoErrorKind::Interrupted, "interrupted"));
        }
        if (interruptions_ < interruptions_before_each_take) {
            ++interruptions_;
            return std::unexpected(interrupted_write());
        }
        interruptions_ = 0;
        if (take_nothing) return 0;
        const std::size_t n = std::min(bytes.size(), max_per_write);
        received.insert(received.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
        return n;
    }

  private:
    std::size_t calls_ = 0;
    std::size_t interruptions_ = 0;
};

TEST(LapFile, DecodesBackToTheSamples) {
    TempDir dir;
    const auto path = dir.path() / "lap.bin";
    const std::vector<LapSample> samples = make_samples(350);

    ASSERT_TRUE(write_lap_telemetry(path, samples).has_value());

    const std::vector<std::byte> file = read_bytes(path);
    ASSERT_GT(file.size(), kLapFileHeaderSize);
    const unsigned char expected_header[] = {0x56, 0x4B, 0x54, 0x46, 0x05, 0x01, 0x3C, 0x00,
                                             0x5E, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};  // 350 = 0x15E
    EXPECT_EQ(std::memcmp(file.data(), expected_header, sizeof expected_header), 0);

    const std::vector<std::byte> block = decompress(std::span(file).subspan(kLapFileHeaderSize));
    ASSERT_EQ(block.size(), 8 + 41 * samples.size());
    EXPECT_EQ(read_le<std::uint64_t>(block, 0), samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto record = std::span(block).subspan(8 + 41 * i).first<kLapSampleSize>();
        ASSERT_EQ(decode_lap_sample(record), samples[i]) << "sample " << i;
    }
}

TEST(LapFile, FrameStatesItsSizeAndHasNoChecksum) {
    const std::vector<LapSample> samples = make_samples(300);
    auto frame = compress_sample_block(encode_sample_block(samples));
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(ZSTD_getFrameContentSize(frame->data(), frame->size()), 8 + 41 * samples.size());
    const unsigned descriptor = std::to_integer<unsigned>((*frame)[4]);  // after the 4-byte magic
    EXPECT_EQ(descriptor & 0x04u, 0u) << "checksum flag";
    EXPECT_EQ(descriptor & 0x03u, 0u) << "dictionary id";
}

TEST(LapFile, SameSamplesGiveIdenticalFiles) {
    TempDir dir;
    const std::vector<LapSample> samples = make_samples(400);
    ASSERT_TRUE(write_lap_telemetry(dir.path() / "a.bin", samples).has_value());
    ASSERT_TRUE(write_lap_telemetry(dir.path() / "b.bin", samples).has_value());
    EXPECT_EQ(read_bytes(dir.path() / "a.bin"), read_bytes(dir.path() / "b.bin"));
}

TEST(LapFile, ReplacesAnExistingFile) {
    TempDir dir;
    const auto path = dir.path() / "lap.bin";
    testing::write_text(path, std::string(100'000, 'x'));
    const std::vector<LapSample> samples = make_samples(300);
    ASSERT_TRUE(write_lap_telemetry(path, samples).has_value());

    ScriptedSink expected;
    ASSERT_TRUE(write_lap_telemetry_to(expected, samples).has_value());
    EXPECT_EQ(read_bytes(path), expected.received);
}

TEST(LapFile, MissingDirectoryIsAnIoErrorAndCreatesNothing) {
    TempDir dir;
    const auto path = dir.path() / "absent" / "lap.bin";
    auto result = write_lap_telemetry(path, make_samples(300));
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind(), AppError::Kind::Io);
    EXPECT_EQ(result.error().io_error()->kind(), IoErrorKind::NotFound);
    EXPECT_TRUE(result.error().display().starts_with("IO error: ")) << result.error().display();
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "absent"));
}

TEST(LapFile, HeaderRejectsCountsBeyond32Bits) {
    auto header = encode_lap_file_header(std::size_t{1} << 32);
    ASSERT_FALSE(header.has_value());
    EXPECT_EQ(header.error().kind(), AppError::Kind::InvalidData);
    EXPECT_TRUE(header.error().message()->starts_with("Failed to serialize header: "));
}

TEST(LapFileWriter, CompressionFailureIsInvalidDataAndWritesNothing) {
    ScriptedSink sink;
    const CompressFn failing =
        [](std::span<const std::byte>) -> std::expected<std::vector<std::byte>, std::string> {
        return std::unexpected("Destination buffer is too small");
    };
    auto result = write_lap_telemetry_to(sink, make_samples(300), failing);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().display(),
              "Invalid data: Failed to compress samples: Destination buffer is too small");
    EXPECT_TRUE(sink.write_sizes.empty());
}

TEST(LapFileWriter, SinkThatTakesNothingFailsTheFlush) {
    ScriptedSink sink;
    sink.take_nothing = true;
    auto result = write_lap_telemetry_to(sink, make_samples(300));
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().diagnostic(),
              "Io(Error { kind: WriteZero, message: \"failed to write the buffered data\" })");
}

TEST(LapFileWriter, SinkErrorIsPassedUp) {
    ScriptedSink sink;
    sink.failure = IoError(std::error_code(ENOSPC, std::generic_category()));
    auto result = write_lap_telemetry_to(sink, make_samples(300));
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().io_error()->kind(), IoErrorKind::StorageFull);
}

TEST(LapFileWriter, ShortAndInterruptedWritesStillDeliverEverything) {
    const std::vector<LapSample> samples = make_samples(300, /*noisy=*/true);
    ScriptedSink whole;
    ASSERT_TRUE(write_lap_telemetry_to(whole, samples).has_value());

    ScriptedSink trickle;
    trickle.max_per_write = 1000;
    trickle.interrupt_every_other = true;
    ASSERT_TRUE(write_lap_telemetry_to(trickle, samples).has_value());
    EXPECT_EQ(trickle.received, whole.received);
}

TEST(LapFileWriter, SmallFrameGoesOutInOneWrite) {
    ScriptedSink sink;
    ASSERT_TRUE(write_lap_telemetry_to(sink, make_samples(300)).has_value());
    ASSERT_LT(sink.received.size(), kWriteBufferSize);
    EXPECT_EQ(sink.write_sizes, std::vector<std::size_t>{sink.received.size()});
}

TEST(LapFileWriter, LargeFrameIsWrittenStraightAfterTheHeader) {
    ScriptedSink sink;
    ASSERT_TRUE(write_lap_telemetry_to(sink, make_samples(2000, /*noisy=*/true)).has_value());
    ASSERT_GT(sink.received.size(), kWriteBufferSize + kLapFileHeaderSize);
    EXPECT_EQ(sink.write_sizes,
              (std::vector<std::size_t>{kLapFileHeaderSize, sink.received.size() - kLapFileHeaderSize}));
}

TEST(BufferedWriter, KeepsWhatFitsAndFlushesBeforeWhatDoesNot) {
    ScriptedSink sink;
    const std::vector<std::byte> chunk(30, std::byte{1});
    {
        BufferedWriter writer(sink, 64);
        ASSERT_TRUE(writer.write(chunk).has_value());
        ASSERT_TRUE(writer.write(chunk).has_value());
        EXPECT_TRUE(sink.write_sizes.empty());
        ASSERT_TRUE(writer.write(chunk).has_value());  // 90 > 64: the first 60 go out
        EXPECT_EQ(sink.write_sizes, std::vector<std::size_t>{60});
        EXPECT_EQ(writer.buffered(), 30u);
    }
    // Dropping the writer writes out the rest.
    EXPECT_EQ(sink.write_sizes, (std::vector<std::size_t>{60, 30}));
}

TEST(BufferedWriter, FailedFlushKeepsOnlyWhatDidNotGoOut) {
    ScriptedSink sink;
    sink.max_per_write = 10;
    BufferedWriter writer(sink, 64);
    ASSERT_TRUE(writer.write(std::vector<std::byte>(25, std::byte{2})).has_value());
    ASSERT_TRUE(writer.flush().has_value());
    EXPECT_EQ(sink.received.size(), 25u);
    EXPECT_EQ(sink.write_sizes, (std::vector<std::size_t>{25, 15, 5}));

    ASSERT_TRUE(writer.write(std::vector<std::byte>(5, std::byte{3})).has_value());
    sink.take_nothing = true;
    auto result = writer.flush();
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().display(), "failed to write the buffered data");
    EXPECT_EQ(writer.buffered(), 5u);
}

TEST(InterruptedWrites, AreClassedAsInterrupted) {
    EXPECT_EQ(interrupted_write().kind(), IoErrorKind::Interrupted);
}

TEST(InterruptedWrites, FlushGivesUpAfterTheBoundWithTheSystemsError) {
    ScriptedSink sink;
    sink.interruptions_before_each_take = SIZE_MAX;
    BufferedWriter writer(sink, 64);
    ASSERT_TRUE(writer.write(std::vector<std::byte>(25, std::byte{4})).has_value());

    auto result = writer.flush();

    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), interrupted_write());
    EXPECT_EQ(sink.write_sizes.size(), static_cast<std::size_t>(kInterruptedWritesInARow));
    EXPECT_EQ(writer.buffered(), 25u);
}

TEST(InterruptedWrites, WriteStraightThroughGivesUpAfterTheBoundWithTheSystemsError) {
    ScriptedSink sink;
    sink.interruptions_before_each_take = SIZE_MAX;
    BufferedWriter writer(sink, 64);

    auto result = writer.write(std::vector<std::byte>(100, std::byte{5}));  // above the capacity

    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), interrupted_write());
    EXPECT_EQ(sink.write_sizes.size(), static_cast<std::size_t>(kInterruptedWritesInARow));
}

TEST(InterruptedWrites, JustUnderTheBoundBeforeEveryWriteStillDeliverEverything) {
    const std::vector<LapSample> samples = make_samples(2000, /*noisy=*/true);  // header buffered, frame straight
    ScriptedSink whole;
    ASSERT_TRUE(write_lap_telemetry_to(whole, samples).has_value());

    ScriptedSink stuttering;
    stuttering.max_per_write = 1000;
    stuttering.interruptions_before_each_take = kInterruptedWritesInARow - 1;
    ASSERT_TRUE(write_lap_telemetry_to(stuttering, samples).has_value());

    EXPECT_EQ(stuttering.received, whole.received);
}

TEST(InterruptedWrites, ALapFileThatCannotBeWrittenReportsTheInterruption) {
    ScriptedSink sink;
    sink.interruptions_before_each_take = SIZE_MAX;

    auto result = write_lap_telemetry_to(sink, make_samples(300));

    ASSERT_FALSE(result.has_value());
    ASSERT_NE(result.error().io_error(), nullptr);
    EXPECT_EQ(*result.error().io_error(), interrupted_write());
}

}  // namespace
}  // namespace corvel
