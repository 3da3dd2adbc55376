#pragma once
// A drawing surface over QPainter that keeps the pixel rules the controls were drawn with:
// - rectangles and fills cover Left..Right−1 and Top..Bottom−1 (right and bottom edge excluded);
// - a line (MoveTo/LineTo, Polyline) leaves out its end point; a polygon's outline is closed;
// - text is drawn with an opaque background in the brush colour unless the brush is clear;
// - colours are TColor values, resolved when drawn; a clNone pen or brush draws nothing.
// The canvas keeps its own state (pen, brush, font, pen position, origin, clip) and sets up the
// painter for each call, so an image canvas can end its painter at any time and go on later.

#include <QPainter>
#include <QPoint>
#include <QPolygon>
#include <QRegion>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/color.h"
#include "platform/ui/font.h"
#include "platform/ui/geometry.h"
#include "platform/ui/text_layout.h"
#include "platform/ui/text_measure.h"

class QImage;
class QPaintDevice;

namespace kv::ui {

class TBitmap;

// The shapes of texts a canvas keeps on this thread (a text drawn again is drawn from them).
constexpr qsizetype kShapeCacheBudget = qsizetype{4} << 20; // bytes kept at most
struct TShapeCacheFigures {
  qsizetype Entries = 0;
  qsizetype Bytes = 0;     // estimated bytes held
  qsizetype PeakBytes = 0; // the most bytes held at once
  qint64 Shaped = 0;       // texts shaped to be kept, all told
};
TShapeCacheFigures ShapeCacheFigures();

// One piece of a line for DrawTextRuns: its text and the left edge of its cell.
struct TTextRun {
  QString Text;
  int X = 0;
};

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };

struct TPen {
  TColor Color = clBlack;
  int Width = 1;
  TPenStyle Style = psSolid;
  friend bool operator==(const TPen &, const TPen &) = default;
};

enum TBrushStyle {
  bsSolid,
  bsClear,
  bsHorizontal,
  bsVertical,
  bsFDiagonal,
  bsBDiagonal,
  bsCross,
  bsDiagCross,
  bsDither, // pixels alternate between Color and DitherColor, aligned to the device's origin
};

struct TBrush {
  TColor Color = clWhite;
  TBrushStyle Style = bsSolid;
  TColor DitherColor = clWhite;
  friend bool operator==(const TBrush &, const TBrush &) = default;
};

// Edges of DrawEdge: an outer and an inner ring, each raised or sunken.
constexpr unsigned BDR_RAISEDOUTER = 0x1;
constexpr unsigned BDR_SUNKENOUTER = 0x2;
constexpr unsigned BDR_RAISEDINNER = 0x4;
constexpr unsigned BDR_SUNKENINNER = 0x8;
constexpr unsigned EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER;
constexpr unsigned EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER;
constexpr unsigned EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER;
constexpr unsigned EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER;
// Flags of DrawEdge: the sides drawn and how.
constexpr unsigned BF_LEFT = 0x1;
constexpr unsigned BF_TOP = 0x2;
constexpr unsigned BF_RIGHT = 0x4;
constexpr unsigned BF_BOTTOM = 0x8;
constexpr unsigned BF_TOPLEFT = BF_TOP | BF_LEFT;
constexpr unsigned BF_BOTTOMRIGHT = BF_BOTTOM | BF_RIGHT;
constexpr unsigned BF_RECT = BF_TOPLEFT | BF_BOTTOMRIGHT;
constexpr unsigned BF_MIDDLE = 0x800;  // fill the inside with the face colour
constexpr unsigned BF_SOFT = 0x1000;   // lighter outer highlight, for buttons
constexpr unsigned BF_ADJUST = 0x2000; // shrink the rectangle by the edge's width on the drawn sides
constexpr unsigned BF_FLAT = 0x4000;   // a flat frame in shadow and face colours
constexpr unsigned BF_MONO = 0x8000;   // a one-colour frame in the window-frame colour

