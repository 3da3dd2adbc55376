#pragma once
// The caption bar's shading effects and shapes, as functions of their inputs: BuildShade renders
// the shade picture of a caption (W x H) from its colour with one of the pixel effects, in integer
// arithmetic; DrawCaptionShade paints a caption rectangle with that picture (or the caption's
// background bitmap, or the themed caption) through a clip that gives the bar its shape.
// The noise and metal effects draw from a TShadeRandom, so a test can pin the texture.

#include <QImage>
#include <cstdint>
#include <random>

#include "platform/ui/bitmap.h"
#include "platform/ui/canvas.h"
#include "platform/ui/color.h"
#include "platform/ui/geometry.h"

class QWidget;

namespace kv::panels {

enum TShadeType {
  stNormal,
  stNoise,
  stDiagShade,
  stHShade,
  stVShade,
  stHBump,
  stVBump,
  stSoftBump,
  stHardBump,
  stLMetal,
  stRMetal,
  stIRadial,
  stORadial,
  stHShadeInv,
  stVShadeInv,
  stXPCaption,
  stBitmap,
  stBitmapRStretch,
  stBitmapLStretch,
};
constexpr int ShadeTypeCount = stBitmapLStretch + 1;

enum TCaptionShape { csRectangle, csRounded, csSemiRounded };

// Uniform random integers; Random(n) is in 0..n-1, and 0 for n <= 0.
class TShadeRandom {
public:
  // Seeded from the clock.
  TShadeRandom();
  explicit TShadeRandom(std::uint32_t seed) : engine_(seed) {}
  void Seed(std::uint32_t seed) { engine_.seed(seed); }
  // A fresh seed from the clock.
  void Reseed();
  int Random(int n);

private:
  std::mt19937 engine_;
};

struct TShadeInput {
  kv::ui::TColor Color = kv::ui::clHighlight; // resolved when the shade is built
  int Light = 200;                            // brightness of the lightest shade, 0..255
  int Grain = 32;                             // noise amplitude
  TShadeType Type = stNormal;
};

// The shade picture, W x H (each side at least 0; an empty image for 0). Pixels the effect does
// not reach stay white.
QImage BuildShade(int width, int height, const TShadeInput &input, TShadeRandom &random);

// What DrawCaptionShade draws with.
struct TCaptionShadeDraw {
  TShadeType Type = stNormal;
  TCaptionShape Shape = csRectangle;
  bool Flat = false;
  const kv::ui::TBitmap *Background = nullptr; // the caption's picture for the bitmap types
  const kv::ui::TBitmap *Shade = nullptr;      // BuildShade's picture
  int PanelWidth = 0;
  bool Themed = false; // theme drawing is active
  QWidget *Widget = nullptr;
};

// Paints the caption rectangle `c` (the canvas's pen and brush are the caption colour). Leaves the
// canvas without a clip.
void DrawCaptionShade(kv::ui::TCanvas &canvas, kv::ui::TRect c, const TCaptionShadeDraw &draw);

} // namespace kv::panels
