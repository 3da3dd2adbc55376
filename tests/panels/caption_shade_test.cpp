// Caption shades: the pixel effects' arithmetic with a fixed seed, their guards for narrow and
// flat captions, and the caption shapes' clipping.
#include <QImage>
#include <gtest/gtest.h>

#include "controls/panels/caption_shade.h"
#include "controls/panels/panel_caption.h"
#include "pixel_map.h"
#include "qt_application.h"

using namespace kv::panels;
using namespace kv::ui;

namespace {

QImage Build(TShadeType type, int w, int h, std::uint32_t seed = 7, TColor colour = clWhite, int light = 200,
             int grain = 32) {
  TShadeRandom random(seed);
  return BuildShade(w, h, TShadeInput{colour, light, grain, type}, random);
}

// The grey level of a pixel of a white caption.
int Level(const QImage &image, int x, int y) {
  const QRgb p = image.pixel(x, y);
  EXPECT_TRUE(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p));
  return qRed(p);
}

std::vector<int> Row(const QImage &image, int y) {
  std::vector<int> row;
  for (int x = 0; x < image.width(); ++x)
    row.push_back(Level(image, x, y));
  return row;
}

std::vector<int> Column(const QImage &image, int x) {
  std::vector<int> column;
  for (int y = 0; y < image.height(); ++y)
    column.push_back(Level(image, x, y));
  return column;
}

TEST(ShadeRandom, ARangeOfZeroOrLessGivesZero) {
  TShadeRandom random(1);
  EXPECT_EQ(random.Random(0), 0);
  EXPECT_EQ(random.Random(-5), 0);
  for (int i = 0; i < 100; ++i) {
    const int v = random.Random(3);
    EXPECT_GE(v, 0);
    EXPECT_LT(v, 3);
  }
}

TEST(CaptionShade, DeterministicEffectsFollowTheirFormulas) {
  EXPECT_EQ(Row(Build(stHShade, 4, 2), 1), (std::vector<int>{77, 107, 137, 167}));
  EXPECT_EQ(Row(Build(stHShadeInv, 4, 2), 0), (std::vector<int>{196, 167, 137, 107}));
  EXPECT_EQ(Column(Build(stVShade, 3, 4), 2), (std::vector<int>{196, 167, 137, 107}));
  EXPECT_EQ(Column(Build(stVShadeInv, 3, 4), 0), (std::vector<int>{77, 107, 137, 167})) << "upside down";
  EXPECT_EQ(Row(Build(stHBump, 4, 3), 2), (std::vector<int>{76, 129, 136, 144}));
  EXPECT_EQ(Column(Build(stVBump, 2, 4), 1), (std::vector<int>{195, 144, 136, 129}));
  const QImage diag = Build(stDiagShade, 2, 2);
  EXPECT_EQ(Row(diag, 0), (std::vector<int>{227, 196}));
  EXPECT_EQ(Row(diag, 1), (std::vector<int>{196, 164}));
  EXPECT_EQ(Row(Build(stNoise, 3, 1, 1, clWhite, 200, 0), 0), (std::vector<int>{136, 136, 136}))
      << "grain 0 draws no noise";
  // The plain types are a fill of the caption colour; the colour's channels scale alike.
  EXPECT_EQ(Build(stNormal, 3, 2, 1, clRed).pixel(2, 1), qRgb(255, 0, 0));
  EXPECT_EQ(Build(stBitmap, 3, 2, 1, clRed).pixel(0, 0), qRgb(255, 0, 0));
  EXPECT_EQ(Build(stHShade, 4, 2, 1, RGBColor(255, 102, 51)).pixel(0, 0), qRgb(77, 30, 15));
}

TEST(CaptionShade, SoftAndHardBumpsStayInsideTheirBands) {
  const QImage soft = Build(stSoftBump, 40, 20);
  const QImage hard = Build(stHardBump, 40, 20);
  for (const QImage *image : {&soft, &hard}) {
    EXPECT_EQ(image->size(), QSize(40, 20));
    EXPECT_LT(Level(*image, 0, 19), Level(*image, 20, 0)) << "dark edge, light top";
  }
  // k limited to 8..247: L - k/2 lies in 77..196.
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 40; ++x) {
      EXPECT_GE(Level(soft, x, y), 77);
      EXPECT_LE(Level(soft, x, y), 196);
    }
}

TEST(CaptionShade, HorizontalShadesAreMirrorImages) {
  const QImage shade = Build(stHShade, 50, 3), inverse = Build(stHShadeInv, 50, 3);
  for (int x = 1; x < 50; ++x)
    EXPECT_EQ(inverse.pixel(x, 1), shade.pixel(50 - x, 1)) << x;
}

