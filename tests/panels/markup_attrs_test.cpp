// Reading tags: the attribute rule, anchor targets, numbers, font sizes and colour values.
#include "controls/panels/markup_attrs.h"

#include <gtest/gtest.h>

#include "qt_application.h"

#include <climits>
#include <list>

using namespace kv::panels;

namespace {

// Tags view into their text, so the texts are kept for the whole test binary.
TMarkupTag Tag(const QString &text) {
  static std::list<QString> texts;
  texts.push_back(text);
  TMarkupCursor cursor(texts.back());
  TMarkupTag tag;
  EXPECT_TRUE(cursor.PeekTag(tag)) << text.toStdString();
  return tag;
}

TEST(MarkupAttr, FindsTheWordThenTakesTheNextQuotedValue) {
  TMarkupTag img = Tag(R"(<IMG src="idx:4" Alt="Bild" width="16">)");
  EXPECT_EQ(MarkupAttr(img, u"SRC"), "idx:4");
  EXPECT_EQ(MarkupAttr(img, u"SRC", true), "IDX:4");
  EXPECT_EQ(MarkupAttr(img, u"ALT"), "Bild");
  EXPECT_EQ(MarkupAttr(img, u"WIDTH"), "16");
  EXPECT_EQ(MarkupAttr(img, u"HEIGHT"), "");
  // The first occurrence wins, also inside another word: ALT inside the source's value.
  EXPECT_EQ(MarkupAttr(Tag(R"(<IMG src="salt.png" alt="x">)"), u"ALT"), " alt=");
  // FONT's colour needs the blank before it, so that BGCOLOR does not match.
  TMarkupTag font = Tag(R"(<FONT bgcolor="#00ff00" color="clRed">)");
  EXPECT_EQ(MarkupAttr(font, u" COLOR", false, 5), "clRed");
  EXPECT_EQ(MarkupAttr(font, u"BGCOLOR", false, 5), "#00ff00");
  // A value is read within its own tag: a missing closing quote gives nothing.
  EXPECT_EQ(MarkupAttr(Tag(R"(<IMG src="idx:1>)"), u"SRC"), "");
}

TEST(MarkupAttr, AnAnchorsTargetComesFromItsOwnTagOnly) {
  EXPECT_EQ(AnchorTarget(Tag(R"(<A href="update">)")), "update");
  EXPECT_EQ(AnchorTarget(Tag(R"(<A name="Update">)")), "Update");
  EXPECT_EQ(AnchorTarget(Tag(R"(<A>x</A><IMG src="y">)")), "");
  EXPECT_EQ(AnchorTarget(Tag(R"(<A href="half>)")), "");
}

struct NumberCase {
  const char16_t *text;
  int value;
  bool whole;
};

TEST(ReadMarkupInt, ReadsLikeTheRuntimeConversion) {
  const NumberCase cases[] = {
      {u"12", 12, true},
      {u"  -7", -7, true},
      {u"+3", 3, true},
      {u"$1F", 31, true},
      {u"x10", 16, true},
      {u"0x10", 16, true},
      {u"0X1f", 31, true},
      {u"-$10", -16, true},
      {u"12ab", 12, false},
      {u"4\" >", 4, false},
      {u"", 0, false},
      {u"abc", 0, false},
      {u"$", 0, false},
      {u"99999999999", INT_MAX, true},
      {u"-99999999999", INT_MIN, true},
  };
  for (const NumberCase &c : cases) {
    bool whole = !c.whole;
    EXPECT_EQ(ReadMarkupInt(c.text, &whole), c.value) << QString::fromUtf16(c.text).toStdString();
    EXPECT_EQ(whole, c.whole) << QString::fromUtf16(c.text).toStdString();
  }
}

TEST(FontSizeAttr, StepsOneToFiveAndClampsTheRest) {
  EXPECT_EQ(FontSizeAttr(Tag("<FONT SIZE=3>")), 12);
  EXPECT_EQ(FontSizeAttr(Tag(R"(<FONT size="3">)")), 12);
  EXPECT_EQ(FontSizeAttr(Tag(R"(<FONT SIZE="1">)")), 8);
  EXPECT_EQ(FontSizeAttr(Tag(R"(<FONT SIZE="5">)")), 16);
  EXPECT_EQ(FontSizeAttr(Tag(R"(<FONT SIZE="7">)")), 7);
  EXPECT_EQ(FontSizeAttr(Tag(R"(<FONT SIZE = "20" face="Arial">)")), 20);
  EXPECT_EQ(FontSizeAttr(Tag(R"(<FONT SIZE=3 color="#ff0000">)")), 12);
  EXPECT_EQ(FontSizeAttr(Tag(R"(<FONT SIZE="0">)")), kMinFontPoints);
  EXPECT_EQ(FontSizeAttr(Tag(R"(<FONT SIZE="-12">)")), kMinFontPoints);
  EXPECT_EQ(FontSizeAttr(Tag(R"(<FONT SIZE="1000000000">)")), kMaxFontPoints);
  EXPECT_EQ(FontSizeAttr(Tag(R"(<FONT color="clRed">)")), std::nullopt);
  EXPECT_EQ(FontSizeAttr(Tag(R"(<SIZE="3">)")), std::nullopt) << "read from the sixth character on";
}

TEST(MarkupColors, HexNamesAndSystemColours) {
  EXPECT_EQ(MarkupColor(u"#FF0000"), 0x0000FFu);
  EXPECT_EQ(MarkupColor(AsciiUpper(u"#ff0000")), 0x0000FFu) << "values are upper-cased first";
  EXPECT_EQ(MarkupColor(u"#102030"), 0x302010u);
  EXPECT_EQ(MarkupColor(u"clRed"), 0x0000FFu);
  EXPECT_EQ(MarkupColor(u"CLNAVY"), 0x800000u);
  EXPECT_EQ(MarkupColor(u"clGreen"), 0x008000u);
  EXPECT_EQ(MarkupColor(u"red"), 0u);
  EXPECT_EQ(MarkupColor(u"clBtnFace"), 0xFF00000Fu);
  EXPECT_EQ(MarkupColor(u"clBackground"), 0xFF000001u);
  EXPECT_EQ(MarkupColor(u"clInfoBk"), 0xFF000018u);
  // Characters that are no hexadecimal digit count as 0: never a channel above 255 or a
  // value that reads as a system colour.
  EXPECT_EQ(MarkupColor(u"#FF00!!"), 0x0000FFu);
  EXPECT_EQ(MarkupColor(u"#GZ~~\u00FF\u00FF"), 0u);
  EXPECT_EQ(MarkupColor(u"#FFFF"), 0x00FFFFu) << "a missing pair is 0";
  EXPECT_EQ(MarkupColor(u"#F"), 0u);
  EXPECT_EQ(MarkupColor(u"#"), 0u);
  // BODY: a name when "CL" is in it, hexadecimal when "#" is, and the hexadecimal wins.
  EXPECT_EQ(BodyColor(u"CLYELLOW"), 0x00FFFFu);
  EXPECT_EQ(BodyColor(u"#00FF00"), 0x00FF00u);
  EXPECT_EQ(BodyColor(u"#0000FFCL"), 0xFF0000u);
  EXPECT_EQ(BodyColor(u"WHITE"), 0u);
}

} // namespace
