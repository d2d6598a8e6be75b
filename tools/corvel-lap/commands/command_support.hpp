// What the corvel-lap commands share: their argument parser, their result type, loading a
// lap for a command, and writing an output document to a file or standard output.
#pragma once

#include <expected>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/corner_names.hpp"
#include "lap_format/json/lap_file.hpp"

namespace corvel {

// A command either succeeds or gives the text for the "Error: ..." line.
using CommandResult = std::expected<void, std::string>;

struct CommandIo {
    std::ostream& out;
    std::ostream& err;
};

struct CommandArgs {
    bool help = false;
    std::vector<std::string> positionals;
    std::optional<std::string> output;    // -o / --output
    std::optional<std::string> compare;   // --compare
    std::optional<std::string> x_axis;    // --x
    std::optional<std::string> segments;  // --segments
    std::optional<std::string> names;     // --names
    std::optional<std::string> by;        // --by
    bool json = false;                    // --json
};

struct CommandOptions {
    bool output = false;    // accepts -o / --output
    bool compare = false;   // accepts --compare
    bool x_axis = false;    // accepts --x
    bool segments = false;  // accepts --segments
    bool names = false;     // accepts --names
    bool by = false;        // accepts --by
    bool json = false;      // accepts --json
};

// Parses a command's arguments; "--" ends the options. Unknown options and missing values
// are errors.
[[nodiscard]] std::expected<CommandArgs, std::string> parse_command_args(std::span<const std::string> args,
                                                                         CommandOptions accepted);

// A command on one lap file, as asked for on the command line.
struct FileCommand {
    CommandArgs args;
    std::string file;  // the lap file argument, UTF-8
};

// Parses the arguments of command `name`, which takes exactly one lap file. For --help it
// prints `help` and gives nothing; errors start with "`name`: ".
[[nodiscard]] std::expected<std::optional<FileCommand>, std::string> parse_file_command(
    std::string_view name, std::span<const std::string> args, CommandOptions accepted, std::string_view help,
    CommandIo& io);

// The lap file at `utf8_path`, read; the error names the file.
[[nodiscard]] std::expected<LapFile, std::string> load_lap(const std::string& utf8_path);

// The file name for messages.
[[nodiscard]] std::string display_name(const std::filesystem::path& path);

// Writes `content` to `-o`'s target ("-" is standard output) or, without -o, beside the lap
// file with `default_extension`; tells on `io.out` where it went. Refuses to overwrite the
// lap file itself.
[[nodiscard]] CommandResult write_command_output(const CommandArgs& args, const LapFile& lap,
                                                 std::string_view default_extension,
                                                 const std::string& content, CommandIo& io);

// The corner names file given with --names, read and parsed; nothing without one.
[[nodiscard]] std::expected<std::optional<CornerNames>, std::string> load_corner_names(
    const std::optional<std::string>& utf8_path);

CommandResult run_info(std::span<const std::string> args, CommandIo& io);
CommandResult run_verify(std::span<const std::string> args, CommandIo& io);
CommandResult run_csv(std::span<const std::string> args, CommandIo& io);
CommandResult run_plot(std::span<const std::string> args, CommandIo& io);
CommandResult run_list(std::span<const std::string> args, CommandIo& io);
CommandResult run_compare(std::span<const std::string> args, CommandIo& io);
CommandResult run_corners(std::span<const std::string> args, CommandIo& io);
CommandResult run_stint(std::span<const std::string> args, CommandIo& io);

}  // namespace corvel
