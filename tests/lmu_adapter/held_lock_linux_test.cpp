// The dead-holder rule across processes: the holder is a child process that opens the objects
// by name, as another reader of LMU's would, and holds the lock for long stretches or dies
// holding it. corvel's side is the real adapter with the product's lock timings.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <asio/io_context.hpp>
#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <thread>

#include "await_on.hpp"
#include "held_lock_fixture.hpp"
#include "lock_parties.hpp"
#include "sim_bridge/lmu_adapter.hpp"
#include "test_publisher.hpp"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace platform = sim_bridge::platform;

// Forks, before this test starts any thread, a process that opens the lock block, the lock event
// and the data mapping by name and runs `act` on them; it exits 0, or 2 when an object is missing.
template <class Act>
pid_t start_party(const sim_bridge::LmuObjectNames& names, Act act) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    auto lock = platform::SharedMapping::create_or_open(names.lock_data, 8);
    auto event = platform::NamedEvent::create_or_open(names.lock_event);
    auto data = platform::SharedMapping::create_or_open(names.data, sim_bridge::lmu::kBlockSize);
    if (!lock || !event || !data) ::_exit(2);
    act(corvel_test::LockedBlock{lock->mapping.writable_data(), &*event, data->mapping.writable_data()});
    ::_exit(0);
}

// The child's exit status once it has ended, or none while it runs.
std::optional<int> exit_status(pid_t pid, bool wait) {
    int status = 0;
    if (::waitpid(pid, &status, wait ? 0 : WNOHANG) != pid) return std::nullopt;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The holder in another process, corvel's side the worker's loop, every copy checked.
class LiveHolderInAnotherProcess : public corvel_test::HeldLock {};

TEST_F(LiveHolderInAnotherProcess, KeepingItUpTo900MsIsNeverBrokenAndNoCopyIsTorn) {
    const pid_t holder = start_party(publisher_.names(), [](const corvel_test::LockedBlock& block) {
        std::this_thread::sleep_for(100ms);
        corvel_test::hold_writing_pattern(block, 300ms);
        std::this_thread::sleep_for(100ms);
        corvel_test::hold_writing_pattern(block, 900ms);
        std::this_thread::sleep_for(100ms);
    });
    ASSERT_GT(holder, 0);
    corvel_test::TickingSimulator simulator(publisher_);
    std::optional<int> status;

    const auto seen = capture_until([&] { return (status = exit_status(holder, false)).has_value(); }, 30s);
    if (!status) ::kill(holder, SIGKILL);

    EXPECT_EQ(status.value_or(exit_status(holder, true).value_or(-1)), 0);
    EXPECT_EQ(clears(), 0u);
    EXPECT_EQ(seen.torn, 0);
    EXPECT_EQ(seen.waiters_not_back, 0);
    EXPECT_GT(seen.copies, 5) << "the capture stalled";
}

// The party that dies in another process, corvel's side the whole adapter.
class HeldLockAcrossProcesses : public ::testing::Test {
  protected:
    HeldLockAcrossProcesses() {
        publisher_.write(1);
        options_.names = names_;
        options_.timings.worker_wait = 10ms;  // the lock's timings stay the product's
        options_.process_check = [] { return sim_bridge::ProcessState::Running; };
    }

    sim_bridge::LmuObjectNames names_ = corvel_test::unique_lmu_names();
    corvel_test::TestPublisher publisher_{names_};
    sim_bridge::LmuAdapterOptions options_;
    asio::io_context io_;
    asio::io_context idle_watchdogs_;
};

TEST_F(HeldLockAcrossProcesses, AProcessThatDiedHoldingItIsClearedOnceAndTheCaptureGoesOn) {
    sim_bridge::LmuAdapter adapter(idle_watchdogs_.get_executor(), options_);
    ASSERT_TRUE(corvel_test::await_on(io_, adapter.connect()));
    corvel_test::TickingSimulator simulator(publisher_);
    std::this_thread::sleep_for(100ms);

    const pid_t party = start_party(names_, corvel_test::take_lock_for_good);
    ASSERT_GT(party, 0);
    ASSERT_EQ(exit_status(party, true), 0);
    const auto died = Clock::now();
    const auto written_at_death = simulator.written();
    auto busy = publisher_.busy();
    const auto give_up = died + 30s;
    while (adapter.lock_clears() == 0 && Clock::now() < give_up) std::this_thread::sleep_for(5ms);
    const auto cleared = Clock::now();
    std::this_thread::sleep_for(1500ms);  // long enough for a second clear, were there one

    ASSERT_EQ(adapter.lock_clears(), 1u) << "busy is " << busy.load();
    const double after_s = std::chrono::duration<double>(cleared - died).count();
    RecordProperty("lock_cleared_after_s", std::to_string(after_s));
    EXPECT_GE(after_s, 1.0);
    EXPECT_LT(after_s, 5.0) << "about 2 s expected";
    EXPECT_GT(simulator.written(), written_at_death + 20) << "the simulator could not write again";
    EXPECT_TRUE(adapter.is_connected());
    EXPECT_TRUE(corvel_test::await_on(io_, adapter.latest_telemetry()));
}

}  // namespace
