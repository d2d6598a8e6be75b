// Fuzz target: corvel's command line. The input is split at NUL bytes into arguments (a
// command line cannot carry NUL), parsed with a fixed working directory, and the result held
// to the rules: numbers never 0, every error one of the known texts, nothing thrown.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "corvel/command_line.hpp"
#include "fuzz_support.hpp"
#include "text/quoted_text.hpp"

namespace {

using corvel::fuzz::require;

std::expected<std::filesystem::path, std::string> fixed_cwd() {
    return std::filesystem::path("/work/here");
}

bool known_error(std::string_view e) {
    for (const std::string_view start : {"Unknown argument: ", "Missing value for --",
                                         "Invalid --poll-ms value '", "Invalid --max-wait-secs value '"}) {
        if (e.starts_with(start)) return true;
    }
    return e == "--poll-ms must be greater than 0" || e == "--max-wait-secs must be greater than 0";
}

bool known_number_error(std::string_view e) {
    return e.ends_with("': cannot parse integer from empty string") ||
           e.ends_with("': invalid digit found in string") ||
           e.ends_with("': number too large to fit in target type");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args;
    const std::string_view input = corvel::fuzz::as_text(data, size);
    for (std::size_t start = 0; start <= input.size();) {
        const std::size_t end = std::min(input.find('\0', start), input.size());
        args.emplace_back(input.substr(start, end - start));
        start = end + 1;
        if (args.size() > 64) break;
    }

    const auto parsed = corvel::parse_args(args, fixed_cwd);
    if (!parsed) {
        const std::string& e = parsed.error();
        require(known_error(e), "an argument error is one of the known texts");
        if (e.starts_with("Invalid --")) require(known_number_error(e), "a number error names its cause");
        const std::string quoted = text::quoted_text("Argument error: " + e);
        require(quoted.size() >= e.size() + 2 && quoted.front() == '"' && quoted.back() == '"',
                "the failure report quotes the message");
        return 0;
    }
    if (const auto* options = std::get_if<corvel::CaptureOptions>(&*parsed)) {
        require(options->poll_ms != 0, "poll_ms is never 0");
        require(!options->max_wait_secs || *options->max_wait_secs != 0, "max_wait_secs is never 0");
    }
    return 0;
}
