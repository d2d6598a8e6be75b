// Temporary names and the rename that publishes a finished file.
#include "corvel/temporary_file.hpp"

#include <system_error>

namespace corvel {

std::filesystem::path temporary_name_for(const std::filesystem::path& target) {
    std::filesystem::path temporary = target;
    temporary += ".part";
    return temporary;
}

std::expected<void, IoError> move_into_place(const std::filesystem::path& temporary,
                                             const std::filesystem::path& target) {
    // rename(2) on POSIX; MoveFileExW with MOVEFILE_REPLACE_EXISTING on Windows.
    std::error_code code;
    std::filesystem::rename(temporary, target, code);
    if (!code) return {};
    remove_quietly(temporary);
    return std::unexpected(IoError(code));
}

void remove_quietly(const std::filesystem::path& path) noexcept {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

}  // namespace corvel
