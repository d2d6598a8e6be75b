// The files the HTML report is made of, built into the program (cmake/embed_files.cmake):
// the page's own template, style and script, and the uPlot chart library with its licence.
#pragma once

#include <string_view>

namespace corvel::report_assets {

[[nodiscard]] std::string_view page_template();  // report/page/report.html
[[nodiscard]] std::string_view page_style();     // report/page/report.css
[[nodiscard]] std::string_view page_script();    // report/page/report.js
[[nodiscard]] std::string_view uplot_script();   // third_party/uplot/uPlot.iife.min.js
[[nodiscard]] std::string_view uplot_style();    // third_party/uplot/uPlot.min.css
[[nodiscard]] std::string_view uplot_license();  // third_party/uplot/LICENSE

}  // namespace corvel::report_assets
