#include "controls/edits/bitmap_utils.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "controls/edits/resources.h"
#include "platform/ui/screen_cursors.h"

namespace kv::edits {

using namespace ui;

namespace {

QCursor LoadResourceCursor(const char *name, int hot_x, int hot_y) {
  InitEditsResources();
  const QPixmap picture(QStringLiteral(":/edits/%1.png").arg(QLatin1String(name)));
  return picture.isNull() ? QCursor(Qt::ArrowCursor) : QCursor(picture, hot_x, hot_y);
}

[[maybe_unused]] const bool g_cursors_registered = (RegisterKvCursors(), true);

QSize PrimaryScreenSize() {
  const QScreen *screen = qobject_cast<QGuiApplication *>(QCoreApplication::instance())
                              ? QGuiApplication::primaryScreen()
                              : nullptr;
  return screen ? screen->geometry().size() : QSize();
}

} // namespace

void RegisterKvCursors() {
  RegisterScreenCursor(crKvHand, [] { return LoadResourceCursor("KV_HANDCUR", 6, 0); });
  RegisterScreenCursor(crKvDrag, [] { return LoadResourceCursor("KV_DRAGCUR", 0, 0); });
}

void PaintParentBackground(QWidget *control, TCanvas &canvas) {
  QWidget *parent = control ? control->parentWidget() : nullptr;
  if (!parent || !canvas.Painter()) return;
  const QRect bounds = control->geometry();
  canvas.Save();
  canvas.MoveOrigin(-bounds.x(), -bounds.y());
  canvas.IntersectClipRect(FromQRect(parent->rect()));
  parent->render(canvas.Painter(), QPoint(), QRegion(bounds), QWidget::DrawWindowBackground);
  for (QObject *child : parent->children()) {
    if (child == control) break;
    auto *sibling = qobject_cast<QWidget *>(child);
    if (!sibling || sibling->isWindow() || !sibling->isVisibleTo(parent) ||
        !sibling->geometry().intersects(bounds))
      continue;
    canvas.Save();
    canvas.MoveOrigin(sibling->x(), sibling->y());
    canvas.IntersectClipRect(FromQRect(sibling->rect()));
    sibling->render(canvas.Painter(), QPoint(), QRegion(),
                    QWidget::DrawWindowBackground | QWidget::DrawChildren);
    canvas.Restore();
  }
  canvas.Restore();
}

void StretchBlitMasked(TCanvas &dest, const TRect &dest_rect, const TBitmap &source, const TRect &source_rect,
                       TColor key) {
  dest.StretchDrawKeyed(dest_rect, source, source_rect, key);
}

void StretchBitmapMasked(TCanvas &canvas, const TBitmap &bitmap, TColor key, int dx, int dy, int dw, int dh,
                         int sx, int sy, int sw, int sh) {
  if (bitmap.Empty()) return; // it has no bottom-left pixel to key on, and nothing to draw
  if (dw < 1) dw = bitmap.Width();
  if (dh < 1) dh = bitmap.Height();
  if (sw < 1 || sh < 1) {
    sx = sy = 0;
    sw = bitmap.Width();
    sh = bitmap.Height();
  }
  const TRect dest = Bounds(dx, dy, dw, dh), source = Bounds(sx, sy, sw, sh);
  if (key == clNone) return canvas.CopyRect(dest, bitmap, source);
  if (key == clDefault) key = bitmap.TransparentColor();
  StretchBlitMasked(canvas, dest, bitmap, source, bitmap.Monochrome() ? clWhite : ColorToRGB(key));
}

void DrawBitmapMasked(TCanvas &canvas, int x, int y, const TBitmap &bitmap, TColor key) {
  StretchBitmapMasked(canvas, bitmap, key, x, y, bitmap.Width(), bitmap.Height(), 0, 0, bitmap.Width(),
                      bitmap.Height());
}

TBitmap MakeEmbossedBitmap(const TBitmap &bitmap, TColor background) {
  TBitmap result(bitmap.Width(), bitmap.Height());
  if (result.Empty()) return result;
  result.Canvas().Brush = {background, bsSolid, clWhite};
  result.Canvas().FillRect(Bounds(0, 0, result.Width(), result.Height()));
  TBitmap mask(bitmap.Width(), bitmap.Height()); // white; the glyph's shape turns black
  DrawBitmapMasked(mask.Canvas(), 0, 0, bitmap, background);
  mask.SetMonochrome(true);
  result.Canvas().EmbossMask(0, 0, mask, clBlack, clBtnShadow, clBtnHighlight, true);
  return result;
}

TBitmap MakeDisabledBitmapEx(const TBitmap &bitmap, TColor outline, TColor background, TColor highlight,
                             TColor shadow, bool with_highlight) {
  TBitmap result(bitmap.Width(), bitmap.Height());
  if (result.Empty()) return result;
  TBitmap mask(bitmap);
  mask.Canvas().Brush.Color = outline;
  if (mask.Monochrome()) {
    mask.Canvas().Brush.Color = clWhite;
    mask.SetMonochrome(false);
  }
  mask.SetMonochrome(true); // the outline pixels white, all others black
  result.Canvas().Brush = {background, bsSolid, clWhite};
  result.Canvas().FillRect(Bounds(0, 0, result.Width(), result.Height()));
  result.Canvas().EmbossMask(0, 0, mask, clWhite, shadow, highlight, with_highlight);
  return result;
}

TBitmap MakeDisabledBitmap(const TBitmap &bitmap, TColor outline) {
  return MakeDisabledBitmapEx(bitmap, outline, clBtnFace, clBtnHighlight, clBtnShadow, true);
}

void DrawImageListGlyphDisabled(const TCustomImageList &images, TCanvas &canvas, int x, int y, int index,
                                TColor main, TColor highlight, bool with_highlight) {
  images.DrawEmbossed(canvas, x, y, index, main, highlight, with_highlight);
}

TColor PaletteRgb(TColor c) {
  return ColorToRGB(c) | PaletteRelativeFlag;
}

namespace {

QEvent::Type DropMarkerType() {
  static const auto type = QEvent::Type(QEvent::registerEventType());
  return type;
}

// Drops the first event of one type that comes to its object before its marker does. The marker
// is queued behind every event pending when the drop is asked for, so the event dropped is the
// first of those, and when the marker comes first none was pending. Nothing is taken out of the
// queue or put back, so all other events keep their places.
class PendingDrop : public QObject {
public:
  PendingDrop(const QObject *window, QEvent::Type type);
  ~PendingDrop() override { Forget(); }

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void Forget();

