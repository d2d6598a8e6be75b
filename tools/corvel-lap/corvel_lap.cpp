// corvel-lap's entry logic: picks the command, prints help, and turns a command's error into
// the "Error: ..." line and exit status 1.
#include "corvel_lap.hpp"

#include <array>
#include <exception>
#include <ostream>

#include "commands/command_support.hpp"
#include "commands/motec_command.hpp"
#include "commands/report_command.hpp"

namespace corvel {
namespace {

constexpr std::string_view kProgramHelp =
    "corvel-lap: reads, checks, exports and plots laps captured by corvel.\n"
    "\n"
    "Usage: corvel-lap COMMAND FILE.bin [OPTIONS]\n"
    "       corvel-lap list DIR [OPTIONS]\n"
    "       corvel-lap stint DIR [OPTIONS]\n"
    "       corvel-lap COMMAND --help\n"
    "\n"
    "Commands:\n"
    "  info    FILE.bin                 track, car, driver, lap time, samples, speed, fuel, flags\n"
    "  verify  FILE.bin                 check the lap file and its metadata against each other\n"
    "  csv     FILE.bin [-o OUT.csv]    every sample as CSV in physical units\n"
    "  plot    FILE.bin [-o OUT.svg] [--x distance|time] [--compare REFERENCE.bin]\n"
    "                                   track map and traces against distance (or lap time)\n"
    "                                   as one SVG, optionally against a reference lap with\n"
    "                                   the time delta\n"
    "  motec   FILE.bin [-o OUT.ld]     MoTeC i2 log (OUT.ld and OUT.ldx) of the lap\n"
    "  list    DIR [--recursive] [--csv]\n"
    "                                   every lap in a folder: track, car, lap time, date, notes,\n"
    "                                   with the best lap of each track and car marked\n"
    "  stint   DIR [--recursive] [--track ID] [--car NAME] [--json] [--html [OUT.html]]\n"
    "                                   every lap of a folder by track and car: best, median and\n"
    "                                   ideal lap, consistency, the corners to work on\n"
    "  compare LAP.bin REFERENCE.bin [--segments N] [--by loss|track] [--names FILE] [--json]\n"
    "                                   LAP against REFERENCE by distance: delta, minisectors\n"
    "                                   and corner by corner, with why a corner lost time\n"
    "  corners FILE.bin [--json] [--names FILE]\n"
    "                                   the corners of the lap's track, numbered from the line\n"
    "  report  FILE.bin [-o OUT.html] [--compare REFERENCE.bin]\n"
    "                                   interactive HTML page (map, traces, minisectors) that\n"
    "                                   works offline; with a reference, the delta: this lap\n"
    "                                   minus the reference at the same distance (positive =\n"
    "                                   this lap is slower there)\n"
    "\n"
    "A lap is the .bin file corvel writes; its metadata document (same name, .json) is read\n"
    "from beside it when present. Paths are taken as UTF-8.\n"
    "A delta is always this lap minus the reference (the second lap named) at the same\n"
    "distance: positive where this lap is slower.\n"
    "Exit status: 0 on success, 1 on failure (with an \"Error: ...\" line on standard error).\n";

using Command = CommandResult (*)(std::span<const std::string>, CommandIo&);

struct CommandEntry {
    std::string_view name;
    Command run;
};

constexpr CommandEntry kCommands[] = {
    {"info", run_info}, {"verify", run_verify},      {"csv", run_csv},
    {"plot", run_plot}, {"motec", motec::run_motec}, {"list", run_list},
    {"compare", run_compare}, {"corners", run_corners}, {"report", run_report},
    {"stint", run_stint},
};

CommandResult dispatch(std::span<const std::string> args, CommandIo& io) {
    if (args.empty()) {
        return std::unexpected(std::string(
            "missing command: info, verify, csv, plot, motec, compare, corners, report, list or stint (see corvel-lap --help)"));
    }
    const std::string& name = args.front();
    if (name == "-h" || name == "--help") {
        io.out << kProgramHelp;
        return {};
    }
    if (name == "--version") {
        io.out << "corvel-lap " << CORVEL_VERSION << "\n";
        return {};
    }
    // "help plot" is "plot --help".
    if (name == "help") {
        if (args.size() == 1) {
            io.out << kProgramHelp;
            return {};
        }
        const std::array<std::string, 1> help{"--help"};
        for (const CommandEntry& command : kCommands) {
            if (command.name == args[1]) {
                return command.run(help, io);
            }
        }
        return std::unexpected("unknown command " + args[1] + " (see corvel-lap --help)");
    }
    for (const CommandEntry& command : kCommands) {
        if (command.name == name) {
            return command.run(args.subspan(1), io);
        }
    }
    return std::unexpected("unknown command " + name + " (see corvel-lap --help)");
}

}  // namespace

int run_corvel_lap(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    CommandIo io{out, err};
    CommandResult result;
    try {
        result = dispatch(args, io);
    } catch (const std::bad_alloc&) {
        throw;  // out of memory ends the process, as everywhere in corvel
    } catch (const std::exception& e) {
        result = std::unexpected(std::string("unexpected failure: ") + e.what());
    }
    out.flush();
    if (!result) {
        err << "Error: " << result.error() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace corvel
