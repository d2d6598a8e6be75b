// The CSV files are small (a few thousand lines): they are read whole and checked line by
// line, so a user's own file gets an error naming the line that is wrong.
#include "circuit.hpp"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "circuit_data.hpp"

namespace corvel::lmu_sim {
namespace {

constexpr std::size_t kFewestPoints = 20;

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// The numbers of each data line, exactly `columns` of them, all finite.
std::expected<std::vector<std::vector<double>>, std::string> parse_rows(std::string_view text,
                                                                        std::string_view what,
                                                                        std::size_t columns) {
    std::vector<std::vector<double>> rows;
    std::size_t line_number = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const auto line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++line_number;
        if (line.empty() || line.front() == '#') continue;
        std::vector<double> row;
        std::string_view rest = line;
        while (true) {
            const auto comma = rest.find(',');
            const auto cell = trim(rest.substr(0, comma));
            double value = 0.0;
            const auto [ptr, ec] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
            if (cell.empty() || ec != std::errc{} || ptr != cell.data() + cell.size() || !std::isfinite(value)) {
                return std::unexpected(std::string(what) + ", line " + std::to_string(line_number) +
                                       ": \"" + std::string(cell) + "\" is not a number");
            }
            row.push_back(value);
            if (comma == std::string_view::npos) break;
            rest = rest.substr(comma + 1);
        }
        if (row.size() != columns) {
            return std::unexpected(std::string(what) + ", line " + std::to_string(line_number) + ": " +
                                   std::to_string(columns) + " numbers expected, found " +
                                   std::to_string(row.size()));
        }
        rows.push_back(std::move(row));
    }
    if (!rows.empty() && rows.front() == rows.back() && rows.size() > 1) rows.pop_back();
    if (rows.size() < kFewestPoints) {
        return std::unexpected(std::string(what) + ": a closed loop needs at least " +
                               std::to_string(kFewestPoints) + " points, found " + std::to_string(rows.size()));
    }
    return rows;
}

std::expected<std::string, std::string> read_text(const std::string& path) {
    const std::filesystem::path file(std::u8string(path.begin(), path.end()));
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::unexpected("cannot read \"" + path + "\"");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::expected<std::vector<CentrePoint>, std::string> parse_centre_csv(std::string_view text,
                                                                      std::string_view what) {
    auto rows = parse_rows(text, what, 4);
    if (!rows) return std::unexpected(rows.error());
    std::vector<CentrePoint> points;
    for (const auto& r : *rows) {
        if (r[2] <= 0.0 || r[3] <= 0.0) {
            return std::unexpected(std::string(what) + ": track widths must be positive");
        }
        points.push_back({r[0], r[1], r[2], r[3]});
    }
    return points;
}

std::expected<std::vector<PlanePoint>, std::string> parse_line_csv(std::string_view text, std::string_view what) {
    auto rows = parse_rows(text, what, 2);
    if (!rows) return std::unexpected(rows.error());
    std::vector<PlanePoint> points;
    for (const auto& r : *rows) points.push_back({r[0], r[1]});
    return points;
}

std::optional<CircuitData> builtin_circuit(std::string_view name) {
    struct Builtin {
        std::string_view name;
        const char* track_name;
        std::string_view (*centre)();
        std::string_view (*line)();
    };
    static constexpr Builtin kBuiltins[] = {
        {"spa", "Circuit de Spa-Francorchamps", circuit_data::spa_centre, circuit_data::spa_raceline},
        {"monza", "Autodromo Nazionale Monza", circuit_data::monza_centre, circuit_data::monza_raceline},
        {"sakhir", "Bahrain International Circuit", circuit_data::sakhir_centre, circuit_data::sakhir_raceline},
    };
    for (const auto& b : kBuiltins) {
        if (b.name != name) continue;
        // The data is part of the program and checked by its tests: it always parses.
        auto centre = parse_centre_csv(b.centre(), b.name);
        auto line = parse_line_csv(b.line(), b.name);
        if (!centre || !line) return std::nullopt;
        return CircuitData{b.track_name, std::move(*centre), std::move(*line)};
    }
    return std::nullopt;
}

std::expected<CircuitData, std::string> circuit_from_files(const std::string& centre_path,
                                                          const std::optional<std::string>& line_path) {
    const auto centre_text = read_text(centre_path);
    if (!centre_text) return std::unexpected(centre_text.error());
    auto centre = parse_centre_csv(*centre_text, centre_path);
    if (!centre) return std::unexpected(centre.error());
    CircuitData data;
    data.track_name = std::filesystem::path(std::u8string(centre_path.begin(), centre_path.end())).stem().string();
    data.centre = std::move(*centre);
    if (line_path) {
        const auto line_text = read_text(*line_path);
        if (!line_text) return std::unexpected(line_text.error());
        auto line = parse_line_csv(*line_text, *line_path);
        if (!line) return std::unexpected(line.error());
        data.racing_line = std::move(*line);
    }
    return data;
}

}  // namespace corvel::lmu_sim
