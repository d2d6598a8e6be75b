// lap-generator's command line: the capture's own options, and every other one handed to
// lmu-sim's parser, so that the session is described exactly as lmu-sim's is.
#pragma once

#include <expected>
#include <iosfwd>
#include <span>
#include <string>

#include "lap_generator/lap_generator.hpp"

namespace corvel::lap_generator {

struct CommandLine {
    GeneratorOptions options;
    bool help = false;
};

// `args` without the program name. The error is one line for the user.
[[nodiscard]] std::expected<CommandLine, std::string> parse_command_line(std::span<const std::string> args);

[[nodiscard]] std::string usage_text();

// The whole program: 0 when the laps were written, 1 with one "lap-generator: error: ..." line.
int lap_generator_main(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace corvel::lap_generator