  const QObject *window_;
  QEvent::Type type_;
  bool taken_ = false;
};

// The drops that wait, oldest first. An object's filters see its events newest first, so an
// event is given to the oldest drop of its type that has none yet, whichever filter sees it:
// with two drops asked one after the other, each takes the event pending at its own call. A
// marker may be thrown away in another thread than its object's.
std::mutex g_drops_lock;
std::vector<PendingDrop *> g_drops;

PendingDrop::PendingDrop(const QObject *window, QEvent::Type type) : window_(window), type_(type) {
  std::lock_guard<std::mutex> lock(g_drops_lock);
  g_drops.push_back(this);
}

void PendingDrop::Forget() {
  std::lock_guard<std::mutex> lock(g_drops_lock);
  std::erase(g_drops, this);
}

// The marker owns its drop: delivered or thrown away with its object's queue, it ends the drop.
struct DropMarker : QEvent {
  explicit DropMarker(std::unique_ptr<PendingDrop> drop) : QEvent(DropMarkerType()), Drop(std::move(drop)) {}
  std::unique_ptr<PendingDrop> Drop;
};

bool PendingDrop::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == DropMarkerType()) {
    if (static_cast<DropMarker *>(event)->Drop.get() != this) return false;
    watched->removeEventFilter(this);
    Forget();
    return true;
  }
  // What the window system delivers directly was never queued.
  if (event->type() != type_ || event->spontaneous()) return false;
  std::lock_guard<std::mutex> lock(g_drops_lock);
  for (PendingDrop *drop : g_drops)
    if (drop->window_ == watched && drop->type_ == type_ && !drop->taken_) {
      drop->taken_ = true;
      return true;
    }
  return false;
}

} // namespace

void DropPendingMessage(QObject *window, QEvent::Type type) {
  // Type 0 would mean every type; a quit is never lost and a deferred delete never leaks.
  if (!window || type == QEvent::None || type == QEvent::Quit || type == QEvent::DeferredDelete) return;
  // Only an object of this thread can be watched from here.
  if (window->thread() != QThread::currentThread()) return;
  auto drop = std::make_unique<PendingDrop>(window, type);
  window->installEventFilter(drop.get());
  QCoreApplication::postEvent(window, new DropMarker(std::move(drop)));
}

void KeepRectOnScreen(TRect &r, const QSize &screen) {
  if (r.Right > screen.width()) OffsetRect(r, screen.width() - r.Right, 0);
  if (r.Bottom > screen.height()) OffsetRect(r, 0, screen.height() - r.Bottom);
  if (r.Left < 0) OffsetRect(r, -r.Left, 0);
  if (r.Top < 0) OffsetRect(r, 0, -r.Top);
}

void KeepRectOnScreen(TRect &r) {
  const QSize screen = PrimaryScreenSize();
  if (screen.isValid()) KeepRectOnScreen(r, screen);
}

QPoint CenteredOnScreen(const QSize &window, const QSize &screen) {
  return {std::max(0, (screen.width() - window.width()) / 2),
          std::max(0, (screen.height() - window.height()) / 2)};
}

void CenterWindowOnScreen(QWidget *window) {
  const QSize screen = PrimaryScreenSize();
  if (window && screen.isValid()) window->move(CenteredOnScreen(window->frameGeometry().size(), screen));
}

QString ShortenToWidth(const QString &text, const TTextMeasure &measure, const TFont &font, int max_width) {
  if (measure.TextWidth(font, text) <= max_width) return text;
  const std::vector<int> bounds = CharacterBoundaries(text);
  const int length = int(bounds.size()) - 1;
  QString result = text;
  for (int i = 1; i <= length && measure.TextWidth(font, result) > max_width; ++i)
    result = text.left(bounds[std::max(0, length - i - 1)]) + QStringLiteral("...");
  return result;
}

QString ShortenToWidth(const QString &text, const TCanvas &canvas, int max_width) {
  return ShortenToWidth(text, canvas.Measure(), canvas.Font, max_width);
}

bool ActiveWindowIsOurs() {
  auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
  return app && QThread::currentThread() == app->thread() && QGuiApplication::focusWindow() != nullptr;
}

} // namespace kv::edits
