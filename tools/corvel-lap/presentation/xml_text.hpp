// Text made safe for an XML document: markup characters escaped, characters XML 1.0 does
// not allow (most C0 controls) dropped, malformed UTF-8 replaced by U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace corvel {

// Usable both as element content and inside a double-quoted attribute.
[[nodiscard]] std::string xml_escape(std::string_view text);

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or stray bytes).
[[nodiscard]] bool is_valid_utf8(std::string_view text);

}  // namespace corvel
