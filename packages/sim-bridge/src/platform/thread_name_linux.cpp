// Linux thread names through pthread_setname_np (at most 15 characters plus the terminator).
#include <pthread.h>

#include <cstring>
#include <string>

#include "platform/thread_name.hpp"

namespace sim_bridge::platform {

void set_current_thread_name(const char* name) noexcept {
    constexpr std::size_t kLongest = 15;
    char truncated[kLongest + 1] = {};
    std::strncpy(truncated, name, kLongest);
    ::pthread_setname_np(::pthread_self(), truncated);
}

}  // namespace sim_bridge::platform
