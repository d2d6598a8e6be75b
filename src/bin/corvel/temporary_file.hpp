// Files that appear under their names only when complete: written beside the target under a
// temporary name, then renamed over it, so an interrupted or failed write never leaves a
// half file that looks like a finished one.
#pragma once

#include <expected>
#include <filesystem>

#include "lap_format/io_error.hpp"

namespace corvel {

// "<file name>.part" in the same folder: the rename then never crosses file systems, and the
// name ends neither in ".bin" nor ".json", so no lap reader takes it for a lap.
[[nodiscard]] std::filesystem::path temporary_name_for(const std::filesystem::path& target);

// Renames `temporary` over `target` (replacing an existing file); on failure the temporary
// is removed and the rename's error returned.
[[nodiscard]] std::expected<void, IoError> move_into_place(const std::filesystem::path& temporary,
                                                           const std::filesystem::path& target);

// Removes `path` if it exists; errors are ignored (used only to clean up after a failure).
void remove_quietly(const std::filesystem::path& path) noexcept;

}  // namespace corvel