class TCanvas {
public:
  // A canvas without a device: draws nothing, measures text with the Qt measure at 96 dpi.
  TCanvas();
  // A canvas on a QImage, a QPixmap, or a QWidget inside its paintEvent. The device must outlive
  // the canvas; the painter begins at the first drawing call and ends with the canvas.
  explicit TCanvas(QPaintDevice *device);
  // A canvas over a painter that is already active (for example in a QStyle routine). The
  // painter's state is saved now and restored on destruction; the canvas clip replaces its clip.
  explicit TCanvas(QPainter *painter);
  ~TCanvas();
  TCanvas(const TCanvas &) = delete;
  TCanvas &operator=(const TCanvas &) = delete;

  TPen Pen;
  TBrush Brush;
  TFont Font;

  bool HasDevice() const { return device_ != nullptr; }
  int PixelsPerInch() const { return qt_measure_.PixelsPerInch(); }
  // The measure for text widths and heights; the Qt measure for this device unless replaced.
  const TTextMeasure &Measure() const { return *measure_; }
  // Replaces the measure (not owned; it must outlive its use); nullptr restores the Qt measure.
  void SetTextMeasure(const TTextMeasure *measure) { measure_ = measure ? measure : &qt_measure_; }
  // The painter set up with the canvas's origin and clip, for drawing the canvas does not offer
  // (QStyle primitives); nullptr without a device.
  QPainter *Painter() { return Prepare(); }
  // Ends an own painter so the device may be read or changed; the next call begins again.
  void EndPaint();

  // Lines, shapes and pixels.
  QPoint PenPos() const { return pen_pos_; }
  void MoveTo(int x, int y) { pen_pos_ = {x, y}; }
  void LineTo(int x, int y);
  void Polyline(const QPolygon &points); // does not move the pen position
  void Polygon(const QPolygon &points);  // filled with the brush, outlined with the pen
  void FillRect(const TRect &r);         // brush only
  void FrameRect(const TRect &r);        // a one-pixel frame in the brush colour
  void Rectangle(const TRect &r);        // brush inside, pen outline on the rectangle's edge pixels
  void RoundRect(const TRect &r, int ellipse_width, int ellipse_height);
  void Ellipse(const TRect &r);
  // The pixel's colour; clNone outside the device or when the device cannot be read (widgets).
  TColor Pixel(int x, int y) const;
  void SetPixel(int x, int y, TColor c);

  // A 3-D frame `width` pixels wide, drawn inward: top and left sides in `top_left`, bottom and
  // right sides (with the top-right and bottom-left corners) in `bottom_right`. `r` shrinks by
  // `width` on every side.
  void Frame3D(TRect &r, TColor top_left, TColor bottom_right, int width);
  // A bevelled edge (EDGE_*, BDR_*) on the sides in `flags` (BF_*); returns false for an edge
  // without rings.
  bool DrawEdge(TRect &r, unsigned edge, unsigned flags);
  // A dotted frame inverted into the picture; drawing it twice restores the picture.
  void DrawFocusRect(const TRect &r);

  // Clipping (in the canvas's current coordinates) and saved states.
  void SetClipRect(const TRect &r);
  void IntersectClipRect(const TRect &r);
  void SetClipRoundRect(const TRect &r, int ellipse_width, int ellipse_height);
  void SetClipRegion(const QRegion &region);
  void ClearClip();
  bool HasClip() const { return clip_.has_value(); }
  // Moves the coordinate origin by (dx, dy): later calls draw shifted by that much.
  void MoveOrigin(int dx, int dy);
  QPoint Origin() const { return origin_; }
  // Saves pen, brush, font, pen position, origin and clip; Restore brings back the last saved.
  void Save();
  void Restore();

