// Process-wide settings that hold for the length of a run and are undone after it: on
// Windows console text through WriteConsoleW, "\n" line ends and a 1 ms timer period;
// nothing on Linux.
#pragma once

#include "sim_bridge/platform/console_text.hpp"

namespace corvel {

class ProcessSettings {
  public:
    ProcessSettings();
    ~ProcessSettings();
    ProcessSettings(const ProcessSettings&) = delete;
    ProcessSettings& operator=(const ProcessSettings&) = delete;

  private:
    // Put back last, after the destructor has flushed both streams.
    sim_bridge::platform::ConsoleStreams console_streams_;
    bool timer_period_raised_ = false;
    int previous_stdout_mode_ = -1;  // -1: not changed
    int previous_stderr_mode_ = -1;
};

}  // namespace corvel
