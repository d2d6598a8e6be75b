// The corvel executable against faults of the world around it, with the stand-in simulator
// lmu-sim where one is needed: the simulator killed mid-lap with its objects left behind, a
// stand-in started again on those stale objects, LMU's lock left held by a party that died,
// lap numbers near the 32-bit limit, a working directory that no longer exists and an output
// directory that cannot be made. Uses LMU's fixed names and a process named LMU.exe, so it
// never runs beside other such tests (RESOURCE_LOCK).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "lap_format/json/lap_file.hpp"
#include "sim_bridge/platform/named_objects.hpp"
#include "sim_bridge/simulator_detection.hpp"

namespace corvel::reliability {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace platform = sim_bridge::platform;

constexpr const char* kLmuNames[] = {"LMU_Data", "LMU_Data_Event", "LMU_SharedMemoryLockData",
                                     "LMU_SharedMemoryLockEvent"};

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

bool wait_for(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto give_up = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > give_up) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

bool lmu_objects_present() {
    for (const char* name : kLmuNames) {
        if (std::filesystem::exists(std::string("/dev/shm/") + name)) return true;
    }
    return false;
}

// A child process with its standard output and error in files; killed if still running when
// it goes. `remove_cwd` starts it in `cwd` and removes that directory first.
class Child {
  public:
    Child(std::vector<std::string> args, const std::filesystem::path& logs, const std::string& name,
          std::optional<std::filesystem::path> cwd = std::nullopt, bool remove_cwd = false)
        : out_(logs / (name + ".out")), err_(logs / (name + ".err")) {
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const std::string out = out_.string();
        const std::string err = err_.string();
        const std::string dir = cwd ? cwd->string() : std::string();
        pid_ = ::fork();
        if (pid_ == 0) {
            // Only async-signal-safe calls between fork and exec.
            const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (o < 0 || e < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0) ::_exit(126);
            if (!dir.empty() && ::chdir(dir.c_str()) != 0) ::_exit(126);
            if (remove_cwd && ::rmdir(dir.c_str()) != 0) ::_exit(126);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        started_ = Clock::now();
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        if (running()) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    [[nodiscard]] pid_t pid() const { return pid_; }
    [[nodiscard]] bool running() {
        if (status_) return false;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
        status_ = status;
        ended_ = Clock::now();
        return false;
    }
    // The exit status once it ended within `limit`; -1 after a signal, nullopt if still running.
    std::optional<int> wait(std::chrono::milliseconds limit) {
        if (!wait_for([&] { return !running(); }, limit)) return std::nullopt;
        return WIFEXITED(*status_) ? WEXITSTATUS(*status_) : -1;
    }
    void kill_now() {
        ::kill(pid_, SIGKILL);
        (void)wait(10s);
    }
    bool wait_for_output(const std::string& needle, std::chrono::milliseconds limit) {
        return wait_for([&] { return stdout_text().find(needle) != std::string::npos; }, limit);
    }
    [[nodiscard]] std::string stdout_text() const { return read_file(out_); }
    [[nodiscard]] std::string stderr_text() const { return read_file(err_); }
    [[nodiscard]] Clock::time_point ended() const { return ended_; }

  private:
    std::filesystem::path out_;
    std::filesystem::path err_;
    pid_t pid_ = -1;
    Clock::time_point started_;
    Clock::time_point ended_;
    std::optional<int> status_;
};

// Takes LMU's lock in a child process the way the protocol says (busy 0 -> 1) and lets that
// child die holding it. `words` is the lock block, mapped before the fork.
void die_holding_the_lock(std::byte* words) {
    const pid_t party = ::fork();
    if (party == 0) {
        std::atomic_ref<std::int32_t> busy(*reinterpret_cast<std::int32_t*>(words + 4));
        for (;;) {
            std::int32_t expected = 0;
            if (busy.compare_exchange_strong(expected, 1)) ::_exit(0);
        }
    }
    int status = 0;
    ::waitpid(party, &status, 0);
}

std::atomic_ref<std::int32_t> busy_word(std::byte* words) {
    return std::atomic_ref<std::int32_t>(*reinterpret_cast<std::int32_t*>(words + 4));
}

class ProcessFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        work_ = std::filesystem::temp_directory_path() /
                ("corvel-reliability-" + std::string(info->name()) + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(work_);
        std::filesystem::create_directories(work_);
        captures_ = work_ / "captures";
        // Another stand-in under LMU's names would be recorded instead of ours.
        ASSERT_TRUE(wait_for(
            [] { return sim_bridge::is_lmu_process_running() == sim_bridge::ProcessState::NotRunning; }, 30s))
            << "another process named LMU.exe runs";
    }
    void TearDown() override {
        children_.clear();  // kills what still runs
        for (const char* name : kLmuNames) (void)platform::unlink_shared_object(name);
        std::error_code ignored;
        std::filesystem::remove_all(work_, ignored);
    }

    // lmu-sim, publishing (its first block and the data event exist) when this returns.
    Child& start_sim(std::vector<std::string> args) {
        args.insert(args.begin(), {LMU_SIM_EXE, "--duration", "120"});
        auto& sim = *children_.emplace_back(
            std::make_unique<Child>(args, work_, "lmu-sim" + std::to_string(children_.size())));
        EXPECT_TRUE(sim.wait_for_output("lmu-sim: publishing", 30s)) << sim.stderr_text();
        return sim;
    }
    Child& start_corvel(std::vector<std::string> args,
                        std::optional<std::filesystem::path> cwd = std::nullopt, bool remove_cwd = false) {
        args.insert(args.begin(), CORVEL_EXE);
        return *children_.emplace_back(std::make_unique<Child>(
            args, work_, "corvel" + std::to_string(children_.size()), cwd, remove_cwd));
    }
    std::vector<std::string> capture_args(const char* limit) const {
        return {"--output-dir", captures_.string(), "--max-wait-secs", limit};
    }
    [[nodiscard]] std::vector<std::filesystem::path> captured_files() const {
        std::vector<std::filesystem::path> files;
        if (!std::filesystem::exists(captures_)) return files;
        for (const auto& e : std::filesystem::directory_iterator(captures_)) files.push_back(e.path());
        std::sort(files.begin(), files.end());
        return files;
    }

    // One clean capture, checked through corvel-lap's reader; the lap file.
    std::filesystem::path expect_clean_capture(Child& corvel, const std::string& lap) {
        const auto status = corvel.wait(60s);
        EXPECT_EQ(status, 0) << corvel.stdout_text() << corvel.stderr_text();
        EXPECT_EQ(corvel.stderr_text(), "");
        EXPECT_NE(corvel.stdout_text().find("Captured clean lap " + lap + "\n"), std::string::npos)
            << corvel.stdout_text();
        const auto files = captured_files();
        EXPECT_EQ(files.size(), 2u);
        if (files.size() != 2) return {};
        const auto read = read_lap_file(files[0]);
        EXPECT_TRUE(read) << (read ? "" : read.error().message);
        if (read) {
            EXPECT_GE(read->samples.size(), 300u);
            EXPECT_TRUE(read->metadata);
        }
        return files[0];
    }

    std::filesystem::path work_;
    std::filesystem::path captures_;
    std::vector<std::unique_ptr<Child>> children_;
};

TEST_F(ProcessFaults, SimulatorKilledMidLapIsADisconnectThenAFreshStandInOnItsObjectsIsRecorded) {
    auto& sim = start_sim({"--lap-time", "40", "--menu-secs", "1"});
    auto& corvel = start_corvel(capture_args("90"));
    ASSERT_TRUE(corvel.wait_for_output("Recording until one full clean lap completes...", 30s))
        << corvel.stdout_text() << corvel.stderr_text();
    std::this_thread::sleep_for(2s);

    sim.kill_now();
    const auto killed = Clock::now();
    ASSERT_TRUE(lmu_objects_present()) << "a killed simulator leaves its objects";

    // The watchdog sees the data frozen for five 2-second passes, then finds no LMU process.
    const auto status = corvel.wait(30s);
    ASSERT_TRUE(status.has_value()) << "corvel still runs 30 s after the simulator died";
    EXPECT_EQ(*status, 1);
    EXPECT_EQ(corvel.stderr_text(), "Error: \"LMU disconnected before a clean lap was captured\"\n");
    EXPECT_EQ(corvel.stdout_text().find("Captured clean lap"), std::string::npos);
    const auto after = std::chrono::duration<double>(corvel.ended() - killed).count();
    RecordProperty("disconnect_after_s", std::to_string(after));
    EXPECT_GE(after, 8.0);
    EXPECT_LE(after, 16.0) << "the disconnect took longer than the watchdog's five passes and a check";
    EXPECT_TRUE(captured_files().empty());

    // A stand-in started again over the dead one's objects, and a normal capture.
    ASSERT_TRUE(lmu_objects_present());
    start_sim({"--lap-time", "8", "--menu-secs", "2", "--laps", "3"});
    auto& again = start_corvel(capture_args("60"));
    expect_clean_capture(again, "1");
}

TEST_F(ProcessFaults, LockLeftHeldByAPartyThatDiedIsReleasedAndTheLapStillCaptured) {
    start_sim({"--lap-time", "8", "--menu-secs", "2", "--laps", "3"});
    auto lock = platform::SharedMapping::create_or_open("LMU_SharedMemoryLockData", 8);
    ASSERT_TRUE(lock);
    auto& corvel = start_corvel(capture_args("60"));
    ASSERT_TRUE(corvel.wait_for_output("Recording until one full clean lap completes...", 30s))
        << corvel.stdout_text() << corvel.stderr_text();
    std::this_thread::sleep_for(1s);

    // Another reader takes the lock and dies holding it.
    std::byte* words = lock->mapping.writable_data();
    die_holding_the_lock(words);
    const auto died = Clock::now();
    auto busy = busy_word(words);
    // Cleared after a second: by the stand-in, which takes over a lock it has waited on that
    // long (while it waits it cannot write, so corvel's worker is not woken to try), or by
    // corvel, once its timed-out acquisitions have found it held for a second.
    EXPECT_TRUE(wait_for([&] { return busy.load() == 0; }, 5s)) << "the dead party's lock was never cleared";
    const auto cleared = std::chrono::duration<double>(Clock::now() - died).count();
    RecordProperty("lock_cleared_after_s", std::to_string(cleared));

    expect_clean_capture(corvel, "1");
}

TEST_F(ProcessFaults, LockLeftHeldBeforeConnectFailsTheFirstRoundOnlyThenTheLapIsCaptured) {
    start_sim({"--lap-time", "8", "--menu-secs", "3", "--laps", "3"});
    auto lock = platform::SharedMapping::create_or_open("LMU_SharedMemoryLockData", 8);
    ASSERT_TRUE(lock);
    die_holding_the_lock(lock->mapping.writable_data());

    // corvel's first copy gives up after its spin and one 100 ms wait and leaves the lock as it
    // is: one timeout is no proof that its holder died. That connect round fails and prints a
    // status line about LMU. By the next round, 2 s later, the lock has been held over a second:
    // the stand-in has taken it over, or corvel's second timed-out copy clears it; either way a
    // later round connects.
    auto& corvel = start_corvel(capture_args("60"));

    expect_clean_capture(corvel, "1");
    const std::string out = corvel.stdout_text();
    const auto status_line = out.find("LMU detected as '");
    EXPECT_NE(status_line, std::string::npos) << out;
    EXPECT_LT(status_line, out.find("Connected to LMU shared memory.\n")) << out;
    EXPECT_EQ(busy_word(lock->mapping.writable_data()).load(), 0);
}

TEST_F(ProcessFaults, LapNumbersNearThe32BitLimitAreCapturedWhole) {
    // The simulator reports 2147483644 completed laps: the lap driven now is 2147483645.
    start_sim({"--hostile", "laps", "--lap-time", "8", "--menu-secs", "2", "--laps", "2"});
    auto& corvel = start_corvel(capture_args("60"));

    const auto lap_file = expect_clean_capture(corvel, "2147483645");

    ASSERT_FALSE(lap_file.empty());
    EXPECT_NE(lap_file.filename().string().find("-lap2147483645-"), std::string::npos) << lap_file;
    const auto read = read_lap_file(lap_file);
    ASSERT_TRUE(read && read->metadata);
    EXPECT_EQ(read->metadata->lap_number, 2147483645);
    // Samples carry the low 16 bits of the lap number.
    for (const auto& sample : read->samples) ASSERT_EQ(sample.lap, 2147483645 & 0xFFFF);
}

TEST_F(ProcessFaults, AWorkingDirectoryThatNoLongerExistsFailsBeforeAnythingElse) {
    const auto gone = work_ / "gone";
    std::filesystem::create_directories(gone);
    // --output-dir does not help: the working directory is resolved first.
    auto& corvel = start_corvel({"--output-dir", captures_.string()}, gone, /*remove_cwd=*/true);

    EXPECT_EQ(corvel.wait(20s), 1);
    EXPECT_EQ(corvel.stderr_text(),
              "Error: \"Argument error: Failed to resolve cwd: No such file or directory (os error 2)\"\n");
    EXPECT_EQ(corvel.stdout_text(), "");
    EXPECT_FALSE(std::filesystem::exists(captures_));
}

TEST_F(ProcessFaults, AnOutputDirectoryUnderAPlainFileFailsWithTheSystemsError) {
    std::ofstream(work_ / "plain") << "a file, not a directory";

    auto& corvel =
        start_corvel({"--output-dir", (work_ / "plain" / "laps").string(), "--max-wait-secs", "1"});

    EXPECT_EQ(corvel.wait(20s), 1);
    EXPECT_EQ(corvel.stderr_text(),
              "Error: Os { code: 20, kind: NotADirectory, message: \"Not a directory\" }\n");
    EXPECT_EQ(corvel.stdout_text(), "");
}

}  // namespace
}  // namespace corvel::reliability
