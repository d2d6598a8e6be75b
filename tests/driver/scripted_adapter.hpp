// A SimAdapter for driver tests that plays back a script: connect results, session
// answers, a stream of snapshots, and when it stops being connected. Each call may also move
// a fake clock forward, the way the real adapter's calls take time.
#pragma once

#include <asio/awaitable.hpp>
#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <chrono>
#include <deque>
#include <exception>
#include <functional>
#include <optional>
#include <utility>

#include "sim_bridge/sim_adapter.hpp"

namespace corvel::testing {

using sim_bridge::BridgeResult;
using sim_bridge::SimBridgeError;

// A monotonic clock that moves only when told to.
class FakeClock {
public:
    [[nodiscard]] std::chrono::steady_clock::time_point now() const { return now_; }
    void advance(std::chrono::steady_clock::duration by) { now_ += by; }

private:
    std::chrono::steady_clock::time_point now_{std::chrono::hours(1000)};
};

inline SimBridgeError not_connected(std::string message) {
    return SimBridgeError(SimBridgeError::Kind::NotConnected, std::move(message));
}

class ScriptedAdapter : public sim_bridge::SimAdapter {
public:
    // Failed connects before the first success.
    std::deque<SimBridgeError> connect_failures;
    // Answers of session_info, the last one repeated.
    std::deque<BridgeResult<sim_bridge::SessionInfo>> sessions;
    // Answers of latest_telemetry, the last one repeated.
    std::deque<BridgeResult<sim_bridge::TelemetrySnapshot>> telemetry;
    BridgeResult<sim_bridge::VehicleInfo> player_vehicle = sim_bridge::VehicleInfo{};
    // is_connected turns false once latest_telemetry has answered this many times.
    std::optional<std::size_t> disconnect_after_telemetry;

    // Time each call takes on `clock`, when one is given.
    FakeClock* clock = nullptr;
    std::chrono::seconds connect_takes{0};
    std::chrono::seconds session_info_takes{0};
    std::chrono::seconds telemetry_takes{0};

    // Called from the destructor, to see when the adapter is released.
    std::function<void()> on_release;

    std::size_t connect_calls = 0;
    std::size_t session_calls = 0;
    std::size_t telemetry_calls = 0;
    std::size_t vehicle_calls = 0;

    ~ScriptedAdapter() override {
        if (on_release) on_release();
    }

    asio::awaitable<BridgeResult<sim_bridge::Unit>> connect() override {
        ++connect_calls;
        pass(connect_takes);
        if (!connect_failures.empty()) {
            SimBridgeError error = std::move(connect_failures.front());
            connect_failures.pop_front();
            co_return std::unexpected(std::move(error));
        }
        connected_ = true;
        co_return sim_bridge::Unit{};
    }

    [[nodiscard]] bool is_connected() const override {
        if (disconnect_after_telemetry && telemetry_calls >= *disconnect_after_telemetry) return false;
        return connected_;
    }

    asio::awaitable<BridgeResult<sim_bridge::TelemetrySnapshot>> latest_telemetry() override {
        ++telemetry_calls;
        pass(telemetry_takes);
        co_return next(telemetry);
    }

    asio::awaitable<BridgeResult<sim_bridge::SessionInfo>> session_info() override {
        ++session_calls;
        pass(session_info_takes);
        co_return next(sessions);
    }

    asio::awaitable<BridgeResult<sim_bridge::VehicleInfo>> vehicle_info(std::uint32_t) override {
        co_return player_vehicle;
    }

    asio::awaitable<BridgeResult<sim_bridge::VehicleInfo>> player_vehicle_info() override {
        ++vehicle_calls;
        co_return player_vehicle;
    }

private:
    template <class T>
    static BridgeResult<T> next(std::deque<BridgeResult<T>>& script) {
        if (script.empty()) return std::unexpected(not_connected("the test's script has no answer"));
        BridgeResult<T> value = script.front();
        if (script.size() > 1) script.pop_front();
        return value;
    }

    void pass(std::chrono::seconds duration) const {
        if (clock != nullptr) clock->advance(duration);
    }

    bool connected_ = false;
};

// Runs `task` on a fresh io_context on this thread until it ends.
template <class T>
T run_task(asio::awaitable<T> task) {
    static asio::io_context io;
    io.restart();
    std::optional<T> result;
    std::exception_ptr escaped;
    asio::co_spawn(io, std::move(task), [&](std::exception_ptr e, T value) {
        escaped = e;
        if (!e) result.emplace(std::move(value));
    });
    io.run();
    if (escaped) std::rethrow_exception(escaped);
    return std::move(*result);
}

}  // namespace corvel::testing
