// Error texts that no other test produces: the display form of every SimBridgeError kind,
// and the lap file writer's zero-length write of a frame too large for its buffer.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "lap_format/lap_file_writer.hpp"
#include "sim_bridge/sim_bridge_error.hpp"

namespace corvel::reliability {
namespace {

using sim_bridge::SimBridgeError;

TEST(ErrorTexts, EveryAdapterErrorKindHasItsDisplayPrefixAndDiagnosticName) {
    struct Row {
        SimBridgeError::Kind kind;
        const char* display;
        const char* diagnostic;
    };
    const Row rows[] = {
        {SimBridgeError::Kind::NotConnected, "Not connected: m", "NotConnected(\"m\")"},
        {SimBridgeError::Kind::UnsupportedPlatform, "Unsupported platform: m", "UnsupportedPlatform(\"m\")"},
        {SimBridgeError::Kind::FeatureUnavailable, "Feature unavailable: m", "FeatureUnavailable(\"m\")"},
        {SimBridgeError::Kind::ParseError, "Parse error: m", "ParseError(\"m\")"},
        {SimBridgeError::Kind::Timeout, "Timeout: m", "Timeout(\"m\")"},
        {SimBridgeError::Kind::AdapterUnavailable, "Adapter unavailable: m", "AdapterUnavailable(\"m\")"},
        {SimBridgeError::Kind::SimulatorError, "Simulator error: m", "SimulatorError(\"m\")"},
        {SimBridgeError::Kind::Internal, "Internal error: m", "Internal(\"m\")"},
        {SimBridgeError::Kind::Other, "m", "Other(\"m\")"},
    };
    for (const Row& row : rows) {
        const SimBridgeError error(row.kind, "m");
        EXPECT_EQ(error.display(), row.display);
        EXPECT_EQ(error.diagnostic(), row.diagnostic);
    }
}

// Takes the first `accept` bytes, then nothing more: a disk that stops taking data.
class StallingSink final : public ByteSink {
  public:
    explicit StallingSink(std::size_t accept) : left_(accept) {}
    std::expected<std::size_t, IoError> write(std::span<const std::byte> bytes) override {
        const std::size_t n = std::min(bytes.size(), left_);
        left_ -= n;
        return n;
    }

  private:
    std::size_t left_;
};

// Samples that do not compress, so the frame is larger than the writer's 8192-byte buffer.
std::vector<LapSample> incompressible_samples(std::size_t count) {
    std::mt19937 random(7);
    std::vector<LapSample> samples(count);
    for (LapSample& s : samples) {
        s.session_time = static_cast<float>(random());
        s.pos_x = static_cast<float>(random());
        s.pos_z = static_cast<float>(random());
        s.aux_counter = static_cast<std::uint32_t>(random());
        s.engine_rpm = static_cast<std::uint16_t>(random());
    }
    return samples;
}

TEST(ErrorTexts, AFrameWrittenStraightThroughThatStallsIsAZeroWriteOfTheWholeBuffer) {
    const auto samples = incompressible_samples(2000);
    StallingSink sink(kLapFileHeaderSize);  // the buffered header goes out, the frame does not

    const auto written = write_lap_telemetry_to(sink, samples);

    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().diagnostic(),
              "Io(Error { kind: WriteZero, message: \"failed to write whole buffer\" })");
}

TEST(ErrorTexts, AStallBeforeTheHeaderIsOutIsAZeroWriteOfTheBufferedData) {
    const auto samples = incompressible_samples(2000);
    StallingSink sink(0);

    const auto written = write_lap_telemetry_to(sink, samples);

    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().display(), "IO error: failed to write the buffered data");
}

}  // namespace
}  // namespace corvel::reliability
