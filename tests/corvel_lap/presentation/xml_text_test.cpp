// Text from lap metadata and file names goes into SVG and HTML; one bad byte must not make the
// document unreadable, and a malformed space must not pass for a real one.
#include "presentation/xml_text.hpp"

#include <gtest/gtest.h>

namespace corvel {
namespace {

constexpr std::string_view kMark = "\xEF\xBF\xBD";

TEST(XmlText, EscapesMarkupAndDropsControlCharacters) {
    EXPECT_EQ(xml_escape("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&apos;");
    EXPECT_EQ(xml_escape("tab\tline\nbell\x07"), "tab\tline\nbell");
    EXPECT_EQ(xml_escape("Caf\xC3\xA9 \xE6\x97\xA5"), "Caf\xC3\xA9 \xE6\x97\xA5");
}

TEST(XmlText, ReplacesEachMalformedByteOnce) {
    const std::string two = std::string(kMark) + std::string(kMark);
    EXPECT_EQ(xml_escape("\xC0\xA0"), two);                           // an overlong NO-BREAK SPACE
    EXPECT_EQ(xml_escape("\xED\xA0\x80"), two + std::string(kMark));  // a surrogate
    EXPECT_EQ(xml_escape("a\x85z"), "a" + std::string(kMark) + "z");  // a stray byte, not NEL
    EXPECT_EQ(xml_escape("cut \xE2\x82"), "cut " + two);
    EXPECT_EQ(xml_escape(kMark), kMark);  // a real U+FFFD stays one
}

TEST(XmlText, ValidatesStrictly) {
    EXPECT_TRUE(is_valid_utf8("Ren\xC3\xA9"));
    EXPECT_FALSE(is_valid_utf8("\xC0\xA0"));
    EXPECT_FALSE(is_valid_utf8("\xE0\x80\xA0"));
    EXPECT_FALSE(is_valid_utf8("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(is_valid_utf8("\xA0"));
}

}  // namespace
}  // namespace corvel
