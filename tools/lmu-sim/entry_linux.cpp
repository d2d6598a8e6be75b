// Linux entry. corvel's detection looks for LMU's executable name in the process list, so the
// stand-in runs itself again as "LMU.exe" (argv[0] through /proc/self/exe, and the kernel's
// short process name through prctl), unless told to keep its own name.
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "sim_options.hpp"
#include "simulator.hpp"

namespace {

constexpr const char* kLmuImageName = "LMU.exe";

std::string_view base_name(std::string_view path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto options = corvel::lmu_sim::parse_options(args);
    std::string process_name(base_name(argc > 0 ? argv[0] : "lmu-sim"));
    if (options && !options->help && !options->list_corners && !options->keep_process_name) {
        if (process_name != kLmuImageName) {
            std::vector<char*> lmu_argv(argv, argv + argc);
            lmu_argv.push_back(nullptr);
            lmu_argv[0] = const_cast<char*>(kLmuImageName);
            ::execv("/proc/self/exe", lmu_argv.data());
            std::fprintf(stderr, "lmu-sim: warning: cannot run as %s (%s); detection will not see LMU\n",
                         kLmuImageName, std::strerror(errno));
        } else {
            ::prctl(PR_SET_NAME, kLmuImageName, 0, 0, 0);
        }
    }
    return corvel::lmu_sim::lmu_sim_main(args, process_name);
}
