// The part of console text output that is the same on every OS: where a UTF-8 sequence is
// cut, the stream buffer that holds such a cut back, and the swap of std::cout's and
// std::cerr's buffers.
#include "sim_bridge/platform/console_text.hpp"

#include <iostream>

namespace sim_bridge::platform {
namespace {

// The sequence length a lead byte announces; 0 for a continuation byte, 1 for ASCII and for
// bytes that cannot start a sequence.
std::size_t announced_length(unsigned char byte) {
    if ((byte & 0xC0) == 0x80) return 0;
    if (byte >= 0xC2 && byte <= 0xDF) return 2;
    if (byte >= 0xE0 && byte <= 0xEF) return 3;
    if (byte >= 0xF0 && byte <= 0xF4) return 4;
    return 1;
}

}  // namespace

std::size_t complete_utf8_length(std::string_view bytes) {
    // Only the last three bytes can belong to a sequence still waiting for more.
    const std::size_t earliest = bytes.size() > 3 ? bytes.size() - 3 : 0;
    for (std::size_t start = bytes.size(); start > earliest; --start) {
        const std::size_t length = announced_length(static_cast<unsigned char>(bytes[start - 1]));
        if (length == 0) continue;  // a continuation byte: its lead comes earlier
        const std::size_t present = bytes.size() - (start - 1);
        return length > present ? start - 1 : bytes.size();
    }
    return bytes.size();
}

Utf8ConsoleBuffer::Utf8ConsoleBuffer(ConsoleWriter write) : write_(std::move(write)) {}

Utf8ConsoleBuffer::~Utf8ConsoleBuffer() {
    if (!held_.empty()) write_(held_);
}

Utf8ConsoleBuffer::int_type Utf8ConsoleBuffer::overflow(int_type ch) {
    if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
    const char byte = traits_type::to_char_type(ch);
    pass_on(std::string_view(&byte, 1));
    return ch;
}

std::streamsize Utf8ConsoleBuffer::xsputn(const char* text, std::streamsize count) {
    pass_on(std::string_view(text, static_cast<std::size_t>(count)));
    return count;
}

void Utf8ConsoleBuffer::pass_on(std::string_view more) {
    const std::lock_guard lock(mutex_);
    held_.append(more);
    const std::size_t complete = complete_utf8_length(held_);
    if (complete == 0) return;
    write_(std::string_view(held_).substr(0, complete));
    held_.erase(0, complete);
}

ConsoleStreams::ConsoleStreams() {
    if (ConsoleWriter writer = console_writer_for(StandardStream::Output)) {
        std::cout.flush();
        output_ = std::make_unique<Utf8ConsoleBuffer>(std::move(writer));
        previous_output_ = std::cout.rdbuf(output_.get());
    }
    if (ConsoleWriter writer = console_writer_for(StandardStream::Error)) {
        std::cerr.flush();
        error_ = std::make_unique<Utf8ConsoleBuffer>(std::move(writer));
        previous_error_ = std::cerr.rdbuf(error_.get());
    }
}

ConsoleStreams::~ConsoleStreams() {
    if (output_) std::cout.rdbuf(previous_output_);
    if (error_) std::cerr.rdbuf(previous_error_);
}

}  // namespace sim_bridge::platform
