// Drives one awaitable on a test's io_context until it completes, leaving any other task
// (a watchdog spawned on the same context) pending.
#pragma once

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <exception>
#include <optional>
#include <stdexcept>

namespace corvel_test {

template <class T>
T await_on(asio::io_context& io, asio::awaitable<T> operation) {
    std::optional<T> result;
    std::exception_ptr failure;
    asio::co_spawn(io, std::move(operation), [&](std::exception_ptr error, T value) {
        failure = error;
        if (!error) result.emplace(std::move(value));
    });
    while (!result && !failure) {
        if (io.stopped()) io.restart();
        if (io.run_one() == 0) throw std::logic_error("the operation never completed");
    }
    if (failure) std::rethrow_exception(failure);
    return std::move(*result);
}

}  // namespace corvel_test
