// The stand-in end to end in one process: lmu-sim runs on a thread under names of its own while
// an LmuAdapter connects to it and reads the session as corvel would.
#include <gtest/gtest.h>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "sim_bridge/lmu_adapter.hpp"
#include "simulator.hpp"
#include "test_names.hpp"

// GCC 12 (MinGW, sanitizers) inlines Asio's coroutine-frame allocator far enough to pair the
// frame's own operator delete with the global operator new inside it, and warns; a false positive.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace corvel::lmu_sim {
namespace {

using namespace std::chrono_literals;

struct Observed {
    std::optional<std::string> connect_error;
    std::vector<sim_bridge::TelemetrySnapshot> snapshots;
    std::optional<sim_bridge::SessionInfo> session;
    std::optional<sim_bridge::VehicleInfo> vehicle;
};

// Reads every 20 ms until a lap time has arrived (and a little longer), or the time is up.
asio::awaitable<void> observe(sim_bridge::LmuAdapter& adapter, Observed& out) {
    if (auto connected = co_await adapter.connect(); !connected) {
        out.connect_error = connected.error().display();
        co_return;
    }
    out.session = (co_await adapter.session_info()).value();
    out.vehicle = (co_await adapter.player_vehicle_info()).value();
    asio::steady_timer timer(co_await asio::this_coro::executor);
    const auto give_up = std::chrono::steady_clock::now() + 15s;
    std::optional<std::chrono::steady_clock::time_point> lap_seen;
    while (std::chrono::steady_clock::now() < give_up) {
        if (auto snapshot = co_await adapter.latest_telemetry()) {
            out.snapshots.push_back(*snapshot);
            if (snapshot->last_lap_time_s && !lap_seen) lap_seen = std::chrono::steady_clock::now();
        }
        if (lap_seen && std::chrono::steady_clock::now() - *lap_seen > 300ms) break;
        timer.expires_after(20ms);
        co_await timer.async_wait(asio::use_awaitable);
    }
}

TEST(LmuSimSmoke, AdapterConnectsAndReadsAPlausibleLap) {
    const std::string prefix = testing::unique_prefix("smoke");
    // A 3 s lap (on a 100 m track) and then exit: the whole test takes about four seconds.
    const std::vector<std::string> args = {
        "--quiet", "--name-prefix", prefix, "--keep-process-name", "--lap-time", "3", "--laps", "1"};
    int sim_status = -1;
    std::thread simulator([&] { sim_status = lmu_sim_main(args, "lmu-sim"); });

    sim_bridge::LmuAdapterOptions options;
    options.names = {prefix + "LMU_Data", prefix + "LMU_Data_Event", prefix + "LMU_SharedMemoryLockData",
                     prefix + "LMU_SharedMemoryLockEvent"};
    options.timings.attempt_pause = 20ms;
    options.timings.open_attempts = 250;
    options.process_check = [] { return sim_bridge::ProcessState::Running; };
    asio::io_context io;
    asio::io_context watchdog_io;  // never run: the watchdog is not under test here
    Observed seen;
    {
        sim_bridge::LmuAdapter adapter(watchdog_io.get_executor(), options);
        asio::co_spawn(io, observe(adapter, seen), asio::detached);
        io.run();
    }
    simulator.join();

    ASSERT_FALSE(seen.connect_error) << *seen.connect_error;
    EXPECT_EQ(sim_status, 0);
    ASSERT_TRUE(seen.session && seen.vehicle);
    EXPECT_EQ(seen.session->track_name, "Synthetic Ring");
    EXPECT_EQ(seen.session->track_layout, "Endurance");
    EXPECT_FLOAT_EQ(seen.session->track_length_m, 100.0f);
    EXPECT_TRUE(seen.session->in_realtime);
    EXPECT_EQ(seen.vehicle->driver_name, "Sim Driver");
    EXPECT_EQ(seen.vehicle->car_name, "Synthetic LMH");
    EXPECT_TRUE(seen.vehicle->is_player);

    ASSERT_GT(seen.snapshots.size(), 20u);
    for (const auto& s : seen.snapshots) {
        EXPECT_GE(s.speed_mps, 5.0f);
        EXPECT_LT(s.speed_mps, 100.0f);
        EXPECT_GE(s.throttle, 0.0f);
        EXPECT_LE(s.throttle, 1.0f);
        EXPECT_GE(s.brake, 0.0f);
        EXPECT_LE(s.brake, 1.0f);
        EXPECT_GE(s.gear, 1);
        EXPECT_LE(s.gear, 7);
        EXPECT_LE(s.engine_rpm, 9000.0f);
        EXPECT_GE(s.lap_fraction, 0.0f);
        EXPECT_LE(s.lap_fraction, 1.0f);
        EXPECT_TRUE(s.heading_rad);
    }
    EXPECT_LT(seen.snapshots.back().fuel_l, seen.snapshots.front().fuel_l);
    EXPECT_NE(seen.snapshots.back().pos_x_m, seen.snapshots.front().pos_x_m);
    const auto& last = seen.snapshots.back();
    ASSERT_TRUE(last.last_lap_time_s);
    EXPECT_EQ(last.lap_number, 1);
    EXPECT_NEAR(*last.last_lap_time_s, 3.0, 0.02);
}

}  // namespace
}  // namespace corvel::lmu_sim
