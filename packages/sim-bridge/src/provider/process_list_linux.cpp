// Process list and shared-memory probe on Linux: image names from /proc, mappings as POSIX
// shared-memory objects. Wine and Proton start Windows programs with a Windows path as
// argv[0], which is why the image name is split at backslashes as well.
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "provider/process_list.hpp"
#include "sim_bridge/detection_rules.hpp"

namespace sim_bridge::provider {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

bool is_pid(const char* name) {
    if (*name == '\0') return false;
    for (; *name != '\0'; ++name) {
        if (*name < '0' || *name > '9') return false;
    }
    return true;
}

// The whole content of a small /proc file; nullopt when it cannot be read (the process may
// have ended since the directory was listed).
std::optional<std::string> read_proc_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string content;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(fd);
            if (n < 0) return std::nullopt;
            return content;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
}

}  // namespace

std::optional<std::vector<std::string>> take_process_listing() {
    std::unique_ptr<DIR, DirCloser> proc(::opendir("/proc"));
    if (!proc) return std::nullopt;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(proc.get())) {
        if (!is_pid(entry->d_name)) continue;
        const std::string base = std::string("/proc/") + entry->d_name;
        const auto cmdline = read_proc_file(base + "/cmdline");
        const auto comm = read_proc_file(base + "/comm");
        if (!cmdline && !comm) continue;  // gone meanwhile
        std::string name = image_name_from_proc(cmdline.value_or(""), comm.value_or(""));
        if (!name.empty()) names.push_back(std::move(name));
    }
    return names;
}

bool shared_memory_exists(const std::string& name) {
    const int fd = ::shm_open(("/" + name).c_str(), O_RDONLY, 0);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

}  // namespace sim_bridge::provider
