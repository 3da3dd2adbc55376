#pragma once
// Drawing and window helpers of the edit controls: colour-keyed and stretched bitmap drawing,
// embossed and disabled versions of glyphs, a transparent control's background, shortening a
// caption to a width, keeping windows on the screen, and the two extra mouse cursors.

#include <QEvent>
#include <QPoint>
#include <QSize>
#include <QString>

#include "platform/ui/bitmap.h"
#include "platform/ui/canvas.h"
#include "platform/ui/image_list.h"
#include "platform/ui/text_measure.h"

class QObject;
class QWidget;

namespace kv::edits {

using ui::TBitmap;
using ui::TCanvas;
using ui::TColor;
using ui::TCustomImageList;
using ui::TRect;

// Numbers of the two cursors in the screen's cursor table (kv::ui::ScreenCursor).
constexpr int crKvHand = 14000; // "KV_HANDCUR"
constexpr int crKvDrag = 14001; // "KV_DRAGCUR"
// Enters both cursors into the table; runs by itself when the program starts, and may be
// called again.
void RegisterKvCursors();

// Paints what lies behind `control` onto `canvas` (whose origin is the control's top-left):
// the parent's background and painting, then the visible siblings below the control that
// overlap it. Nothing without a control or a parent.
void PaintParentBackground(QWidget *control, TCanvas &canvas);

// Stretches `source_rect` of `source` onto `dest_rect`, leaving the destination untouched where
// the source has colour `key`.
void StretchBlitMasked(TCanvas &dest, const TRect &dest_rect, const TBitmap &source, const TRect &source_rect,
                       TColor key);
// A destination width or height below 1 means the bitmap's own; a source width or height below 1
// means the whole bitmap. Key clNone: drawn opaque; clDefault: the bottom-left pixel; a
// monochrome bitmap is keyed on white. An empty bitmap draws nothing.
void StretchBitmapMasked(TCanvas &canvas, const TBitmap &bitmap, TColor key, int dx, int dy, int dw, int dh,
                         int sx, int sy, int sw, int sh);
void DrawBitmapMasked(TCanvas &canvas, int x, int y, const TBitmap &bitmap, TColor key);

// The glyph's shape (every pixel not of colour `background`) in button shadow, with a
// button-highlight copy one pixel right and down, on `background`.
TBitmap MakeEmbossedBitmap(const TBitmap &bitmap, TColor background);
// The pixels of colour `outline` drawn in `shadow` (and in `highlight` one pixel right and down
// when `with_highlight`) on `background`; a monochrome glyph's white pixels count as outline.
TBitmap MakeDisabledBitmapEx(const TBitmap &bitmap, TColor outline, TColor background, TColor highlight,
                             TColor shadow, bool with_highlight);
TBitmap MakeDisabledBitmap(const TBitmap &bitmap, TColor outline);
// Image `index` of the list as a shape in `main` (and `highlight` one pixel right and down);
// an index outside the list draws nothing.
void DrawImageListGlyphDisabled(const TCustomImageList &images, TCanvas &canvas, int x, int y, int index,
                                TColor main, TColor highlight, bool with_highlight);

inline int RectWidth(const TRect &r) {
  return r.Right - r.Left;
}
inline int RectHeight(const TRect &r) {
  return r.Bottom - r.Top;
}
// The colour as RGB with the palette-relative flag added.
TColor PaletteRgb(TColor c);

// Removes the first queued event of that type for `window` (an object of this thread) that an
// earlier call has not already removed: when its turn comes it is not delivered. All other queued
// events keep their places, nothing is delivered during the call, and nothing happens when none
// is queued. Events queued below normal priority are not looked at, and an event of that type
// sent to `window` directly before the queued one comes counts as the first. A quit or a deferred
// delete is never removed.
void DropPendingMessage(QObject *window, QEvent::Type type);

// Shifts `r` (size kept) so that it does not pass the right or bottom edge of the primary
// screen, then so that it does not start left of or above 0.
void KeepRectOnScreen(TRect &r);
void KeepRectOnScreen(TRect &r, const QSize &screen);
// Moves the window (size, stacking and activation unchanged) to the centre of the primary
// screen, never left of or above 0.
void CenterWindowOnScreen(QWidget *window);
QPoint CenteredOnScreen(const QSize &window, const QSize &screen);

// `text` itself when it fits `max_width`; otherwise its first characters followed by "...",
// cutting one more whole character at a time (the first cut takes two) until it fits or only
// "..." is left.
QString ShortenToWidth(const QString &text, const ui::TTextMeasure &measure, const ui::TFont &font,
                       int max_width);
QString ShortenToWidth(const QString &text, const TCanvas &canvas, int max_width);

// True when this program's GUI thread has the active window.
bool ActiveWindowIsOurs();

inline QString IdentityText(const QString &text) {
  return text;
}

} // namespace kv::edits
