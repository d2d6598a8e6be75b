// UTF-8 text on a console without changing the console's code page. The programs write UTF-8
// (track, car and path names); a Windows console shows it right only through WriteConsoleW
// in UTF-16, or after a code page change that outlives a process ended by Ctrl+C. While a
// ConsoleStreams lives, std::cout and std::cerr that lead to a console go through WriteConsoleW;
// redirected ones keep their bytes exactly. The console writer is per OS:
// console_text_{win32,linux}.cpp; the buffer in front of it is the same everywhere.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <streambuf>
#include <string>
#include <string_view>

namespace sim_bridge::platform {

// Shows complete UTF-8 text (malformed bytes become U+FFFD) on the console.
using ConsoleWriter = std::function<void(std::string_view utf8)>;

enum class StandardStream { Output, Error };

// A writer for the console behind `stream`; empty when the stream leads elsewhere (a file,
// a pipe) and on Linux, where terminals take the bytes as they are.
[[nodiscard]] ConsoleWriter console_writer_for(StandardStream stream);

// The length of the longest prefix of `bytes` that does not end inside a UTF-8 sequence
// still waiting for its continuation bytes. Malformed bytes count as complete: they cannot
// become valid by waiting.
[[nodiscard]] std::size_t complete_utf8_length(std::string_view bytes);

// A stream buffer that hands each write to a ConsoleWriter at once, holding back only the
// start of a UTF-8 sequence cut between two writes. Safe to write from several threads.
class Utf8ConsoleBuffer final : public std::streambuf {
  public:
    explicit Utf8ConsoleBuffer(ConsoleWriter write);
    // A sequence still cut off is written as it stands.
    ~Utf8ConsoleBuffer() override;

  protected:
    int_type overflow(int_type ch) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;

  private:
    void pass_on(std::string_view more);

    ConsoleWriter write_;
    std::mutex mutex_;
    std::string held_;
};

// While it lives, std::cout and std::cerr that lead to a console write through
// Utf8ConsoleBuffer; the previous buffers are put back when it ends.
class ConsoleStreams {
  public:
    ConsoleStreams();
    ~ConsoleStreams();
    ConsoleStreams(const ConsoleStreams&) = delete;
    ConsoleStreams& operator=(const ConsoleStreams&) = delete;

  private:
    std::unique_ptr<Utf8ConsoleBuffer> output_;
    std::unique_ptr<Utf8ConsoleBuffer> error_;
    std::streambuf* previous_output_ = nullptr;
    std::streambuf* previous_error_ = nullptr;
};

}  // namespace sim_bridge::platform
