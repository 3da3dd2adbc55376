#include "controls/panels/caption_shade.h"

#include <QPainterPath>
#include <QRegion>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>

#include "platform/ui/theme_library.h"

namespace kv::panels {

using namespace kv::ui;

TShadeRandom::TShadeRandom() {
  Reseed();
}

void TShadeRandom::Reseed() {
  engine_.seed(
      static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count() & 0xFFFFFFFFu));
}

int TShadeRandom::Random(int n) {
  if (n <= 0) return 0;
  return std::uniform_int_distribution<int>(0, n - 1)(engine_);
}

namespace {

int Half(int x) {
  return x / 2;
}
int Cube(int a) {
  return (a * a * a / 128) / 128;
}

// The picture being built; writes outside it are dropped.
class TShadeImage {
public:
  TShadeImage(int width, int height, TColor colour) : image_(width, height, QImage::Format_RGB32) {
    image_.fill(Qt::white);
    const TColor rgb = ColorToRGB(colour);
    r_ = RedOf(rgb);
    g_ = GreenOf(rgb);
    b_ = BlueOf(rgb);
  }
  // The caption colour at brightness v (0..255, clamped).
  QRgb Shade(int v) const {
    v = std::clamp(v, 0, 255);
    return qRgb(r_ * v / 255, g_ * v / 255, b_ * v / 255);
  }
  void Set(int x, int y, QRgb c) {
    if (x >= 0 && y >= 0 && x < image_.width() && y < image_.height())
      reinterpret_cast<QRgb *>(image_.scanLine(y))[x] = c;
  }
  // The blue component of a pixel; 255 outside, as for white.
  int Blue(int x, int y) const {
    if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return 255;
    return qBlue(reinterpret_cast<const QRgb *>(image_.constScanLine(y))[x]);
  }
  void Column(int x, QRgb c) {
    for (int y = 0; y < image_.height(); ++y)
      Set(x, y, c);
  }
  void Row(int y, QRgb c) {
    if (y < 0 || y >= image_.height()) return;
    std::fill_n(reinterpret_cast<QRgb *>(image_.scanLine(y)), image_.width(), c);
  }
  void Fill(QRgb c) { image_.fill(c); }
  QImage Take() { return std::move(image_); }

private:
  QImage image_;
  int r_ = 0, g_ = 0, b_ = 0;
};

// The diagonal light: darker toward the bottom right, lighter where the pixel is dark already.
void DiagonalPass(TShadeImage &img, int w, int h, int light, int strength) {
  for (int x = 0; x <= w; ++x)
    for (int y = 0; y <= h; ++y) {
      const int t = img.Blue(x, y);
      img.Set(x, y, img.Shade(light - Half((light - t) + strength * x / w + strength * y / h)));
    }
}

void MetalStrokes(TShadeImage &img, int w, int h, int light, bool left, TShadeRandom &random) {
  for (int stroke = 0; stroke < 251; ++stroke) {
    const int px = random.Random(w), py = random.Random(h);
    const int n = random.Random(Half(std::min(w, h)));
    const QRgb c = img.Shade(light - random.Random(40));
    for (int i = 0; i < n; ++i) {
      // One end runs down, the other up; each stops at the edge it runs toward.
      const int down_x = left ? px + i : px - i, up_x = left ? px - i : px + i;
      const bool down_x_inside = left ? down_x < w : down_x > 0;
      const bool up_x_inside = left ? up_x > 0 : up_x < w;
      if (down_x_inside && py + i < h) img.Set(down_x, py + i, c);
      if (up_x_inside && py - i > 0) img.Set(up_x, py - i, c);
    }
  }
}

int Nearest(double x) {
  return static_cast<int>(std::nearbyint(x));
}

// Where the caption's sides are equal there is no spread: the shade then saturates at black
// and at the light value instead of wrapping around.
void Radial(TShadeImage &img, int w, int h, int light, bool inner) {
  const int m = std::max(1, std::abs(w - h));
  const int cx = Half(w), cy = Half(h);
  for (int x = 0; x <= cx; ++x)
    for (int y = 0; y <= cy; ++y) {
      const int d = Nearest(std::sqrt(double((x - cx) * (x - cx) + (y - cy) * (y - cy))));
      const double ratio = inner ? double(m - d) / m : double(d) / m;
      const QRgb c = img.Shade(Nearest(std::clamp(ratio * light, 0.0, double(light))));
      img.Set(x, y, c);
      img.Set(w - x, h - y, c);
      img.Set(w - x, y, c);
      img.Set(x, h - y, c);
    }
}

} // namespace

