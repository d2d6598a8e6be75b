// clean_name and split_track_name.
#include "adapters/lmu/names.hpp"

#include <array>
#include <utility>

#include "text/utf8.hpp"

namespace sim_bridge::lmu {
namespace {

constexpr bool is_control(char32_t c) {
    return c <= 0x1F || (c >= 0x7F && c <= 0x9F);
}

constexpr char ascii_lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool is_unknown_placeholder(std::string_view text) {
    constexpr std::string_view kUnknown = "unknown";
    if (text.size() != kUnknown.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (ascii_lower(text[i]) != kUnknown[i]) return false;
    }
    return true;
}

bool has_unusable_char(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const text::DecodedChar c = text::decode_utf8_at(text, pos);
        if (c.code_point == text::kReplacementChar || is_control(c.code_point)) return true;
        pos += c.length;
    }
    return false;
}

std::optional<TrackName> split_at(std::string_view before, std::string_view after) {
    const std::string_view base = text::trim_white_space(before);
    const std::string_view layout = text::trim_white_space(after);
    if (base.empty() || layout.empty()) return std::nullopt;
    return TrackName{std::string(base), std::string(layout)};
}

std::optional<TrackName> split_parenthesised(std::string_view text) {
    const std::size_t open = text.rfind('(');
    if (open == std::string_view::npos || open + 1 == text.size() || !text.ends_with(')')) {
        return std::nullopt;
    }
    return split_at(text.substr(0, open), text.substr(open + 1, text.size() - 1 - (open + 1)));
}

}  // namespace

std::optional<std::string> clean_name(std::string_view text) {
    const std::string_view trimmed = text::trim_white_space(text);
    if (trimmed.empty() || is_unknown_placeholder(trimmed) || has_unusable_char(trimmed)) {
        return std::nullopt;
    }
    return std::string(trimmed);
}

TrackName split_track_name(std::string_view trimmed_text) {
    if (auto split = split_parenthesised(trimmed_text)) return *std::move(split);
    constexpr std::array<std::string_view, 4> kSeparators = {" - ", " / ", " | ", ", "};
    for (const std::string_view separator : kSeparators) {
        const std::size_t at = trimmed_text.rfind(separator);
        if (at == std::string_view::npos) continue;
        if (auto split = split_at(trimmed_text.substr(0, at), trimmed_text.substr(at + separator.size()))) {
            return *std::move(split);
        }
    }
    return TrackName{std::string(trimmed_text), std::nullopt};
}

std::string ascii_upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

}  // namespace sim_bridge::lmu
