// The runtime: an io_context that the main thread runs until the top-level task ends, and a
// two-thread pool for detached background work. Nothing in the driver runs on the pool.
#include "corvel/runtime.hpp"

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/thread_pool.hpp>
#include <cstdlib>
#include <iostream>
#include <new>
#include <optional>
#include <string>

#include "corvel/capture_driver.hpp"
#include "corvel/process_settings.hpp"
#include "sim_bridge/platform/console_window.hpp"
#include "text/quoted_text.hpp"

namespace corvel {
namespace {

std::string describe(const std::exception_ptr& escaped) {
    try {
        std::rethrow_exception(escaped);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

[[noreturn]] void fail_to_build(const std::string& what) {
    std::cerr << "Failed building the Runtime: " << what << '\n' << std::flush;
    std::abort();
}

}  // namespace

void ReportEscapedException::operator()(const std::exception_ptr& escaped) const {
    if (!escaped) return;
    std::cerr << "corvel: a background task failed: " << describe(escaped) << '\n' << std::flush;
}

int run_to_completion(const TopLevelTask& task) {
    std::optional<asio::io_context> driver;
    std::optional<asio::thread_pool> background;
    try {
        driver.emplace(1);  // one thread, the caller's, runs it
        background.emplace(static_cast<std::size_t>(kBackgroundThreads));
    } catch (...) {
        fail_to_build(describe(std::current_exception()));
    }

    int status = 1;
    const auto finished = [&status](std::exception_ptr escaped, int result) {
        if (!escaped) {
            status = result;
            return;
        }
        // Errors are values in this program; an exception here is a fault, still reported
        // in the usual form rather than lost.
        std::cerr << "Error: " << text::quoted_text("Internal failure: " + describe(escaped)) << '\n'
                  << std::flush;
        status = 1;
    };
    asio::co_spawn(*driver, task(background->get_executor()), finished);
    driver->run();
    // The adapter was released when the task ended; what remains on the pool (a watchdog
    // between two checks) has nothing left to watch and is not waited for.
    background->stop();
    background->join();
    return status;
}

int run_process(std::vector<std::string> args, LmuAdapterFactory make_adapter) {
    return run_process(std::move(args), std::move(make_adapter), run_corvel);
}

int run_process(std::vector<std::string> args, LmuAdapterFactory make_adapter, ProgramRun program) {
    int status = 1;
    {
        const ProcessSettings settings;
        status = run_to_completion([&](asio::any_io_executor background) {
            AdapterFactory factory = [make_adapter, background]() -> std::unique_ptr<sim_bridge::SimAdapter> {
                return make_adapter ? make_adapter(background) : nullptr;
            };
            return program(std::move(args), std::move(factory), DriverEnvironment{});
        });
    }
    // The adapter is released and the settings are undone: a window opened for this run alone
    // stays until Enter, so its last lines can be read.
    sim_bridge::platform::pause_before_console_window_closes();
    return status;
}

}  // namespace corvel
