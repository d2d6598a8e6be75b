// Fills the report template with its styles, uPlot, the data and the page script.
#include "export/report/report_page.hpp"

#include <array>
#include <utility>

#include "presentation/xml_text.hpp"
#include "export/report/report_assets.hpp"

namespace corvel {

std::string fill_page_template(std::string_view page,
                               std::span<const std::pair<std::string_view, std::string_view>> parts) {
    std::size_t inlined = 0;
    for (const auto& part : parts) inlined += part.second.size();
    std::string out;
    out.reserve(page.size() + inlined);
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
        if (!replaced) {
            out.append("{{");
            at = open + 2;
        }
    }
    if (at < page.size()) out.append(page.substr(at));
    return out;
}

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
    return fill_page_template(report_assets::page_template(), parts);
}

}  // namespace corvel
