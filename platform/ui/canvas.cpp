#include "platform/ui/canvas.h"

#include <QGlyphRun>
#include <QHash>
#include <QImage>
#include <QPaintDevice>
#include <QPainterPath>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/ui/bitmap.h"
#include "platform/ui/capped_cache.h"

namespace kv::ui {

namespace {

Qt::PenStyle QtPenStyle(TPenStyle s) {
  switch (s) {
  case psDash:
    return Qt::DashLine;
  case psDot:
    return Qt::DotLine;
  case psDashDot:
    return Qt::DashDotLine;
  case psDashDotDot:
    return Qt::DashDotDotLine;
  case psClear:
    return Qt::NoPen;
  case psSolid:
  case psInsideFrame:
    break;
  }
  return Qt::SolidLine;
}

bool Visible(const TPen &pen) {
  return pen.Style != psClear && pen.Color != clNone;
}
bool Visible(const TBrush &brush) {
  return brush.Style != bsClear && brush.Color != clNone;
}

// One-pixel pens leave out a line's end point (flat cap); wider pens have round ends.
QPen QtPen(const TPen &pen) {
  if (!Visible(pen)) return QPen(Qt::NoPen);
  const int width = std::max(1, pen.Width);
  return QPen(ToQColor(pen.Color), width, QtPenStyle(pen.Style), width == 1 ? Qt::FlatCap : Qt::RoundCap,
              width == 1 ? Qt::MiterJoin : Qt::RoundJoin);
}

int DpiOf(const QPaintDevice *device) {
  const int dpi = device ? device->logicalDpiY() : 0;
  return dpi > 0 ? dpi : 96;
}

QImage *ImageOf(QPaintDevice *device) {
  return device && device->devType() == QInternal::Image ? static_cast<QImage *>(device) : nullptr;
}

// Whether a text shaped on its own is drawn as QPainter::drawText draws it: one line, and no
// right-to-left text, whose place depends on the text around it.
bool ShapesAlone(const QString &text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    char32_t c = text[i].unicode();
    if (c < 0x20 || c == 0x2028 || c == 0x2029) return false;
    if (c < 0x0590) continue;
    if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      c = QChar::surrogateToUcs4(text[i], text[i + 1]);
      ++i;
    }
    switch (QChar::direction(c)) {
    case QChar::DirR:
    case QChar::DirAL:
    case QChar::DirAN:
    case QChar::DirRLE:
    case QChar::DirRLO:
    case QChar::DirRLI:
    case QChar::DirLRE:
    case QChar::DirLRO:
    case QChar::DirLRI:
    case QChar::DirFSI:
    case QChar::DirPDF:
    case QChar::DirPDI:
      return false;
    default:
      break;
    }
  }
  return true;
}

// The glyphs QPainter::drawText draws for `text`, placed from the start of the baseline.
QList<QGlyphRun> Shape(const QFont &font, const QString &text, QPaintDevice *device) {
  QTextLayout layout(text, font, device);
  QTextOption option;
  option.setTextDirection(Qt::LeftToRight);
  option.setWrapMode(QTextOption::NoWrap);
  layout.setTextOption(option);
  layout.beginLayout();
  const QTextLine line = layout.createLine();
  layout.endLayout();
  QList<QGlyphRun> runs = line.glyphRuns();
  const QPointF to_baseline(-line.x(), -line.ascent());
  for (QGlyphRun &run : runs) {
    QList<QPointF> positions = run.positions();
    for (QPointF &position : positions)
      position += to_baseline;
    run.setPositions(positions);
  }
  return runs;
}

// What a text's shapes depend on: the font (with the device's dots per inch), the device's
// pixel ratio and the text.
struct TShapeKey {
  TFontKey Font;
  qreal PixelRatio = 1;
  QString Text;
  friend bool operator==(const TShapeKey &, const TShapeKey &) = default;
};

size_t qHash(const TShapeKey &key, size_t seed = 0) {
  return qHashMulti(seed, key.Font, key.PixelRatio, key.Text);
}

// The bytes an entry holds: its text, and per glyph an index and a position; the rest stands
// for the bookkeeping of the entry, its table slot and each run.
constexpr qsizetype kEntryBytes = 512, kRunBytes = 256;
constexpr qsizetype kGlyphBytes = sizeof(quint32) + sizeof(QPointF);

