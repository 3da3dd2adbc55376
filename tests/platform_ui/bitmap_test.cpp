// Bitmaps (keyed transparency with the bottom-left key, empty bitmaps, size guards, monochrome)
// and image lists (cutting, bounds, masks, disabled drawing), by exact pixels.
#include <gtest/gtest.h>

#include "pixel_map.h"
#include "platform/ui/bitmap.h"
#include "platform/ui/canvas.h"
#include "platform/ui/image_list.h"
#include "qt_application.h"

using namespace kv::ui;
using kvtest::BlueImage;
using kvtest::kInk;
using kvtest::PixelMap;
using Rows = std::vector<std::string>;

namespace {

// 3 x 2, red, with fuchsia at the bottom left and the top right.
TBitmap Glyph() {
  TBitmap b(3, 2);
  b.Canvas().Brush.Color = clRed;
  b.Canvas().FillRect(Rect(0, 0, 3, 2));
  b.SetPixel(0, 1, clFuchsia);
  b.SetPixel(2, 0, clFuchsia);
  return b;
}

TEST(Bitmap, KeyedDrawLeavesTheKeyColourOut) {
  const TBitmap glyph = Glyph();
  EXPECT_EQ(glyph.TransparentColor(), clFuchsia);
  QImage image = BlueImage(5, 4);
  {
    TCanvas c(&image);
    c.DrawKeyed(1, 1, glyph, clDefault);
    c.DrawKeyed(1, 3, glyph, clNone); // opaque; its second row falls outside
  }
  EXPECT_EQ(PixelMap(image, kInk), (Rows{"bbbbb", "brrbb", "bbrrb", "brrmb"}));
  image = BlueImage(6, 4);
  {
    TCanvas c(&image);
    c.StretchDrawKeyed(Rect(0, 0, 6, 4), glyph, Rect(0, 0, 3, 2), clRed);
  }
  EXPECT_EQ(PixelMap(image, kInk), (Rows{"bbbbmm", "bbbbmm", "mmbbbb", "mmbbbb"}));
}

TEST(Bitmap, EmptyBitmapHasNoKeyAndDrawsNothing) {
  const TBitmap empty;
  EXPECT_TRUE(empty.Empty());
  EXPECT_EQ(empty.TransparentColor(), clNone);
  EXPECT_EQ(empty.Pixel(0, -1), clNone);
  QImage image = BlueImage(4, 4);
  {
    TCanvas c(&image);
    c.DrawKeyed(0, 0, empty, clDefault);
    c.StretchDrawKeyed(Rect(0, 0, 4, 4), empty, Rect(0, 0, 4, 4), clDefault);
    c.Draw(0, 0, empty);
    c.StretchDraw(Rect(0, 0, 4, 4), empty);
    c.BrushThroughMask(0, 0, empty, clBlack);
  }
  EXPECT_EQ(image, BlueImage(4, 4));
}

TEST(Bitmap, SizeGuardsAndPixelBounds) {
  TBitmap b(2, 2);
  b.SetPixel(1, 1, clRed);
  EXPECT_TRUE(b.SetSize(3, 3));
  EXPECT_EQ(b.Pixel(1, 1), clRed) << "contents kept";
  EXPECT_EQ(b.Pixel(2, 2), clWhite) << "new room white";
  EXPECT_EQ(b.Pixel(3, 0), clNone);
  EXPECT_EQ(b.Pixel(-1, 0), clNone);
  b.SetPixel(5, 5, clRed); // ignored
  EXPECT_FALSE(b.SetSize(-1, 4));
  EXPECT_TRUE(b.Empty());
  EXPECT_FALSE(b.SetSize(100000, 100000));
  EXPECT_TRUE(b.Empty());
  EXPECT_FALSE(b.LoadFromFile("/nonexistent/picture.png"));
  EXPECT_TRUE(b.Empty());
  b.Canvas().FillRect(Rect(0, 0, 4, 4)); // an empty bitmap's canvas draws nothing
  EXPECT_EQ(b.Canvas().Painter(), nullptr);
}

TEST(Bitmap, MonochromeTurnsTheBrushColourWhite) {
  TBitmap b = Glyph();
  b.Canvas().Brush.Color = clRed;
  b.SetMonochrome(true);
  EXPECT_TRUE(b.Monochrome());
  EXPECT_EQ(PixelMap(b.Image(), kInk), (Rows{"..#", "#.."}));
  b.SetMonochrome(false);
  EXPECT_EQ(b.Pixel(0, 0), clWhite);
}

TEST(ImageList, CutsBitmapsAndChecksEveryIndex) {
  TImageList list(2, 2);
  TBitmap strip(5, 2); // two pictures and one column too many
  strip.Canvas().Brush.Color = clRed;
  strip.Canvas().FillRect(Rect(2, 0, 4, 2));
  strip.SetPixel(0, 0, clBlue);
  strip.SetPixel(0, 1, clFuchsia);
  EXPECT_EQ(list.AddMasked(strip, clDefault), 0);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.AddMasked(TBitmap(), clDefault), -1);
  EXPECT_EQ(list.Add(TBitmap()), -1);
  EXPECT_EQ(list.Count(), 2);

