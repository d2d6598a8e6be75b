// Simulator detection against the real Linux system: a child process whose argv[0] is
// "LMU.exe" (as Wine starts Windows programs) and real POSIX shared-memory objects.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "sim_bridge/detection_rules.hpp"
#include "sim_bridge/simulator_detection.hpp"

namespace {

// A /bin/sleep started under the name `argv0`, ended and reaped when the object goes.
class NamedChild {
public:
    explicit NamedChild(const char* argv0) {
        // The write end closes on a successful exec, so a read of 0 bytes means the child now
        // runs under its new name; a failed exec sends its errno instead.
        int sync[2];
        if (::pipe2(sync, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(sync[0]);
            char* const argv[] = {const_cast<char*>(argv0), const_cast<char*>("60"), nullptr};
            ::execv("/bin/sleep", argv);
            const int err = errno;
            (void)!::write(sync[1], &err, sizeof err);
            ::_exit(127);
        }
        ::close(sync[1]);
        int err = 0;
        ssize_t n;
        do {
            n = ::read(sync[0], &err, sizeof err);
        } while (n < 0 && errno == EINTR);
        ::close(sync[0]);
        started_ = pid_ > 0 && n == 0;
    }
    ~NamedChild() { stop(); }
    NamedChild(const NamedChild&) = delete;
    NamedChild& operator=(const NamedChild&) = delete;

    [[nodiscard]] bool started() const { return started_; }
    void stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    bool started_ = false;
};

// A POSIX shared-memory object that exists while the object lives.
class ShmObject {
public:
    explicit ShmObject(std::string name) : name_("/" + std::move(name)) {
        const int fd = ::shm_open(name_.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
        created_ = fd >= 0;
        if (created_) ::close(fd);
    }
    ~ShmObject() {
        if (created_) ::shm_unlink(name_.c_str());
    }
    ShmObject(const ShmObject&) = delete;
    ShmObject& operator=(const ShmObject&) = delete;
    [[nodiscard]] bool created() const { return created_; }

private:
    std::string name_;
    bool created_ = false;
};

const sim_bridge::DetectedSimulator* find_lmu(const std::vector<sim_bridge::DetectedSimulator>& found) {
    const auto it = std::find_if(found.begin(), found.end(),
                                 [](const auto& sim) { return sim.kind == sim_bridge::SimulatorKind::LMU; });
    return it == found.end() ? nullptr : &*it;
}

}  // namespace

TEST(LinuxDetection, FindsAProcessStartedAsLmuExe) {
    NamedChild child("C:\\Games\\LMU\\LMU.exe");
    ASSERT_TRUE(child.started());

    EXPECT_TRUE(sim_bridge::list_running_processes().contains("lmu.exe"));
    const auto found = sim_bridge::detect_simulators();
    const auto* lmu = find_lmu(found);
    ASSERT_NE(lmu, nullptr);
    EXPECT_NE(lmu->process_name.find("lmu"), std::string::npos);
    EXPECT_EQ(sim_bridge::is_lmu_process_running(), sim_bridge::ProcessState::Running);
}

TEST(LinuxDetection, ReportsLmuGoneOnceItsProcessEnded) {
    if (sim_bridge::is_lmu_process_running() == sim_bridge::ProcessState::Running) {
        GTEST_SKIP() << "another process named like LMU runs on this machine (a stand-in simulator?)";
    }
    NamedChild child("LMU.exe");
    ASSERT_TRUE(child.started());
    child.stop();

    EXPECT_EQ(sim_bridge::is_lmu_process_running(), sim_bridge::ProcessState::NotRunning);
    EXPECT_EQ(find_lmu(sim_bridge::detect_simulators()), nullptr);
}

TEST(LinuxDetection, ListsThisProcess) {
    // The listing always holds the process that takes it, so it is never empty.
    EXPECT_FALSE(sim_bridge::list_running_processes().empty());
}

TEST(LinuxDetection, ProbesPosixSharedMemoryByName) {
    const std::string name = "Local\\corvel_probe_" + std::to_string(::getpid());
    EXPECT_FALSE(sim_bridge::probe_shared_memory(name));
    {
        ShmObject object(name);
        ASSERT_TRUE(object.created());
        EXPECT_TRUE(sim_bridge::probe_shared_memory(name));
    }
    EXPECT_FALSE(sim_bridge::probe_shared_memory(name));
}
