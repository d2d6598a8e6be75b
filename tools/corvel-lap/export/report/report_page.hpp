// The HTML report as one self-contained page: the template with the styles, uPlot (licence
// included), the page script and the lap's data blob inlined, so it fetches nothing.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace corvel {

// `page` with each {{name}} marker of `parts` replaced by its text, in one pass: nothing that
// is inlined is searched for markers itself; braces that are no marker stay as they are.
[[nodiscard]] std::string fill_page_template(
    std::string_view page, std::span<const std::pair<std::string_view, std::string_view>> parts);

// `data_json` must already be safe inside a <script> element (see script_safe_json);
// `title` is plain text and is escaped here.
[[nodiscard]] std::string render_report_page(std::string_view title, std::string_view data_json);

}  // namespace corvel
