// Fills the report template: each {{name}} marker is replaced in one pass, so nothing that is
// inlined (uPlot, the data) is ever searched for markers itself.
#include "export/report/report_page.hpp"

#include <array>
#include <utility>

#include "presentation/xml_text.hpp"
#include "export/report/report_assets.hpp"

namespace corvel {

std::string render_report_page(std::string_view title, std::string_view data_json) {
    const std::string escaped_title = xml_escape(title);
    const std::array<std::pair<std::string_view, std::string_view>, 7> parts{{
        {"{{title}}", escaped_title},
        {"{{uplot_style}}", report_assets::uplot_style()},
        {"{{page_style}}", report_assets::page_style()},
        {"{{uplot_license}}", report_assets::uplot_license()},
        {"{{uplot_script}}", report_assets::uplot_script()},
        {"{{data}}", data_json},
        {"{{page_script}}", report_assets::page_script()},
    }};
    const std::string_view page = report_assets::page_template();
    std::string out;
    out.reserve(page.size() + data_json.size() + report_assets::uplot_script().size() +
                report_assets::page_script().size() + 8192);
    std::size_t at = 0;
    while (at < page.size()) {
        const std::size_t open = page.find("{{", at);
        if (open == std::string_view::npos) break;
        out.append(page.substr(at, open - at));
        bool replaced = false;
        for (const auto& [marker, text] : parts) {
            if (page.substr(open).starts_with(marker)) {
                out.append(text);
                at = open + marker.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) {  // braces that are no marker stay as they are
            out.append("{{");
            at = open + 2;
        }
    }
    if (at < page.size()) out.append(page.substr(at));
    return out;
}

}  // namespace corvel
