// LmuAdapter end to end against the in-process publisher: connect and its failures, the data
// operations on the cached block, the worker keeping it fresh, the watchdog and the release.
#include "sim_bridge/lmu_adapter.hpp"

#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <chrono>
#include <thread>

#include "await_on.hpp"
#include "manual_clock.hpp"
#include "test_publisher.hpp"

namespace {

using namespace std::chrono_literals;
using corvel_test::await_on;
using corvel_test::TestPublisher;
using sim_bridge::LmuAdapter;
using sim_bridge::LmuAdapterOptions;
using sim_bridge::ProcessState;
using sim_bridge::SimBridgeError;

SimBridgeError not_connected(std::string message) {
    return SimBridgeError(SimBridgeError::Kind::NotConnected, std::move(message));
}

// Short timings and a process check that never runs a command.
LmuAdapterOptions quick_options(sim_bridge::LmuObjectNames names) {
    LmuAdapterOptions options;
    options.names = std::move(names);
    options.timings.attempt_pause = 0ms;
    options.timings.worker_wait = 1ms;
    options.timings.watchdog_period = 0ms;
    options.timings.lock = {.spin_tries = 16, .wait = 1ms};
    options.process_check = [] { return ProcessState::Running; };
    return options;
}

class Adapter : public ::testing::Test {
  protected:
    // Runs the driver's side: connect and the data operations.
    asio::io_context io_;
    // Where each connect's watchdog goes; never run here unless a test says so.
    asio::io_context watchdog_io_;
    sim_bridge::LmuObjectNames names_ = corvel_test::unique_lmu_names();
    corvel_test::NameCleanup cleanup_{names_};
};

TEST_F(Adapter, DataOperationsFailBeforeConnect) {
    LmuAdapter adapter(watchdog_io_.get_executor(), quick_options(names_));

    EXPECT_FALSE(adapter.is_connected());
    EXPECT_EQ(await_on(io_, adapter.latest_telemetry()).error(), not_connected("LMU not connected"));
    EXPECT_EQ(await_on(io_, adapter.session_info()).error(), not_connected("LMU not connected"));
    EXPECT_EQ(await_on(io_, adapter.vehicle_info(1)).error(), not_connected("LMU not connected"));
    EXPECT_EQ(await_on(io_, adapter.player_vehicle_info()).error(), not_connected("LMU not connected"));
}

TEST_F(Adapter, GivesUpAfterTheLastAttemptAndLeavesNothingOpen) {
    LmuAdapter adapter(watchdog_io_.get_executor(), quick_options(names_));

    auto connected = await_on(io_, adapter.connect());

    ASSERT_FALSE(connected);
    EXPECT_EQ(connected.error(), not_connected("LMU shared memory (LMU_Data) not available"));
    EXPECT_FALSE(adapter.is_connected());
    EXPECT_FALSE(sim_bridge::platform::SharedMapping::open_read_only(names_.lock_data));
    EXPECT_FALSE(sim_bridge::platform::NamedEvent::open_for_waiting(names_.lock_event));
}

TEST_F(Adapter, TooSmallMappingIsNotAvailable) {
    TestPublisher publisher(names_, {.data_size = sim_bridge::lmu::kBlockSize - 4096});
    LmuAdapter adapter(watchdog_io_.get_executor(), quick_options(names_));

    auto connected = await_on(io_, adapter.connect());

    ASSERT_FALSE(connected);
    EXPECT_EQ(connected.error(), not_connected("LMU shared memory (LMU_Data) not available"));
}

TEST_F(Adapter, ConnectsOnceTheObjectsAppear) {
    auto options = quick_options(names_);
    options.timings.attempt_pause = 20ms;
    options.timings.open_attempts = 1000;
    LmuAdapter adapter(watchdog_io_.get_executor(), options);
    std::optional<sim_bridge::BridgeResult<sim_bridge::Unit>> connected;
    asio::co_spawn(io_, adapter.connect(), [&](std::exception_ptr, auto result) { connected = result; });

    // Runs the first attempt (and any that fit in), which find nothing; connect is now pausing.
    ASSERT_GT(io_.poll(), 0u);
    ASSERT_FALSE(connected);
    TestPublisher publisher(names_);
    publisher.write(5);
    io_.run();

    ASSERT_TRUE(connected);
    EXPECT_TRUE(*connected);
    EXPECT_TRUE(adapter.is_connected());
}

TEST_F(Adapter, LockHeldByAnotherPartyFailsTheFirstCopy) {
    TestPublisher publisher(names_);
    publisher.busy().store(1);
    LmuAdapter adapter(watchdog_io_.get_executor(), quick_options(names_));

    auto connected = await_on(io_, adapter.connect());

    ASSERT_FALSE(connected);
    EXPECT_EQ(
        connected.error(),
        not_connected("Could not take initial LMU snapshot: timed out acquiring LMU shared-memory lock"));
    EXPECT_FALSE(adapter.is_connected());
}

TEST_F(Adapter, LockLeftByADeadPartyIsClearedByALaterConnectRoundWhichTheNextOneFollows) {
    TestPublisher publisher(names_);
    publisher.write(5, "Monza");
    publisher.busy().store(1);
    corvel_test::ManualClock clock;
    auto options = quick_options(names_);
    options.clock = clock.function();
    LmuAdapter adapter(watchdog_io_.get_executor(), options);
    const auto timed_out =
        not_connected("Could not take initial LMU snapshot: timed out acquiring LMU shared-memory lock");

    // The driver's rounds, 2 s apart: the first finds the lock held, the second has seen it held
    // long enough and clears it (still failing itself), the third connects.
    EXPECT_EQ(await_on(io_, adapter.connect()).error(), timed_out);
    EXPECT_EQ(publisher.busy().load(), 1);
    clock.advance(2000ms);
    EXPECT_EQ(await_on(io_, adapter.connect()).error(), timed_out);
    EXPECT_EQ(publisher.busy().load(), 0);
    clock.advance(2000ms);

    ASSERT_TRUE(await_on(io_, adapter.connect()));
    EXPECT_EQ(adapter.lock_clears(), 1u);
    EXPECT_EQ(await_on(io_, adapter.session_info())->track_name, "Monza");
}

TEST_F(Adapter, ServesTheFirstBlockRightAfterConnect) {
    TestPublisher publisher(names_);
    publisher.write(5, "Monza");
    LmuAdapter adapter(watchdog_io_.get_executor(), quick_options(names_));

    ASSERT_TRUE(await_on(io_, adapter.connect()));

    auto session = await_on(io_, adapter.session_info());
    ASSERT_TRUE(session);
    EXPECT_EQ(session->track_name, "Monza");
    EXPECT_TRUE(await_on(io_, adapter.latest_telemetry()));
}

TEST_F(Adapter, WorkerPublishesWhatTheSimulatorSignals) {
    TestPublisher publisher(names_);
    publisher.write(1, "Before");
    LmuAdapter adapter(watchdog_io_.get_executor(), quick_options(names_));
    ASSERT_TRUE(await_on(io_, adapter.connect()));

    publisher.publish(2, "After");
    // The worker runs on its own thread: wait until it has copied the signalled block.
    std::string track;
    while (track != "After") {
        auto session = await_on(io_, adapter.session_info());
        ASSERT_TRUE(session);
        track = session->track_name;
        std::this_thread::yield();
    }

    EXPECT_TRUE(adapter.is_connected());
}

TEST_F(Adapter, PlayerVehicleInfoIsEmptyWithoutAPlayerEntry) {
    TestPublisher publisher(names_);
    publisher.write(1);
    publisher.set_player_entry(std::nullopt);
    LmuAdapter adapter(watchdog_io_.get_executor(), quick_options(names_));
    ASSERT_TRUE(await_on(io_, adapter.connect()));

    auto player = await_on(io_, adapter.player_vehicle_info());

    ASSERT_TRUE(player);
    EXPECT_EQ(*player, sim_bridge::VehicleInfo{});
}

TEST_F(Adapter, PlayerVehicleInfoDescribesTheFlaggedEntry) {
    TestPublisher publisher(names_);
    publisher.write(1);
    publisher.set_player_entry(17);
    LmuAdapter adapter(watchdog_io_.get_executor(), quick_options(names_));
    ASSERT_TRUE(await_on(io_, adapter.connect()));

    auto player = await_on(io_, adapter.player_vehicle_info());

    ASSERT_TRUE(player);
    EXPECT_EQ(player->slot_id, 17u);
    EXPECT_TRUE(player->is_player);
}

TEST_F(Adapter, SecondConnectReplacesTheFirstAndStaysConnected) {
    TestPublisher publisher(names_);
    publisher.write(1);
    LmuAdapter adapter(watchdog_io_.get_executor(), quick_options(names_));
    ASSERT_TRUE(await_on(io_, adapter.connect()));

    ASSERT_TRUE(await_on(io_, adapter.connect()));

    EXPECT_TRUE(adapter.is_connected());
    EXPECT_TRUE(await_on(io_, adapter.latest_telemetry()));
}

TEST_F(Adapter, WatchdogDisconnectsWhenTheProcessIsGone) {
    TestPublisher publisher(names_);
    publisher.write(1);
    auto options = quick_options(names_);
    options.process_check = [] { return ProcessState::NotRunning; };
    // The watchdog shares the test's context: running it to the end runs the watchdog out.
    LmuAdapter adapter(io_.get_executor(), options);
    ASSERT_TRUE(await_on(io_, adapter.connect()));

    io_.run();

    EXPECT_FALSE(adapter.is_connected());
    EXPECT_EQ(await_on(io_, adapter.latest_telemetry()).error(), not_connected("LMU not connected"));
}

TEST_F(Adapter, WatchdogLeavesTheConnectionWhileTheProcessRuns) {
    TestPublisher publisher(names_);
    publisher.write(1);
    auto options = quick_options(names_);
    int checks = 0;
    options.process_check = [&] {
        if (++checks == 3) io_.stop();
        return ProcessState::Running;
    };
    LmuAdapter adapter(io_.get_executor(), options);
    ASSERT_TRUE(await_on(io_, adapter.connect()));

    io_.run();

    EXPECT_EQ(checks, 3);
    EXPECT_TRUE(adapter.is_connected());
}

TEST_F(Adapter, ReleasedAdapterLetsItsWatchdogEnd) {
    TestPublisher publisher(names_);
    publisher.write(1);
    int checks = 0;
    auto options = quick_options(names_);
    options.process_check = [&] {
        ++checks;
        return ProcessState::NotRunning;
    };
    {
        LmuAdapter adapter(io_.get_executor(), options);
        ASSERT_TRUE(await_on(io_, adapter.connect()));
    }

    io_.run();  // the watchdog sees `connected` false at its first pass

    EXPECT_EQ(checks, 0);
}

}  // namespace
