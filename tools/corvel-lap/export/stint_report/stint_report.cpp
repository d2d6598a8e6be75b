// Writes the stint pages: for each group its data blob in the stint template, and on request
// each lap's report against the group's best lap (the lap report itself, report_data and
// report_page), named after the lap so that the page can link to it. The reports are made on
// a few threads: a long stint's hundreds of comparisons would otherwise take their sum.
#include "export/stint_report/stint_report.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <fstream>
#include <optional>
#include <set>
#include <system_error>
#include <utility>

#include "analysis/parallel_for.hpp"
#include "export/report/report_assets.hpp"
#include "export/report/report_data.hpp"
#include "export/report/report_page.hpp"
#include "export/stint_report/stint_assets.hpp"
#include "export/stint_report/stint_data.hpp"
#include "lap_format/json/lap_file.hpp"
#include "lap_format/utf8_path.hpp"
#include "presentation/xml_text.hpp"

namespace corvel {
namespace {

using Written = std::expected<std::vector<std::filesystem::path>, std::string>;

// Longest slug of a track or car name in a page's file name.
constexpr std::size_t kMaxSlugBytes = 64;

// Lower-case ASCII letters and digits joined by single hyphens; everything else (non-ASCII
// characters too) separates words, so the name is safe on every file system.
std::string file_name_slug(std::string_view text) {
    std::string slug;
    bool gap = false;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80 && std::isalnum(byte)) {
            if (gap && !slug.empty()) slug += '-';
            if (slug.size() >= kMaxSlugBytes) break;
            slug += static_cast<char>(std::tolower(byte));
            gap = false;
        } else {
            gap = true;
        }
    }
    while (!slug.empty() && slug.back() == '-') slug.pop_back();
    return slug.empty() ? "unknown" : slug;
}

// Names are compared as a case-insensitive file system (Windows) would.
std::string folded(std::string name) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

// `stem` + `suffix`, or with "-2", "-3", ... before the suffix when an earlier file took it.
std::string unique_name(const std::string& stem, std::string_view suffix, std::set<std::string>& taken) {
    std::string name = stem + std::string(suffix);
    for (int n = 2; !taken.insert(folded(name)).second; ++n) {
        name = stem + "-" + std::to_string(n) + std::string(suffix);
    }
    return name;
}

std::expected<void, std::string> write_file(const std::filesystem::path& path, const std::string& content) {
    errno = 0;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        const int code = errno;
        return std::unexpected("cannot create " + path_to_utf8(path) +
                               (code != 0 ? ": " + std::generic_category().message(code) : std::string()));
    }
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    file.close();
    if (!file) return std::unexpected("cannot write " + path_to_utf8(path));
    return {};
}

std::string render_stint_page(std::string_view title, std::string_view data_json) {
    const std::string escaped_title = xml_escape(title);
    const std::array<std::pair<std::string_view, std::string_view>, 8> parts{{
        {"{{title}}", escaped_title},
        {"{{uplot_style}}", report_assets::uplot_style()},
        {"{{report_style}}", report_assets::page_style()},
        {"{{page_style}}", stint_assets::page_style()},
        {"{{uplot_license}}", report_assets::uplot_license()},
        {"{{uplot_script}}", report_assets::uplot_script()},
        {"{{data}}", data_json},
        {"{{page_script}}", stint_assets::page_script()},
    }};
    return fill_page_template(stint_assets::page_template(), parts);
}

std::string lap_report_title(const LapFile& lap, bool against_best) {
    std::string title = "corvel lap report";
    if (lap.metadata) {
        title = lap.metadata->track_name + " \u00b7 " + lap.metadata->car_name + " \u00b7 lap " +
                std::to_string(lap.metadata->lap_number);
    }
    return against_best ? title + " vs best lap" : title + " (best lap)";
}

// The report's name: the lap's path in the folder without its extension, folders joined by
// "-" (laps of a recursive stint sit side by side in one folder), then "-vs-best.html".
std::string report_stem(const std::string& file) {
    std::string stem = file;
    const std::size_t slash = stem.find_last_of('/');
    const std::size_t dot = stem.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)) stem.erase(dot);
    std::replace(stem.begin(), stem.end(), '/', '-');
    return stem;
}

std::filesystem::path lap_path(const StintPageOptions& options, const StintLap& lap) {
    return options.folder / path_from_utf8(lap.file);
}

// One lap's report against the best lap (the best lap's own report shows it alone), written
// to `target`. The lap is read here, so the workers read their laps side by side.
struct ReportOutcome {
    std::optional<std::string> error;  // the lap gets no report and the page says why
    std::optional<std::string> write_error;  // ends everything
};