TEST(CaptionShade, NoiseAndMetalFollowTheSeed) {
  for (TShadeType type : {stNoise, stLMetal, stRMetal}) {
    EXPECT_EQ(Build(type, 60, 20, 5), Build(type, 60, 20, 5)) << type;
    EXPECT_NE(Build(type, 60, 20, 5), Build(type, 60, 20, 6)) << type;
  }
}

TEST(CaptionShade, RadialShadesAreLightInTheMiddleOrAtTheEdge) {
  const QImage inner = Build(stIRadial, 60, 20), outer = Build(stORadial, 60, 20);
  EXPECT_GT(Level(inner, 30, 10), Level(inner, 0, 0));
  EXPECT_LT(Level(outer, 30, 10), Level(outer, 0, 0));
  EXPECT_EQ(Level(inner, 30, 10), 200);
  // A square caption has no spread between its sides; it still builds, within the range.
  const QImage square = Build(stIRadial, 20, 20);
  EXPECT_EQ(square.size(), QSize(20, 20));
  EXPECT_EQ(Level(square, 0, 0), 0);
  EXPECT_EQ(Level(Build(stORadial, 20, 20), 0, 0), 200);
}

TEST(CaptionShade, NarrowFlatAndEmptyCaptionsBuildEveryType) {
  for (int type = 0; type < ShadeTypeCount; ++type)
    for (int w = 0; w <= 6; ++w)
      for (int h : {0, 1, 2}) {
        const QImage image = Build(TShadeType(type), w, h);
        EXPECT_EQ(image.size(), w && h ? QSize(w, h) : QSize(0, 0)) << type << " " << w << "x" << h;
      }
  EXPECT_TRUE(Build(stHardBump, -3, -20).isNull());
  EXPECT_EQ(Build(stHardBump, 300, 1).size(), QSize(300, 1));
}

TEST(PanelCaption, ShadeLightStaysWithin200And255) {
  TPanelCaption caption;
  caption.SetShadeLight(150);
  EXPECT_EQ(caption.ShadeLight(), 200);
  caption.SetShadeLight(300);
  EXPECT_EQ(caption.ShadeLight(), 255) << "not its low byte, 44";
  caption.SetHeight(-5);
  EXPECT_EQ(caption.Height(), 0);
}

// A 100 x 20 caption on blue, its shade a red picture.
QImage DrawShape(TCaptionShape shape, bool flat) {
  QImage image = kvtest::BlueImage(100, 20);
  TBitmap shade(100, 20);
  shade.Canvas().Brush.Color = clRed;
  shade.Canvas().FillRect(Rect(0, 0, 100, 20));
  {
    TCanvas canvas(&image);
    canvas.Brush.Color = clBlue;
    canvas.Pen.Color = clBlue;
    TCaptionShadeDraw draw;
    draw.Type = stHShade;
    draw.Shape = shape;
    draw.Flat = flat;
    draw.Shade = &shade;
    draw.PanelWidth = 100;
    DrawCaptionShade(canvas, Rect(0, 0, 100, 20), draw);
  }
  return image;
}

TEST(CaptionShade, ShapesClipTheShade) {
  const std::map<char, TColor> ink = {{'b', clBlue}, {'r', clRed}, {'w', clWhite}, {'g', clGray}};
  auto at = [&](const QImage &image, int x, int y) {
    return kvtest::PixelMap(image.copy(x, y, 1, 1), ink)[0][0];
  };
  const QImage rect = DrawShape(csRectangle, false);
  EXPECT_EQ(at(rect, 0, 0), 'w');
  EXPECT_EQ(at(rect, 98, 0), 'w');
  EXPECT_EQ(at(rect, 0, 19), 'g');
  EXPECT_EQ(at(rect, 99, 19), 'g');
  EXPECT_EQ(at(rect, 99, 1), 'g');
  EXPECT_EQ(at(rect, 1, 1), 'r');
  EXPECT_EQ(at(rect, 98, 18), 'r');
  const QImage flat = DrawShape(csRectangle, true);
  EXPECT_EQ(at(flat, 0, 0), 'r');
  EXPECT_EQ(at(flat, 99, 19), 'r');
  for (TCaptionShape shape : {csRounded, csSemiRounded}) {
    const QImage round = DrawShape(shape, false);
    EXPECT_EQ(at(round, 99, 0), 'b') << shape;
    EXPECT_EQ(at(round, 99, 19), 'b') << shape;
    EXPECT_EQ(at(round, 50, 10), 'r') << shape;
    EXPECT_EQ(at(round, 50, 19), 'g') << shape << " the grey bottom line";
  }
  EXPECT_EQ(at(DrawShape(csRounded, false), 0, 0), 'b') << "rounded corners stay untouched";
  EXPECT_EQ(at(DrawShape(csRounded, false), 0, 19), 'b');
  EXPECT_EQ(at(DrawShape(csSemiRounded, false), 0, 0), 'w') << "square on the left";
}

} // namespace
