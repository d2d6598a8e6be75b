// OutputFile on Windows: a file HANDLE from CreateFileW, so any path is reachable
// independent of the ANSI code page, and errors carry GetLastError() codes.
#include <windows.h>

#include <algorithm>

#include "lap_format/output_file.hpp"

namespace corvel {
namespace {

HANDLE as_handle(std::intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

}  // namespace

std::expected<OutputFile, IoError> OutputFile::create(const std::filesystem::path& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::unexpected(IoError::last_os_error());
    return OutputFile(reinterpret_cast<std::intptr_t>(file));
}

std::expected<std::size_t, IoError> OutputFile::write(std::span<const std::byte> bytes) {
    const DWORD length = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(as_handle(handle_), bytes.data(), length, &written, nullptr)) {
        return std::unexpected(IoError::last_os_error());
    }
    return static_cast<std::size_t>(written);
}

std::expected<void, IoError> OutputFile::close() {
    if (handle_ == kClosed) return {};
    HANDLE file = as_handle(handle_);
    handle_ = kClosed;
    if (!CloseHandle(file)) return std::unexpected(IoError::last_os_error());
    return {};
}

void OutputFile::close_quietly() noexcept {
    if (handle_ != kClosed) CloseHandle(as_handle(handle_));
    handle_ = kClosed;
}

}  // namespace corvel