qsizetype BytesOf(const TShapeKey &key, const std::optional<QList<QGlyphRun>> &shapes) {
  qsizetype bytes = kEntryBytes + key.Text.size() * qsizetype(sizeof(QChar));
  if (shapes)
    for (const QGlyphRun &run : *shapes)
      bytes += kRunBytes + run.glyphIndexes().size() * kGlyphBytes;
  return bytes;
}

// Texts drawn on this thread, shaped from their second time on (none: drawn once so far).
// Shaping is the dearest part of drawing a word, and the controls draw the same words on every
// paint; a text drawn only once is drawn by Qt at once, which costs less than shaping it to keep.
// The least recently drawn texts go first, so the words drawn on every paint stay however many
// other lines a view scrolls through, and a text too large to keep is always drawn by Qt.
thread_local TCappedCache<TShapeKey, std::optional<QList<QGlyphRun>>> g_shapes(kShapeCacheBudget);
thread_local TShapeCacheFigures g_shape_figures;

void KeepShapes(TShapeKey key, std::optional<QList<QGlyphRun>> shapes) {
  const qsizetype bytes = BytesOf(key, shapes);
  g_shapes.Insert(std::move(key), std::move(shapes), bytes);
  g_shape_figures.PeakBytes = std::max(g_shape_figures.PeakBytes, g_shapes.Cost());
}

// QPainter::drawText(baseline, text) in the painter's font, `font` being its key.
void DrawShaped(QPainter *p, const TFontKey &font, QPointF baseline, const QString &text) {
  // A glyph per character at least: a text that would take too much is not kept, as one long
  // line would push out all the words drawn on every paint.
  const qsizetype least = kEntryBytes + kRunBytes + text.size() * (qsizetype(sizeof(QChar)) + kGlyphBytes);
  if (!ShapesAlone(text) || !g_shapes.Keeps(least)) return p->drawText(baseline, text);
  TShapeKey key{font, p->device()->devicePixelRatio(), text};
  const std::optional<QList<QGlyphRun>> *kept = g_shapes.Find(key);
  if (!kept) {
    KeepShapes(std::move(key), std::nullopt);
    return p->drawText(baseline, text);
  }
  QList<QGlyphRun> shapes;
  if (*kept) {
    shapes = **kept;
  } else {
    ++g_shape_figures.Shaped;
    shapes = Shape(p->font(), text, p->device());
    KeepShapes(std::move(key), shapes);
  }
  for (const QGlyphRun &run : shapes)
    p->drawGlyphRun(baseline, run);
}

// Whether DrawText does more to the text than draw it on one line: "&" prefixes, tabs, breaks.
bool NeedsLayout(const QString &text, TTextFlags flags) {
  for (QChar c : text)
    if ((c == u'&' && !(flags & tfNoPrefix)) || c == u'\t' || c == u'\r' || c == u'\n') return true;
  return false;
}

} // namespace

TShapeCacheFigures ShapeCacheFigures() {
  TShapeCacheFigures f = g_shape_figures;
  f.Entries = g_shapes.Size();
  f.Bytes = g_shapes.Cost();
  return f;
}

TCanvas::TCanvas() = default;

TCanvas::TCanvas(QPaintDevice *device)
    : device_(device), own_painter_(std::make_unique<QPainter>()), painter_(own_painter_.get()),
      qt_measure_(DpiOf(device)) {}

TCanvas::TCanvas(QPainter *painter)
    : device_(painter ? painter->device() : nullptr), painter_(painter), qt_measure_(DpiOf(device_)) {
  if (!painter_) return;
  painter_->save();
  base_transform_ = painter_->worldTransform();
  if (painter_->hasClipping()) base_clip_ = painter_->clipRegion();
}

TCanvas::~TCanvas() {
  if (own_painter_)
    EndPaint();
  else if (painter_)
    painter_->restore();
}

void TCanvas::EndPaint() {
  if (own_painter_ && own_painter_->isActive()) own_painter_->end();
}

