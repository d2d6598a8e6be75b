// ByteSink: where the lap file writer's bytes go. The real one is an OutputFile; tests put
// in sinks that take a few bytes, nothing, or fail, to check the writer's handling.
#pragma once

#include <cstddef>
#include <expected>
#include <span>
#include <string_view>

#include "lap_format/io_error.hpp"

namespace corvel {

class ByteSink {
  public:
    virtual ~ByteSink() = default;
    // Writes a prefix of `bytes` (possibly nothing) and returns its length, like write(2).
    // An interrupted write is reported as an IoError of kind Interrupted.
    [[nodiscard]] virtual std::expected<std::size_t, IoError> write(std::span<const std::byte> bytes) = 0;
};

// How many writes in a row may be interrupted before the writer gives up with that
// interruption's error. An interruption is normally one-off (EINTR after a signal); on
// Windows the same kind covers ERROR_OPERATION_ABORTED, a cancelled write that can repeat
// for good, and an endless retry would hang the run with the lap unwritten.
inline constexpr int kInterruptedWritesInARow = 16;

// Writes all of `bytes`, retrying interrupted writes (at most kInterruptedWritesInARow in a
// row). A write that takes nothing fails with WriteZero and `zero_write_message`.
[[nodiscard]] std::expected<void, IoError> write_all(ByteSink& sink, std::span<const std::byte> bytes,
                                                     std::string_view zero_write_message);

}  // namespace corvel
