#pragma once
// The panel's geometry as functions of its settings, shared by painting, hit tests, the mouse
// and the move and size handling: the body and caption rectangles, the caption buttons, the size
// grip, the background picture's place, and the arithmetic of collapsing, auto-size, moving,
// sizing and loading a saved position.

#include <QPoint>
#include <QRect>
#include <QSize>

#include "controls/panels/panel_caption.h"
#include "platform/ui/geometry.h"

namespace kv::panels {

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
enum TTextVAlignment { tvaTop, tvaCenter, tvaBottom };
enum TBackGroundPosition {
  bpTopLeft,
  bpTopRight,
  bpBottomLeft,
  bpBottomRight,
  bpTiled,
  bpStretched,
  bpCenter
};

// Panels, their texts and buffers are kept within this many pixels a side.
constexpr int MaxPanelExtent = 16384;

// What the rectangles depend on.
struct TPanelFrame {
  int Width = 0, Height = 0;
  int BevelWidth = 1; // BW
  bool Bevel = false; // BevelInner or BevelOuter is set
  int BorderWidth = 0;
  bool BorderShadow = false;
  int Indent = 0, TopIndent = 0;
  bool CaptionVisible = false;
  int CaptionHeight = 20;
  int CaptionIndent = 0, CaptionTopIndent = 0;
  TCaptionButtonPosition ButtonPosition = cbpRight;
  bool CloseButton = false, MinMaxButton = false;
  int CloseAdvance = 12; // how far the drawn close button moves the caption's edge
  int ButtonWidth = 12;  // the clickable caption buttons' size
  bool Collapsed = false;
  bool CanSize = false;
};

// The area the body (picture and text) is clipped to.
kv::ui::TRect BodyClipRect(const TPanelFrame &f);
// The body text's rectangle before vertical placement: the clip area less border width and
// indents.
kv::ui::TRect BodyTextArea(const TPanelFrame &f);
// The body text's rectangle for a text `text_height` high: centred or at the bottom, after
// moving down once more by the caption (as the panel has always painted it).
kv::ui::TRect PlaceBodyText(const TPanelFrame &f, kv::ui::TRect r, TTextVAlignment align, int text_height);
// The caption bar's outer rectangle (client area less shadow and bevel).
kv::ui::TRect CaptionArea(const TPanelFrame &f);
// The caption bar as filled.
kv::ui::TRect CaptionRect(const TPanelFrame &f);
// The caption text's rectangle: the caption area less the buttons, by the caption's indents.
kv::ui::TRect CaptionTextArea(const TPanelFrame &f);
// The clickable close and collapse buttons and the caption's clickable strip.
kv::ui::TRect CloseButtonRect(const TPanelFrame &f);
kv::ui::TRect MinMaxButtonRect(const TPanelFrame &f);
kv::ui::TRect CaptionClickRect(const TPanelFrame &f);
// The corner the size grip is drawn into: its lines end at (Right, Bottom).
kv::ui::TRect GripArea(const TPanelFrame &f);
// Where a press starts dragging by the caption (anchors aside), and where it starts sizing.
bool InCaptionDragStrip(const TPanelFrame &f, QPoint p);
bool InSizeGrip(const TPanelFrame &f, QPoint p, int scroll_bar_extent);

// The top-left of a background picture of `picture` size, for every position but tiled and
// stretched.
QPoint BackgroundOrigin(TBackGroundPosition position, const kv::ui::TRect &r, QSize picture,
                        const TPanelFrame &f);

// The off-screen picture a Buffered panel of this size paints into first: its whole size when
// both sides lie within 1..MaxPanelExtent, else none (painted straight onto the target).
QSize PaintBufferSize(int width, int height);

// Height change of one animation step.
int CollapseStep(int from_height, int caption_height, int steps);

// The panel size that fits a text of `text` size; `current` for sides not fitted. Kept within
// 0..MaxPanelExtent.
QSize AutoSizeFor(QSize text, QSize current, bool fit_width, bool fit_height, int bevel_width,
                  bool caption_visible, int caption_height);

// A dragged panel's place: with `fixed_left` its left stays at `origin`'s x, with `fixed_top`
// its top at `origin`'s y; the size is kept.
QRect ConstrainMove(const QRect &proposed, QPoint origin, bool fixed_left, bool fixed_top);
// A sized panel's rectangle: fixed sides take the load-time size; no side below `minimum` or
// above MaxPanelExtent.
QRect ConstrainSize(const QRect &proposed, QSize load_size, bool fixed_width, bool fixed_height,
                    QSize minimum);

// A saved place and size as read; missing values are nullopt.
struct TSavedPosition {
  int Top = 0, Left = 0, Height = 0, FullHeight = 0, Width = 0;
  bool Collaps = false;
};
// Brings a loaded position into `area` (the parent's client area or the screen): sizes within
// `minimum` and the area, the place so that the panel lies inside it; the full height at least
// the caption height.
TSavedPosition ClampSavedPosition(TSavedPosition p, const QRect &area, QSize minimum, int caption_height);

} // namespace kv::panels
