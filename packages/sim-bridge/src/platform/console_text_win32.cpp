// Windows: UTF-8 text becomes UTF-16 and goes to the console through WriteConsoleW, which
// shows every character whatever the console's code page.
#include <windows.h>

#include <algorithm>
#include <string>

#include "sim_bridge/platform/console_text.hpp"

namespace sim_bridge::platform {
namespace {

// Older consoles refuse very long writes; each piece stays well below their limit.
constexpr std::size_t kLongestPiece = 8192;

void write_to_console(HANDLE console, std::string_view utf8) {
    if (utf8.empty()) return;
    // Without MB_ERR_INVALID_CHARS malformed bytes become U+FFFD.
    const int source_length = static_cast<int>(utf8.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), source_length, nullptr, 0);
    if (length <= 0) return;
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), source_length, text.data(), length);

    std::size_t done = 0;
    while (done < text.size()) {
        std::size_t piece = std::min(kLongestPiece, text.size() - done);
        // Never split a surrogate pair between two writes.
        if (done + piece < text.size() && IS_HIGH_SURROGATE(text[done + piece - 1])) --piece;
        DWORD written = 0;
        if (!::WriteConsoleW(console, text.data() + done, static_cast<DWORD>(piece), &written, nullptr) ||
            written == 0) {
            return;  // the console is gone; there is no one left to tell
        }
        done += written;
    }
}

}  // namespace

ConsoleWriter console_writer_for(StandardStream stream) {
    const HANDLE handle =
        ::GetStdHandle(stream == StandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !::GetConsoleMode(handle, &mode)) return {};
    return [handle](std::string_view utf8) { write_to_console(handle, utf8); };
}

}  // namespace sim_bridge::platform
