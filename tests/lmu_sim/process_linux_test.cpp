// The lmu-sim executable on Linux: it shows itself as LMU.exe to detection, replaces what a
// killed run left behind, removes its objects on SIGTERM and reports its laps in the truth log.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim_bridge/lmu/block_layout.hpp"
#include "sim_bridge/platform/named_objects.hpp"
#include "sim_bridge/simulator_detection.hpp"
#include "test_names.hpp"

extern char** environ;

namespace corvel::lmu_sim {
namespace {

using namespace std::chrono_literals;
namespace platform = sim_bridge::platform;

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// Polls `done` every 20 ms for at most `limit`.
bool wait_for(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto give_up = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > give_up) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

class Process : public ::testing::Test {
  protected:
    void TearDown() override {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        for (const char* name :
             {"LMU_Data", "LMU_Data_Event", "LMU_SharedMemoryLockData", "LMU_SharedMemoryLockEvent"}) {
            (void)platform::unlink_shared_object(prefix_ + name);
        }
        std::filesystem::remove(truth_);
    }

    void spawn(std::vector<std::string> args) {
        args.insert(args.begin(), {LMU_SIM_EXE, "--quiet", "--name-prefix", prefix_, "--truth", truth_});
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ASSERT_EQ(::posix_spawn(&pid_, LMU_SIM_EXE, nullptr, nullptr, argv.data(), environ), 0);
    }
    // Waits for the process to end on its own; its exit status, or -1.
    int wait_exit() {
        int status = 0;
        if (!wait_for([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, 20s)) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    bool started() {
        return wait_for([&] { return read_file(truth_).find("\"event\":\"start\"") != std::string::npos; },
                        10s);
    }
    bool object_exists(const std::string& name) const {
        return std::filesystem::exists("/dev/shm/" + prefix_ + name);
    }

    std::string prefix_ = testing::unique_prefix("process");
    std::string truth_ = (std::filesystem::temp_directory_path() / (prefix_ + "truth.jsonl")).string();
    pid_t pid_ = -1;
};

int run_to_end(const std::vector<std::string>& args) {
    std::vector<std::string> all = {LMU_SIM_EXE};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    posix_spawn_file_actions_t quiet;
    ::posix_spawn_file_actions_init(&quiet);
    ::posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    const int spawned = ::posix_spawn(&pid, LMU_SIM_EXE, &quiet, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0) return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Process, RunsAsLmuExeAndRemovesItsObjectsOnSigterm) {
    spawn({});
    ASSERT_TRUE(started());
    const std::string proc = "/proc/" + std::to_string(pid_);
    EXPECT_EQ(read_file(proc + "/comm"), "LMU.exe\n");
    EXPECT_EQ(read_file(proc + "/cmdline").substr(0, 8), std::string("LMU.exe\0", 8));
    EXPECT_EQ(sim_bridge::is_lmu_process_running(), sim_bridge::ProcessState::Running);
    EXPECT_TRUE(object_exists("LMU_Data"));
    EXPECT_TRUE(object_exists("LMU_Data_Event"));

    ::kill(pid_, SIGTERM);
    EXPECT_EQ(wait_exit(), 0);
    for (const char* name :
         {"LMU_Data", "LMU_Data_Event", "LMU_SharedMemoryLockData", "LMU_SharedMemoryLockEvent"}) {
        EXPECT_FALSE(object_exists(name)) << name;
    }
    EXPECT_NE(read_file(truth_).find(R"({"event":"exit","reason":"stop requested")"), std::string::npos);
}

TEST_F(Process, ReplacesWhatAKilledRunLeftAndReportsItsLaps) {
    // A killed run's leftovers: a data mapping of the wrong size and a lock block left held.
    auto stale_data = platform::SharedMapping::create_or_open(prefix_ + "LMU_Data", 100);
    auto stale_lock = platform::SharedMapping::create_or_open(prefix_ + "LMU_SharedMemoryLockData", 8);
    ASSERT_TRUE(stale_data && stale_lock);
    stale_lock->mapping.writable_data()[4] = std::byte{1};

    spawn({"--keep-process-name", "--lap-time", "2", "--track-length", "100", "--laps", "1"});
    ASSERT_TRUE(started());
    auto data = platform::SharedMapping::open_read_only(prefix_ + "LMU_Data");
    ASSERT_TRUE(data);
    EXPECT_EQ(data->size(), sim_bridge::lmu::kBlockSize);
    auto lock = platform::SharedMapping::create_or_open(prefix_ + "LMU_SharedMemoryLockData", 8);
    ASSERT_TRUE(lock);
    EXPECT_TRUE(lock->already_existed);

    EXPECT_EQ(wait_exit(), 0);
    const auto truth = read_file(truth_);
    EXPECT_NE(truth.find(R"({"event":"lap","lap":1,"sim_lap_number":0,"lap_time_s":1.99)"), std::string::npos)
        << truth;
    EXPECT_NE(truth.find(R"({"event":"exit","reason":"laps done","laps":1,)"), std::string::npos) << truth;
    EXPECT_FALSE(object_exists("LMU_Data"));
}

TEST_F(Process, KeepObjectsLeavesThemBehindLikeAKilledRun) {
    spawn({"--keep-process-name", "--duration", "0.2", "--keep-objects"});
    EXPECT_EQ(wait_exit(), 0);
    EXPECT_TRUE(object_exists("LMU_Data"));
    EXPECT_TRUE(object_exists("LMU_SharedMemoryLockData"));
}

TEST(ProcessExit, HelpSucceedsAndAMistakeFails) {
    EXPECT_EQ(run_to_end({"--help"}), 0);
    EXPECT_EQ(run_to_end({"--laps", "zero"}), 1);
}

}  // namespace
}  // namespace corvel::lmu_sim
