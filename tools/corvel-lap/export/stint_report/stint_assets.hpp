// The stint page's own files, built into the program (cmake/embed_files.cmake). The page also
// inlines the lap report's style, for the same look, and uPlot (report_assets.hpp).
#pragma once

#include <string_view>

namespace corvel::stint_assets {

[[nodiscard]] std::string_view page_template();  // stint_report/page/stint.html
[[nodiscard]] std::string_view page_style();     // stint_report/page/stint.css
[[nodiscard]] std::string_view page_script();    // stint_report/page/stint.js

}  // namespace corvel::stint_assets
