// The stand-in simulator's program: parses its command line, publishes the scripted session
// tick by tick in real time and reports what it did.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace corvel::lmu_sim {

// `args` without the program name; `process_name` is how the system lists this process.
// Returns the exit status.
[[nodiscard]] int lmu_sim_main(std::span<const std::string> args, std::string_view process_name);

}  // namespace corvel::lmu_sim