QPainter *TCanvas::Prepare() {
  if (!painter_ || !device_) return nullptr;
  if (own_painter_ && !own_painter_->isActive()) {
    if (const QImage *image = ImageOf(device_); image && image->isNull()) return nullptr; // an empty bitmap

    if (!own_painter_->begin(device_)) return nullptr;
    applied_ = false;
  }
  QPainter *p = painter_;
  if (!applied_) {
    p->setWorldTransform(base_transform_);
    if (clip_)
      p->setClipRegion(*clip_);
    else if (base_clip_)
      p->setClipRegion(*base_clip_);
    else
      // Not setClipping(false): after it, Qt 6.4 ignores the next clip that is not a rectangle.
      p->setClipRegion(QRegion(), Qt::NoClip);
    p->translate(origin_);
    p->setBrushOrigin(-origin_);
    applied_ = true;
  }
  p->setCompositionMode(QPainter::CompositionMode_SourceOver);
  p->setRenderHint(QPainter::Antialiasing, false);
  p->setRenderHint(QPainter::SmoothPixmapTransform, false);
  return p;
}

QBrush TCanvas::QtBrush() const {
  if (!Visible(Brush)) return QBrush(Qt::NoBrush);
  const QColor c = ToQColor(Brush.Color);
  switch (Brush.Style) {
  case bsHorizontal:
    return QBrush(c, Qt::HorPattern);
  case bsVertical:
    return QBrush(c, Qt::VerPattern);
  case bsFDiagonal:
    return QBrush(c, Qt::FDiagPattern);
  case bsBDiagonal:
    return QBrush(c, Qt::BDiagPattern);
  case bsCross:
    return QBrush(c, Qt::CrossPattern);
  case bsDiagCross:
    return QBrush(c, Qt::DiagCrossPattern);
  case bsDither: {
    QImage tile(8, 8, QImage::Format_RGB32);
    const QRgb a = ToQRgb(Brush.Color), b = ToQRgb(Brush.DitherColor);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x)
        tile.setPixel(x, y, (x + y) % 2 ? b : a);
    return QBrush(tile);
  }
  case bsSolid:
  case bsClear:
    break;
  }
  return QBrush(c);
}

void TCanvas::FillSolid(const QRect &r, TColor c) {
  QPainter *p = Prepare();
  if (p && c != clNone && !r.isEmpty()) p->fillRect(r, ToQColor(c));
}

void TCanvas::Segment(QPainter *p, QPoint from, QPoint to) {
  const QPen pen = QtPen(Pen);
  if (pen.style() == Qt::NoPen || from == to) return;
  if (pen.width() > 1) {
    p->setPen(pen);
    p->drawLine(QPointF(from) + QPointF(0.5, 0.5), QPointF(to) + QPointF(0.5, 0.5));
    return;
  }
  // One pixel wide: every pixel from `from` up to, not including, `to`, whatever the direction
  // (Qt's own lines leave out whichever end comes last in its drawing order).
  const QColor colour = pen.color();
  const int dx = std::abs(to.x() - from.x()), dy = std::abs(to.y() - from.y());
  const int sx = to.x() > from.x() ? 1 : -1, sy = to.y() > from.y() ? 1 : -1;
  if (Pen.Style == psSolid || Pen.Style == psInsideFrame) {
    if (dy == 0) return p->fillRect(QRect(sx > 0 ? from.x() : to.x() + 1, from.y(), dx, 1), colour);
    if (dx == 0) return p->fillRect(QRect(from.x(), sy > 0 ? from.y() : to.y() + 1, 1, dy), colour);
  }
  static const std::vector<int> kPatterns[] = {{1}, {6, 2}, {1, 1}, {6, 2, 1, 2}, {6, 2, 1, 2, 1, 2}};
  const std::vector<int> &pattern = kPatterns[Pen.Style <= psDashDotDot ? Pen.Style : 0];
  std::size_t part = 0;
  int left = pattern[0];
  int x = from.x(), y = from.y(), error = dx - dy;
  for (int n = std::max(dx, dy); n > 0; --n) {
    if (part % 2 == 0) p->fillRect(QRect(x, y, 1, 1), colour);
    if (--left == 0) {
      part = (part + 1) % pattern.size();
      left = pattern[part];
    }
    const int e2 = 2 * error;
    if (e2 > -dy) {
      error -= dy;
      x += sx;
    }
    if (e2 < dx) {
      error += dx;
      y += sy;
    }
  }
}

void TCanvas::LineTo(int x, int y) {
  if (QPainter *p = Prepare()) Segment(p, pen_pos_, {x, y});
  pen_pos_ = {x, y};
}

