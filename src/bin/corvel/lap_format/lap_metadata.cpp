// The lap metadata document: values from the session, vehicle and clean lap, and its
// exact pretty-printed JSON text (shortest round-trip floats in each member's own width).
#include "lap_format/lap_metadata.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <type_traits>

#include "lap_format/output_file.hpp"
#include "text/utf8.hpp"

namespace corvel {
namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// A JSON string. Bytes that are not UTF-8 become U+FFFD, so the document stays valid
// UTF-8 whatever the simulator put into its name fields.
void append_json_string(std::string& out, std::string_view text) {
    out.push_back('"');
    for (std::size_t i = 0; i < text.size();) {
        // Each byte of a malformed sequence becomes its own U+FFFD.
        const text::DecodedChar decoded = text::decode_utf8_at(text, i);
        if (!decoded.valid) {
            out += kReplacementCharacter;
            ++i;
            continue;
        }
        const std::size_t len = decoded.length;
        const char c = text[i];
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                    out += escape;
                } else {
                    out.append(text.substr(i, len));
                }
        }
        i += len;
    }
    out.push_back('"');
}

// Shortest digits that read back to the same value of type F, in plain form inside the
// width's range ([1e-5, 1e16) for double, [1e-6, 1e13) for float) and exponent form
// outside it. NaN and the infinities have no JSON form and become null.
template <class F>
void append_json_float(std::string& out, F value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    if (value == F{0}) {
        out += std::signbit(value) ? "-0.0" : "0.0";
        return;
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    const std::string_view scientific(buffer, static_cast<std::size_t>(result.ptr - buffer));

    // "-d.ddde-XX" -> sign, digits "dddd", exponent
    const std::size_t e = scientific.find('e');
    std::string_view mantissa = scientific.substr(0, e);
    const bool negative = mantissa.front() == '-';
    if (negative) mantissa.remove_prefix(1);
    std::string digits;
    for (const char c : mantissa) {
        if (c != '.') digits.push_back(c);
    }
    const int exponent = std::atoi(std::string(scientific.substr(e + 1)).c_str());

    constexpr bool is_double = std::is_same_v<F, double>;
    const int min_plain = is_double ? -5 : -6;
    const int max_plain = is_double ? 15 : 12;

    if (negative) out.push_back('-');
    if (exponent < min_plain || exponent > max_plain) {
        out.push_back(digits[0]);
        if (digits.size() > 1) {
            out.push_back('.');
            out.append(digits, 1);
        }
        out += exponent < 0 ? "e-" : "e+";
        out += std::to_string(std::abs(exponent));
    } else if (exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
    } else {
        const auto int_digits = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= int_digits) {
            out += digits;
            out.append(int_digits - digits.size(), '0');
            out += ".0";
        } else {
            out.append(digits, 0, int_digits);
            out.push_back('.');
            out.append(digits, int_digits);
        }
    }
}

// Member lines: `  "key": value` with "," before every member but the first.
class DocumentWriter {
  public:
    DocumentWriter() {
        out_.reserve(128);
        out_ += "{";
    }

    std::string& member(std::string_view key) {
        out_ += first_ ? "\n  \"" : ",\n  \"";
        first_ = false;
        out_ += key;
        out_ += "\": ";
        return out_;
    }
    void string(std::string_view key, std::string_view value) { append_json_string(member(key), value); }
    void optional_string(std::string_view key, const std::optional<std::string>& value) {
        if (value)
            string(key, *value);
        else
            member(key) += "null";
    }
    template <class F>
    void number(std::string_view key, F value) {
        append_json_float(member(key), value);
    }
    void optional_number(std::string_view key, const std::optional<double>& value) {
        if (value)
            number(key, *value);
        else
            member(key) += "null";
    }
    void integer(std::string_view key, std::int64_t value) { member(key) += std::to_string(value); }
    void unsigned_integer(std::string_view key, std::uint64_t value) { member(key) += std::to_string(value); }
    void boolean(std::string_view key, bool value) { member(key) += value ? "true" : "false"; }
    void string_list(std::string_view key, std::span<const std::string> values) {
        std::string& out = member(key);
        out += "[";
        for (std::size_t i = 0; i < values.size(); ++i) {
            out += i == 0 ? "\n    " : ",\n    ";
            append_json_string(out, values[i]);
        }
        out += values.empty() ? "]" : "\n  ]";
    }

