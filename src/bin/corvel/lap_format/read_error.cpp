// Names of the read error kinds, for diagnostics and test output.
#include "lap_format/read_error.hpp"

namespace corvel {

std::string_view read_error_kind_name(ReadErrorKind kind) {
    switch (kind) {
        case ReadErrorKind::Io:
            return "Io";
        case ReadErrorKind::TooShortForHeader:
            return "TooShortForHeader";
        case ReadErrorKind::WrongMagic:
            return "WrongMagic";
        case ReadErrorKind::UnexpectedHeaderBytes:
            return "UnexpectedHeaderBytes";
        case ReadErrorKind::TooManySamples:
            return "TooManySamples";
        case ReadErrorKind::TruncatedFrame:
            return "TruncatedFrame";
        case ReadErrorKind::TrailingBytes:
            return "TrailingBytes";
        case ReadErrorKind::FrameTooLarge:
            return "FrameTooLarge";
        case ReadErrorKind::CorruptFrame:
            return "CorruptFrame";
        case ReadErrorKind::CountMismatch:
            return "CountMismatch";
        case ReadErrorKind::BlockLengthMismatch:
            return "BlockLengthMismatch";
        case ReadErrorKind::MetadataInvalid:
            return "MetadataInvalid";
    }
    return "Unknown";
}

}  // namespace corvel