void TCanvas::Polyline(const QPolygon &points) {
  QPainter *p = Prepare();
  if (!p) return;
  for (qsizetype i = 0; i + 1 < points.size(); ++i)
    Segment(p, points[i], points[i + 1]);
}

void TCanvas::Polygon(const QPolygon &points) {
  QPainter *p = Prepare();
  if (!p || points.size() < 2) return;
  if (Visible(Brush)) {
    p->setPen(Qt::NoPen);
    p->setBrush(QtBrush());
    p->drawPolygon(points, Qt::OddEvenFill);
  }
  for (qsizetype i = 0; i < points.size(); ++i)
    Segment(p, points[i], points[(i + 1) % points.size()]);
}

void TCanvas::FillRect(const TRect &r) {
  QPainter *p = Prepare();
  if (p && Visible(Brush) && !r.IsEmpty()) p->fillRect(ToQRect(r), QtBrush());
}

void TCanvas::FrameRect(const TRect &r) {
  QPainter *p = Prepare();
  if (!p || !Visible(Brush) || r.IsEmpty()) return;
  const QBrush b = QtBrush();
  p->fillRect(QRect(r.Left, r.Top, r.Width(), 1), b);
  p->fillRect(QRect(r.Left, r.Bottom - 1, r.Width(), 1), b);
  p->fillRect(QRect(r.Left, r.Top, 1, r.Height()), b);
  p->fillRect(QRect(r.Right - 1, r.Top, 1, r.Height()), b);
}

void TCanvas::Rectangle(const TRect &r) {
  QPainter *p = Prepare();
  if (!p || r.IsEmpty()) return;
  if (Visible(Brush)) p->fillRect(ToQRect(r), QtBrush());
  const QPen pen = QtPen(Pen);
  if (pen.style() == Qt::NoPen) return;
  p->setPen(pen);
  p->setBrush(Qt::NoBrush);
  if (pen.width() == 1)
    p->drawRect(QRect(r.Left, r.Top, r.Width() - 1, r.Height() - 1));
  else
    p->drawRect(QRectF(r.Left + 0.5, r.Top + 0.5, r.Width() - 1, r.Height() - 1));
}

void TCanvas::RoundRect(const TRect &r, int ellipse_width, int ellipse_height) {
  QPainter *p = Prepare();
  if (!p || r.IsEmpty()) return;
  const qreal rx = std::max(0, ellipse_width) / 2.0, ry = std::max(0, ellipse_height) / 2.0;
  if (Visible(Brush)) {
    QPainterPath path;
    path.addRoundedRect(QRectF(ToQRect(r)), rx, ry);
    p->fillPath(path, QtBrush());
  }
  if (!Visible(Pen)) return;
  p->setPen(QtPen(Pen));
  p->setBrush(Qt::NoBrush);
  p->drawRoundedRect(QRect(r.Left, r.Top, r.Width() - 1, r.Height() - 1), rx, ry);
}

void TCanvas::Ellipse(const TRect &r) {
  QPainter *p = Prepare();
  if (!p || r.IsEmpty()) return;
  if (Visible(Brush)) {
    p->setPen(Qt::NoPen);
    p->setBrush(QtBrush());
    p->drawEllipse(ToQRect(r));
  }
  if (!Visible(Pen)) return;
  p->setPen(QtPen(Pen));
  p->setBrush(Qt::NoBrush);
  p->drawEllipse(QRect(r.Left, r.Top, r.Width() - 1, r.Height() - 1));
}

TColor TCanvas::Pixel(int x, int y) const {
  const QImage *image = ImageOf(device_);
  const QPoint d(x + origin_.x(), y + origin_.y());
  if (!image || !image->rect().contains(d)) return clNone;
  return FromQColor(QColor(image->pixel(d)));
}

void TCanvas::SetPixel(int x, int y, TColor c) {
  FillSolid(QRect(x, y, 1, 1), c);
}

void TCanvas::Ring(const TRect &r, TColor top_left, TColor bottom_right, unsigned sides) {
  if (r.IsEmpty()) return;
  if (sides & BF_TOP) FillSolid(QRect(r.Left, r.Top, r.Width(), 1), top_left);
  if (sides & BF_LEFT) FillSolid(QRect(r.Left, r.Top, 1, r.Height()), top_left);
  if (sides & BF_RIGHT) FillSolid(QRect(r.Right - 1, r.Top, 1, r.Height()), bottom_right);
  if (sides & BF_BOTTOM) FillSolid(QRect(r.Left, r.Bottom - 1, r.Width(), 1), bottom_right);
}

