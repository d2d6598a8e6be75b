// BufferedWriter: collects small writes in a fixed buffer in front of a ByteSink so that a
// lap file costs one or two system writes.
#pragma once

#include <cstddef>
#include <expected>
#include <span>
#include <vector>

#include "lap_format/byte_sink.hpp"
#include "lap_format/io_error.hpp"

namespace corvel {

inline constexpr std::size_t kWriteBufferSize = 8192;

class BufferedWriter {
  public:
    explicit BufferedWriter(ByteSink& sink, std::size_t capacity = kWriteBufferSize);
    BufferedWriter(const BufferedWriter&) = delete;
    BufferedWriter& operator=(const BufferedWriter&) = delete;
    // Writes out what is still buffered; errors at this point are ignored.
    ~BufferedWriter();

    // Copies `bytes` into the buffer when they fit; otherwise writes the buffer out first,
    // then buffers `bytes` if shorter than the capacity or writes them straight through.
    [[nodiscard]] std::expected<void, IoError> write(std::span<const std::byte> bytes);
    // Writes out every buffered byte, retrying interrupted writes (at most
    // kInterruptedWritesInARow in a row); a write that takes nothing fails with "failed to
    // write the buffered data".
    [[nodiscard]] std::expected<void, IoError> flush();

    [[nodiscard]] std::size_t buffered() const { return buffer_.size(); }

  private:
    ByteSink& sink_;
    std::size_t capacity_;
    std::vector<std::byte> buffer_;
};

}  // namespace corvel
