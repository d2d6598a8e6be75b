// Classification of errno values (the C runtime's codes, the same on every platform we
// build for); used by IoError and by the POSIX backend for native codes.
#pragma once

#include "lap_format/io_error.hpp"

namespace corvel {

[[nodiscard]] IoErrorKind errno_error_kind(int value);

}  // namespace corvel
