// Runs corvel-lap's command line in the test process and keeps what it printed, for the tests
// that check exit statuses and texts.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "corvel_lap.hpp"

namespace corvel::testing {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

inline Outcome run(std::vector<std::string> args) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = run_corvel_lap(args, out, err);
    return {status, out.str(), err.str()};
}

}  // namespace corvel::testing
