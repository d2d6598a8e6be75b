// Native error codes on POSIX systems are errno values.
#include <cerrno>
#include <system_error>

#include "lap_format/errno_kind.hpp"
#include "lap_format/io_error.hpp"

namespace corvel {

IoError IoError::last_os_error() {
    return IoError(std::error_code(errno, std::system_category()));
}

std::string native_error_text(int code) {
    return std::system_category().message(code);
}

IoErrorKind native_error_kind(int code) {
    return errno_error_kind(code);
}

}  // namespace corvel
