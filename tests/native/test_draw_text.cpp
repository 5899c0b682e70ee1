// The drawing's text conversions: UTF-8 names into UTF-16 cells, cells back
// into UTF-8 for the console.
#include <gtest/gtest.h>

#include "draw/wide_text.h"

namespace velorin::draw {
namespace {

TEST(DrawText, WidensWellFormedUtf8) {
  EXPECT_EQ(Widen("q[0]:"), u"q[0]:");
  EXPECT_EQ(Widen("\xC3\xA9"), u"\u00E9");
  EXPECT_EQ(Widen("\xE2\x94\x80"), u"\u2500");
  EXPECT_EQ(Widen("\xF0\x9F\x98\x80"), std::u16string({0xD83D, 0xDE00}));
  EXPECT_EQ(Widen(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(DrawText, EachBadByteBecomesOneReplacement) {
  EXPECT_EQ(Widen("q\xFF"), u"q\uFFFD");
  EXPECT_EQ(Widen("\xC3"), u"\uFFFD");                  // cut short
  EXPECT_EQ(Widen("\xC0\xAF"), u"\uFFFD\uFFFD");        // overlong
  EXPECT_EQ(Widen("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // an encoded surrogate
  EXPECT_EQ(Widen("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // beyond U+10FFFF
  EXPECT_EQ(Widen("\xE2\x94" "a"), u"\uFFFD\uFFFDa");
}

TEST(DrawText, NarrowsPairsAndReplacesLoneSurrogates) {
  EXPECT_EQ(Narrow(u"\u2500\u00BB"), "\xE2\x94\x80\xC2\xBB");
  EXPECT_EQ(Narrow(std::u16string({0xD83D, 0xDE00})), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Narrow(std::u16string({0xD83D, u'a'})), "\xEF\xBF\xBD" "a");
  EXPECT_EQ(Narrow(std::u16string({0xDE00, 0xD83D})), "\xEF\xBF\xBD\xEF\xBF\xBD");
  const std::string round = "g\xC3\xA9\xF0\x9F\x98\x80 \xE2\x95\xA9";
  EXPECT_EQ(Narrow(Widen(round)), round);
}

}  // namespace
}  // namespace velorin::draw
