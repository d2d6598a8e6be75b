// Linux named mappings and events on POSIX shared memory (/dev/shm). A mapping is the object
// "/NAME"; an event is the object "/NAME" holding one 32-bit futex word (0 clear, 1 signalled),
// shared between processes, so the futex calls must not be private.
#include <fcntl.h>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>

#include "sim_bridge/platform/named_objects.hpp"

namespace sim_bridge::platform {
namespace {

constexpr std::size_t kEventSize = sizeof(std::uint32_t);
constexpr mode_t kOwnerOnly = 0600;

std::error_code last_error() {
    return {errno, std::system_category()};
}

std::string object_path(const std::string& name) {
    return "/" + name;
}

// Closes a descriptor on every path; the mapping outlives it.
class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    [[nodiscard]] int get() const { return fd_; }
    [[nodiscard]] bool valid() const { return fd_ >= 0; }
    [[nodiscard]] int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

OsResult<std::size_t> object_size(const Fd& fd) {
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return std::unexpected(last_error());
    return static_cast<std::size_t>(info.st_size);
}

struct OpenedObject {
    int fd;
    bool already_existed;
};

// O_EXCL tells creation from opening; the creator sizes the object, an opener only grows it.
// Two parties may race between the two shm_open calls (the object unlinked meanwhile), so
// the pair is retried a few times.
OsResult<OpenedObject> create_or_open_object(const std::string& path, std::size_t size) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        int fd = ::shm_open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, kOwnerOnly);
        if (fd >= 0) {
            if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
                auto error = last_error();
                ::close(fd);
                ::shm_unlink(path.c_str());
                return std::unexpected(error);
            }
            return OpenedObject{fd, false};
        }
        if (errno != EEXIST) return std::unexpected(last_error());

        Fd existing(::shm_open(path.c_str(), O_RDWR, 0));
        if (!existing.valid()) {
            if (errno == ENOENT) continue;
            return std::unexpected(last_error());
        }
        auto current = object_size(existing);
        if (!current) return std::unexpected(current.error());
        if (*current < size && ::ftruncate(existing.get(), static_cast<off_t>(size)) != 0) {
            return std::unexpected(last_error());
        }
        return OpenedObject{existing.release(), true};
    }
    return std::unexpected(std::make_error_code(std::errc::resource_unavailable_try_again));
}

OsResult<void*> map(const Fd& fd, std::size_t size, int protection) {
    void* view = ::mmap(nullptr, size, protection, MAP_SHARED, fd.get(), 0);
    if (view == MAP_FAILED) return std::unexpected(last_error());
    return view;
}

std::atomic_ref<std::uint32_t> futex_word(void* native) {
    return std::atomic_ref<std::uint32_t>(*static_cast<std::uint32_t*>(native));
}

long futex(void* word, int op, std::uint32_t value, const timespec* timeout) {
    return ::syscall(SYS_futex, static_cast<std::uint32_t*>(word), op, value, timeout, nullptr, 0);
}

timespec to_timespec(std::chrono::nanoseconds duration) {
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration);
    timespec result{};
    result.tv_sec = static_cast<time_t>(seconds.count());
    result.tv_nsec = static_cast<long>((duration - seconds).count());
    return result;
}

}  // namespace

// ---- SharedMapping ----

OsResult<SharedMapping> SharedMapping::open_read_only(const std::string& name) {
    Fd fd(::shm_open(object_path(name).c_str(), O_RDONLY, 0));
    if (!fd.valid()) return std::unexpected(last_error());
    auto size = object_size(fd);
    if (!size) return std::unexpected(size.error());
    // An empty object is one whose creator has not sized it yet; there is nothing to map.
    if (*size == 0) return std::unexpected(std::make_error_code(std::errc::no_message_available));
    auto view = map(fd, *size, PROT_READ);
    if (!view) return std::unexpected(view.error());
    return SharedMapping(nullptr, *view, *size);
}

OsResult<SharedMapping::CreatedOrOpened> SharedMapping::create_or_open(const std::string& name,
                                                                       std::size_t size) {
    if (size == 0) return std::unexpected(std::make_error_code(std::errc::invalid_argument));
    auto opened = create_or_open_object(object_path(name), size);
    if (!opened) return std::unexpected(opened.error());
    Fd fd(opened->fd);
    auto view = map(fd, size, PROT_READ | PROT_WRITE);
    if (!view) return std::unexpected(view.error());
    return CreatedOrOpened{SharedMapping(nullptr, *view, size), opened->already_existed};
}

