// Names the calling thread, so that debuggers and process monitors show what it is for.
// One implementation per OS: thread_name_{linux,win32}.cpp.
#pragma once

namespace sim_bridge::platform {

// Best effort: a name the OS cannot take is ignored. Linux keeps at most 15 characters.
void set_current_thread_name(const char* name) noexcept;

}  // namespace sim_bridge::platform
