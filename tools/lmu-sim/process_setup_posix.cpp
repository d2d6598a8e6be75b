// POSIX: a stop signal only sets a flag; the main loop notices it within one tick and cleans up.
#include <signal.h>

#include <atomic>

#include "process_setup.hpp"

namespace corvel::lmu_sim {
namespace {

std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void on_stop_signal(int) {
    g_stop.store(true);
}

}  // namespace

void install_stop_handlers() {
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
    // A closed standard output (a pipe whose reader went) must not kill the process before it
    // removes its objects; the failed write is simply lost.
    ::signal(SIGPIPE, SIG_IGN);
}

bool stop_requested() {
    return g_stop.load();
}

void use_fine_timer() {}

}  // namespace corvel::lmu_sim
