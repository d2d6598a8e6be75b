// OutputFile on POSIX: a file descriptor.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "lap_format/output_file.hpp"

namespace corvel {

std::expected<OutputFile, IoError> OutputFile::create(const std::filesystem::path& path) {
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return std::unexpected(IoError::last_os_error());
    return OutputFile(fd);
}

std::expected<std::size_t, IoError> OutputFile::write(std::span<const std::byte> bytes) {
    const ssize_t n = ::write(static_cast<int>(handle_), bytes.data(), bytes.size());
    if (n < 0) return std::unexpected(IoError::last_os_error());
    return static_cast<std::size_t>(n);
}

std::expected<void, IoError> OutputFile::close() {
    if (handle_ == kClosed) return {};
    const int fd = static_cast<int>(handle_);
    handle_ = kClosed;
    // Not retried on EINTR: the descriptor is released either way on Linux.
    if (::close(fd) != 0 && errno != EINTR) return std::unexpected(IoError::last_os_error());
    return {};
}

void OutputFile::close_quietly() noexcept {
    if (handle_ != kClosed) ::close(static_cast<int>(handle_));
    handle_ = kClosed;
}

}  // namespace corvel
