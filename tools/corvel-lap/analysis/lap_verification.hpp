// Checks a lap file and its metadata document against each other and against what every
// record a writer produces must hold. Reusable by tests and later tools; `verify` prints it.
#pragma once

#include <string>
#include <vector>

#include "lap_format/json/lap_file.hpp"

namespace corvel {

// Every problem found, each a sentence naming what disagrees; empty when the lap is sound.
[[nodiscard]] std::vector<std::string> verify_lap(const LapFile& lap);

}  // namespace corvel
