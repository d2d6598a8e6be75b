// The process's asynchronous runtime and entry: the main thread drives one top-level task
// to completion while a small thread pool runs detached background tasks (the adapter's
// staleness watchdog). main() only converts its arguments and calls run_process.
#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "corvel/capture_driver.hpp"
#include "sim_bridge/sim_adapter.hpp"

namespace corvel {

inline constexpr int kBackgroundThreads = 2;

// Builds the top-level task; `background` is the executor for detached tasks.
using TopLevelTask = std::function<asio::awaitable<int>(asio::any_io_executor background)>;

// Runs the task on the calling thread until it ends and returns its result. When the runtime
// cannot be built, prints "Failed building the Runtime" and the error to standard error and
// ends the process abnormally. An exception escaping the task is reported and gives 1.
[[nodiscard]] int run_to_completion(const TopLevelTask& task);

// Completion handler for detached tasks: an exception that escapes one is written to
// standard error instead of vanishing (asio::detached would drop it).
struct ReportEscapedException {
    void operator()(const std::exception_ptr& escaped) const;
};

using LmuAdapterFactory = std::function<std::unique_ptr<sim_bridge::SimAdapter>(asio::any_io_executor background)>;

// A program's whole run on the runtime: corvel's is run_corvel.
using ProgramRun =
    std::function<asio::awaitable<int>(std::vector<std::string> args, AdapterFactory make_adapter, DriverEnvironment env)>;

// The whole process after argument conversion: process settings, runtime, the capture run
// with the adapter that `make_adapter` builds. Returns the exit status.
[[nodiscard]] int run_process(std::vector<std::string> args, LmuAdapterFactory make_adapter);
// The same for another program built on the capture phases (corvel-stint).
[[nodiscard]] int run_process(std::vector<std::string> args, LmuAdapterFactory make_adapter, ProgramRun program);

}  // namespace corvel
