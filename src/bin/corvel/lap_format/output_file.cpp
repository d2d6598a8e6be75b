// The platform-neutral part of OutputFile: ownership of the handle.
#include "lap_format/output_file.hpp"

#include <utility>

namespace corvel {

OutputFile::OutputFile(OutputFile&& other) noexcept : handle_(std::exchange(other.handle_, kClosed)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        close_quietly();
        handle_ = std::exchange(other.handle_, kClosed);
    }
    return *this;
}

OutputFile::~OutputFile() {
    close_quietly();
}

}  // namespace corvel
