// Work spread over the machine's cores: every index of a range handed once to one of a few
// threads. For independent jobs of similar size (reading and analysing one lap each).
#pragma once

#include <cstddef>
#include <functional>

namespace corvel {

// Calls work(i) once for every i in [0, count), from up to `max_threads` threads (0: one per
// core), the calling thread among them; returns when every call has returned. An exception
// thrown by a call stops the hand-out of further indices and is rethrown here.
void parallel_for(std::size_t count, const std::function<void(std::size_t)>& work, unsigned max_threads = 0);

}  // namespace corvel
