// Native error codes on Windows are GetLastError() values; their texts come from
// FormatMessageW, in UTF-8, without the trailing ".\r\n" the system appends.
#include <windows.h>

#include <string>
#include <system_error>

#include "lap_format/io_error.hpp"
#include "text/wide_text.hpp"

namespace corvel {
IoError IoError::last_os_error() {
    return IoError(std::error_code(static_cast<int>(GetLastError()), std::system_category()));
}

std::string native_error_text(int code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(code), 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    if (length == 0 || buffer == nullptr) return "Unknown error " + std::to_string(code);
    std::string text = text::utf8_from_wide(std::wstring_view(buffer, length));
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

IoErrorKind native_error_kind(int code) {
    using K = IoErrorKind;
    switch (static_cast<DWORD>(code)) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return K::NotFound;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return K::PermissionDenied;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            return K::AlreadyExists;
        case ERROR_INVALID_PARAMETER:
            return K::InvalidInput;
        case ERROR_INVALID_NAME:
        case ERROR_FILENAME_EXCED_RANGE:
            return K::InvalidFilename;
        case ERROR_DIRECTORY:
            return K::NotADirectory;
        case ERROR_DIR_NOT_EMPTY:
            return K::DirectoryNotEmpty;
        case ERROR_WRITE_PROTECT:
            return K::ReadOnlyFilesystem;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return K::StorageFull;
        case ERROR_FILE_TOO_LARGE:
            return K::FileTooLarge;
        case ERROR_BUSY:
            return K::ResourceBusy;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return K::OutOfMemory;
        case ERROR_NOT_SUPPORTED:
        case ERROR_CALL_NOT_IMPLEMENTED:
            return K::Unsupported;
        case ERROR_OPERATION_ABORTED:
            return K::Interrupted;
        case ERROR_TIMEOUT:
        case WAIT_TIMEOUT:
            return K::TimedOut;
        default:
            return K::Uncategorized;
    }
}

}  // namespace corvel
