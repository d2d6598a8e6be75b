// The adapter's default options open LMU's own object names. Uses the fixed names, so it never
// runs alongside another test that does.
#include <gtest/gtest.h>

#include <asio/io_context.hpp>

#include "await_on.hpp"
#include "sim_bridge/lmu_adapter.hpp"
#include "test_publisher.hpp"

namespace {

using namespace std::chrono_literals;

TEST(LmuAdapterFixedNames, DefaultOptionsConnectToLmuObjects) {
    const sim_bridge::LmuObjectNames lmu_names;
    // Objects a crashed earlier run left behind (Linux keeps them) would start with a held lock.
    { corvel_test::NameCleanup stale(lmu_names); }
    corvel_test::TestPublisher publisher(lmu_names);
    publisher.write(1, "Le Mans");
    sim_bridge::LmuAdapterOptions options;  // default names
    options.timings.attempt_pause = 0ms;
    options.timings.worker_wait = 1ms;
    options.process_check = [] { return sim_bridge::ProcessState::Running; };
    asio::io_context io;
    asio::io_context idle_watchdogs;
    sim_bridge::LmuAdapter adapter(idle_watchdogs.get_executor(), options);

    ASSERT_TRUE(corvel_test::await_on(io, adapter.connect()));

    auto session = corvel_test::await_on(io, adapter.session_info());
    ASSERT_TRUE(session);
    EXPECT_EQ(session->track_name, "Le Mans");
}

}  // namespace
