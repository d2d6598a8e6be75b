// Display and diagnostic forms of SimBridgeError, and the shared quoting helper.
#include <gtest/gtest.h>

#include "text/quoted_text.hpp"
#include "sim_bridge/session_info.hpp"
#include "sim_bridge/sim_bridge_error.hpp"

using sim_bridge::SimBridgeError;

TEST(SimBridgeError, DisplayPutsTheKindsPrefixBeforeTheMessage) {
    SimBridgeError e(SimBridgeError::Kind::NotConnected, "LMU not connected");
    EXPECT_EQ(e.display(), "Not connected: LMU not connected");
    EXPECT_EQ(SimBridgeError(SimBridgeError::Kind::Internal, "x").display(), "Internal error: x");
}

TEST(SimBridgeError, OtherDisplaysTheMessageAlone) {
    EXPECT_EQ(SimBridgeError(SimBridgeError::Kind::Other, "just this").display(), "just this");
}

TEST(SimBridgeError, DiagnosticNamesTheKindAndQuotesTheMessage) {
    SimBridgeError e(SimBridgeError::Kind::ParseError, "LMU snapshot cache is \"poisoned\"");
    EXPECT_EQ(e.diagnostic(), "ParseError(\"LMU snapshot cache is \\\"poisoned\\\"\")");
}

TEST(QuotedText, EscapesQuotesBackslashesAndControlCharacters) {
    using namespace std::string_literals;
    EXPECT_EQ(text::quoted_text("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(text::quoted_text("l1\nl2\r\t"s + '\0'), "\"l1\\nl2\\r\\t\\0\"");
    EXPECT_EQ(text::quoted_text("\x1b\x7f"), "\"\\u{1b}\\u{7f}\"");
    EXPECT_EQ(text::quoted_text("\xc2\x85"), "\"\\u{85}\"");  // C1 control U+0085
}

TEST(QuotedText, KeepsNonAsciiTextAsItIs) {
    EXPECT_EQ(text::quoted_text("Straße é"), "\"Straße é\"");
    EXPECT_EQ(text::quoted_text("\xEF\xBF\xBD"), "\"\xEF\xBF\xBD\"");  // a real U+FFFD
}

// Bytes that are not UTF-8 pass through as they are: an overlong NUL or quote must not be
// shown as the character it would spell, and nothing is dropped.
TEST(QuotedText, KeepsMalformedBytesInsteadOfDecodingThem) {
    EXPECT_EQ(text::quoted_text("a\xE0\x80\x80" "b"), "\"a\xE0\x80\x80" "b\"");  // overlong U+0000
    EXPECT_EQ(text::quoted_text("\xC0\xA2"), "\"\xC0\xA2\"");                 // overlong '"'
    EXPECT_EQ(text::quoted_text("\xED\xA0\x80"), "\"\xED\xA0\x80\"");       // a surrogate
    EXPECT_EQ(text::quoted_text("\xF4\x90\x80\x80"), "\"\xF4\x90\x80\x80\"");  // above U+10FFFF
    EXPECT_EQ(text::quoted_text("\xE2\x82\""), "\"\xE2\x82\\\"\"");  // cut short before a quote
    EXPECT_EQ(text::quoted_text("\xFF\n"), "\"\xFF\\n\"");
}

TEST(SessionKindLabel, BothPracticeCodesReadPractice) {
    using sim_bridge::SessionKind;
    EXPECT_EQ(sim_bridge::session_kind_label(SessionKind::Practice), "practice");
    EXPECT_EQ(sim_bridge::session_kind_label(SessionKind::OtherPractice), "practice");
    EXPECT_EQ(sim_bridge::session_kind_label(static_cast<SessionKind>(42)), "unknown");
}
