// Linux needs no process-wide settings: terminals take UTF-8 and timers are precise already
// (the console streams leave every stream as it is there).
#include "corvel/process_settings.hpp"

namespace corvel {

ProcessSettings::ProcessSettings() = default;
ProcessSettings::~ProcessSettings() = default;

}  // namespace corvel
