// lap-generator's process entry on Windows: the UTF-16 command line becomes UTF-8.
#include <iostream>

#include "lap_generator/command_line.hpp"
#include "text/wide_text.hpp"

int wmain(int argc, wchar_t** argv) {
    return corvel::lap_generator::lap_generator_main(text::utf8_arguments(argc, argv), std::cout, std::cerr);
}
