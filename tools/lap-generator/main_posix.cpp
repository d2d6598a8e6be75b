// lap-generator's process entry on Linux and other POSIX systems: arguments are already UTF-8.
#include <iostream>
#include <string>
#include <vector>

#include "lap_generator/command_line.hpp"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return corvel::lap_generator::lap_generator_main(args, std::cout, std::cerr);
}