ReportOutcome write_lap_report(const StintLap& entry, const StintLap& best_entry, const LapFile& best, bool is_best,
                               const StintPageOptions& options, const std::filesystem::path& target) {
    std::optional<LapFile> other;
    if (!is_best) {
        auto read = read_lap_file(lap_path(options, entry));
        if (!read) return {.error = entry.file + ": " + read.error().message, .write_error = {}};
        other = std::move(*read);
    }
    const auto data = other ? make_report_data(*other, entry.file, &best, best_entry.file)
                            : make_report_data(best, entry.file, nullptr, {});
    if (!data) return {.error = data.error(), .write_error = {}};
    const std::string page = render_report_page(lap_report_title(other ? *other : best, !is_best), data->json);
    if (auto done = write_file(target, page); !done) return {.error = {}, .write_error = done.error()};
    return {};
}

// Each lap's report, written into `dir`. A lap that cannot be read or compared gets no report
// and says why on the page; a report that cannot be written ends everything.
std::expected<std::vector<StintLapReport>, std::string> write_lap_reports(const StintGroup& group,
                                                                          const StintPageOptions& options,
                                                                          const std::filesystem::path& dir,
                                                                          std::set<std::string>& taken,
                                                                          std::vector<std::filesystem::path>& written) {
    std::vector<StintLapReport> reports(group.laps.size());
    if (!group.best_lap || *group.best_lap >= group.laps.size()) {
        for (StintLapReport& report : reports) report.error = "no counted lap to compare with";
        return reports;
    }
    const StintLap& best_entry = group.laps[*group.best_lap];
    const auto best = read_lap_file(lap_path(options, best_entry));
    if (!best) {
        for (StintLapReport& report : reports) {
            report.error = "the best lap cannot be read: " + best_entry.file + ": " + best.error().message;
        }
        return reports;
    }
    // Named in lap order before any is written, so the names do not depend on the workers.
    std::vector<std::string> names;
    for (const StintLap& entry : group.laps) names.push_back(unique_name(report_stem(entry.file), "-vs-best.html", taken));
    std::vector<ReportOutcome> outcomes(group.laps.size());
    // A report is a lap read, a comparison and a page written; the jobs share only the best
    // lap, read only.
    parallel_for(group.laps.size(), [&](std::size_t i) {
        outcomes[i] = write_lap_report(group.laps[i], best_entry, *best, i == *group.best_lap, options,
                                       dir / path_from_utf8(names[i]));
    });
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        if (outcomes[i].write_error) return std::unexpected(*outcomes[i].write_error);
        if (outcomes[i].error) {
            reports[i].error = outcomes[i].error;
        } else {
            reports[i].file = names[i];
            written.push_back(dir / path_from_utf8(names[i]));
        }
    }
    return reports;
}

// True when `target` is one of the group's lap files or their metadata documents.
bool is_a_lap_file(const std::filesystem::path& target, const StintGroup& group, const StintPageOptions& options) {
    std::error_code ec;
    const std::filesystem::path wanted = std::filesystem::absolute(target, ec).lexically_normal();
    for (const StintLap& lap : group.laps) {
        const std::filesystem::path bin = lap_path(options, lap);
        for (const auto& own : {bin, metadata_path_for(bin)}) {
            if (std::filesystem::equivalent(target, own, ec) ||
                std::filesystem::absolute(own, ec).lexically_normal() == wanted) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

Written write_stint_pages(const StintSummary& summary, const StintPageOptions& options) {
    // Every page's name is taken before any lap report is named, so a report never takes one.
    std::set<std::string> taken;
    std::vector<std::filesystem::path> pages;
    for (const StintGroup& group : summary.groups) {
        if (options.output && summary.groups.size() == 1) {
            if (is_a_lap_file(*options.output, group, options)) {
                return std::unexpected("refusing to overwrite the lap's own file " + path_to_utf8(*options.output));
            }
            pages.push_back(*options.output);
            taken.insert(folded(path_to_utf8(options.output->filename())));
        } else {
            const std::string stem = "stint-" + file_name_slug(group.track) + "-" + file_name_slug(group.car);
            pages.push_back(options.folder / unique_name(stem, ".html", taken));
        }
    }
    std::vector<std::filesystem::path> reports;
    for (std::size_t g = 0; g < summary.groups.size(); ++g) {
        const StintGroup& group = summary.groups[g];
        std::filesystem::path dir = pages[g].parent_path();
        if (dir.empty()) dir = ".";
        std::vector<StintLapReport> lap_reports;
        if (options.lap_reports) {
            auto written = write_lap_reports(group, options, dir, taken, reports);
            if (!written) return std::unexpected(written.error());
            lap_reports = std::move(*written);
        }
        const std::string title = "Stint \u00b7 " + group.track + " \u00b7 " + group.car;
        if (auto done = write_file(pages[g], render_stint_page(title, build_stint_data(group, lap_reports))); !done) {
            return std::unexpected(done.error());
        }
    }
    pages.insert(pages.end(), reports.begin(), reports.end());
    return pages;
}

}  // namespace corvel
