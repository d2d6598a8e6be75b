// The stint page: one self-contained HTML page per track and car of a stint, in the lap
// report's offline style (everything inlined, nothing fetched), and on request each lap's
// report against the group's best lap beside it.
#pragma once

#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "analysis/stint_summary.hpp"

namespace corvel {

struct StintPageOptions {
    std::filesystem::path folder;  // the stint folder: the laps' files are relative to it
    // The page's file when the summary holds one group; else each group's page is
    // folder/"stint-<track>-<car>.html".
    std::optional<std::filesystem::path> output;
    bool lap_reports = false;  // also write each lap's report against the best lap beside the page
};

// Writes the pages (and lap reports); gives the files written, pages first. The error names
// the file that could not be written.
[[nodiscard]] std::expected<std::vector<std::filesystem::path>, std::string> write_stint_pages(
    const StintSummary& summary, const StintPageOptions& options);

}  // namespace corvel