  QImage image = kvtest::WhiteImage(4, 2);
  {
    TCanvas c(&image);
    EXPECT_FALSE(list.Draw(c, 0, 0, -1));
    EXPECT_FALSE(list.Draw(c, 0, 0, 2));
    EXPECT_FALSE(list.StretchDraw(c, Rect(0, 0, 4, 2), 7));
    EXPECT_FALSE(list.DrawEmbossed(c, 0, 0, -3, clBlack, clWhite, true));
  }
  EXPECT_EQ(image, kvtest::WhiteImage(4, 2)) << "an index outside the list draws nothing";
  {
    TCanvas c(&image);
    image.fill(Qt::green);
    EXPECT_TRUE(list.Draw(c, 0, 0, 0));
    EXPECT_TRUE(list.Draw(c, 2, 0, 1));
  }
  const std::map<char, TColor> ink = {{'g', clLime}, {'w', clWhite}, {'r', clRed}, {'b', clBlue}};
  EXPECT_EQ(PixelMap(image, ink), (Rows{"bwrr", "gwrr"}));

  TBitmap mask;
  EXPECT_FALSE(list.GetMask(2, mask));
  EXPECT_TRUE(list.GetMask(0, mask));
  EXPECT_EQ(PixelMap(mask.Image(), {{'#', clBlack}, {'.', clWhite}}), (Rows{"##", ".#"}));

  EXPECT_FALSE(list.ReplaceMasked(2, strip, clNone));
  EXPECT_TRUE(list.ReplaceMasked(1, strip, clNone));
  EXPECT_EQ(list.Image(1).pixel(0, 1), qRgb(255, 0, 255)) << "clNone keeps every pixel";
  EXPECT_TRUE(list.Image(9).isNull());
  EXPECT_FALSE(list.Delete(2));
  EXPECT_TRUE(list.Delete(0));
  EXPECT_EQ(list.Count(), 1);
}

TEST(ImageList, DisabledPictureIsAnEmbossedShape) {
  TImageList list(3, 3);
  QImage dot(3, 3, QImage::Format_ARGB32);
  dot.fill(Qt::transparent);
  dot.setPixel(1, 1, qRgb(255, 0, 0));
  EXPECT_EQ(list.AddImage(dot), 0);
  QImage image(4, 4, QImage::Format_RGB32);
  image.fill(ToQColor(clFuchsia));
  {
    TCanvas c(&image);
    c.Brush.Color = clBlue;
    list.Draw(c, 0, 0, 0, false);
    EXPECT_EQ(c.Brush.Color, clBlue) << "the brush is restored";
  }
  const std::map<char, TColor> ink = {{'m', clFuchsia}, {'S', clBtnShadow}, {'H', clBtnHighlight}};
  EXPECT_EQ(PixelMap(image, ink), (Rows{"mmmm", "mSmm", "mmHm", "mmmm"}));
}

} // namespace
