// A shared counter hands out the indices, so a slow job does not hold up a fixed share of them.
#include "analysis/parallel_for.hpp"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace corvel {

void parallel_for(std::size_t count, const std::function<void(std::size_t)>& work, unsigned max_threads) {
    if (count == 0) return;
    const unsigned cores = std::max(1U, std::thread::hardware_concurrency());
    const std::size_t threads = std::min<std::size_t>(count, max_threads == 0 ? cores : max_threads);

    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr failure;
    std::mutex failure_mutex;
    const auto run = [&] {
        while (!failed.load(std::memory_order_relaxed)) {
            const std::size_t i = next.fetch_add(1, std::memory_order_relaxed);
            if (i >= count) return;
            try {
                work(i);
            } catch (...) {
                const std::lock_guard lock(failure_mutex);
                if (!failure) failure = std::current_exception();
                failed.store(true, std::memory_order_relaxed);
            }
        }
    };
    std::vector<std::jthread> helpers;
    helpers.reserve(threads - 1);
    for (std::size_t t = 1; t < threads; ++t) helpers.emplace_back(run);
    run();
    helpers.clear();  // joins
    if (failure) std::rethrow_exception(failure);
}

}  // namespace corvel
