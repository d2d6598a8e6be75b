// floor-reader: the least a reader built like corvel can cost on this machine, measured next to
// it. It has corvel's wake-up pattern and nothing else: one thread wakes 100 times a second and
// copies the published block from LMU_Data into a buffer allocated once (no lock, no event, no
// allocation, no conversion), another wakes every poll interval and does nothing. What corvel
// costs above this is its own work; the floor itself is the machine's price of waking up.
//
//   floor-reader SECONDS [POLL_MS]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "sim_bridge/lmu/block_layout.hpp"
#include "sim_bridge/platform/named_objects.hpp"

namespace {

using Clock = std::chrono::steady_clock;

void copy_loop(const sim_bridge::platform::SharedMapping& data, Clock::time_point end) {
    std::vector<std::byte> block(sim_bridge::lmu::kBlockSize);
    const std::size_t size = std::min(block.size(), data.size());
    auto due = Clock::now();
    while (due < end) {
        due += std::chrono::milliseconds(10);
        std::this_thread::sleep_until(due);
        std::memcpy(block.data(), data.data(), size);
        std::atomic_signal_fence(std::memory_order_seq_cst);  // keep the copy
    }
}

void poll_loop(std::chrono::milliseconds poll, Clock::time_point end) {
    while (Clock::now() < end) std::this_thread::sleep_for(poll);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: floor-reader SECONDS [POLL_MS]\n");
        return 2;
    }
    const auto seconds = std::chrono::duration<double>(std::strtod(argv[1], nullptr));
    const auto poll = std::chrono::milliseconds(argc > 2 ? std::strtol(argv[2], nullptr, 10) : 16);
    auto data = sim_bridge::platform::SharedMapping::open_read_only("LMU_Data");
    if (!data) {
        std::fprintf(stderr, "floor-reader: LMU_Data is not published: %s\n", data.error().message().c_str());
        return 1;
    }
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(seconds);
    std::thread copier(copy_loop, std::cref(*data), end);
    poll_loop(poll, end);
    copier.join();
    return 0;
}
