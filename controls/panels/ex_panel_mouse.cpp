// Mouse handling of TCustomExPanel: the anchor hit test, presses on the caption buttons, the
// caption and anchors, hover tracking with its events, the anchor hint and the caption double
// click.
#include <QHelpEvent>
#include <QMouseEvent>
#include <QToolTip>

#include "controls/panels/ex_panel.h"
#include "controls/panels/markup_renderer.h"
#include "controls/panels/picture.h"
#include "controls/panels/picture_container.h"
#include "platform/shell.h"
#include "platform/ui/canvas.h"
#include "platform/ui/image_list.h"

namespace kv::panels {

using namespace kv::ui;

namespace {

TUrlOpener &Opener() {
  static TUrlOpener opener = [](const QString &url) {
    // The opener's verdict is not awaited: the panel ignores it.
    kv::platform::ShellOpen(url.toStdString(), std::chrono::milliseconds(0));
  };
  return opener;
}

} // namespace

TUrlOpener TCustomExPanel::SetUrlOpener(TUrlOpener Opener_) {
  TUrlOpener old = std::move(Opener());
  Opener() = std::move(Opener_);
  return old;
}

bool TCustomExPanel::IsOpenedByShell(const QString &Anchor) {
  for (const char *scheme : {"http://", "https://", "mailto:"})
    if (Anchor.startsWith(QLatin1String(scheme), Qt::CaseInsensitive)) return true;
  return false;
}

void TCustomExPanel::GetAnchorAt(int X, int Y, QString &Anchor, TRect &AnchorRect) {
  Anchor.clear();
  const bool caption = caption_->Visible() && Y < caption_->Height();
  TCanvas canvas;
  PrepareMeasureCanvas(canvas, caption ? caption_->Font() : font_);
  TMarkupParams p;
  // The text is tested where painting puts it.
  const auto images = TextParams(p, caption ? CaptionTextRect() : BodyTextRect());
  p.X = X;
  p.Y = Y;
  p.HoverLink = -1;
  p.ShadowOffset = 2;
  p.CheckOnly = true;
  p.Hover = false;
  p.HoverColor = clBlue;
  p.HoverFontColor = clRed;
  p.ShadowColor = clGray;
  TMarkupResult result;
  const bool hit = DrawMarkup(canvas, caption ? caption_->Text() : text_, p, result);
  (caption ? hover_caption_ : hover_body_) = result.MouseLink;
  AnchorRect = result.HoverRect;
  if (hit) Anchor = result.AnchorVal;
}

void TCustomExPanel::OpenOrRaiseAnchor(const QString &anchor) {
  if (IsOpenedByShell(anchor)) {
    if (Opener()) Opener()(anchor);
    return;
  }
  if (OnAnchorClick) OnAnchorClick(this, anchor);
}

void TCustomExPanel::PanelMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y) {
  QPointer<TCustomExPanel> self(this);
  if (OnMouseDown) OnMouseDown(this, button, modifiers, x, y);
  if (!self) return;
  const QPoint pt(x, y);
  if (caption_->Visible()) {
    const TPanelFrame f = Frame();
    if (caption_->CloseButton() && CloseButtonRect(f).Contains(pt)) {
      SetVisible(false);
      if (OnClose) OnClose(this);
      if (!self) return;
      ReArrangeGroup();
      if (free_on_close_) {
        // Released from the event loop, and not before a running collapse has ended.
        if (collapsing_)
          free_after_collapse_ = true;
        else
          deleteLater();
        return;
      }
    }
    if (caption_->MinMaxButton() && MinMaxButtonRect(f).Contains(pt)) SetCollaps(!collaps_);
    if (CaptionClickRect(f).Contains(pt) && OnCaptionClick) {
      OnCaptionClick(this);
      if (!self) return;
    }
  }
  QString anchor;
  TRect anchor_rect;
  GetAnchorAt(x, y, anchor, anchor_rect);
  if (!anchor.isEmpty()) OpenOrRaiseAnchor(anchor);
}

void TCustomExPanel::InvalidateAnchor(const TRect &r) {
  if (!r.IsEmpty()) update(ToQRect(r));
}

