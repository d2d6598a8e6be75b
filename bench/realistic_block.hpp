// Inputs for the micro-benchmarks: a full LMU data block (104 cars, the player's last in both
// lists, every text filled) and a lap's worth of plausible snapshots, so that the benchmarks
// measure what a busy race session costs rather than an empty block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim_bridge/lmu/block_layout.hpp"
#include "sim_bridge/telemetry_snapshot.hpp"

namespace corvel::bench {

// Slot id of the player's car in the realistic block.
inline constexpr std::uint32_t kPlayerSlot = 1104;
// A 3.5-minute lap polled at 62 Hz.
inline constexpr std::size_t kLapSamples = 13'000;

class RealisticBlock {
  public:
    RealisticBlock();

    [[nodiscard]] sim_bridge::lmu::BlockView view() const {
        return sim_bridge::lmu::BlockView(bytes_.data(), sim_bridge::lmu::kBlockSize);
    }
    [[nodiscard]] const std::vector<std::byte>& bytes() const { return bytes_; }

  private:
    std::vector<std::byte> bytes_;
};

// Snapshot `index` of a lap of `count` polls: the car moves round a 13.6 km circuit with
// changing speed, inputs and gear, on lap `lap_number` as the simulator counts it.
[[nodiscard]] sim_bridge::TelemetrySnapshot lap_snapshot(std::size_t index, std::size_t count,
                                                         std::int32_t lap_number);

}  // namespace corvel::bench