void TCanvas::Frame3D(TRect &r, TColor top_left, TColor bottom_right, int width) {
  for (int i = 0; i < width; ++i) {
    Ring(r, top_left, bottom_right, BF_RECT);
    InflateRect(r, -1, -1);
  }
}

bool TCanvas::DrawEdge(TRect &r, unsigned edge, unsigned flags) {
  const unsigned outer = edge & (BDR_RAISEDOUTER | BDR_SUNKENOUTER);
  const unsigned inner = edge & (BDR_RAISEDINNER | BDR_SUNKENINNER);
  if (!outer && !inner) return false;
  const bool soft = flags & BF_SOFT;
  TColor o_tl, o_br, i_tl, i_br;
  if (flags & BF_MONO) {
    o_tl = o_br = clWindowFrame;
    i_tl = i_br = clWindow;
  } else if (flags & BF_FLAT) {
    o_tl = o_br = clBtnShadow;
    i_tl = i_br = clBtnFace;
  } else {
    o_tl =
        (outer & BDR_RAISEDOUTER) ? (soft ? clBtnHighlight : cl3DLight) : (soft ? cl3DDkShadow : clBtnShadow);
    o_br = (outer & BDR_RAISEDOUTER) ? cl3DDkShadow : clBtnHighlight;
    i_tl =
        (inner & BDR_RAISEDINNER) ? (soft ? cl3DLight : clBtnHighlight) : (soft ? clBtnShadow : cl3DDkShadow);
    i_br = (inner & BDR_RAISEDINNER) ? clBtnShadow : cl3DLight;
  }
  const unsigned sides = flags & BF_RECT;
  TRect ring = r;
  int width = 0;
  for (bool is_outer : {true, false}) {
    if (!(is_outer ? outer : inner)) continue;
    Ring(ring, is_outer ? o_tl : i_tl, is_outer ? o_br : i_br, sides);
    InflateRect(ring, -1, -1);
    ++width;
  }
  TRect inside = r;
  if (sides & BF_LEFT) inside.Left += width;
  if (sides & BF_TOP) inside.Top += width;
  if (sides & BF_RIGHT) inside.Right -= width;
  if (sides & BF_BOTTOM) inside.Bottom -= width;
  if ((flags & BF_MIDDLE) && !inside.IsEmpty())
    FillSolid(ToQRect(inside), (flags & BF_MONO) ? clWindow : clBtnFace);
  if (flags & BF_ADJUST) r = inside;
  return true;
}

