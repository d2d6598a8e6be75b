// write_all over any ByteSink.
#include "lap_format/byte_sink.hpp"

#include <string>

namespace corvel {

std::expected<void, IoError> write_all(ByteSink& sink, std::span<const std::byte> bytes,
                                       std::string_view zero_write_message) {
    int interrupted = 0;
    while (!bytes.empty()) {
        auto written = sink.write(bytes);
        if (!written) {
            if (written.error().kind() == IoErrorKind::Interrupted &&
                ++interrupted < kInterruptedWritesInARow) {
                continue;
            }
            return std::unexpected(written.error());
        }
        interrupted = 0;
        if (*written == 0)
            return std::unexpected(IoError(IoErrorKind::WriteZero, std::string(zero_write_message)));
        bytes = bytes.subspan(std::min(*written, bytes.size()));
    }
    return {};
}

}  // namespace corvel
