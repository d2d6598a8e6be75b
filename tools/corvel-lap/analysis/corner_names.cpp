#include "analysis/corner_names.hpp"

#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>

namespace corvel {
namespace {

template <typename T>
bool parse_number(std::string_view text, T& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

}  // namespace

std::expected<CornerNames, std::string> parse_corner_names(std::string_view json_text) {
    const nlohmann::json doc = nlohmann::json::parse(json_text, nullptr, false);
    if (doc.is_discarded()) return std::unexpected(std::string("not valid JSON"));
    if (!doc.is_object()) return std::unexpected(std::string("expected a JSON object such as {\"1\": \"La Source\"}"));
    CornerNames names;
    for (const auto& [key, value] : doc.items()) {
        if (!value.is_string()) return std::unexpected("the name of \"" + key + "\" is not a string");
        const std::string name = value.get<std::string>();
        if (!key.empty() && key.front() == '@') {
            double apex = 0.0;
            if (!parse_number(std::string_view(key).substr(1), apex) || !std::isfinite(apex)) {
                return std::unexpected("\"" + key + "\" is not an apex distance in metres such as \"@402\"");
            }
            names.by_apex_m.emplace_back(apex, name);
            continue;
        }
        int number = 0;
        if (!parse_number(std::string_view(key), number) || number < 1) {
            return std::unexpected("\"" + key + "\" is neither a corner number (1, 2, ...) nor an apex distance (\"@402\")");
        }
        names.by_number.emplace_back(number, name);
    }
    return names;
}

void apply_corner_names(CornerMap& map, const CornerNames& names) {
    for (const auto& [apex, name] : names.by_apex_m) {
        TrackCorner* nearest = nullptr;
        for (TrackCorner& c : map.corners) {
            if (std::abs(c.apex_m - apex) <= kCornerNameMatchM &&
                (!nearest || std::abs(c.apex_m - apex) < std::abs(nearest->apex_m - apex))) {
                nearest = &c;
            }
        }
        if (nearest) nearest->name = name;
    }
    for (const auto& [number, name] : names.by_number) {
        for (TrackCorner& c : map.corners) {
            if (c.number == number) c.name = name;
        }
    }
}

}  // namespace corvel
