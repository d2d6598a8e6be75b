// Process-wide settings that hold for the length of a run and are undone after it: on
// Windows UTF-8 console output, "\n" line ends and a 1 ms timer period; nothing on Linux.
#pragma once

namespace corvel {

class ProcessSettings {
public:
    ProcessSettings();
    ~ProcessSettings();
    ProcessSettings(const ProcessSettings&) = delete;
    ProcessSettings& operator=(const ProcessSettings&) = delete;

private:
    unsigned previous_output_code_page_ = 0;  // 0: not changed
    bool timer_period_raised_ = false;
    int previous_stdout_mode_ = -1;  // -1: not changed
    int previous_stderr_mode_ = -1;
};

}  // namespace corvel
