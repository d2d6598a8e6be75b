// The "diagnostic form" of a message: the text in double quotes with backslash escapes,
// shared by every error type's diagnostic form and by the failure report.
#pragma once

#include <string>
#include <string_view>

namespace text {

// Wraps `text` in double quotes; escapes `"` and `\`, writes \n \r \t \0 for those
// control characters and \u{..} (lower-case hex) for every other control character.
[[nodiscard]] std::string quoted_text(std::string_view text);

}  // namespace text
