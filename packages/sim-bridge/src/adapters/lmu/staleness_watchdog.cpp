// The staleness watchdog's loop, on the runtime's timers.
#include "adapters/lmu/staleness_watchdog.hpp"

#include <asio/co_spawn.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>
#include <cstdio>
#include <exception>
#include <optional>

#include "adapters/lmu/block_reader.hpp"

namespace sim_bridge::lmu {
namespace {

struct UpdateWords {
    std::uint32_t scoring;
    std::uint32_t telemetry;
};

// Holds the block only for the two reads, not through the process check that may follow.
std::optional<UpdateWords> update_words(const SnapshotCache& cache) {
    const auto block = cache.peek();
    if (!block) return std::nullopt;
    const auto view = block->view();
    return UpdateWords{read_value<std::uint32_t, header::kScoringEventWord>(view),
                       read_value<std::uint32_t, header::kTelemetryEventWord>(view)};
}

}  // namespace

bool StalenessTracker::observe(std::uint32_t scoring_word, std::uint32_t telemetry_word) {
    const bool unchanged = scoring_word == previous_scoring_ && telemetry_word == previous_telemetry_;
    if (!unchanged) {
        unchanged_passes_ = 0;
    } else if (unchanged_passes_ < kUnchangedPassesBeforeCheck) {
        ++unchanged_passes_;
    }
    previous_scoring_ = scoring_word;
    previous_telemetry_ = telemetry_word;
    return unchanged_passes_ >= kUnchangedPassesBeforeCheck;
}

asio::awaitable<void> run_staleness_watchdog(WatchdogContext context) {
    asio::steady_timer timer(co_await asio::this_coro::executor);
    StalenessTracker tracker;
    for (;;) {
        timer.expires_after(context.period);
        std::error_code error;
        co_await timer.async_wait(asio::redirect_error(asio::use_awaitable, error));
        // Cancelled: the runtime is shutting down.
        if (error) co_return;
        if (!context.connected->load()) co_return;

        // Poisoned or empty: nothing to compare this time.
        const auto words = update_words(*context.cache);
        if (!words) continue;
        if (!tracker.observe(words->scoring, words->telemetry)) continue;

        // Unknown (the process list could not be taken) is no evidence that LMU has gone.
        if (context.process_check() == ProcessState::NotRunning) {
            context.connected->exchange(false);
            context.stop_requested->store(true, std::memory_order_release);
            co_return;
        }
    }
}

void spawn_staleness_watchdog(const asio::any_io_executor& executor, WatchdogContext context) {
    asio::co_spawn(executor, run_staleness_watchdog(std::move(context)),
                   [](const std::exception_ptr& failure) {
                       if (!failure) return;
                       // No caller is left to hand this to; say why the watchdog stopped instead of losing
                       // it.
                       try {
                           std::rethrow_exception(failure);
                       } catch (const std::exception& error) {
                           std::fprintf(stderr, "LMU staleness watchdog stopped: %s\n", error.what());
                       } catch (...) {
                           std::fprintf(stderr, "LMU staleness watchdog stopped by an unknown exception\n");
                       }
                   });
}

}  // namespace sim_bridge::lmu
