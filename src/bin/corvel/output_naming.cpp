// File stem and paths of one captured lap, and the output directory.
#include "corvel/output_naming.hpp"

#include <chrono>
#include <system_error>

#include "text/utf8.hpp"

namespace corvel {
namespace {

// Bounded so the file name stays within common 255-byte limits whatever the simulator
// or the user calls things; the cut never leaves a trailing hyphen.
std::string stem_slug(std::string_view text) {
    std::string slug = slugify(text);
    if (slug.size() > kMaxStemSlugBytes) {
        slug.resize(kMaxStemSlugBytes);
        while (!slug.empty() && slug.back() == '-') slug.pop_back();
    }
    return slug;
}

}  // namespace

std::string slugify(std::string_view text) {
    std::string slug;
    slug.reserve(text.size());
    bool pending_hyphen = false;
    // Every byte of a non-ASCII character maps to a separator; runs of separators
    // collapse, so this equals mapping each character to one.
    for (const char c : text) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        const bool upper = c >= 'A' && c <= 'Z';
        if (!keep && !upper) {
            pending_hyphen = true;
            continue;
        }
        if (pending_hyphen && !slug.empty()) slug.push_back('-');
        pending_hyphen = false;
        slug.push_back(upper ? static_cast<char>(c - 'A' + 'a') : c);
    }
    return slug;
}

std::uint64_t unix_seconds_now() {
    const auto since_epoch =
        std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch());
    return since_epoch.count() > 0 ? static_cast<std::uint64_t>(since_epoch.count()) : 0;
}

OutputPaths build_output_paths(const std::filesystem::path& dir, std::string_view prefix,
                               const sim_bridge::SessionInfo& session, const sim_bridge::VehicleInfo& vehicle,
                               std::int64_t lap) {
    return build_output_paths(dir, prefix, session, vehicle, lap, unix_seconds_now());
}

OutputPaths build_output_paths(const std::filesystem::path& dir, std::string_view prefix,
                               const sim_bridge::SessionInfo& session, const sim_bridge::VehicleInfo& vehicle,
                               std::int64_t lap, std::uint64_t unix_seconds) {
    const std::string_view track_text =
        text::is_blank(session.track_full_name) ? session.track_name : session.track_full_name;
    const std::string_view car_text =
        text::is_blank(vehicle.car_name) ? std::string_view("unknown-car") : vehicle.car_name;
    const std::string stem = stem_slug(prefix) + "-" + stem_slug(track_text) + "-" + stem_slug(car_text) +
                             "-lap" + std::to_string(lap) + "-" + std::to_string(unix_seconds);
    // Slugs are ASCII, so the native conversion cannot misread them.
    return OutputPaths{dir / (stem + ".bin"), dir / (stem + ".json")};
}

std::expected<void, IoError> create_output_directory(const std::filesystem::path& dir) {
    if (dir.empty()) return {};  // the working directory itself
    std::error_code code;
    std::filesystem::create_directories(dir, code);
    if (code) return std::unexpected(IoError(code));
    return {};
}

}  // namespace corvel
