// BufferedWriter: one fixed buffer in front of a ByteSink.
#include "lap_format/buffered_writer.hpp"

#include <algorithm>
#include <string>

namespace corvel {

BufferedWriter::BufferedWriter(ByteSink& sink, std::size_t capacity) : sink_(sink), capacity_(capacity) {
    buffer_.reserve(capacity_);
}

BufferedWriter::~BufferedWriter() {
    if (!buffer_.empty()) (void)flush();
}

std::expected<void, IoError> BufferedWriter::write(std::span<const std::byte> bytes) {
    if (bytes.size() > capacity_ - buffer_.size()) {
        if (auto flushed = flush(); !flushed) return flushed;
    }
    if (bytes.size() >= capacity_) return write_all(sink_, bytes, "failed to write whole buffer");
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    return {};
}

std::expected<void, IoError> BufferedWriter::flush() {
    std::size_t written = 0;
    int interrupted = 0;
    std::expected<void, IoError> result;
    while (written < buffer_.size()) {
        auto n = sink_.write(std::span(buffer_).subspan(written));
        if (!n) {
            if (n.error().kind() == IoErrorKind::Interrupted && ++interrupted < kInterruptedWritesInARow)
                continue;
            result = std::unexpected(n.error());
            break;
        }
        interrupted = 0;
        if (*n == 0) {
            result = std::unexpected(IoError(IoErrorKind::WriteZero, "failed to write the buffered data"));
            break;
        }
        written += std::min(*n, buffer_.size() - written);
    }
    // What went out is gone from the buffer, also when a later write failed.
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(written));
    return result;
}

}  // namespace corvel
