// Reading the block's text fields and the name rules built on them.
#include <gtest/gtest.h>

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "adapters/lmu/fixed_text.hpp"
#include "adapters/lmu/names.hpp"
#include "text/utf8.hpp"

namespace sim_bridge::lmu {
namespace {

std::string read(std::string_view bytes) {
    const std::vector<std::byte> field(reinterpret_cast<const std::byte*>(bytes.data()),
                                       reinterpret_cast<const std::byte*>(bytes.data()) + bytes.size());
    return read_fixed_text(field);
}

const std::string kFffd = "\xEF\xBF\xBD";

TEST(ReadFixedText, StopsAtFirstNul) {
    EXPECT_EQ(read(std::string_view("Monza\0junk", 10)), "Monza");
}

TEST(ReadFixedText, TakesWholeFieldWithoutNul) {
    EXPECT_EQ(read("ABCDEFGH"), "ABCDEFGH");
}

TEST(ReadFixedText, TrimsUnicodeWhiteSpace) {
    // TAB, NEL, NBSP, IDEOGRAPHIC SPACE before; EN SPACE, NARROW NBSP, LINE SEPARATOR, VT after.
    EXPECT_EQ(read("\t\xC2\x85\xC2\xA0\xE3\x80\x80Le Mans\xE2\x80\x82\xE2\x80\xAF\xE2\x80\xA8\x0B"),
              "Le Mans");
    EXPECT_EQ(read("  \xE2\x80\x83  "), "");
}

TEST(ReadFixedText, KeepsInnerWhiteSpaceAndNonSpaceFormatChars) {
    // ZERO WIDTH SPACE (U+200B) is not White_Space.
    EXPECT_EQ(read(" A\xC2\xA0"
                   "B\xE2\x80\x8B "),
              "A\xC2\xA0"
              "B\xE2\x80\x8B");
}

TEST(ReadFixedText, KeepsValidMultiByteText) {
    EXPECT_EQ(read("N\xC3\xBCrburgring \xF0\x9F\x8F\x81"), "N\xC3\xBCrburgring \xF0\x9F\x8F\x81");
}

TEST(ReadFixedText, ReplacesEachMaximalInvalidSubpart) {
    // The example of the Unicode standard (Table 3-8): a truncated 4-byte and 3-byte sequence
    // give one U+FFFD each, lone continuation bytes one each.
    EXPECT_EQ(read("a\xF1\x80\x80\xE1\x80\xC2"
                   "b\x80"
                   "c\x80\xBF"
                   "d"),
              "a" + kFffd + kFffd + kFffd + "b" + kFffd + "c" + kFffd + kFffd + "d");
}

TEST(ReadFixedText, ReplacesOverlongSurrogateAndOutOfRangeBytewise) {
    EXPECT_EQ(read("\xC0\xAF"), kFffd + kFffd);
    EXPECT_EQ(read("\xE0\x80\xAF"), kFffd + kFffd + kFffd);
    EXPECT_EQ(read("\xED\xA0\x80"), kFffd + kFffd + kFffd);
    EXPECT_EQ(read("\xF4\x90\x80\x80"), kFffd + kFffd + kFffd + kFffd);
    EXPECT_EQ(read("\xFF"), kFffd);
}

TEST(ReadFixedText, ReplacesSequenceCutByFieldEnd) {
    EXPECT_EQ(read("GT3 \xE2\x82"), "GT3 " + kFffd);
}

TEST(CleanName, TrimsAndKeepsOrdinaryNames) {
    EXPECT_EQ(clean_name("  Porsche 963 "), "Porsche 963");
    EXPECT_EQ(clean_name("unknownX"), "unknownX");
}

TEST(CleanName, RejectsBlankUnknownReplacementAndControlText) {
    EXPECT_EQ(clean_name(""), std::nullopt);
    EXPECT_EQ(clean_name(" \xE3\x80\x80 "), std::nullopt);
    EXPECT_EQ(clean_name("UNKNOWN"), std::nullopt);
    EXPECT_EQ(clean_name(" UnKnOwN "), std::nullopt);
    EXPECT_EQ(clean_name("Car" + kFffd), std::nullopt);
    EXPECT_EQ(clean_name("Car\x01X"), std::nullopt);
    EXPECT_EQ(clean_name("Car\x7FX"), std::nullopt);
    EXPECT_EQ(clean_name("Car\xC2\x9FX"), std::nullopt);  // U+009F
    EXPECT_EQ(clean_name("Car\xFFX"), std::nullopt);      // not UTF-8 at all
}

TEST(SplitTrackName, TakesParenthesisedLayout) {
    EXPECT_EQ(split_track_name("Spa (Endurance)"), (TrackName{"Spa", "Endurance"}));
    EXPECT_EQ(split_track_name("Le Mans (Circuit (24h))"), (TrackName{"Le Mans (Circuit", "24h)"}));
}

TEST(SplitTrackName, TriesSeparatorsInOrderAtTheirLastOccurrence) {
    EXPECT_EQ(split_track_name("Monza - GP"), (TrackName{"Monza", "GP"}));
    EXPECT_EQ(split_track_name("Monza, GP"), (TrackName{"Monza", "GP"}));
    EXPECT_EQ(split_track_name("A - B - C"), (TrackName{"A - B", "C"}));
    EXPECT_EQ(split_track_name("Sebring / Short | Night"), (TrackName{"Sebring", "Short | Night"}));
    EXPECT_EQ(split_track_name("Fuji | Day"), (TrackName{"Fuji", "Day"}));
}

TEST(SplitTrackName, FallsThroughWhenAPartIsEmpty) {
    EXPECT_EQ(split_track_name("Spa ( )"), (TrackName{"Spa ( )", std::nullopt}));
    EXPECT_EQ(split_track_name("Monza - GP ( )"), (TrackName{"Monza", "GP ( )"}));
    EXPECT_EQ(split_track_name("Imola () - GP"), (TrackName{"Imola ()", "GP"}));
    EXPECT_EQ(split_track_name("Road - America,"), (TrackName{"Road", "America,"}));
}

TEST(SplitTrackName, KeepsTextWithoutLayoutWhole) {
    EXPECT_EQ(split_track_name("()"), (TrackName{"()", std::nullopt}));
    EXPECT_EQ(split_track_name("Le Mans"), (TrackName{"Le Mans", std::nullopt}));
    EXPECT_EQ(split_track_name("- GP"), (TrackName{"- GP", std::nullopt}));
    EXPECT_EQ(split_track_name(""), (TrackName{"", std::nullopt}));
}

// Malformed bytes are text: only well-formed white space is blank or trimmed.
TEST(Utf8WhiteSpace, MalformedSpaceIsNotWhiteSpace) {
    EXPECT_TRUE(text::is_blank(""));
    EXPECT_TRUE(text::is_blank(" \t\xC2\x85\xC2\xA0\xE3\x80\x80"));
    EXPECT_FALSE(text::is_blank("\x85"));      // a stray NEL byte
    EXPECT_FALSE(text::is_blank("\xA0"));      // a stray NO-BREAK SPACE byte
    EXPECT_FALSE(text::is_blank("\xC0\xA0"));  // overlong U+0020
    EXPECT_FALSE(text::is_blank("\xE0\x80\xA0"));
    EXPECT_EQ(text::trim_white_space(" \xC0\xA0 "), "\xC0\xA0");
    EXPECT_EQ(text::trim_white_space("\xA0x\x85"), "\xA0x\x85");
}

TEST(Utf8WhiteSpace, DecoderTellsAReplacementCharacterFromAnInvalidSequence) {
    EXPECT_TRUE(text::decode_utf8_at("\xEF\xBF\xBD", 0).valid);
    const text::DecodedChar overlong = text::decode_utf8_at("\xC0\xA0", 0);
    EXPECT_FALSE(overlong.valid);
    EXPECT_EQ(overlong.length, 1U);
    EXPECT_FALSE(text::is_valid_utf8("a\xE2\x80"));
    EXPECT_TRUE(text::is_valid_utf8("a\xE2\x80\xA8"));
}

}  // namespace
}  // namespace sim_bridge::lmu