void TCustomExPanel::PanelMouseMove(int x, int y) {
  QString a;
  TRect ar;
  GetAnchorAt(x, y, a, ar);
  dragging_by_caption_ = false;
  // An anchor was entered: hand cursor and OnAnchorEnter.
  auto enter = [&] {
    if (cursor_ == load_cursor_ || a != current_anchor_) {
      if (anchor_hint_) QToolTip::hideText();
      SetCursor(crHandPoint);
      if (OnAnchorEnter) OnAnchorEnter(this, a);
      if (hover_) InvalidateAnchor(ar);
    }
  };
  if (caption_->Visible() && y < caption_->Height()) {
    if (hover_body_ != -1) {
      if (hover_) InvalidateAnchor(body_anchor_rect_);
      hover_body_ = previous_body_ = -1;
    }
    if (!a.isEmpty()) {
      if (a != current_anchor_ || ar != caption_anchor_rect_ || hover_caption_ == -1) {
        if (!current_anchor_.isEmpty() && hover_) InvalidateAnchor(caption_anchor_rect_);
        if (hover_) InvalidateAnchor(ar);
      }
      enter();
      current_anchor_ = a;
      caption_anchor_rect_ = ar;
    } else if (cursor_ == crHandPoint) {
      SetCursor(load_cursor_);
      if (OnAnchorExit) OnAnchorExit(this, a);
      hover_caption_ = -1;
      if (hover_) InvalidateAnchor(caption_anchor_rect_);
    }
    return;
  }
  if (hover_caption_ != -1) {
    hover_caption_ = -1;
    if (hover_) InvalidateAnchor(caption_anchor_rect_);
  }
  if (!a.isEmpty()) {
    if (a != current_anchor_ || ar != body_anchor_rect_ || hover_body_ == -1 ||
        hover_body_ != previous_body_) {
      InflateRect(body_anchor_rect_, 1, 1);
      if (hover_) {
        InvalidateAnchor(body_anchor_rect_);
        InvalidateAnchor(ar);
      }
    }
    enter();
    current_anchor_ = a;
    body_anchor_rect_ = ar;
    previous_body_ = hover_body_;
  } else if (cursor_ == crHandPoint) {
    SetCursor(load_cursor_);
    if (OnAnchorExit) OnAnchorExit(this, a);
    InflateRect(body_anchor_rect_, 1, 1);
    hover_body_ = previous_body_ = -1;
    if (hover_) InvalidateAnchor(body_anchor_rect_);
  }
}

void TCustomExPanel::leaveEvent(QEvent *event) {
  if (hover_body_ >= 0) {
    hover_body_ = -1;
    InflateRect(body_anchor_rect_, 1, 1);
    if (hover_) InvalidateAnchor(body_anchor_rect_);
  }
  if (hover_caption_ >= 0) {
    hover_caption_ = -1;
    InflateRect(caption_anchor_rect_, 1, 1);
    if (hover_) InvalidateAnchor(caption_anchor_rect_);
  }
  QWidget::leaveEvent(event);
}

std::optional<std::pair<QString, QPoint>> TCustomExPanel::AnchorHintAt(QPoint pos, QPoint global) {
  if (!anchor_hint_) return std::nullopt;
  QString anchor;
  TRect anchor_rect;
  GetAnchorAt(pos.x(), pos.y(), anchor, anchor_rect);
  if (anchor.isEmpty()) return std::nullopt;
  if (OnAnchorHint) OnAnchorHint(this, anchor);
  return std::pair{anchor, global + QPoint(10, -10)};
}

bool TCustomExPanel::event(QEvent *event) {
  if (event->type() != QEvent::ToolTip) return QWidget::event(event);
  const auto *help = static_cast<QHelpEvent *>(event);
  if (const auto hint = AnchorHintAt(help->pos(), help->globalPos())) {
    QToolTip::showText(hint->second, hint->first, this);
    return true;
  }
  if (show_hint_ && !hint_.isEmpty())
    QToolTip::showText(help->globalPos(), hint_, this);
  else
    QToolTip::hideText();
  return true;
}

void TCustomExPanel::mousePressEvent(QMouseEvent *event) {
  const QPoint p = event->position().toPoint();
  if (drag_ != TDrag::None) return;
  if (event->button() == Qt::LeftButton) {
    // The caption bar moves the panel and the grip sizes it, as a window's caption and border do.
    const bool move = InMoveZone(p.x(), p.y());
    if (move || InSizeZone(p.x(), p.y())) {
      if (move) PanelMouseMove(p.x(), p.y());
      raise();
      drag_ = move ? TDrag::Move : TDrag::Size;
      drag_start_global_ = event->globalPosition().toPoint();
      drag_start_geometry_ = geometry();
      return;
    }
  }
  PanelMouseDown(event->button(), event->modifiers(), p.x(), p.y());
}

void TCustomExPanel::mouseDoubleClickEvent(QMouseEvent *event) {
  // The press before it has acted already: a double click does not press again.
  const QPoint p = event->position().toPoint();
  if (event->button() != Qt::LeftButton || !caption_->Visible()) return;
  if (Rect(0, 0, width() - 2, caption_->Height()).Contains(p) && OnCaptionDBlClick) OnCaptionDBlClick(this);
}

} // namespace kv::panels