  // Text.
  int TextWidth(const QString &text) const { return measure_->TextWidth(Font, text); }
  int TextHeight(const QString &) const { return measure_->TextHeight(Font); }
  QSize TextExtent(const QString &text) const { return {TextWidth(text), measure_->TextHeight(Font)}; }
  // Draws one line with its cell's top-left at (x, y), rotated by the font's escapement; moves
  // the pen position to the end of the text.
  void TextOut(int x, int y, const QString &text);
  // TextOut clipped to `r`; with a brush, `r` is filled first.
  void TextRect(const TRect &r, int x, int y, const QString &text);
  // Lays out and draws `text` in `r` by `flags` (TTextFlag); returns the text's height. With
  // tfCalcRect nothing is drawn and `r` becomes the text's bounds.
  int DrawText(const QString &text, TRect &r, TTextFlags flags);
  // Draws runs that share the canvas font, brush and line: each as DrawText(run.Text,
  // Rect(run.X, r.Top, r.Right, r.Bottom), flags) draws it, but with the painter and the font set
  // up once for all of them.
  void DrawTextRuns(const std::vector<TTextRun> &runs, const TRect &r, TTextFlags flags);

  // Pictures. Stretching picks the nearest pixel; an empty bitmap draws nothing.
  void Draw(int x, int y, const TBitmap &bitmap);
  void StretchDraw(const TRect &dest, const TBitmap &bitmap);
  void CopyRect(const TRect &dest, const TBitmap &bitmap, const TRect &source);
  // Draws `source` of the bitmap into `dest`, leaving the picture untouched where the bitmap has
  // the key colour: clNone draws opaque, clDefault takes the bottom-left pixel as the key.
  void StretchDrawKeyed(const TRect &dest, const TBitmap &bitmap, const TRect &source, TColor key);
  void DrawKeyed(int x, int y, const TBitmap &bitmap, TColor key);
  // Paints the brush colour at (x, y) + p for every pixel p of `mask` whose colour is `where`
  // (typically clBlack or clWhite of a monochrome mask); elsewhere the picture stays.
  void BrushThroughMask(int x, int y, const TBitmap &mask, TColor where);
  // The shape of `mask` (its pixels of colour `where`) embossed: in `highlight` one pixel right
  // and down when `with_highlight`, then in `main` at (x, y). The brush is left as it was.
  void EmbossMask(int x, int y, const TBitmap &mask, TColor where, TColor main, TColor highlight,
                  bool with_highlight);
  // Draws `source` of an image (with alpha) into `dest`.
  void DrawImage(const TRect &dest, const QImage &image, const TRect &source);

private:
  QPainter *Prepare();
  QBrush QtBrush() const;
  void FillSolid(const QRect &r, TColor c);
  void Segment(QPainter *p, QPoint from, QPoint to);
  void Ring(const TRect &r, TColor top_left, TColor bottom_right, unsigned sides);
  void DrawTextLine(QPainter *p, int x, int y, const QString &text, int mnemonic);
  // The Qt font Font is drawn with, without lines under and through (DrawTextLine draws those),
  // and where those lines go; kept while Font's name, size and style stay.
  struct TDrawingFont {
    TFontKey Key;
    TQtFont Qt;
    int UnderlineOffset = 0; // from the baseline down
  };
  const TDrawingFont &DrawingFont();

  struct State {
    TPen pen;
    TBrush brush;
    TFont font;
    QPoint pen_pos;
    QPoint origin;
    std::optional<QRegion> clip;
  };

  QPaintDevice *device_ = nullptr;
  std::unique_ptr<QPainter> own_painter_;
  QPainter *painter_ = nullptr;
  QTransform base_transform_;
  std::optional<QRegion> base_clip_;
  bool applied_ = false; // the painter has the current origin and clip
  QPoint pen_pos_;
  QPoint origin_;
  std::optional<QRegion> clip_; // in device coordinates (origin applied)
  std::vector<State> saved_;
  std::optional<TDrawingFont> drawing_font_;
  TQtTextMeasure qt_measure_;
  const TTextMeasure *measure_ = &qt_measure_;
};

} // namespace kv::ui
