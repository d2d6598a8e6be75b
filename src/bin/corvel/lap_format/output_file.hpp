// OutputFile: a file created (or truncated) for writing, with errors that carry the
// operating system's code. open/write/close on POSIX, CreateFileW/WriteFile on Windows.
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>

#include "lap_format/byte_sink.hpp"
#include "lap_format/io_error.hpp"

namespace corvel {

class OutputFile final : public ByteSink {
  public:
    // Creates the file or truncates an existing one. Parent directories are not created.
    [[nodiscard]] static std::expected<OutputFile, IoError> create(const std::filesystem::path& path);

    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile() override;

    [[nodiscard]] std::expected<std::size_t, IoError> write(std::span<const std::byte> bytes) override;
    // Closes now and reports the system's verdict; the destructor closes silently.
    [[nodiscard]] std::expected<void, IoError> close();

  private:
    explicit OutputFile(std::intptr_t handle) : handle_(handle) {}
    void close_quietly() noexcept;

    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t handle_ = kClosed;  // a file descriptor, or a Windows HANDLE
};

}  // namespace corvel
