// `corvel-lap report`: the lap, optionally against a reference lap, as one interactive HTML
// page that works offline.
#pragma once

#include <span>
#include <string>

#include "commands/command_support.hpp"

namespace corvel {

CommandResult run_report(std::span<const std::string> args, CommandIo& io);

}  // namespace corvel
