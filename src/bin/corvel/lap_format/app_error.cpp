// Display and diagnostic forms of AppError.
#include "lap_format/app_error.hpp"

#include "text/quoted_text.hpp"

namespace corvel {

std::string AppError::display() const {
    if (const IoError* error = io_error()) return "IO error: " + error->display();
    return "Invalid data: " + *message();
}

std::string AppError::diagnostic() const {
    if (const IoError* error = io_error()) return "Io(" + error->diagnostic() + ")";
    return "InvalidData(" + text::quoted_text(*message()) + ")";
}

}  // namespace corvel