    std::string finish() && {
        out_ += "\n}";
        return std::move(out_);
    }

  private:
    std::string out_;
    bool first_ = true;
};

// `value` in decimal, with leading zeros up to `width` digits.
std::string padded(std::int64_t value, std::size_t width) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    return value < 0 ? "-" + digits : digits;
}

}  // namespace

UtcTime utc_now() {
    return std::chrono::floor<UtcTime::duration>(std::chrono::system_clock::now());
}

std::string format_created_at(UtcTime time) {
    using namespace std::chrono;
    const auto day = floor<days>(time);
    const year_month_day date(day);
    const hh_mm_ss clock(floor<seconds>(time - day));
    const std::int64_t ticks = (time - floor<seconds>(time)).count();  // 100 ns, 0..9999999

    std::string out = padded(static_cast<int>(date.year()), 4) + "-" +
                      padded(static_cast<unsigned>(date.month()), 2) + "-" +
                      padded(static_cast<unsigned>(date.day()), 2) + "T" + padded(clock.hours().count(), 2) +
                      ":" + padded(clock.minutes().count(), 2) + ":" + padded(clock.seconds().count(), 2);
    if (ticks % 10'000 == 0) {
        if (ticks != 0) out += "." + padded(ticks / 10'000, 3);
    } else if (ticks % 10 == 0) {
        out += "." + padded(ticks / 10, 6);
    } else {
        out += "." + padded(ticks * 100, 9);
    }
    out += "+00:00";
    return out;
}

std::string file_name_text(const std::filesystem::path& path) {
    try {
        const std::u8string name = path.filename().u8string();
        std::string text(name.begin(), name.end());
        return text::is_valid_utf8(text) ? text : std::string();
    } catch (...) {  // a Windows name with unpaired surrogates has no UTF-8 form
        return {};
    }
}

std::string format_lap_metadata(const LapMetadata& m) {
    DocumentWriter doc;
    doc.string("simulator", m.simulator);
    doc.string("trackName", m.track_name);
    doc.optional_string("trackId", m.track_id);
    doc.optional_string("trackConfig", m.track_config);
    doc.number("trackLengthM", m.track_length_m);
    doc.string("carName", m.car_name);
    doc.optional_string("carId", m.car_id);
    doc.optional_string("carClass", m.car_class);
    doc.string("driverName", m.driver_name);
    doc.string("sessionType", m.session_type);
    doc.optional_string("sessionId", m.session_id);
    doc.integer("lapNumber", m.lap_number);
    doc.number("lapTimeSeconds", m.lap_time_seconds);
    doc.unsigned_integer("sampleCount", m.sample_count);
    doc.string("fileName", m.file_name);
    doc.string("createdAt", format_created_at(m.created_at));
    doc.number("startTrackPct", m.start_track_pct);
    doc.boolean("startedMidLap", m.started_mid_lap);
    doc.optional_number("fuelAtStartLiters", m.fuel_at_start_liters);
    doc.number("fuelAtEndLiters", m.fuel_at_end_liters);
    doc.optional_number("fuelUsedLiters", m.fuel_used_liters);
    doc.integer("incidentDelta", m.incident_delta);
    doc.string_list("notes", m.notes);
    return std::move(doc).finish();
}

std::expected<void, std::string> write_lap_metadata(const std::filesystem::path& path,
                                                    const LapMetadata& metadata) {
    const std::string document = format_lap_metadata(metadata);
    const auto fail = [](const IoError& error) {
        return std::unexpected("Failed to write metadata: " + error.display());
    };
    auto file = OutputFile::create(path);
    if (!file) return fail(file.error());
    if (auto written = write_all(*file, std::as_bytes(std::span(document)), "failed to write whole buffer");
        !written) {
        return fail(written.error());
    }
    if (auto closed = file->close(); !closed) return fail(closed.error());
    return {};
}

}  // namespace corvel
