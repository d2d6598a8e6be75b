// Linux-only checks of the capture worker's thread: its name, and that a reconnect leaves
// exactly one of them (counted in /proc/self/task).
#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "await_on.hpp"
#include "sim_bridge/lmu_adapter.hpp"
#include "test_publisher.hpp"

namespace {

using namespace std::chrono_literals;

int threads_named(const std::string& name) {
    int count = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string line;
        if (std::getline(comm, line) && line == name) ++count;
    }
    return count;
}

// The worker names itself as it starts; waits for that, then counts.
int capture_threads_once_named() {
    while (threads_named("lmu-capture") == 0) std::this_thread::yield();
    return threads_named("lmu-capture");
}

TEST(LmuAdapterThreads, ReconnectLeavesExactlyOneNamedWorkerAndReleaseJoinsIt) {
    auto names = corvel_test::unique_lmu_names();
    corvel_test::TestPublisher publisher(names);
    publisher.write(1);
    sim_bridge::LmuAdapterOptions options;
    options.names = names;
    options.timings.worker_wait = 1ms;
    options.process_check = [] { return sim_bridge::ProcessState::Running; };
    asio::io_context io;
    asio::io_context idle_watchdogs;
    std::optional<sim_bridge::LmuAdapter> adapter(std::in_place, idle_watchdogs.get_executor(), options);

    ASSERT_TRUE(corvel_test::await_on(io, adapter->connect()));
    EXPECT_EQ(capture_threads_once_named(), 1);

    ASSERT_TRUE(corvel_test::await_on(io, adapter->connect()));
    EXPECT_EQ(capture_threads_once_named(), 1);

    adapter.reset();
    EXPECT_EQ(threads_named("lmu-capture"), 0);
}

}  // namespace
