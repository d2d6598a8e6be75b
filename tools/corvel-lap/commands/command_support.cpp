// Argument parsing and output writing shared by the commands.
#include "commands/command_support.hpp"

#include <cerrno>
#include <fstream>
#include <sstream>
#include <ostream>
#include <system_error>

#include "lap_format/utf8_path.hpp"

namespace corvel {

std::expected<CommandArgs, std::string> parse_command_args(std::span<const std::string> args,
                                                           CommandOptions accepted) {
    CommandArgs parsed;
    bool options_done = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_done || arg == "-" || !arg.starts_with("-")) {
            parsed.positionals.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_done = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            parsed.help = true;
            continue;
        }
        if (accepted.json && arg == "--json") {
            parsed.json = true;
            continue;
        }
        // "--output=x" and "--output x" alike.
        std::string name = arg;
        std::optional<std::string> value;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        std::optional<std::string>* target = nullptr;
        if (accepted.output && (name == "-o" || name == "--output")) {
            target = &parsed.output;
        } else if (accepted.compare && name == "--compare") {
            target = &parsed.compare;
        } else if (accepted.x_axis && name == "--x") {
            target = &parsed.x_axis;
        } else if (accepted.segments && name == "--segments") {
            target = &parsed.segments;
        } else if (accepted.names && name == "--names") {
            target = &parsed.names;
        } else if (accepted.by && name == "--by") {
            target = &parsed.by;
        } else {
            return std::unexpected("unknown option " + name + " (see --help)");
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                return std::unexpected(name + " needs a value");
            }
            value = args[++i];
        }
        if (target->has_value()) {
            return std::unexpected(name + " given twice");
        }
        if (value->empty()) {
            return std::unexpected(name + " needs a non-empty value");
        }
        *target = std::move(value);
    }
    return parsed;
}

std::string display_name(const std::filesystem::path& path) {
    return path_to_utf8(path);
}

std::expected<std::optional<FileCommand>, std::string> parse_file_command(std::string_view name,
                                                                          std::span<const std::string> args,
                                                                          CommandOptions accepted,
                                                                          std::string_view help,
                                                                          CommandIo& io) {
    const std::string context = std::string(name) + ": ";
    auto parsed = parse_command_args(args, accepted);
    if (!parsed) return std::unexpected(context + parsed.error());
    if (parsed->help) {
        io.out << help;
        return std::nullopt;
    }
    if (parsed->positionals.empty()) return std::unexpected(context + "missing the lap file (FILE.bin)");
    if (parsed->positionals.size() > 1) {
        return std::unexpected(context + "one lap file expected, got " +
                               std::to_string(parsed->positionals.size()) +
                               " arguments: " + parsed->positionals[1] + " is extra");
    }
    std::string file = parsed->positionals.front();
    return FileCommand{std::move(*parsed), std::move(file)};
}

std::expected<LapFile, std::string> load_lap(const std::string& utf8_path) {
    auto lap = read_lap_file(path_from_utf8(utf8_path));
    if (!lap) {
        return std::unexpected(utf8_path + ": " + lap.error().message);
    }
    return std::move(*lap);
}

namespace {

bool same_file(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec)) {
        return true;
    }
    return std::filesystem::absolute(a, ec).lexically_normal() ==
           std::filesystem::absolute(b, ec).lexically_normal();
}

}  // namespace

CommandResult write_command_output(const CommandArgs& args, const LapFile& lap,
                                   std::string_view default_extension, const std::string& content,
                                   CommandIo& io) {
    if (args.output == "-") {
        io.out.write(content.data(), static_cast<std::streamsize>(content.size()));
        io.out.flush();
        if (!io.out) {
            return std::unexpected(std::string("cannot write to standard output"));
        }
        return {};
    }
    std::filesystem::path target;
    if (args.output) {
        target = path_from_utf8(*args.output);
    } else {
        target = lap.path;
        target.replace_extension(std::filesystem::path(std::string(default_extension)));
    }
    if (same_file(target, lap.path) || same_file(target, lap.metadata_path)) {
        return std::unexpected("refusing to overwrite the lap's own file " + display_name(target));
    }
    errno = 0;
    std::ofstream file(target, std::ios::binary | std::ios::trunc);
    if (!file) {
        const int code = errno;
        return std::unexpected("cannot create " + display_name(target) +
                               (code != 0 ? ": " + std::generic_category().message(code) : std::string()));
    }
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    file.close();
    if (!file) {
        return std::unexpected("cannot write " + display_name(target));
    }
    io.out << "Wrote " << display_name(target) << "\n";
    return {};
}

std::expected<std::optional<CornerNames>, std::string> load_corner_names(const std::optional<std::string>& utf8_path) {
    if (!utf8_path) return std::nullopt;
    std::ifstream file(path_from_utf8(*utf8_path), std::ios::binary);
    if (!file) return std::unexpected("cannot read the corner names " + *utf8_path);
    std::ostringstream text;
    text << file.rdbuf();
    auto names = parse_corner_names(text.str());
    if (!names) return std::unexpected(*utf8_path + ": " + names.error());
    return std::optional<CornerNames>(std::move(*names));
}

}  // namespace corvel
