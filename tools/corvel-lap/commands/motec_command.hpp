// `corvel-lap motec FILE.bin [-o OUT.ld]`: exports a captured lap to a MoTeC i2 log, the .ld
// and the .ldx beside it (same stem). Without -o both go beside FILE, named after its stem.
#pragma once

#include <filesystem>
#include <span>
#include <string>

#include "commands/command_support.hpp"

namespace corvel::motec {

CommandResult run_motec(std::span<const std::string> args, CommandIo& io);

// The default .ld path for a lap file, and the .ldx path that belongs to an .ld path.
[[nodiscard]] std::filesystem::path default_ld_path(const std::filesystem::path& lap_path);
[[nodiscard]] std::filesystem::path ldx_path_for(const std::filesystem::path& ld_path);

}  // namespace corvel::motec
