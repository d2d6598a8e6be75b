// The process runtime: the top-level task's result becomes the status, escaped exceptions are
// reported, and background tasks run on the pool without holding up the end of the run.
#include <gtest/gtest.h>

#include <asio/co_spawn.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include <future>
#include <stdexcept>
#include <thread>

#include "corvel/runtime.hpp"

namespace {

asio::awaitable<int> answer(asio::any_io_executor) { co_return 7; }

asio::awaitable<int> throw_logic_error(asio::any_io_executor) {
    throw std::logic_error("boom");
    co_return 0;
}

asio::awaitable<void> note_thread(std::shared_ptr<std::promise<std::thread::id>> where) {
    where->set_value(std::this_thread::get_id());
    co_return;
}

// 0 when a task spawned on the background executor ran on another thread than this one.
asio::awaitable<int> use_background(asio::any_io_executor background) {
    auto where = std::make_shared<std::promise<std::thread::id>>();
    auto ran_on = where->get_future();
    asio::co_spawn(background, note_thread(where), corvel::ReportEscapedException{});
    co_return ran_on.get() != std::this_thread::get_id() ? 0 : 1;
}

asio::awaitable<void> sleep_for_an_hour(asio::any_io_executor executor) {
    asio::steady_timer timer(executor, std::chrono::hours(1));
    co_await timer.async_wait(asio::use_awaitable);
}

asio::awaitable<int> leave_a_sleeper_behind(asio::any_io_executor background) {
    asio::co_spawn(background, sleep_for_an_hour(background), corvel::ReportEscapedException{});
    co_return 3;
}

asio::awaitable<void> throw_runtime_error() {
    throw std::runtime_error("watchdog fault");
    co_return;
}

asio::awaitable<int> fail_in_background(asio::any_io_executor background) {
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    asio::co_spawn(background, throw_runtime_error(), [done](const std::exception_ptr& escaped) {
        corvel::ReportEscapedException{}(escaped);
        done->set_value();
    });
    finished.wait();
    co_return 0;
}

}  // namespace

TEST(Runtime, ReturnsTheTopLevelTasksResult) {
    EXPECT_EQ(corvel::run_to_completion([](asio::any_io_executor background) { return answer(background); }), 7);
}

TEST(Runtime, AnEscapedExceptionIsReportedAndGivesStatusOne) {
    ::testing::internal::CaptureStderr();
    const int status =
        corvel::run_to_completion([](asio::any_io_executor background) { return throw_logic_error(background); });
    EXPECT_EQ(status, 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error: \"Internal failure: boom\"\n");
}

TEST(Runtime, RunsBackgroundTasksOnThePool) {
    EXPECT_EQ(corvel::run_to_completion([](asio::any_io_executor background) { return use_background(background); }),
              0);
}

TEST(Runtime, DoesNotWaitForBackgroundTasksThatOutliveTheRun) {
    EXPECT_EQ(corvel::run_to_completion(
                  [](asio::any_io_executor background) { return leave_a_sleeper_behind(background); }),
              3);
}

TEST(Runtime, ReportsAnExceptionThatEscapesABackgroundTask) {
    ::testing::internal::CaptureStderr();
    (void)corvel::run_to_completion([](asio::any_io_executor background) { return fail_in_background(background); });
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "corvel: a background task failed: watchdog fault\n");
}
