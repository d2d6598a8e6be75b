// `corvel-lap verify`: exit 0 when the lap file and its metadata agree, 1 with the reasons.
#include <ostream>

#include "commands/command_support.hpp"
#include "analysis/lap_verification.hpp"

namespace corvel {
namespace {

constexpr std::string_view kVerifyHelp =
    "Usage: corvel-lap verify FILE.bin\n"
    "\n"
    "Checks that the lap file is whole (header, zstd frame, sample block) and that it agrees\n"
    "with the metadata document FILE.json beside it: the sample count, the file name, the lap\n"
    "number in every sample (the 16-bit form of the metadata's lapNumber) and in the file name,\n"
    "and the fixed parts of every record. Prints \"OK: ...\" and exits 0, or prints each problem\n"
    "and exits 1 with the first one as the error.\n";

}  // namespace

CommandResult run_verify(std::span<const std::string> args, CommandIo& io) {
    const auto command = parse_file_command("verify", args, {}, kVerifyHelp, io);
    if (!command) return std::unexpected(command.error());
    if (!*command) return {};  // --help
    const std::string& file = (*command)->file;
    const auto lap = load_lap(file);
    if (!lap) {
        return std::unexpected(lap.error());
    }
    const std::vector<std::string> problems = verify_lap(*lap);
    if (problems.empty()) {
        io.out << "OK: " << file << ": " << lap->samples.size() << " samples, lap "
               << lap->metadata->lap_number << ", metadata matches\n";
        return {};
    }
    for (const std::string& problem : problems) {
        io.out << "FAIL: " << problem << "\n";
    }
    std::string reason = file + ": " + problems.front();
    if (problems.size() > 1) {
        reason += " (and " + std::to_string(problems.size() - 1) + " more)";
    }
    return std::unexpected(reason);
}

}  // namespace corvel
