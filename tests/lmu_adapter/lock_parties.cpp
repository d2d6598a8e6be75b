// The lock tests' simulator and lock holders.
#include "lock_parties.hpp"

#include <cstring>

namespace corvel_test {
namespace {

using namespace std::chrono_literals;

std::atomic_ref<std::int32_t> word_at(std::byte* words, std::size_t offset) {
    return std::atomic_ref<std::int32_t>(*reinterpret_cast<std::int32_t*>(words + offset));
}

bool try_take(std::byte* lock_words) {
    std::int32_t expected = 0;
    return word_at(lock_words, 4).compare_exchange_strong(expected, 1);
}

void release(const LockedBlock& block) {
    word_at(block.lock_words, 4).store(0);
    if (word_at(block.lock_words, 0).load() > 0) (void)block.lock_event->signal();
}

void take(const LockedBlock& block) {
    while (!try_take(block.lock_words)) std::this_thread::yield();
}

void put_words(std::byte* data, std::uint32_t scoring, std::uint32_t telemetry) {
    std::memcpy(data + sim_bridge::lmu::header::kScoringEventWord, &scoring, 4);
    std::memcpy(data + sim_bridge::lmu::header::kTelemetryEventWord, &telemetry, 4);
}

}  // namespace

LockedBlock locked_block_of(const TestPublisher& publisher) {
    return {publisher.lock_words(), &publisher.lock_event(), publisher.data_bytes()};
}

void hold_writing_pattern(const LockedBlock& block, std::chrono::milliseconds hold) {
    take(block);
    const auto until = std::chrono::steady_clock::now() + hold;
    // Far from the simulator's values, and out of step half of the time.
    for (std::uint32_t n = 0x40000000; std::chrono::steady_clock::now() < until; ++n) {
        put_words(block.data, n, n + 1);
        std::this_thread::sleep_for(1ms);
        put_words(block.data, n + 1, n + 1);
        std::this_thread::sleep_for(1ms);
    }
    release(block);
}

void take_lock_for_good(const LockedBlock& block) {
    take(block);
}

bool is_torn(sim_bridge::lmu::BlockView block) {
    std::uint32_t scoring = 0;
    std::memcpy(&scoring, block.data() + sim_bridge::lmu::header::kScoringEventWord, 4);
    return scoring != update_word_of(block);
}

TickingSimulator::TickingSimulator(TestPublisher& publisher)
    : publisher_(publisher), thread_([this] { run(); }) {}

TickingSimulator::~TickingSimulator() {
    stop_.store(true);
    thread_.join();
}

void TickingSimulator::run() {
    const LockedBlock block = locked_block_of(publisher_);
    auto next = std::chrono::steady_clock::now();
    while (!stop_.load()) {
        // A short spin, as a writer that would rather skip a frame than wait.
        for (int tries = 0; tries < 1000; ++tries) {
            if (!try_take(block.lock_words)) continue;
            const std::uint32_t value = written_.load() + 1;
            put_words(block.data, value, value);
            release(block);
            written_.store(value);
            break;
        }
        (void)publisher_.data_event().signal();
        next += 10ms;
        std::this_thread::sleep_until(next);
    }
}

}  // namespace corvel_test
