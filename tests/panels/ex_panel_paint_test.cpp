// Painting of the panel, by exact pixels for shapes (body bands, border, shadow, bevels, the
// picture positions, caption buttons, grip, shades) and by bounding boxes for text.
#include <QImage>
#include <cmath>
#include <gtest/gtest.h>

#include "controls/panels/ex_panel.h"
#include "controls/panels/markup_renderer.h"
#include "controls/panels/picture.h"
#include "ex_panel_support.h"
#include "pixel_map.h"
#include "platform/ui/theme.h"
#include "qt_application.h"

using namespace kv::panels;
using namespace kv::ui;
using kvtest::At;
using kvtest::Render;
using kvtest::Rgb;

namespace {

// A white panel without bevel.
std::unique_ptr<TExPanel> Plain(int w, int h, TColor border = clBlack) {
  auto p = std::make_unique<TExPanel>();
  p->resize(w, h);
  p->SetColor(clWhite);
  p->SetBevelOuter(bvNone);
  p->SetBorderColor(border);
  return p;
}

QRgb Mix(TColor c, double part) {
  const QColor q = ToQColor(c);
  auto ch = [&](int v) { return int(std::lround(v * (1 - part))); };
  return qRgb(ch(q.red()), ch(q.green()), ch(q.blue()));
}

TEST(ExPanelPaint, BodyGradientBorderAndShadow) {
  auto p = Plain(10, 64, clNone);
  p->SetColor(clRed);
  p->SetColorTo(clBlue);
  QImage image = Render(*p);
  EXPECT_EQ(At(image, 5, 10), qRgb(215, 0, 40));
  EXPECT_EQ(At(image, 5, 62), qRgb(8, 0, 247));
  EXPECT_EQ(At(image, 0, 10), Rgb(clRed)) << "without a border, a frame in Color";
  EXPECT_EQ(At(image, 5, 63), Rgb(clRed));

  p = Plain(10, 10);
  image = Render(*p);
  for (QPoint corner : {QPoint(0, 0), QPoint(9, 0), QPoint(0, 9), QPoint(9, 9)})
    EXPECT_EQ(At(image, corner.x(), corner.y()), Rgb(clBlack));
  EXPECT_EQ(At(image, 1, 1), Rgb(clWhite));

  p = Plain(20, 20);
  p->SetBorderShadow(true);
  image = Render(*p);
  const QRgb half = Mix(clBtnFace, 0.5), fifth = Mix(clBtnFace, 0.2);
  EXPECT_EQ(At(image, 17, 17), Rgb(clBlack)) << "the border is 2 pixels smaller";
  EXPECT_EQ(At(image, 18, 5), half);
  EXPECT_EQ(At(image, 19, 5), fifth);
  EXPECT_EQ(At(image, 5, 18), half);
  EXPECT_EQ(At(image, 5, 19), fifth);
  EXPECT_EQ(At(image, 18, 18), half);
  EXPECT_EQ(At(image, 19, 19), fifth);
}

TEST(ExPanelPaint, BevelsInsideTheBorder) {
  auto p = Plain(20, 20);
  p->SetBevelOuter(bvLowered);
  p->SetBevelInner(bvRaised);
  p->SetBevelWidth(2);
  const QImage image = Render(*p);
  const QRgb shadow = Rgb(clBtnShadow), light = Rgb(clBtnHighlight);
  const std::vector<std::pair<QPoint, QRgb>> expected = {
      {{0, 0}, shadow},   {{1, 1}, shadow},   {{0, 10}, shadow},     {{19, 19}, light},
      {{18, 18}, light},  {{19, 0}, light},   {{2, 2}, light},       {{3, 3}, light},
      {{17, 17}, shadow}, {{16, 16}, shadow}, {{4, 4}, Rgb(clWhite)}};
  for (const auto &[pt, colour] : expected)
    EXPECT_EQ(At(image, pt.x(), pt.y()), colour) << pt.x() << "," << pt.y();
}

TEST(ExPanelPaint, BackgroundPictureInItsSevenPlaces) {
  TExImage picture;
  picture.LoadFromBytes(kvtest::SolidPng(4, 4, Qt::red));
  const std::pair<TBackGroundPosition, QRect> cases[] = {
      {bpTopLeft, QRect(0, 0, 4, 4)},     {bpTopRight, QRect(15, 0, 4, 4)},
      {bpBottomLeft, QRect(0, 15, 4, 4)}, {bpBottomRight, QRect(15, 15, 4, 4)},
      {bpCenter, QRect(7, 7, 4, 4)},      {bpTiled, QRect(0, 0, 20, 20)},
      {bpStretched, QRect(0, 0, 20, 20)}};
  for (const auto &[position, where] : cases) {
    auto p = Plain(20, 20, clNone);
    p->SetBackground(picture);
    p->SetBackgroundPosition(position);
    EXPECT_EQ(kvtest::BoundsOf(Render(*p), qRgb(255, 0, 0)), where) << position;
  }
  // A picture larger than the panel is tiled once.
  TExImage big;
  big.LoadFromBytes(kvtest::SolidPng(40, 40, Qt::red));
  auto p = Plain(20, 20, clNone);
  p->SetBackground(big);
  p->SetBackgroundPosition(bpTiled);
  EXPECT_EQ(kvtest::BoundsOf(Render(*p), qRgb(255, 0, 0)), QRect(0, 0, 20, 20));
}

std::unique_ptr<TExPanel> WithCaption(int w, int h) {
  auto p = Plain(w, h, clNone);
  TPanelCaption &c = p->Caption();
  c.SetVisible(true);
  c.SetColor(clBlue);
  c.SetCloseButton(true);
  c.SetMinMaxButton(true);
  c.SetMinMaxButtonColor(clRed);
  return p;
}

TEST(ExPanelPaint, CaptionBarWithCrossTriangleAndGrip) {
  auto p = WithCaption(100, 60);
  p->SetCanSize(true);
  QImage image = Render(*p);
  EXPECT_EQ(At(image, 50, 0), Rgb(clBlue));
  EXPECT_EQ(At(image, 50, 17), Rgb(clBlue));
  EXPECT_EQ(At(image, 50, 18), Rgb(clWhite)) << "the bar is its height less twice the bevel width";
  EXPECT_EQ(At(image, 93, 7), Rgb(clWhite)) << "the cross's middle";
  EXPECT_EQ(At(image, 93, 13), Rgb(clBlue));
  EXPECT_EQ(At(image, 81, 7), Rgb(clRed)) << "the triangle points up";
  EXPECT_EQ(At(image, 81, 4), Rgb(clBlue));
  const std::map<char, TColor> ink = {{'.', clWhite}, {'g', clGray}};
  EXPECT_EQ(kvtest::PixelMap(image.copy(88, 48, 12, 12), ink),
            (std::vector<std::string>{"............", "............", "...........g", "..........gg",
                                      ".........gg.", "........gg..", ".......gg..g", "......gg..gg",
                                      ".....gg..ggg", "....gg..ggg.", "...gg..gg..g", "..gg..gg..gg"}));

  p->SetCollaps(true);
  image = Render(*p);
  EXPECT_EQ(image.height(), 20);
  EXPECT_EQ(At(image, 50, 10), Rgb(clBtnFace)) << "the collapsed caption's colour";
  EXPECT_EQ(At(image, 81, 6), Rgb(clRed)) << "the triangle points down";
  EXPECT_EQ(At(image, 81, 9), Rgb(clBtnFace));
}

TEST(ExPanelPaint, UnthemedXpCaptionIsPlainAndThemedDrawsTheStyle) {
  auto p = WithCaption(100, 40);
  p->Caption().SetCloseButton(false);
  p->Caption().SetMinMaxButton(false);
  p->Caption().SetShadeType(stXPCaption);
  const QImage plain = Render(*p);
  EXPECT_EQ(kvtest::BoundsOf(plain, Rgb(clBlue)), QRect(0, 0, 100, 18));
  SetThemed(true);
  const QImage themed = Render(*p);
  SetThemed(false);
  EXPECT_NE(kvtest::BoundsOf(themed, Rgb(clBlue)), QRect(0, 0, 100, 18));
}

TEST(ExPanelPaint, ShadesFillTheCaptionAndRoundedCornersStayUntouched) {
  for (TShadeType type : {stHShade, stVShade, stHBump, stVBump, stSoftBump, stHardBump, stDiagShade,
                          stIRadial, stORadial, stHShadeInv, stVShadeInv, stNoise, stLMetal, stRMetal}) {
    auto p = Plain(120, 40, clNone);
    p->SetShadeSeed(3);
    p->Caption().SetVisible(true);
    p->Caption().SetColor(RGBColor(40, 120, 220));
    p->Caption().SetFlat(true);
    p->Caption().SetShadeType(type);
    const QImage image = Render(*p);
    const QImage &shade = p->ShadeBitmap().Image();
    ASSERT_EQ(shade.size(), QSize(120, 20)) << type;
    for (int x = 0; x < 120; x += 7)
      for (int y : {0, 9, 17})
        EXPECT_EQ(At(image, x, y), At(shade, x, y)) << type << " at " << x << "," << y;
    EXPECT_EQ(At(image, 60, 18), Rgb(clWhite)) << type;
  }
  auto p = Plain(120, 40, clNone);
  p->SetColor(clLime);
  p->Caption().SetVisible(true);
  p->Caption().SetShape(csRounded);
  p->Caption().SetShadeType(stHShade);
  const QImage image = Render(*p);
  EXPECT_EQ(At(image, 0, 0), Rgb(clLime));
  EXPECT_EQ(At(image, 119, 0), Rgb(clLime));
  EXPECT_EQ(At(image, 0, 17), Rgb(clLime));
  EXPECT_EQ(At(image, 60, 9), At(p->ShadeBitmap().Image(), 60, 8)) << "the shade starts one row down";
}

TEST(ExPanelPaint, UndecodablePicturesAndOversizedPanelsStillPaint) {
  // Bytes that are no picture leave it empty: tiling draws nothing and ends.
  TExImage broken;
  try {
    broken.LoadFromBytes(QByteArray("GIF89a\x01\x00\x01\x00", 10));
  } catch (const std::exception &) {
  }
  auto p = Plain(20, 20, clNone);
  p->SetBackground(broken);
  p->SetBackgroundPosition(bpTiled);
  EXPECT_EQ(At(Render(*p), 10, 10), Rgb(clWhite));
  // Wider than the off-screen buffer may be: painted straight onto the target.
  EXPECT_EQ(PaintBufferSize(MaxPanelExtent, 4), QSize(MaxPanelExtent, 4));
  for (const QSize size : {QSize(MaxPanelExtent + 1, 4), QSize(4, MaxPanelExtent + 1), QSize(0, 4)})
    EXPECT_TRUE(PaintBufferSize(size.width(), size.height()).isEmpty())
        << size.width() << "x" << size.height();
  auto wide = Plain(MaxPanelExtent + 100, 4);
  wide->SetBorderShadow(false);
  const QImage image = Render(*wide);
  EXPECT_EQ(At(image, MaxPanelExtent + 99, 2), Rgb(clBlack)) << "the right border";
  EXPECT_EQ(At(image, MaxPanelExtent + 50, 2), Rgb(clWhite));
}

TEST(ExPanelPaint, TextSitsAtTheTopOrTheBottomAndBufferingChangesNothing) {
  auto p = Plain(200, 100, clNone);
  p->SetText("Hallo Welt");
  const QRect top = kvtest::BoundsOf(Render(*p), Rgb(clWindowText));
  ASSERT_FALSE(top.isNull());
  EXPECT_LT(top.top(), 15);
  EXPECT_GE(top.left(), 1);
  p->SetTextVAlign(tvaBottom);
  const QImage bottom_image = Render(*p);
  const QRect bottom = kvtest::BoundsOf(bottom_image, Rgb(clWindowText));
  EXPECT_GT(bottom.bottom(), 85);
  EXPECT_LT(bottom.bottom(), 100);
  p->SetBuffered(false);
  EXPECT_EQ(Render(*p), bottom_image);
  p->SetTextVAlign(tvaTop);
  p->Caption().SetVisible(true);
  EXPECT_GE(kvtest::BoundsOf(Render(*p), Rgb(clWindowText)).top(), 18) << "below the caption";
}

} // namespace
