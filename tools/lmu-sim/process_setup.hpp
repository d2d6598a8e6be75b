// What the stand-in needs from its own process, one implementation per OS: stopping cleanly
// on Ctrl+C or a termination request, and sleeping with millisecond precision.
#pragma once

namespace corvel::lmu_sim {

// SIGINT, SIGTERM and SIGHUP on Linux (SIGPIPE is ignored); console control events on Windows.
void install_stop_handlers();
[[nodiscard]] bool stop_requested();

// Windows sleeps in 15.6 ms steps unless asked otherwise; 100 Hz needs 1 ms.
void use_fine_timer();

}  // namespace corvel::lmu_sim
