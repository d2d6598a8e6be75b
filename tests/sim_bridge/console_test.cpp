// The console layer's portable parts: when a console window is kept open after the run, and
// how UTF-8 text reaches a console writer whole however the program's writes cut it.
#include <gtest/gtest.h>

#include <iostream>
#include <ostream>
#include <string>
#include <vector>

#include "sim_bridge/platform/console_text.hpp"
#include "sim_bridge/platform/console_window.hpp"

namespace sim_bridge::platform {
namespace {

// A console of its own: what a double click in Explorer gives.
constexpr ConsoleFacts kStartedFromExplorer{true, true, true, 1};

TEST(ConsoleWindow, ClosesWithTheProcessWhenItAloneOwnsAnUnredirectedConsole) {
    EXPECT_TRUE(console_window_closes_with_process(kStartedFromExplorer));
}

TEST(ConsoleWindow, StaysWhenAnotherProcessSharesTheConsole) {
    ConsoleFacts from_a_prompt = kStartedFromExplorer;
    from_a_prompt.attached_processes = 2;  // cmd.exe or PowerShell and this program
    ConsoleFacts none = kStartedFromExplorer;
    none.attached_processes = 0;  // the count could not be taken

    EXPECT_FALSE(console_window_closes_with_process(from_a_prompt));
    EXPECT_FALSE(console_window_closes_with_process(none));
}

TEST(ConsoleWindow, IsNotKeptWhenAnyStandardStreamIsRedirected) {
    ConsoleFacts input = kStartedFromExplorer;
    input.input_is_console = false;
    ConsoleFacts output = kStartedFromExplorer;
    output.output_is_console = false;
    ConsoleFacts error = kStartedFromExplorer;
    error.error_is_console = false;

    EXPECT_FALSE(console_window_closes_with_process(input));
    EXPECT_FALSE(console_window_closes_with_process(output));
    EXPECT_FALSE(console_window_closes_with_process(error));
    EXPECT_FALSE(console_window_closes_with_process(ConsoleFacts{}));
}

TEST(CompleteUtf8Length, HoldsBackOnlyASequenceStillWaitingForBytes) {
    EXPECT_EQ(complete_utf8_length(""), 0u);
    EXPECT_EQ(complete_utf8_length("Le Mans\n"), 8u);
    EXPECT_EQ(complete_utf8_length("N\xC3\xBC"), 3u);          // "Nü", whole
    EXPECT_EQ(complete_utf8_length("N\xC3"), 1u);              // the lead of ü alone
    EXPECT_EQ(complete_utf8_length("\xE2\x80"), 0u);           // two of the three bytes of "–"
    EXPECT_EQ(complete_utf8_length("a\xF0\x9F\x8F"), 1u);      // three of the four of 🏁
    EXPECT_EQ(complete_utf8_length("a\xF0\x9F\x8F\x81"), 5u);  // all four
}

TEST(CompleteUtf8Length, PassesMalformedBytesOnSinceWaitingCannotMendThem) {
    EXPECT_EQ(complete_utf8_length("a\x80"), 2u);             // a stray continuation byte
    EXPECT_EQ(complete_utf8_length("\x80\x80\x80\x80"), 4u);  // more of them than a sequence holds
    EXPECT_EQ(complete_utf8_length("a\xC0"), 2u);             // never a lead (overlong)
    EXPECT_EQ(complete_utf8_length("a\xFF"), 2u);
    EXPECT_EQ(complete_utf8_length("\xE2"
                                   "A"),
              2u);  // a sequence broken off
}

// Records every piece the buffer hands to the console.
struct RecordingConsole {
    std::vector<std::string> pieces;
    ConsoleWriter writer() {
        return [this](std::string_view text) { pieces.emplace_back(text); };
    }
    std::string all() const {
        std::string joined;
        for (const std::string& piece : pieces) joined += piece;
        return joined;
    }
};

TEST(Utf8ConsoleBuffer, HandsOnEachWriteAtOnce) {
    RecordingConsole console;
    Utf8ConsoleBuffer buffer(console.writer());
    std::ostream out(&buffer);

    out << "Connected to LMU.\n";

    EXPECT_EQ(console.pieces, std::vector<std::string>{"Connected to LMU.\n"});
}

TEST(Utf8ConsoleBuffer, NeverCutsACharacterBetweenTwoPieces) {
    const std::string text =
        "Track: N\xC3\xBC"
        "rburgring \xE2\x80\x93 Nordschleife \xF0\x9F\x8F\x81\n";
    RecordingConsole console;
    Utf8ConsoleBuffer buffer(console.writer());
    std::ostream out(&buffer);

    for (const char byte : text) out.put(byte);

    EXPECT_EQ(console.all(), text);
    for (const std::string& piece : console.pieces)
        EXPECT_EQ(complete_utf8_length(piece), piece.size()) << piece;
}

TEST(Utf8ConsoleBuffer, WritesACutOffSequenceAsItStandsWhenItEnds) {
    RecordingConsole console;
    {
        Utf8ConsoleBuffer buffer(console.writer());
        std::ostream out(&buffer);
        out << "end \xE2\x80";
        EXPECT_EQ(console.all(), "end ");
    }

    EXPECT_EQ(console.all(), "end \xE2\x80");
}

TEST(ConsoleStreams, LeaveStreamsThatAreNoConsoleAsTheyAre) {
    std::streambuf* const output_before = std::cout.rdbuf();
    std::streambuf* const error_before = std::cerr.rdbuf();
    const ConsoleFacts facts = read_console_facts();
    {
        const ConsoleStreams streams;

        EXPECT_EQ(std::cout.rdbuf() == output_before, !facts.output_is_console);
        EXPECT_EQ(std::cerr.rdbuf() == error_before, !facts.error_is_console);
    }
    EXPECT_EQ(std::cout.rdbuf(), output_before);
    EXPECT_EQ(std::cerr.rdbuf(), error_before);
}

}  // namespace
}  // namespace sim_bridge::platform
