// Fuzz target: the text rules between the simulator's bytes and corvel's names and file names:
// read_fixed_text, clean_name, split_track_name, and the output file names built from such
// texts and a user's prefix. Inputs are split at the first 0xFF byte into a "simulator" field
// and a "prefix"; the field also goes through the rules at every length up to its own.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "adapters/lmu/fixed_text.hpp"
#include "adapters/lmu/names.hpp"
#include "corvel/output_naming.hpp"
#include "fuzz_support.hpp"
#include "text/quoted_text.hpp"
#include "text/utf8.hpp"

namespace {

namespace lmu = sim_bridge::lmu;
using corvel::fuzz::is_valid_utf8;
using corvel::fuzz::require;

bool is_trimmed(std::string_view text) {
    return text::trim_white_space(text) == text;
}

void check_fixed_text(std::span<const std::byte> field) {
    const std::string text = lmu::read_fixed_text(field);
    require(is_valid_utf8(text), "read_fixed_text gives UTF-8");
    require(text.find('\0') == std::string::npos, "read_fixed_text stops at the first NUL");
    require(is_trimmed(text), "read_fixed_text trims white space");
    // Each invalid byte may grow into the three bytes of U+FFFD, never more.
    require(text.size() <= 3 * field.size(), "read_fixed_text grows at most threefold");
}

void check_clean_name(std::string_view text) {
    const auto name = lmu::clean_name(text);
    if (!name) return;
    require(!name->empty(), "a clean name is never empty");
    require(is_valid_utf8(*name), "a clean name is UTF-8");
    require(is_trimmed(*name), "a clean name is trimmed");
    require(text.find(*name) != std::string_view::npos, "a clean name is a piece of its text");
    require(name->find("\xEF\xBF\xBD") == std::string::npos, "a clean name holds no U+FFFD");
    for (const char c : *name) {
        const auto b = static_cast<unsigned char>(c);
        require(b >= 0x20 && b != 0x7F, "a clean name holds no ASCII control character");
    }
}

void check_split(std::string_view raw) {
    const std::string_view trimmed = text::trim_white_space(raw);
    const lmu::TrackName split = lmu::split_track_name(trimmed);
    if (!split.layout) {
        require(split.base == trimmed, "an unsplit track keeps its whole text");
        return;
    }
    require(!split.base.empty() && !split.layout->empty(), "both parts of a split track are filled");
    require(is_trimmed(split.base) && is_trimmed(*split.layout), "both parts are trimmed");
    require(trimmed.starts_with(split.base), "the base name opens the text");
    require(trimmed.find(*split.layout, split.base.size()) != std::string_view::npos,
            "the layout follows the base name");
}

// The quoted form of a message keeps every byte: escapes only ever lengthen it, and a
// message that is UTF-8 stays UTF-8 without a raw control character.
void check_quoted(std::string_view text) {
    const std::string quoted = text::quoted_text(text);
    require(quoted.size() >= text.size() + 2 && quoted.front() == '"' && quoted.back() == '"',
            "the quoted form keeps every byte inside its quotes");
    if (!is_valid_utf8(text)) return;
    require(is_valid_utf8(quoted), "a UTF-8 message quotes to UTF-8");
    for (const char c : quoted) {
        const auto b = static_cast<unsigned char>(c);
        require(b >= 0x20 && b != 0x7F,
                "the quoted form of a UTF-8 message holds no ASCII control character");
    }
}

void check_file_names(std::string_view track, std::string_view prefix) {
    sim_bridge::SessionInfo session;
    session.track_name = std::string(track);
    session.track_full_name = std::string(track);
    sim_bridge::VehicleInfo vehicle;
    vehicle.car_name = std::string(track);
    const std::filesystem::path dir = "/out";
    for (const std::int64_t lap : {std::int64_t{-2147483648LL}, std::int64_t{2147483647}}) {
        const corvel::OutputPaths paths =
            corvel::build_output_paths(dir, prefix, session, vehicle, lap, 18446744073709551615ULL);
        for (const auto& path : {paths.telemetry, paths.metadata}) {
            require(path.parent_path() == dir, "the files land in the output directory");
            const std::string name = path.filename().string();
            require(name.size() <= 255, "file names stay within 255 bytes");
            for (const char c : name) {
                const bool allowed = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
                require(allowed, "file names hold only a-z, 0-9, '-' and '.'");
            }
        }
        require(paths.telemetry.stem() == paths.metadata.stem(), "both files share one stem");
    }
    const std::string slug = corvel::slugify(prefix);
    require(slug.find("--") == std::string::npos, "a slug never holds two hyphens in a row");
    require(slug.empty() || (slug.front() != '-' && slug.back() != '-'), "a slug has no outer hyphen");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = corvel::fuzz::as_text(data, size);
    const std::size_t cut = input.find('\xFF');
    const std::string_view field = input.substr(0, cut);
    const std::string_view prefix =
        cut == std::string_view::npos ? std::string_view{} : input.substr(cut + 1);

    const auto bytes = corvel::fuzz::as_bytes(data, field.size());
    // Every length a fixed field can have, cutting characters anywhere.
    for (std::size_t n = 0; n <= bytes.size() && n <= 96; ++n) check_fixed_text(bytes.first(n));
    if (bytes.size() > 96) check_fixed_text(bytes);

    const std::string text = lmu::read_fixed_text(bytes);
    check_clean_name(field);
    check_clean_name(text);
    check_split(text);
    check_split(field);
    check_file_names(field, prefix);
    check_quoted(input);
    return 0;
}
