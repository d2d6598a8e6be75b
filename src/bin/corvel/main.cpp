// Process entry of corvel: takes the command line as UTF-8 texts and hands over to
// run_process with the LMU adapter; the exit status is the run's.
#include <memory>
#include <string>
#include <vector>

#include "corvel/runtime.hpp"
#include "sim_bridge/lmu_adapter.hpp"
#ifdef _WIN32
#include "text/wide_text.hpp"
#endif

namespace {

std::unique_ptr<sim_bridge::SimAdapter> make_lmu_adapter(asio::any_io_executor background) {
    return std::make_unique<sim_bridge::LmuAdapter>(std::move(background));
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return corvel::run_process(text::utf8_arguments(argc, argv), make_lmu_adapter); }
#else
int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return corvel::run_process(std::move(args), make_lmu_adapter);
}
#endif
