// `corvel-lap list`: every lap of a folder, one row each, as a table for a person or as CSV
// for a spreadsheet.
#include <array>
#include <charconv>
#include <ostream>

#include "commands/command_support.hpp"
#include "export/csv_export.hpp"
#include "analysis/lap_library.hpp"
#include "presentation/lap_text.hpp"
#include "lap_format/utf8_path.hpp"

namespace corvel {
namespace {

constexpr std::string_view kListHelp =
    "Usage: corvel-lap list DIR [--recursive] [--csv]\n"
    "\n"
    "Lists every lap (.bin) in the folder DIR, one row each: track, car, lap time, date,\n"
    "samples, file and notes, sorted by track, car, then lap time. The lap time is the\n"
    "metadata's; without one it is taken from the samples, and the notes say so. The best\n"
    "lap of each track and car is marked \"*\": the fastest that began at the line, never\n"
    "entered the pit lane and was not invalidated. Notes tell a lap that began mid-lap, went\n"
    "through the pit lane or was invalidated, and a lap whose metadata is missing or broken;\n"
    "a file that cannot be read is listed with the reason.\n"
    "\n"
    "The samples are read only when the metadata has no lap time, and for the laps that could\n"
    "be the best, so the pit-lane and invalidated notes are certain only for those; `info`\n"
    "shows them for any lap.\n"
    "\n"
    "Options:\n"
    "  -r, --recursive   also the folders inside DIR (symbolic links to folders are not followed)\n"
    "  --csv             CSV on standard output instead of the table: one header row\n"
    "                    track,car,lap_time_s,created_at,samples,file,best,note\n"
    "                    then one row per lap (best is 1 or 0, notes joined by \"; \")\n";

struct ListArgs {
    bool help = false;
    bool recursive = false;
    bool csv = false;
    std::vector<std::string> folders;
};

std::expected<ListArgs, std::string> parse_list_args(std::span<const std::string> args) {
    ListArgs parsed;
    bool options_done = false;
    for (const std::string& arg : args) {
        if (options_done || arg == "-" || !arg.starts_with("-")) {
            parsed.folders.push_back(arg);
        } else if (arg == "--") {
            options_done = true;
        } else if (arg == "-h" || arg == "--help") {
            parsed.help = true;
        } else if (arg == "-r" || arg == "--recursive") {
            parsed.recursive = true;
        } else if (arg == "--csv") {
            parsed.csv = true;
        } else {
            return std::unexpected("unknown option " + arg + " (see --help)");
        }
    }
    return parsed;
}

std::string joined_notes(const LapListing& lap) {
    std::string text;
    for (const std::string& note : lap.notes) {
        text += (text.empty() ? "" : "; ") + note;
    }
    return text;
}

std::string shortest_double(double value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

std::string created_at_text(const LapListing& lap) {
    return lap.metadata ? format_created_at(lap.metadata->created_at) : std::string();
}

std::string list_csv(const LapLibrary& library) {
    std::string out = "track,car,lap_time_s,created_at,samples,file,best,note\r\n";
    for (const LapListing& lap : library.laps) {
        const std::array<std::string, 8> fields{
            listing_track(lap),
            listing_car(lap),
            lap.lap_time_s ? shortest_double(*lap.lap_time_s) : std::string(),
            created_at_text(lap),
            lap.samples ? std::to_string(*lap.samples) : std::string(),
            path_to_utf8(lap.relative_path),
            lap.best ? "1" : "0",
            joined_notes(lap),
        };
        for (std::size_t i = 0; i < fields.size(); ++i) {
            out += (i == 0 ? "" : ",") + csv_field(fields[i]);
        }
        out += "\r\n";
    }
    return out;
}

// Columns line up by characters, not bytes, so names in any script stay aligned.
std::size_t display_width(std::string_view utf8) {
    std::size_t width = 0;
    for (const char c : utf8) {
        width += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return width;
}

// "2026-01-15 18:04:12" of "2026-01-15T18:04:12.345+00:00": the date to the second, in UTC.
std::string table_date(const LapListing& lap) {
    std::string text = created_at_text(lap);
    if (text.size() < 19) return text.empty() ? "-" : text;
    text.resize(19);
    text[10] = ' ';
    return text;
}

std::string list_table(const LapLibrary& library) {
    std::vector<std::array<std::string, 8>> rows;
    rows.push_back({"", "Track", "Car", "Lap time", "Date (UTC)", "Samples", "File", "Notes"});
    for (const LapListing& lap : library.laps) {
        rows.push_back({
            lap.best ? "*" : "",
            lap.metadata ? listing_track(lap) : "-",
            lap.metadata ? listing_car(lap) : "-",
            lap.lap_time_s ? lap_time_text(*lap.lap_time_s) : "-",
            table_date(lap),
            lap.samples ? std::to_string(*lap.samples) : "-",
            path_to_utf8(lap.relative_path),
            joined_notes(lap),
        });
    }
    std::array<std::size_t, 8> widths{};
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], display_width(row[i]));
        }
    }
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            const std::size_t pad = widths[i] - display_width(row[i]);
            const bool right_aligned = i == 3 || i == 5;  // lap time, samples
            if (right_aligned) line.append(pad, ' ');
            line += row[i];
            if (!right_aligned && i + 1 < row.size()) line.append(pad, ' ');
            if (i + 1 < row.size()) line += "  ";
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out += line + "\n";
    }
    const std::size_t count = library.laps.size();
    out += "\n" + std::to_string(count) + (count == 1 ? " lap" : " laps") +
           "; * the best lap of its track and car (from the line, off the pit lane, not invalidated)\n";
    return out;
}

}  // namespace

CommandResult run_list(std::span<const std::string> args, CommandIo& io) {
    const auto parsed = parse_list_args(args);
    if (!parsed) return std::unexpected("list: " + parsed.error());
    if (parsed->help) {
        io.out << kListHelp;
        return {};
    }
    if (parsed->folders.empty()) return std::unexpected(std::string("list: missing the folder (DIR)"));
    if (parsed->folders.size() > 1) {
        return std::unexpected("list: one folder expected, got " + std::to_string(parsed->folders.size()) +
                               " arguments: " + parsed->folders[1] + " is extra");
    }
    const auto library = list_laps(path_from_utf8(parsed->folders.front()), {.recursive = parsed->recursive});
    if (!library) return std::unexpected("list: " + library.error());
    for (const std::string& warning : library->warnings) {
        io.err << "Warning: " << warning << "\n";
    }
    if (parsed->csv) {
        io.out << list_csv(*library);
    } else if (library->laps.empty()) {
        io.out << "No laps (.bin files) in " << parsed->folders.front() << "\n";
    } else {
        io.out << list_table(*library);
    }
    io.out.flush();
    if (!io.out) return std::unexpected(std::string("cannot write to standard output"));
    return {};
}

}  // namespace corvel
