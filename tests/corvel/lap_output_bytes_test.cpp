// The bytes a capture writes, pinned: a lap built the way the capture tool builds one (samples
// from snapshots, the metadata from session, vehicle and lap, the names from a fixed clock)
// and written by the real writers must give exactly the header, sample block and document
// that earlier versions wrote. Guards refactorings of the lap output against any change of a
// byte. The sample block is compared decompressed, so a newer zstd cannot fail it; the
// expected hashes come from glibc's libm (the synthetic lap uses sin and cos), so Linux only.
#include <gtest/gtest.h>
#include <zstd.h>

#include <cstdint>

#include "corvel_lap/synthetic_lap.hpp"
#include "support/test_files.hpp"

namespace corvel {
namespace {

std::uint64_t fnv1a(std::span<const std::byte> bytes) {
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (const std::byte b : bytes) {
        hash ^= std::to_integer<std::uint64_t>(b);
        hash *= 0x100000001b3u;
    }
    return hash;
}

// The header followed by the decompressed sample block.
testing::Bytes header_and_block(const testing::Bytes& file) {
    const std::size_t size = ZSTD_getFrameContentSize(file.data() + 16, file.size() - 16);
    testing::Bytes out(file.begin(), file.begin() + 16);
    out.resize(16 + size);
    EXPECT_EQ(ZSTD_decompress(out.data() + 16, size, file.data() + 16, file.size() - 16), size);
    return out;
}

TEST(LapOutputBytes, CaptureToolWritesTheSameBytesAsBefore) {
    struct Case {
        testing::SyntheticLapOptions options;
        std::uint64_t lap_hash;  // header + decompressed block
        std::size_t lap_size;
        std::uint64_t metadata_hash;
        std::size_t metadata_size;
    };
    testing::SyntheticLapOptions other_lap;
    other_lap.lap = 4;
    other_lap.grip_wobble = 0.06;
    other_lap.brake_scale = 0.93;
    other_lap.yellow_sector = false;
    const Case cases[] = {
        {{}, 0x050e4e1ce89a08b4u, 203056, 0x39a4419d33c2b9f3u, 873},
        {other_lap, 0xf172829fe8a16749u, 203876, 0x1c437ccfc5b24a71u, 872},
    };
    for (const Case& c : cases) {
        testing::TempDir dir;
        const auto bin = testing::write_synthetic_lap(dir.path(), c.options);
        ASSERT_TRUE(bin) << bin.error();
        const testing::Bytes lap = header_and_block(testing::read_bytes(*bin));
        auto json = *bin;
        const testing::Bytes metadata = testing::read_bytes(json.replace_extension(".json"));
        EXPECT_EQ(lap.size(), c.lap_size) << "lap " << c.options.lap;
        EXPECT_EQ(fnv1a(lap), c.lap_hash) << "lap " << c.options.lap;
        EXPECT_EQ(metadata.size(), c.metadata_size) << "lap " << c.options.lap;
        EXPECT_EQ(fnv1a(metadata), c.metadata_hash) << "lap " << c.options.lap;
    }
}

}  // namespace
}  // namespace corvel
