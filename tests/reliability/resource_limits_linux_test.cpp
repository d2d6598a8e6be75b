// Failures of the operating system that no seam has to fake: with the process's address
// space capped just above what it uses, no thread can get a stack. Then connect fails with
// "Failed to start LMU capture worker: ..." and the runtime with "Failed building the
// Runtime: ...". Each runs in a death-test child, so the cap never touches this process.
// Sanitizer builds reserve terabytes of shadow memory up front and cannot run under a cap.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <asio/io_context.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "await_on.hpp"
#include "corvel/runtime.hpp"
#include "sim_bridge/lmu_adapter.hpp"
#include "test_publisher.hpp"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define CORVEL_UNDER_SANITIZER 1
#else
#define CORVEL_UNDER_SANITIZER 0
#endif

namespace {

using namespace std::chrono_literals;

// Room for the named views and a block copy, far less than one thread stack (8 MiB unless
// RLIMIT_STACK says otherwise; at least 2 MiB when it is unlimited).
constexpr rlim_t kHeadroom = 1536 * 1024;

// Caps the address space at what the process maps now plus kHeadroom.
bool cap_address_space() {
    std::ifstream statm("/proc/self/statm");
    unsigned long pages = 0;
    if (!(statm >> pages)) return false;
    const rlimit cap{static_cast<rlim_t>(pages) * 4096 + kHeadroom, RLIM_INFINITY};
    return ::setrlimit(RLIMIT_AS, &cap) == 0;
}

class ResourceLimits : public ::testing::Test {
  protected:
    void SetUp() override {
        if (CORVEL_UNDER_SANITIZER) GTEST_SKIP() << "sanitizer builds cannot run with a capped address space";
        // The child starts afresh (no threads of this process in it) and maps little.
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
};

TEST_F(ResourceLimits, ConnectReportsAWorkerThatCannotStart) {
    EXPECT_EXIT(
        {
            int code = 3;
            {
                const auto names = corvel_test::unique_lmu_names();
                corvel_test::TestPublisher publisher(names);
                publisher.write(5);
                sim_bridge::LmuAdapterOptions options;
                options.names = names;
                options.timings.attempt_pause = 0ms;
                options.process_check = [] { return sim_bridge::ProcessState::Running; };
                asio::io_context io;
                asio::io_context watchdog_io;
                sim_bridge::LmuAdapter adapter(watchdog_io.get_executor(), options);
                if (!cap_address_space()) std::_Exit(4);

                const auto connected = corvel_test::await_on(io, adapter.connect());

                if (!connected) {
                    std::fprintf(stderr, "%s\n", connected.error().diagnostic().c_str());
                    code = adapter.is_connected() ? 5 : 0;
                }
            }  // the adapter and the publisher go; the objects' names with them
            std::fflush(stderr);
            std::_Exit(code);
        },
        ::testing::ExitedWithCode(0),
        "NotConnected\\(\"Failed to start LMU capture worker: Resource temporarily unavailable \\(os error "
        "11\\)\"\\)");
}

TEST_F(ResourceLimits, ARuntimeWithoutThreadsEndsTheProcessAbnormally) {
    EXPECT_DEATH(
        {
            if (!cap_address_space()) std::_Exit(4);
            (void)corvel::run_to_completion(
                [](asio::any_io_executor) -> asio::awaitable<int> { co_return 0; });
        },
        "Failed building the Runtime: ");
}

}  // namespace
