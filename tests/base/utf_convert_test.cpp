// UTF-16 <-> UTF-8: well-formed text round-trips exactly; every malformed piece
// becomes exactly one U+FFFD and never swallows the character after it.
#include "base/utf_convert.h"

#include <gtest/gtest.h>

#include <string>

namespace zelto {
namespace {

constexpr char kFffd[] = "\xEF\xBF\xBD";

TEST(UtfConvertTest, WellFormedTextRoundTrips) {
  // One character of each encoded length, and an embedded zero.
  const std::u16string wide = {u'K', 0x00E9, 0x20AC, 0xD83D, 0xDE00, 0, u'x'};
  const std::string narrow("K\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\0x", 12);
  EXPECT_EQ(Utf16ToUtf8(wide), narrow);
  EXPECT_EQ(Utf8ToUtf16(narrow), wide);
  // The extremes of each length.
  const std::u16string bounds = {0x7F, 0x80, 0x7FF, 0x800, 0xFFFF, 0xDBFF, 0xDFFF};
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(bounds)), bounds);
  EXPECT_EQ(Utf16ToUtf8(u""), "");
  EXPECT_EQ(Utf8ToUtf16(""), u"");
}

// The copies this replaced disagreed here: one wrote the surrogate's own three
// bytes, which no UTF-8 reader accepts.
TEST(UtfConvertTest, UnpairedSurrogatesBecomeReplacementCharacters) {
  const std::string r = kFffd;
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD800}), r);              // high at the end
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD800, u'x'}), r + "x");  // high, no low
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDC00, u'x'}), r + "x");  // low alone
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDC00, 0xD800}), r + r);  // pair reversed
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD800, 0xD83D, 0xDE00}),  // high, then a pair
            r + "\xF0\x9F\x98\x80");
}

TEST(UtfConvertTest, EachIllFormedUtf8PieceBecomesOneReplacement) {
  const std::u16string r = {0xFFFD};
  EXPECT_EQ(Utf8ToUtf16("\x80x"), r + u"x");                      // stray continuation
  EXPECT_EQ(Utf8ToUtf16("\xC3"), r);                              // cut at the end
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82x"), r + u"x");                  // cut before an ASCII byte
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\xC3\xA9"), r + u"\u00E9");  // cut before a lead byte
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), r + r);                      // overlong, two bytes
  EXPECT_EQ(Utf8ToUtf16("\xE0\x80\xAF"), r + r + r);              // overlong, three bytes
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), r + r + r);              // an encoded surrogate
  EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), r + r + r + r);      // above U+10FFFF
  EXPECT_EQ(Utf8ToUtf16("\xF5\xFF"), r + r);                      // never a lead byte
  EXPECT_EQ(Utf8ToUtf16("\xF4\x8F\xBF\xBF"), (std::u16string{0xDBFF, 0xDFFF}));  // U+10FFFF
}

}  // namespace
}  // namespace zelto