QImage BuildShade(int width, int height, const TShadeInput &input, TShadeRandom &random) {
  width = std::max(0, width);
  height = std::max(0, height);
  TShadeImage img(width, height, input.Color);
  if (width == 0 || height == 0) return img.Take();
  const int w = width, h = height;
  const int l = std::clamp(input.Light, 0, 255);
  switch (input.Type) {
  case stNormal:
  case stXPCaption:
  case stBitmap:
  case stBitmapRStretch:
  case stBitmapLStretch:
    img.Fill(ToQRgb(input.Color));
    break;
  case stNoise:
    for (int x = 0; x <= w; ++x)
      for (int y = 0; y <= h; ++y)
        img.Set(x, y, img.Shade(l - Half(random.Random(input.Grain) + 128)));
    break;
  case stDiagShade:
    DiagonalPass(img, w, h, l, 129);
    break;
  case stHShade:
  case stHShadeInv:
    for (int x = 0; x <= w; ++x)
      img.Column(input.Type == stHShade ? x : w - x, img.Shade(l - Half(239 * (w - x) / w + 8)));
    break;
  case stVShade:
  case stVShadeInv:
    // The inverted shade is the same turned upside down: dark at the top, light at the bottom.
    for (int y = 0; y <= h; ++y)
      img.Row(input.Type == stVShade ? y : h - y, img.Shade(l - Half(239 * y / h + 8)));
    break;
  case stHBump:
    for (int x = 0; x <= w; ++x)
      img.Column(x, img.Shade(l - Half(Cube(255 * (w - x) / w - 127) * 120 / 128 + 128)));
    break;
  case stVBump:
    for (int y = 0; y <= h; ++y)
      img.Row(y, img.Shade(l - Half(Cube(255 * y / h - 127) * 120 / 128 + 128)));
    break;
  case stSoftBump:
    for (int x = 0; x <= w; ++x)
      for (int y = 0; y <= h; ++y) {
        const int k = (Cube(255 * y / h - 127) + Cube(255 * (w - x) / w - 127)) * 120 / 128 + 128;
        img.Set(x, y, img.Shade(l - Half(std::clamp(k, 8, 247))));
      }
    break;
  case stHardBump: {
    for (int y = 0; y <= h; ++y)
      img.Row(y, img.Shade(l - Half(Cube(255 * y / h - 127) * 112 / 128 + 128)));
    // Narrow or one-pixel-high captions would divide by zero below.
    const int d = std::max(1, std::min(16, w / 6));
    const int q = std::max(1, h * h / 4);
    for (int x = 0; x <= w; ++x)
      for (int y = 0; y <= h; ++y) {
        const int dy = y - Half(h), dx = x - Half(w);
        const int e = dy * dy * d / q + Half(w) - d;
        if (dx > e) img.Set(x, y, img.Shade(l - Half((w - x) * 128 / d + 8)));
        if (dx + e < 0) img.Set(x, y, img.Shade(l - Half(247 - x * 128 / d)));
      }
    break;
  }
  case stLMetal:
  case stRMetal:
    MetalStrokes(img, w, h, l, input.Type == stLMetal, random);
    DiagonalPass(img, w, h, l, 120);
    break;
  case stIRadial:
  case stORadial:
    Radial(img, w, h, l, input.Type == stIRadial);
    break;
  }
  return img.Take();
}

