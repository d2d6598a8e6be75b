#include "export/stint_report/stint_report.hpp"

namespace corvel {

std::expected<std::vector<std::filesystem::path>, std::string> write_stint_pages(const StintSummary&,
                                                                                  const StintPageOptions&) {
    return std::unexpected(std::string("the stint page is not built yet"));
}

}  // namespace corvel