void TCanvas::DrawFocusRect(const TRect &r) {
  QPainter *p = Prepare();
  if (!p || r.IsEmpty()) return;
  p->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  // Every other pixel of the border, counted in device coordinates, each exactly once.
  auto dot = [&](int x, int y) {
    if ((x + origin_.x() + y + origin_.y()) % 2 == 0) p->fillRect(QRect(x, y, 1, 1), Qt::white);
  };
  for (int x = r.Left; x < r.Right; ++x) {
    dot(x, r.Top);
    if (r.Bottom - 1 > r.Top) dot(x, r.Bottom - 1);
  }
  for (int y = r.Top + 1; y < r.Bottom - 1; ++y) {
    dot(r.Left, y);
    if (r.Right - 1 > r.Left) dot(r.Right - 1, y);
  }
  p->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TCanvas::SetClipRect(const TRect &r) {
  clip_ = QRegion(ToQRect(r).translated(origin_));
  applied_ = false;
}

void TCanvas::IntersectClipRect(const TRect &r) {
  const QRegion rect(ToQRect(r).translated(origin_));
  clip_ = clip_ ? clip_->intersected(rect) : rect;
  applied_ = false;
}

void TCanvas::SetClipRoundRect(const TRect &r, int ellipse_width, int ellipse_height) {
  QPainterPath path;
  path.addRoundedRect(QRectF(ToQRect(r).translated(origin_)), std::max(0, ellipse_width) / 2.0,
                      std::max(0, ellipse_height) / 2.0);
  clip_ = QRegion(path.toFillPolygon().toPolygon());
  applied_ = false;
}

void TCanvas::SetClipRegion(const QRegion &region) {
  clip_ = region.translated(origin_);
  applied_ = false;
}

void TCanvas::ClearClip() {
  clip_.reset();
  applied_ = false;
}

void TCanvas::MoveOrigin(int dx, int dy) {
  origin_ += QPoint(dx, dy);
  applied_ = false;
}

void TCanvas::Save() {
  saved_.push_back({Pen, Brush, Font, pen_pos_, origin_, clip_});
}

void TCanvas::Restore() {
  if (saved_.empty()) return;
  State &s = saved_.back();
  Pen = s.pen;
  Brush = s.brush;
  Font = s.font;
  pen_pos_ = s.pen_pos;
  origin_ = s.origin;
  clip_ = std::move(s.clip);
  saved_.pop_back();
  applied_ = false;
}

const TCanvas::TDrawingFont &TCanvas::DrawingFont() {
  TFont plain = Font;
  plain.Style &= fsBold | fsItalic;
  TFontKey key = FontKey(plain, PixelsPerInch());
  if (!drawing_font_ || !(drawing_font_->Key == key)) {
    TQtFont qt = QtFontOf(plain, PixelsPerInch());
    // Qt's own underline rounds its offset up, away from the text.
    const int underline = int(std::ceil(QFontMetricsF(qt.Font).underlinePos()));
    drawing_font_ = TDrawingFont{std::move(key), std::move(qt), underline};
  }
  return *drawing_font_;
}

void TCanvas::DrawTextLine(QPainter *p, int x, int y, const QString &text, int mnemonic) {
  if (text.isEmpty()) return;
  // Lines under and through the text are drawn here over the measured width, so that runs
  // drawn one after the other join without the gaps Qt's fractional ends leave.
  const TDrawingFont &font = DrawingFont();
  const QFontMetrics &fm = font.Qt.Metrics;
  const int esc = Font.NormalizedEscapement();
  if (esc != 0) {
    p->save();
    p->translate(x, y);
    p->rotate(-esc / 10.0);
    x = y = 0;
  }
  if (Visible(Brush))
    p->fillRect(QRect(x, y, measure_->TextWidth(Font, text), measure_->TextHeight(Font)),
                ToQColor(Brush.Color));
  const QColor colour = ToQColor(Font.Color);
  p->setPen(colour);
  p->setFont(font.Qt.Font);
  DrawShaped(p, font.Key, QPointF(x, y + fm.ascent()), text);
  const int line_width = std::max(1, int(fm.lineWidth()));
  const int underline_y = y + fm.ascent() + font.UnderlineOffset;
  if (Font.Has(fsUnderline) || Font.Has(fsStrikeOut)) {
    const int width = measure_->TextWidth(Font, text);
    if (Font.Has(fsUnderline)) p->fillRect(QRect(x, underline_y, width, line_width), colour);
    if (Font.Has(fsStrikeOut))
      p->fillRect(QRect(x, y + fm.ascent() - fm.strikeOutPos(), width, line_width), colour);
  }
  if (mnemonic >= 0 && mnemonic < text.size()) {
    const int length = text[mnemonic].isHighSurrogate() ? 2 : 1;
    const int ux = measure_->TextWidth(Font, text.left(mnemonic));
    const int uw = measure_->TextWidth(Font, text.mid(mnemonic, length));
    p->fillRect(QRect(x + ux, underline_y, uw, line_width), colour);
  }
  if (esc != 0) p->restore();
}

void TCanvas::TextOut(int x, int y, const QString &text) {
  if (QPainter *p = Prepare()) DrawTextLine(p, x, y, text, -1);
  pen_pos_ = {x + TextWidth(text), y};
}

void TCanvas::TextRect(const TRect &r, int x, int y, const QString &text) {
  Save();
  IntersectClipRect(r);
  FillRect(r);
  TextOut(x, y, text);
  Restore();
}

int TCanvas::DrawText(const QString &text, TRect &r, TTextFlags flags) {
  const TTextLayout layout = LayoutText(*measure_, Font, text, r, flags);
  if (flags & tfCalcRect) {
    r = layout.bounds;
    return layout.height;
  }
  Save();
  if (!(flags & tfNoClip)) IntersectClipRect(r);
  if (QPainter *p = Prepare())
    for (const TTextLine &line : layout.lines)
      DrawTextLine(p, line.x, line.y, line.text, line.mnemonic);
  Restore();
  return layout.height;
}

void TCanvas::DrawTextRuns(const std::vector<TTextRun> &runs, const TRect &r, TTextFlags flags) {
  // One left-aligned line per run, placed as LayoutText places it; other flags take DrawText.
  constexpr TTextFlags kOneLine =
      tfSingleLine | tfVCenter | tfBottom | tfExpandTabs | tfNoClip | tfExternalLeading | tfNoPrefix;
  const bool one_line = (flags & tfSingleLine) && !(flags & ~kOneLine);
  const int height = (flags & tfExternalLeading) ? measure_->LineHeight(Font) : measure_->TextHeight(Font);
  const int top = BlockTop(r, height, flags);
  for (const TTextRun &run : runs) {
    TRect cell = Rect(run.X, r.Top, r.Right, r.Bottom);
    if (!one_line || NeedsLayout(run.Text, flags)) {
      DrawText(run.Text, cell, flags);
      continue;
    }
    QPainter *p = Prepare();
    if (!p) return;
    const bool clip = !(flags & tfNoClip);
    if (clip && cell.IsEmpty()) continue;
    if (clip) {
      p->save();
      p->setClipRect(ToQRect(cell), Qt::IntersectClip);
    }
    DrawTextLine(p, run.X, top, run.Text, -1);
    if (clip) p->restore();
  }
}

void TCanvas::Draw(int x, int y, const TBitmap &bitmap) {
  CopyRect(Bounds(x, y, bitmap.Width(), bitmap.Height()), bitmap,
           Bounds(0, 0, bitmap.Width(), bitmap.Height()));
}

void TCanvas::StretchDraw(const TRect &dest, const TBitmap &bitmap) {
  CopyRect(dest, bitmap, Bounds(0, 0, bitmap.Width(), bitmap.Height()));
}

void TCanvas::CopyRect(const TRect &dest, const TBitmap &bitmap, const TRect &source) {
  if (!bitmap.Empty()) DrawImage(dest, bitmap.Image(), source);
}

void TCanvas::StretchDrawKeyed(const TRect &dest, const TBitmap &bitmap, const TRect &source, TColor key) {
  if (bitmap.Empty()) return; // no key pixel to read and nothing to draw
  if (key == clNone) return CopyRect(dest, bitmap, source);
  if (key == clDefault) key = bitmap.TransparentColor();
  DrawImage(dest, KeyedImage(bitmap.Image(), key), source);
}

void TCanvas::DrawKeyed(int x, int y, const TBitmap &bitmap, TColor key) {
  StretchDrawKeyed(Bounds(x, y, bitmap.Width(), bitmap.Height()), bitmap,
                   Bounds(0, 0, bitmap.Width(), bitmap.Height()), key);
}

void TCanvas::BrushThroughMask(int x, int y, const TBitmap &mask, TColor where) {
  if (mask.Empty() || !Visible(Brush)) return;
  const QImage &source = mask.Image();
  QImage paint(source.size(), QImage::Format_ARGB32);
  paint.fill(Qt::transparent);
  const QRgb match = ToQRgb(where), colour = ToQRgb(Brush.Color);
  for (int py = 0; py < source.height(); ++py) {
    const QRgb *in = reinterpret_cast<const QRgb *>(source.constScanLine(py));
    QRgb *out = reinterpret_cast<QRgb *>(paint.scanLine(py));
    for (int px = 0; px < source.width(); ++px)
      if ((in[px] | 0xFF000000u) == match) out[px] = colour;
  }
  DrawImage(Bounds(x, y, paint.width(), paint.height()), paint, Bounds(0, 0, paint.width(), paint.height()));
}

void TCanvas::EmbossMask(int x, int y, const TBitmap &mask, TColor where, TColor main, TColor highlight,
                         bool with_highlight) {
  const TBrush saved = Brush;
  Brush = {highlight, bsSolid, clWhite};
  if (with_highlight) BrushThroughMask(x + 1, y + 1, mask, where);
  Brush.Color = main;
  BrushThroughMask(x, y, mask, where);
  Brush = saved;
}

void TCanvas::DrawImage(const TRect &dest, const QImage &image, const TRect &source) {
  QPainter *p = Prepare();
  if (!p || image.isNull() || dest.IsEmpty() || source.IsEmpty()) return;
  p->drawImage(QRectF(ToQRect(dest)), image, QRectF(ToQRect(source)));
}

} // namespace kv::ui
