// Shared pieces of the fuzz harnesses: a property check that stops the run with a message
// (libFuzzer keeps the input that triggered it), and an independent UTF-8 validity check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string_view>

namespace corvel::fuzz {

// A broken property is a finding like a crash: print what broke and abort.
inline void require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "property violated: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

// Strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF), written apart from
// the code under test so that the two cannot share a mistake.
inline bool is_valid_utf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        if (b0 < 0x80) {
            ++i;
            continue;
        }
        std::size_t len = 0;
        unsigned min = 0;
        if ((b0 & 0xE0) == 0xC0) {
            len = 2;
            min = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            len = 3;
            min = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            len = 4;
            min = 0x10000;
        } else {
            return false;
        }
        if (i + len > text.size()) return false;
        unsigned cp = b0 & (0x7Fu >> len);
        for (std::size_t k = 1; k < len; ++k) {
            const auto b = static_cast<unsigned char>(text[i + k]);
            if ((b & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (b & 0x3Fu);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += len;
    }
    return true;
}

inline std::string_view as_text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

inline std::span<const std::byte> as_bytes(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const std::byte*>(data), size};
}

}  // namespace corvel::fuzz
