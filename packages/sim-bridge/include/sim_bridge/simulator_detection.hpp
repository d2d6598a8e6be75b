// Which supported simulators run on this machine (from the system's process list) and
// whether each has published its shared memory; and whether LMU's process still runs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim_bridge {

// One-byte code; the LMU value 1 also stands in the lap file header.
enum class SimulatorKind : std::uint8_t {
    IRacing = 0,
    LMU = 1,
    AssettoCorsa = 2,
    AssettoCorsaEVO = 3,
    ACC = 4,
    RFactor2 = 5,
    AMS2 = 6,
    RRRE = 8,
    ForzaHorizon6 = 10,
};

struct DetectedSimulator {
    std::string process_name;
    bool shared_memory_ready = false;
    SimulatorKind kind = SimulatorKind::LMU;

    bool operator==(const DetectedSimulator&) const = default;
};

enum class ProcessState : std::uint8_t { Running, NotRunning, Unknown };

// True for LMU's executable names; `name` is already lower-cased.
[[nodiscard]] bool is_lmu_image_name(std::string_view name);

// The supported simulators found running, in the table's order. Never fails: a process
// list that cannot be taken gives an empty result.
[[nodiscard]] std::vector<DetectedSimulator> detect_simulators();

// Unknown when the process list cannot be taken.
[[nodiscard]] ProcessState is_lmu_process_running();

}  // namespace sim_bridge