OsResult<SharedMapping> SharedMapping::create_replacing(const std::string& name, std::size_t size) {
    if (size == 0) return std::unexpected(std::make_error_code(std::errc::invalid_argument));
    const std::string temporary = name + ".new-" + std::to_string(::getpid());
    const std::string temporary_path = object_path(temporary);
    ::shm_unlink(temporary_path.c_str());  // a leftover of a killed run with the same pid
    Fd fd(::shm_open(temporary_path.c_str(), O_RDWR | O_CREAT | O_EXCL, kOwnerOnly));
    if (!fd.valid()) return std::unexpected(last_error());
    if (::ftruncate(fd.get(), static_cast<off_t>(size)) != 0) {
        auto error = last_error();
        ::shm_unlink(temporary_path.c_str());
        return std::unexpected(error);
    }
    auto view = map(fd, size, PROT_READ | PROT_WRITE);
    if (!view) {
        ::shm_unlink(temporary_path.c_str());
        return std::unexpected(view.error());
    }
    // POSIX shared memory lives in /dev/shm; rename() swaps the complete object in atomically.
    if (::rename(("/dev/shm/" + temporary).c_str(), ("/dev/shm/" + name).c_str()) != 0) {
        auto error = last_error();
        ::munmap(*view, size);
        ::shm_unlink(temporary_path.c_str());
        return std::unexpected(error);
    }
    return SharedMapping(nullptr, *view, size);
}

void SharedMapping::unmap() noexcept {
    if (view_ != nullptr) ::munmap(view_, size_);
    view_ = nullptr;
    size_ = 0;
}

void SharedMapping::close() noexcept {
    unmap();
    handle_ = nullptr;
}

// ---- NamedEvent ----

OsResult<NamedEvent> NamedEvent::open_for_waiting(const std::string& name) {
    // Read-write even for waiting: consuming a signal writes the word.
    Fd fd(::shm_open(object_path(name).c_str(), O_RDWR, 0));
    if (!fd.valid()) return std::unexpected(last_error());
    auto size = object_size(fd);
    if (!size) return std::unexpected(size.error());
    // The creator has not sized it yet.
    if (*size < kEventSize) return std::unexpected(std::make_error_code(std::errc::no_message_available));
    auto view = map(fd, kEventSize, PROT_READ | PROT_WRITE);
    if (!view) return std::unexpected(view.error());
    return NamedEvent(*view);
}

OsResult<NamedEvent> NamedEvent::create_or_open(const std::string& name) {
    auto opened = create_or_open_object(object_path(name), kEventSize);
    if (!opened) return std::unexpected(opened.error());
    Fd fd(opened->fd);
    auto view = map(fd, kEventSize, PROT_READ | PROT_WRITE);
    if (!view) return std::unexpected(view.error());
    return NamedEvent(*view);
}

WaitResult NamedEvent::wait(std::chrono::milliseconds timeout) const {
    if (native_ == nullptr) return WaitResult::Failed;
    auto word = futex_word(native_);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        std::uint32_t expected = 1;
        if (word.compare_exchange_strong(expected, 0)) return WaitResult::Signalled;

        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::nanoseconds::zero()) return WaitResult::TimedOut;
        const timespec relative = to_timespec(left);
        if (futex(native_, FUTEX_WAIT, 0, &relative) == 0) continue;  // woken: try to consume
        switch (errno) {
            case ETIMEDOUT:
                return WaitResult::TimedOut;
            case EINTR:
            case EAGAIN:
                continue;  // interrupted, or the word was no longer 0
            default:
                return WaitResult::Failed;
        }
    }
}

OsResult<void> NamedEvent::signal() const {
    if (native_ == nullptr) return std::unexpected(std::make_error_code(std::errc::bad_file_descriptor));
    futex_word(native_).store(1, std::memory_order_release);
    if (futex(native_, FUTEX_WAKE, 1, nullptr) < 0) return std::unexpected(last_error());
    return {};
}

void NamedEvent::close() noexcept {
    if (native_ != nullptr) ::munmap(native_, kEventSize);
    native_ = nullptr;
}

OsResult<void> unlink_shared_object(const std::string& name) {
    if (::shm_unlink(object_path(name).c_str()) != 0) return std::unexpected(last_error());
    return {};
}

}  // namespace sim_bridge::platform
