// The drawing's text conversions: UTF-8 names into cells of one terminal
// column each, cells back into UTF-8 for the console and UTF-16 for the file.
#include <gtest/gtest.h>

#include "draw/wide_text.h"

namespace velorin::draw {
namespace {

TEST(DrawText, WidensWellFormedUtf8) {
  CellText text;
  EXPECT_EQ(text.Widen("q[0]:"), U"q[0]:");
  EXPECT_EQ(text.Widen("\xC3\xA9"), U"\u00E9");
  EXPECT_EQ(text.Widen("\xE2\x94\x80"), U"\u2500");
  EXPECT_EQ(text.Widen("\xF0\x9F\x98\x80"), Cells({0x1F600, kWideFiller}));
  EXPECT_EQ(text.Widen("\xF0\x9D\x91\xA5"), Cells({0x1D465}));  // one column, beyond the basic plane
  EXPECT_EQ(text.Widen(std::string("a\0b", 3)), Cells(U"a\0b", 3));
}

TEST(DrawText, EachBadByteBecomesOneReplacement) {
  CellText text;
  EXPECT_EQ(text.Widen("q\xFF"), U"q\uFFFD");
  EXPECT_EQ(text.Widen("\xC3"), U"\uFFFD");                  // cut short
  EXPECT_EQ(text.Widen("\xC0\xAF"), U"\uFFFD\uFFFD");        // overlong
  EXPECT_EQ(text.Widen("\xED\xA0\x80"), U"\uFFFD\uFFFD\uFFFD");  // an encoded surrogate
  EXPECT_EQ(text.Widen("\xF4\x90\x80\x80"), U"\uFFFD\uFFFD\uFFFD\uFFFD");  // beyond U+10FFFF
  EXPECT_EQ(text.Widen("\xE2\x94" "a"), U"\uFFFD\uFFFDa");
}

TEST(DrawText, WidthsPerCodePoint) {
  const std::pair<char32_t, int> cases[] = {
      {U'a', 1},     {0x0301, 0},  {0x20DD, 0},  {0x00AD, 0},  {0x200D, 0},  {0xFE0F, 0},
      {0xE0101, 0},  {0x91CF, 2},  {0xAC00, 2},  {0xFF21, 2},  {0x1F600, 2}, {0x1F52C, 2},
      {0x1D465, 1},  {0x10330, 1}, {0x2500, 1},  {0x20000, 2}, {0x10FFFF, 1}, {0, 1},
  };
  for (const auto& [c, width] : cases) EXPECT_EQ(CodePointWidth(c), width) << std::hex << c;
}

TEST(DrawText, ZeroWidthCharactersShareTheCellOfTheirBase) {
  CellText text;
  const Cells accented = text.Widen("e\xCC\x81x");  // e, combining acute, x
  ASSERT_EQ(accented.size(), 2u);
  EXPECT_GE(accented[0], kFirstCluster);
  EXPECT_EQ(text.CodePoints(accented), U"e\u0301x");
  EXPECT_EQ(text.Widen("e\xCC\x81"), accented.substr(0, 1));  // one cluster, kept once

  // Woman, joiner, microscope: one wide character.
  const Cells joined = text.Widen("\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x94\xAC");
  ASSERT_EQ(joined.size(), 2u);
  EXPECT_EQ(joined[1], kWideFiller);
  EXPECT_EQ(text.CodePoints(joined), U"\U0001F469\u200D\U0001F52C");

  // Nothing before them: they lean on what follows, or keep a cell alone.
  EXPECT_EQ(text.CodePoints(text.Widen("\xCC\x81" "a")), U"\u0301a");
  EXPECT_EQ(text.Widen("\xCC\x81" "a").size(), 1u);
  EXPECT_EQ(text.Widen("\xCC\x81").size(), 1u);
}

TEST(DrawText, OutputLeavesFillersOutAndEncodesPairs) {
  CellText text;
  const std::string round = "g\xC3\xA9\xF0\x9F\x98\x80 \xE2\x95\xA9\xE9\x87\x8F" "e\xCC\x81";
  const std::u32string shown = text.CodePoints(text.Widen(round));
  EXPECT_EQ(Utf8(shown), round);
  EXPECT_EQ(Utf16(shown), u"g\u00E9\U0001F600 \u2569\u91CFe\u0301");
  EXPECT_EQ(text.CodePoints(Cells({U'a', kWideFiller, kFirstCluster + 7})), U"a");
}

}  // namespace
}  // namespace velorin::draw
