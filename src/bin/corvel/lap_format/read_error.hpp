// ReadError: why a lap file or its metadata document could not be read. The kind lets
// callers and tests tell the faults apart; the message names the fault for a person.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvel {

enum class ReadErrorKind : std::uint8_t {
    Io,                     // the file could not be opened or read
    TooShortForHeader,      // fewer than 16 bytes
    WrongMagic,             // not "VKTF"
    UnexpectedHeaderBytes,  // bytes 4..7 not 05 01 3C 00, or bytes 12..15 not zero
    TooManySamples,         // the header's count is beyond what this reader accepts
    TruncatedFrame,         // the file ends before the zstd frame does
    TrailingBytes,          // something follows the zstd frame
    FrameTooLarge,          // the frame declares or produces more than 8 + 41 * N bytes
    CorruptFrame,           // not a zstd frame, or zstd cannot decode it
    CountMismatch,          // the block's u64 count differs from the header's
    BlockLengthMismatch,    // the block is not 8 + 41 * N bytes
    MetadataInvalid,        // the JSON document beside the lap is malformed
};

[[nodiscard]] std::string_view read_error_kind_name(ReadErrorKind kind);

struct ReadError {
    ReadErrorKind kind;
    std::string message;  // complete, e.g. "wrong magic: expected \"VKTF\" ..."

    bool operator==(const ReadError&) const = default;
};

}  // namespace corvel
