// measured-run: runs one command and writes the kernel's accounting of it (wait4's rusage) as
// JSON. bench/capture-cost starts corvel through it because a child forked by the Python
// script would inherit the interpreter's resident-set high-water mark, while this program's
// own is far smaller than anything it measures.
//
//   measured-run PID_FILE RESULT_FILE COMMAND [ARG...]
// PID_FILE receives the command's process id as soon as it runs (for sampling /proc meanwhile);
// RESULT_FILE receives {"exit_status", "user_s", "system_s", "max_rss_kib", "minor_faults",
// "voluntary_switches", "involuntary_switches"} when it has ended. Exit status: the command's.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

double seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

bool write_file(const char* path, const char* format, auto... values) {
    std::FILE* file = std::fopen(path, "w");
    if (file == nullptr) return false;
    std::fprintf(file, format, values...);
    return std::fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: measured-run PID_FILE RESULT_FILE COMMAND [ARG...]\n");
        return 125;
    }
    const pid_t child = fork();
    if (child < 0) {
        std::perror("measured-run: fork");
        return 125;
    }
    if (child == 0) {
        execvp(argv[3], argv + 3);
        std::perror("measured-run: exec");
        _exit(127);
    }
    if (!write_file(argv[1], "%d\n", static_cast<int>(child))) std::perror("measured-run: pid file");

    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) {
        std::perror("measured-run: wait4");
        return 125;
    }
    const int exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const bool written =
        write_file(argv[2],
                   "{\"exit_status\": %d, \"user_s\": %.6f, \"system_s\": %.6f, \"max_rss_kib\": %ld, "
                   "\"minor_faults\": %ld, \"voluntary_switches\": %ld, \"involuntary_switches\": %ld}\n",
                   exit_status, seconds(usage.ru_utime), seconds(usage.ru_stime), usage.ru_maxrss,
                   usage.ru_minflt, usage.ru_nvcsw, usage.ru_nivcsw);
    if (!written) {
        std::perror("measured-run: result file");
        return 125;
    }
    return exit_status;
}
