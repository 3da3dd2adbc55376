// Button glyph: cutting the strip, derived pictures, the shared glyph lists, face layout.
#include <gtest/gtest.h>

#include "controls/edits/button_glyph.h"
#include "pixel_map.h"
#include "platform/ui/text_measure.h"
#include "qt_application.h"

namespace {

using namespace kv::edits;
using namespace kv::ui;

// A strip of `count` pictures `w` x `h`: picture i filled with colour i of `colours`, a fuchsia
// pixel at each picture's bottom-left corner.
TBitmap Strip(int count, int w, int h, const std::vector<TColor> &colours) {
  TBitmap b(count * w, h);
  for (int i = 0; i < count; ++i) {
    b.Canvas().Brush = {colours[size_t(i) % colours.size()], bsSolid, clWhite};
    b.Canvas().FillRect(Bounds(i * w, 0, w, h));
    b.Canvas().EndPaint();
    b.SetPixel(i * w, h - 1, clFuchsia);
  }
  return b;
}

TEST(ButtonGlyph, NumGlyphsComesFromTheStripOnlyWhenItIsWideEnough) {
  TKvButtonGlyph g;
  int changes = 0;
  g.OnChange = [&] { ++changes; };
  g.SetGlyph(TBitmap(64, 16));
  EXPECT_EQ(g.NumGlyphs(), 4);
  g.SetGlyph(TBitmap(96, 16)); // six pictures: more than a strip holds
  EXPECT_EQ(g.NumGlyphs(), 1);
  g.SetNumGlyphs(3);
  g.SetGlyph(TBitmap(20, 16)); // not a multiple: left as it is
  EXPECT_EQ(g.NumGlyphs(), 3);
  g.SetGlyph(TBitmap(8, 16)); // narrower than high: left as it is
  EXPECT_EQ(g.NumGlyphs(), 3);
  g.SetGlyph(TBitmap(0, 16)); // no width: nothing derived, nothing to divide
  EXPECT_EQ(g.NumGlyphs(), 3);
  EXPECT_EQ(g.PictureSize(), QSize(0, 0));
  EXPECT_EQ(g.PreparePicture(bdsUp), -1);
  TFixedTextMeasure measure;
  const auto face = g.LayoutFace(measure, TFont{}, Rect(0, 0, 20, 20), "x", blGlyphLeft, -1, -1, true, 0);
  EXPECT_EQ(face.GlyphPos.y(), 10);
  EXPECT_EQ(changes, 5);
  g.SetNumGlyphs(0);
  EXPECT_EQ(g.NumGlyphs(), 3);
  g.SetNumGlyphs(9);
  EXPECT_EQ(g.NumGlyphs(), 5);
}

TEST(ButtonGlyph, StatePicturesAreCutOrDerived) {
  TKvButtonGlyph g;
  g.SetGlyph(Strip(1, 14, 12, {clRed}));
  EXPECT_EQ(g.MaskColor(), clFuchsia);
  const int up = g.PreparePicture(bdsUp);
  EXPECT_GE(up, 0);
  EXPECT_EQ(g.PreparePicture(bdsDown), up); // one picture: down draws the up picture
  const int exclusive = g.PreparePicture(bdsExclusive);
  EXPECT_NE(exclusive, up);
  EXPECT_EQ(g.SharedList()->Image(exclusive), g.SharedList()->Image(up));
  const int disabled = g.PreparePicture(bdsDisabled);
  EXPECT_NE(g.SharedList()->Image(disabled), g.SharedList()->Image(up));
  const int inactive = g.PreparePicture(bdsInactive);
  const QImage grey = g.SharedList()->Image(inactive);
  const int level = (77 * 255) >> 8;
  EXPECT_EQ(QColor(grey.pixel(5, 5)), QColor(level, level, level));
  EXPECT_EQ(qAlpha(grey.pixel(0, 11)), 0); // the mask colour stays transparent
  EXPECT_EQ(g.GreyColor(clBtnFace), clBtnFace);
  EXPECT_EQ(g.GreyColor(ColorToRGB(clBtnFace)), ColorToRGB(clBtnFace));
  EXPECT_EQ(g.GreyColor(clFuchsia), clFuchsia);
  EXPECT_EQ(g.GreyColor(RGBColor(0, 0, 255)), RGBColor(28, 28, 28)); // 29 * 255 shr 8

  // Five pictures: every state has its own; the third is the down one.
  TKvButtonGlyph five;
  five.SetGlyph(Strip(5, 10, 10, {clRed, clBlue, clBlack, clWhite, clRed}));
  EXPECT_EQ(five.NumGlyphs(), 5);
  const int down = five.PreparePicture(bdsDown);
  EXPECT_EQ(QColor(five.SharedList()->Image(down).pixel(5, 5)), QColor(Qt::black));
  EXPECT_EQ(QColor(five.SharedList()->Image(five.PreparePicture(bdsDisabled)).pixel(5, 5)), QColor(Qt::blue));
}

TEST(ButtonGlyph, EqualSizesShareOneListAndFreedSlotsAreReused) {
  ASSERT_EQ(GlyphCache(), nullptr);
  {
    auto a = std::make_unique<TKvButtonGlyph>();
    auto b = std::make_unique<TKvButtonGlyph>();
    ASSERT_NE(GlyphCache(), nullptr);
    a->SetGlyph(Strip(1, 16, 16, {clRed}));
    b->SetGlyph(Strip(1, 16, 16, {clBlue}));
    a->PreparePicture(bdsUp);
    b->PreparePicture(bdsUp);
    b->PreparePicture(bdsDisabled);
    ASSERT_EQ(a->SharedList(), b->SharedList());
    TKvGlyphList *list = a->SharedList();
    EXPECT_EQ(list->SlotsInUse(), 3);
    EXPECT_EQ(list->Count(), 3);
    const int freed = b->PictureSlot(bdsUp);
    b->DropPictures();
    EXPECT_EQ(list->SlotsInUse(), 1);
    EXPECT_EQ(GlyphCache()->ListCount(), 1);
    b->PreparePicture(bdsUp); // reuses a freed slot instead of growing
    EXPECT_EQ(list->Count(), 3);
    EXPECT_EQ(b->PictureSlot(bdsUp), freed);

    TKvButtonGlyph other;
    other.SetGlyph(Strip(1, 14, 12, {clRed}));
    other.PreparePicture(bdsUp);
    EXPECT_EQ(GlyphCache()->ListCount(), 2);
    a.reset();
    EXPECT_EQ(GlyphCache()->ListCount(), 2);
    b.reset();
    EXPECT_EQ(GlyphCache()->ListCount(), 1);
  }
  EXPECT_EQ(GlyphCache(), nullptr); // the last list went, and with it the cache
}

TEST(ButtonGlyph, FaceLayoutArithmetic) {
  TKvButtonGlyph g;
  g.SetGlyph(Strip(1, 16, 16, {clRed}));
  TFixedTextMeasure measure(6, 13);
  const TFont font;
  const TRect client = Rect(0, 0, 75, 40);
  // Margin and Spacing automatic, horizontal: (75 - (16 + 30)) div 3 = 9 each.
  auto f = g.LayoutFace(measure, font, client, "abcde", blGlyphLeft, -1, -1, false, 0);
  EXPECT_EQ(f.GlyphPos, QPoint(9, 12));
  EXPECT_EQ(f.TextBounds, Rect(34, 14, 64, 27));
  f = g.LayoutFace(measure, font, client, "abcde", blGlyphRight, -1, -1, false, 0);
  EXPECT_EQ(f.GlyphPos.x(), 75 - 9 - 16);
  EXPECT_EQ(f.TextBounds.Left, 75 - 9 - 16 - 9 - 30);
  // A margin given, spacing automatic: (75 - 4 - 16) div 2 - 30 div 2 = 12.
  f = g.LayoutFace(measure, font, client, "abcde", blGlyphLeft, 4, -1, false, 0);
  EXPECT_EQ(f.TextBounds.Left, 4 + 16 + 12);
  // Spacing given, margin automatic: 75 div 2 - (16 + 2 + 30) div 2 = 13.
  f = g.LayoutFace(measure, font, client, "abcde", blGlyphLeft, -1, 2, false, 0);
  EXPECT_EQ(f.GlyphPos.x(), 13);
  // Vertical: glyph on top, both centred across; (40 - (16 + 13)) div 3 = 3.
  f = g.LayoutFace(measure, font, client, "abcde", blGlyphTop, -1, -1, false, 0);
  EXPECT_EQ(f.GlyphPos, QPoint(75 / 2 - 8, 3));
  EXPECT_EQ(f.TextBounds.Top, 3 + 16 + 3);
  EXPECT_EQ(f.TextBounds.Left, 75 / 2 - 15);
  // No caption: no spacing, so the picture is centred: 75 div 2 - 16 div 2.
  f = g.LayoutFace(measure, font, client, "", blGlyphLeft, -1, -1, false, 0);
  EXPECT_EQ(f.GlyphPos.x(), 29);
  // The client's corner moves everything.
  f = g.LayoutFace(measure, font, Rect(10, 5, 85, 45), "abcde", blGlyphLeft, -1, -1, false, 0);
  EXPECT_EQ(f.GlyphPos, QPoint(19, 17));
}

TEST(ButtonGlyph, CaptionIsShortenedToTheRoomUnlessItWraps) {
  TKvButtonGlyph g; // no picture
  TFixedTextMeasure measure(6, 13);
  auto f = g.LayoutFace(measure, TFont{}, Rect(0, 0, 20, 20), "Protokoll", blGlyphTop, -1, -1, false, 0);
  EXPECT_EQ(f.Caption, "...");
  f = g.LayoutFace(measure, TFont{}, Rect(0, 0, 40, 20), "Protokoll\r\nab  ", blGlyphTop, -1, -1, false, 0);
  EXPECT_EQ(f.Caption, "Pro...\r\nab");
  EXPECT_LE(f.TextBounds.Width(), 40);
  g.WordWrap = true;
  f = g.LayoutFace(measure, TFont{}, Rect(0, 0, 20, 60), "Protokoll", blGlyphTop, -1, -1, false, 0);
  EXPECT_EQ(f.Caption, "Protokoll");
  // A drop-down mark needs 9 pixels beside the caption when there is no picture.
  g.WordWrap = false;
  f = g.LayoutFace(measure, TFont{}, Rect(0, 0, 40, 20), "ab", blGlyphTop, -1, -1, true, 0);
  EXPECT_EQ(f.TextBounds.Left, 40 / 2 - (12 + 9) / 2);
}

TEST(ButtonGlyph, DropDownMarkIsATriangle) {
  TBitmap b(9, 6);
  DrawDropDownMark(b.Canvas(), 1, 2, bdsUp);
  b.Canvas().EndPaint();
  std::map<char, TColor> legend = {{'.', clWhite}, {'#', ColorToRGB(clBtnText)}};
  EXPECT_EQ(kvtest::PixelMap(b.Image(), legend), (std::vector<std::string>{".........", // row y - 2
                                                                           ".#######.", //
                                                                           "..#####..", //
                                                                           "...###...", //
                                                                           "....#....", //
                                                                           "........."}));
}

} // namespace
