// Not a check but a measurement to read in the test log: how long 50 timer waits of 16 ms
// (the default poll interval) really take with the process settings of a run. On Windows
// without a raised timer period they take about 31 ms each.
#include <gtest/gtest.h>

#include <algorithm>
#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include <chrono>
#include <cstdio>
#include <vector>

#include "corvel/process_settings.hpp"

namespace {

constexpr int kWaits = 50;
constexpr std::chrono::milliseconds kPollInterval{16};

asio::awaitable<void> measure(std::vector<double>* waits_ms) {
    asio::steady_timer timer(co_await asio::this_coro::executor);
    for (int i = 0; i < kWaits; ++i) {
        const auto before = std::chrono::steady_clock::now();
        timer.expires_after(kPollInterval);
        co_await timer.async_wait(asio::use_awaitable);
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - before;
        waits_ms->push_back(took.count());
    }
}

}  // namespace

TEST(TimerReport, PrintsTheMedianOf16MillisecondWaits) {
    const corvel::ProcessSettings settings;
    std::vector<double> waits_ms;
    asio::io_context io;
    asio::co_spawn(io, measure(&waits_ms), [](const std::exception_ptr& escaped) {
        if (escaped) std::rethrow_exception(escaped);
    });
    io.run();

    ASSERT_EQ(waits_ms.size(), static_cast<std::size_t>(kWaits));
    std::sort(waits_ms.begin(), waits_ms.end());
    const double median = (waits_ms[kWaits / 2 - 1] + waits_ms[kWaits / 2]) / 2;
    std::printf("timer report: %d waits of %lld ms: median %.2f ms, min %.2f ms, max %.2f ms\n", kWaits,
                static_cast<long long>(kPollInterval.count()), median, waits_ms.front(), waits_ms.back());
    RecordProperty("median_wait_us", static_cast<int>(median * 1000));
}
