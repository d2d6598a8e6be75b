// Display and diagnostic forms of IoError, and the portable errno classification.
#include "lap_format/io_error.hpp"

#include "lap_format/errno_kind.hpp"
#include "text/quoted_text.hpp"

namespace corvel {
namespace {

bool is_native(const std::error_code& code) {
    return code.category() == std::system_category();
}

IoErrorKind kind_of(const std::error_code& code) {
    return is_native(code) ? native_error_kind(code.value()) : errno_error_kind(code.value());
}

std::string text_of(const std::error_code& code) {
    return is_native(code) ? native_error_text(code.value()) : code.message();
}

}  // namespace

std::string_view io_error_kind_name(IoErrorKind kind) {
    using K = IoErrorKind;
    switch (kind) {
        case K::NotFound:
            return "NotFound";
        case K::PermissionDenied:
            return "PermissionDenied";
        case K::AlreadyExists:
            return "AlreadyExists";
        case K::WouldBlock:
            return "WouldBlock";
        case K::InvalidInput:
            return "InvalidInput";
        case K::InvalidData:
            return "InvalidData";
        case K::TimedOut:
            return "TimedOut";
        case K::WriteZero:
            return "WriteZero";
        case K::Interrupted:
            return "Interrupted";
        case K::Unsupported:
            return "Unsupported";
        case K::UnexpectedEof:
            return "UnexpectedEof";
        case K::OutOfMemory:
            return "OutOfMemory";
        case K::NotADirectory:
            return "NotADirectory";
        case K::IsADirectory:
            return "IsADirectory";
        case K::DirectoryNotEmpty:
            return "DirectoryNotEmpty";
        case K::ReadOnlyFilesystem:
            return "ReadOnlyFilesystem";
        case K::StorageFull:
            return "StorageFull";
        case K::FileTooLarge:
            return "FileTooLarge";
        case K::InvalidFilename:
            return "InvalidFilename";
        case K::ResourceBusy:
            return "ResourceBusy";
        case K::Other:
            return "Other";
        case K::Uncategorized:
            break;
    }
    return "Uncategorized";
}

IoError::IoError(std::error_code code) : code_(code), kind_(kind_of(code)) {}

IoError::IoError(IoErrorKind kind, std::string message) : kind_(kind), message_(std::move(message)) {}

std::string IoError::display() const {
    if (!code_) return message_;
    return text_of(*code_) + " (os error " + std::to_string(code_->value()) + ")";
}

std::string IoError::diagnostic() const {
    const std::string kind(io_error_kind_name(kind_));
    if (!code_) return "Error { kind: " + kind + ", message: " + text::quoted_text(message_) + " }";
    return "Os { code: " + std::to_string(code_->value()) + ", kind: " + kind +
           ", message: " + text::quoted_text(text_of(*code_)) + " }";
}

IoErrorKind errno_error_kind(int value) {
    using K = IoErrorKind;
    switch (static_cast<std::errc>(value)) {
        case std::errc::no_such_file_or_directory:
            return K::NotFound;
        case std::errc::permission_denied:
        case std::errc::operation_not_permitted:
            return K::PermissionDenied;
        case std::errc::file_exists:
            return K::AlreadyExists;
        case std::errc::resource_unavailable_try_again:
            return K::WouldBlock;
        case std::errc::invalid_argument:
            return K::InvalidInput;
        case std::errc::timed_out:
            return K::TimedOut;
        case std::errc::interrupted:
            return K::Interrupted;
        case std::errc::function_not_supported:
        case std::errc::not_supported:
            return K::Unsupported;
        case std::errc::not_enough_memory:
            return K::OutOfMemory;
        case std::errc::not_a_directory:
            return K::NotADirectory;
        case std::errc::is_a_directory:
            return K::IsADirectory;
        case std::errc::directory_not_empty:
            return K::DirectoryNotEmpty;
        case std::errc::read_only_file_system:
            return K::ReadOnlyFilesystem;
        case std::errc::no_space_on_device:
            return K::StorageFull;
        case std::errc::file_too_large:
            return K::FileTooLarge;
        case std::errc::filename_too_long:
            return K::InvalidFilename;
        case std::errc::device_or_resource_busy:
            return K::ResourceBusy;
        default:
            return K::Uncategorized;
    }
}

}  // namespace corvel