namespace {

constexpr int kCorner = 32; // the corner ellipse of the rounded shapes

// A rounded region leaves out its right and bottom edges, like the rectangles it is built from.
QRegion RoundRegion(const TRect &r) {
  QPainterPath path;
  path.addRoundedRect(QRectF(r.Left, r.Top, r.Width() - 1, r.Height() - 1), kCorner / 2.0, kCorner / 2.0);
  return QRegion(path.toFillPolygon().toPolygon());
}

// The rounded outline: the lower half in gray, the upper half in white.
void RoundedOutline(TCanvas &canvas, const TRect &c) {
  const int half_height = Half(c.Bottom - c.Top);
  canvas.Pen = {clGray, 1, psSolid};
  canvas.SetClipRegion(RoundRegion(Rect(c.Left, c.Top + half_height, c.Right, c.Bottom)));
  canvas.RoundRect(c, kCorner, kCorner);
  canvas.Pen = {clWhite, 1, psSolid};
  canvas.SetClipRegion(RoundRegion(Rect(c.Left, c.Top, c.Right, c.Bottom - half_height)));
  canvas.RoundRect(c, kCorner, kCorner);
  canvas.ClearClip();
}

void DrawBitmapCaption(TCanvas &canvas, const TRect &c, const TCaptionShadeDraw &d) {
  if (!d.Background || d.Background->Empty()) return;
  const TBitmap &bg = *d.Background;
  const int bw = bg.Width(), bh = bg.Height();
  switch (d.Type) {
  case stBitmapLStretch: {
    const int a = std::max(0, d.PanelWidth - bw);
    canvas.Draw(c.Left + a, c.Top, bg);
    canvas.CopyRect(Rect(0, c.Top, a, c.Bottom), bg, Rect(0, 0, std::min(2, bw), bh));
    break;
  }
  case stBitmapRStretch:
    canvas.Draw(c.Left, c.Top, bg);
    canvas.CopyRect(Rect(bw, c.Top, c.Right, c.Bottom), bg, Rect(std::max(0, bw - 3), 0, bw, bh));
    break;
  default:
    canvas.StretchDraw(c, bg);
    break;
  }
}

} // namespace

void DrawCaptionShade(TCanvas &canvas, TRect c, const TCaptionShadeDraw &d) {
  if (d.Type == stXPCaption && d.Themed) {
    if (HTHEME theme = OpenThemeData(d.Widget, QStringLiteral("window"))) {
      InflateRect(c, 1, 1);
      DrawThemeBackground(theme, canvas.Painter(), WP_CAPTION, 1, ToQRect(c));
      CloseThemeData(theme);
    }
    return;
  }
  if (d.Type == stXPCaption || d.Type == stBitmap || d.Type == stBitmapRStretch ||
      d.Type == stBitmapLStretch) {
    DrawBitmapCaption(canvas, c, d);
    return;
  }
  switch (d.Shape) {
  case csRectangle:
    if (!d.Flat) {
      canvas.Pen = {clGray, 1, psSolid};
      canvas.MoveTo(c.Left, c.Bottom - 1);
      canvas.LineTo(c.Right - 1, c.Bottom - 1);
      canvas.LineTo(c.Right - 1, c.Top);
      canvas.Pen = {clWhite, 1, psSolid};
      canvas.LineTo(c.Left, c.Top);
      canvas.LineTo(c.Left, c.Bottom - 1);
      InflateRect(c, -1, -1);
    }
    canvas.SetClipRect(c);
    break;
  case csRounded:
    RoundedOutline(canvas, c);
    canvas.Pen = {clGray, 1, psSolid};
    canvas.MoveTo(c.Left + 16, c.Bottom - 1);
    canvas.LineTo(c.Right - 16, c.Bottom - 1);
    c.Top += 1;
    canvas.SetClipRegion(RoundRegion(c));
    break;
  case csSemiRounded:
    RoundedOutline(canvas, c);
    canvas.Pen = {clWhite, 1, psSolid};
    canvas.MoveTo(c.Left + Half(c.Right - c.Left), c.Top);
    canvas.LineTo(c.Left, c.Top);
    canvas.LineTo(c.Left, c.Bottom - 1);
    canvas.Pen = {clGray, 1, psSolid};
    canvas.LineTo(c.Right - 16, c.Bottom - 1);
    c.Top += 1;
    c.Left += 1;
    // Square corners on the left, rounded ones on the right.
    canvas.SetClipRegion(
        RoundRegion(c) |
        QRegion(ToQRect(Rect(c.Left, c.Top, c.Right - Half(c.Right - c.Left), c.Bottom - 1))));
    break;
  }
  if (d.Shade && !d.Shade->Empty()) canvas.Draw(c.Left, c.Top, *d.Shade);
  canvas.ClearClip();
}

} // namespace kv::panels
