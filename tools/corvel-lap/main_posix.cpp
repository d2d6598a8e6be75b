// corvel-lap's process entry on Linux and other POSIX systems: arguments are already UTF-8.
#include <iostream>
#include <string>
#include <vector>

#include "corvel_lap.hpp"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return corvel::run_corvel_lap(args, std::cout, std::cerr);
}
