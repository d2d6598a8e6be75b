// The runtime: an io_context that the main thread runs until the top-level task ends, and a
// two-thread pool for detached background work. Nothing in the driver runs on the pool.
#include "corvel/runtime.hpp"

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/thread_pool.hpp>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>

#include "corvel/capture_driver.hpp"
#include "corvel/process_settings.hpp"
#include "sim_bridge/quoted_text.hpp"

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
    std::fprintf(stderr, "Failed building the Runtime: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

}  // namespace

void ReportEscapedException::operator()(const std::exception_ptr& escaped) const {
    if (!escaped) return;
    std::fprintf(stderr, "corvel: a background task failed: %s\n", describe(escaped).c_str());
    std::fflush(stderr);
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
    asio::co_spawn(*driver, task(background->get_executor()), [&status](std::exception_ptr escaped, int result) {
        if (!escaped) {
            status = result;
            return;
        }
        // Errors are values in this program; an exception here is a fault, still reported
        // in the usual form rather than lost.
        std::fprintf(stderr, "Error: %s\n", sim_bridge::quoted_text("Internal failure: " + describe(escaped)).c_str());
        std::fflush(stderr);
        status = 1;
    });
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
    const ProcessSettings settings;
    return run_to_completion([&](asio::any_io_executor background) {
        AdapterFactory factory = [make_adapter, background]() -> std::unique_ptr<sim_bridge::SimAdapter> {
            return make_adapter ? make_adapter(background) : nullptr;
        };
        return program(std::move(args), std::move(factory), DriverEnvironment{});
    });
}

}  // namespace corvel
