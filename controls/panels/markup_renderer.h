#pragma once
// DrawMarkup lays out a text of the panel mark-up language inside a rectangle of a canvas, line
// by line, and in one call draws it, only measures it, or finds the anchor under a point. Text is
// measured through the canvas's TTextMeasure, so measuring and hit tests need no display (give
// the canvas a TFixedTextMeasure in tests). Nothing is kept between calls.
//
// BlendColor and DrawGradient are the two colour routines the panel paints with.

#include <QString>

#include "platform/ui/canvas.h"
#include "platform/ui/color.h"
#include "platform/ui/geometry.h"
#include "platform/ui/image_list.h"

namespace kv::panels {

class THTMLPictureCache;
class TPictureContainer;

// The inputs after the canvas and the text; the defaults are what a panel paints with.
struct TMarkupParams {
  kv::ui::TRect Rect;                         // the area; text starts one pixel right of its left edge
  const kv::ui::TImageList *Images = nullptr; // "IDX:" images
  int X = -1, Y = -1;                         // the point to hit-test, canvas coordinates
  int FocusLink = -1;                         // anchor (from 0) framed with a focus rectangle, -1 none
  int HoverLink = -1;                         // hovered anchor (from 1), as MouseLink gave it
  int ShadowOffset = 2;                       // pixels right and down for shadowed runs
  bool CheckOnly = false;                     // lay out and hit-test without drawing
  bool MeasureOnly = false;                   // one pass only: sizes, no drawing, no hit, no cut-off
  bool Print = false;                         // images and icons stretched by ResFactor
  bool FixedColours = false;                  // FONT COLOR/BGCOLOR and URLColor ignored
  bool BlinkVisible = false;                  // text inside BLINK is drawn in its own colour
  bool Hover = false;                         // only the hovered anchor takes the anchor look
  bool WordWrap = true;                       // false: one line per BR, overflowing runs end in "..."
  double ResFactor = 1.0;
  kv::ui::TColor URLColor = kv::ui::clBlue;
  kv::ui::TColor HoverColor = kv::ui::clNone;     // hovered anchor's background
  kv::ui::TColor HoverFontColor = kv::ui::clNone; // hovered anchor's text colour
  kv::ui::TColor ShadowColor = kv::ui::clGray;
  THTMLPictureCache *PictureCache = nullptr;     // sources holding "://"
  TPictureContainer *PictureContainer = nullptr; // sources without ":"
};

struct TMarkupResult {
  QString AnchorVal;       // target of the anchor under the point; unchanged when none is hit
  QString StripVal;        // the text without tags, "\r" per BR
  QString FocusAnchor;     // target of the focused anchor
  int XSize = 0;           // widest line, a trailing blank not counted
  int YSize = 0;           // all line heights; the height of "gh" for an empty text
  int HyperLinks = 0;      // anchors seen
  int MouseLink = -1;      // anchor under the point, from 1; -1 when none
  kv::ui::TRect HoverRect; // the part of that anchor on the hit line; unchanged when none
};

// Draws (or with CheckOnly/MeasureOnly only lays out) Text; true when an anchor lies under
// (X, Y). The canvas's font is the base font and its brush colour the start background; both
// are as before when the call returns. StripVal, FocusAnchor, the sizes, HyperLinks and
// MouseLink are set at every call; AnchorVal and HoverRect only by a hit.
bool DrawMarkup(kv::ui::TCanvas &Canvas, const QString &Text, const TMarkupParams &Params,
                TMarkupResult &Result);

// Percent (clamped to 0..100) of Color1 and the rest of Color2, per channel, rounded; system
// colours are resolved first. Percent 100 gives Color1 unchanged.
kv::ui::TColor BlendColor(kv::ui::TColor Color1, kv::ui::TColor Color2, int Percent);

// Steps bands (at least 1) from FromColor to ToColor across Rect, left to right when Horizontal,
// else top to bottom; pen and brush keep the last band's colour.
void DrawGradient(kv::ui::TCanvas &Canvas, kv::ui::TColor FromColor, kv::ui::TColor ToColor, int Steps,
                  const kv::ui::TRect &Rect, bool Horizontal);

} // namespace kv::panels
