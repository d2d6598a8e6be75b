// The staleness watchdog: when frozen data leads to a process check, and what each answer does.
#include "adapters/lmu/staleness_watchdog.hpp"

#include <gtest/gtest.h>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <cstring>
#include <functional>
#include <stdexcept>

#include "sim_bridge/lmu/block_layout.hpp"

namespace {

using namespace std::chrono_literals;
using sim_bridge::ProcessState;
using sim_bridge::lmu::StalenessTracker;

// ---- StalenessTracker: pure pass counting ----

TEST(StalenessTracker, ZeroWordsCountAsUnchangedFromTheFirstPass) {
    StalenessTracker tracker;
    for (int pass = 1; pass <= 4; ++pass) EXPECT_FALSE(tracker.observe(0, 0)) << "pass " << pass;

    EXPECT_TRUE(tracker.observe(0, 0));
}

TEST(StalenessTracker, ChecksAtTheFifthUnchangedPassAndEveryOneAfter) {
    StalenessTracker tracker;
    ASSERT_FALSE(tracker.observe(7, 9));  // a change
    for (int pass = 1; pass <= 4; ++pass) EXPECT_FALSE(tracker.observe(7, 9)) << "pass " << pass;

    EXPECT_TRUE(tracker.observe(7, 9));
    EXPECT_TRUE(tracker.observe(7, 9));
    EXPECT_TRUE(tracker.observe(7, 9));
}

TEST(StalenessTracker, EitherWordChangingStartsTheCountAgain) {
    StalenessTracker tracker;
    for (int pass = 0; pass < 6; ++pass) (void)tracker.observe(1, 1);

    EXPECT_FALSE(tracker.observe(2, 1));
    for (int pass = 1; pass <= 4; ++pass) EXPECT_FALSE(tracker.observe(2, 1));
    EXPECT_FALSE(tracker.observe(2, 3));
}

// ---- The loop on a test io_context, with the period at zero ----

class Watchdog : public ::testing::Test {
  protected:
    Watchdog() {
        auto bytes = sim_bridge::lmu::allocate_block_bytes();
        std::memset(bytes->data(), 0, bytes->size());  // frozen words: 0 and 0
        EXPECT_TRUE(context_.cache->store(sim_bridge::lmu::LmuDataBlock(std::move(bytes))));
    }

    // Runs the watchdog until it ends (or a check stops the io_context).
    void run() {
        asio::co_spawn(io_, sim_bridge::lmu::run_staleness_watchdog(context_),
                       [](std::exception_ptr failure) {
                           if (failure) std::rethrow_exception(failure);
                       });
        io_.run();
    }

    asio::io_context io_;
    sim_bridge::lmu::WatchdogContext context_{std::make_shared<std::atomic<bool>>(true),
                                              std::make_shared<sim_bridge::lmu::SnapshotCache>(),
                                              std::make_shared<std::atomic<bool>>(false), 0ms, nullptr};
    int checks_ = 0;
};

TEST_F(Watchdog, DisconnectsAndStopsTheWorkerWhenTheProcessIsGone) {
    context_.process_check = [&] {
        ++checks_;
        return ProcessState::NotRunning;
    };

    run();

    EXPECT_EQ(checks_, 1);
    EXPECT_FALSE(context_.connected->load());
    EXPECT_TRUE(context_.stop_requested->load());
}

TEST_F(Watchdog, StaysConnectedWhileTheProcessRuns) {
    context_.process_check = [&] {
        if (++checks_ == 3) io_.stop();
        return ProcessState::Running;
    };

    run();

    EXPECT_EQ(checks_, 3);
    EXPECT_TRUE(context_.connected->load());
    EXPECT_FALSE(context_.stop_requested->load());
}

TEST_F(Watchdog, UnknownProcessStateLeavesTheConnectionAlone) {
    context_.process_check = [&] {
        if (++checks_ == 2) io_.stop();
        return ProcessState::Unknown;
    };

    run();

    EXPECT_TRUE(context_.connected->load());
    EXPECT_FALSE(context_.stop_requested->load());
}

TEST_F(Watchdog, EndsWithoutACheckOnceDisconnected) {
    context_.connected->store(false);
    context_.process_check = [&] {
        ++checks_;
        return ProcessState::NotRunning;
    };

    run();

    EXPECT_EQ(checks_, 0);
    EXPECT_FALSE(context_.stop_requested->load());
}

TEST_F(Watchdog, PoisonedCacheSkipsEveryPass) {
    EXPECT_THROW((void)context_.cache->write([](auto&) { throw std::runtime_error("writer failed"); }),
                 std::runtime_error);
    int passes = 0;
    context_.process_check = [&] {
        ++checks_;
        return ProcessState::NotRunning;
    };
    // Nothing to compare on any pass: the test ends the loop by disconnecting after a few.
    asio::steady_timer stopper(io_);
    std::function<void(std::error_code)> count_pass = [&](std::error_code) {
        if (++passes == 10) {
            context_.connected->store(false);
            return;
        }
        stopper.expires_after(0ms);
        stopper.async_wait(count_pass);
    };
    stopper.expires_after(0ms);
    stopper.async_wait(count_pass);

    run();

    EXPECT_EQ(checks_, 0);
}

}  // namespace
