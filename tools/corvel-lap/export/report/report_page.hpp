// The HTML report as one self-contained page: the template with the styles, uPlot (licence
// included), the page script and the lap's data blob inlined, so it fetches nothing.
#pragma once

#include <string>
#include <string_view>

namespace corvel {

// `data_json` must already be safe inside a <script> element (see script_safe_json);
// `title` is plain text and is escaped here.
[[nodiscard]] std::string render_report_page(std::string_view title, std::string_view data_json);

}  // namespace corvel
