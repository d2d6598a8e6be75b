// corvel-lap's command line: `info`, `verify`, `csv` and `plot` over a captured lap, with
// --help for the program and each command. The OS entry points convert the arguments to
// UTF-8 and call run_corvel_lap.
#pragma once

#include <iosfwd>
#include <span>
#include <string>

namespace corvel {

// `args` without the program name, UTF-8. Normal output goes to `out`, the failure report
// ("Error: ...") and warnings to `err`. Returns the exit status: 0 success, 1 failure.
[[nodiscard]] int run_corvel_lap(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace corvel
