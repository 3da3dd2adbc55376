#include "controls/panels/ex_panel_geometry.h"

#include <algorithm>

namespace kv::panels {

using namespace kv::ui;

namespace {

TRect Client(const TPanelFrame &f) {
  return Rect(0, 0, f.Width, f.Height);
}

// The caption's height less the bevel on both sides, as far as the caption shifts the body.
int CaptionShift(const TPanelFrame &f) {
  return f.CaptionHeight - 2 * f.BevelWidth;
}

TRect ButtonRect(const TRect &r, const TPanelFrame &f) {
  const int w = f.ButtonWidth;
  if (f.ButtonPosition == cbpRight) return Rect(r.Right - 2 - w, r.Top + 2, r.Right - 2, r.Top + 2 + w);
  return Rect(r.Left + 2, r.Top + 2, r.Left + 2 + w, r.Top + 2 + w);
}

// The client area less the close button's clickable width.
TRect AfterCloseButton(const TPanelFrame &f) {
  TRect r = Client(f);
  if (f.CloseButton) {
    if (f.ButtonPosition == cbpRight)
      r.Right -= f.ButtonWidth;
    else
      r.Left += f.ButtonWidth;
  }
  return r;
}

} // namespace

TRect BodyClipRect(const TPanelFrame &f) {
  TRect r = Client(f);
  if (f.CaptionVisible) r.Top += CaptionShift(f);
  if (f.BorderShadow) {
    r.Right -= 2;
    r.Bottom -= 3;
  }
  return r;
}

TRect BodyTextArea(const TPanelFrame &f) {
  TRect r = BodyClipRect(f);
  InflateRect(r, -f.BorderWidth, -f.BorderWidth);
  r.Left += f.Indent;
  r.Top += f.TopIndent;
  return r;
}

TRect PlaceBodyText(const TPanelFrame &f, TRect r, TTextVAlignment align, int text_height) {
  if (align == tvaTop) return r;
  if (f.CaptionVisible) r.Top += CaptionShift(f);
  if (r.Bottom - r.Top > text_height) {
    if (align == tvaCenter)
      r.Top += (r.Bottom - r.Top - text_height) / 2;
    else
      r.Top = r.Bottom - text_height;
  }
  return r;
}

TRect CaptionArea(const TPanelFrame &f) {
  TRect r = Client(f);
  if (f.BorderShadow) {
    r.Right -= 2;
    r.Bottom -= 2;
  }
  if (f.Bevel) InflateRect(r, -f.BevelWidth, -f.BevelWidth);
  return r;
}

TRect CaptionRect(const TPanelFrame &f) {
  const TRect r = CaptionArea(f);
  return Rect(r.Left, r.Top, r.Right, r.Top + CaptionShift(f));
}

TRect CaptionTextArea(const TPanelFrame &f) {
  TRect r = CaptionArea(f);
  const int room = (f.CloseButton ? 20 : 0) + (f.MinMaxButton ? 20 : 0);
  const int close = f.CloseButton ? f.CloseAdvance : 0;
  if (f.ButtonPosition == cbpLeft)
    r.Left += close + room;
  else
    r.Right -= close + room;
  r.Bottom = r.Top + f.CaptionHeight;
  r.Left += f.CaptionIndent;
  r.Top += f.CaptionTopIndent;
  return r;
}

TRect CloseButtonRect(const TPanelFrame &f) {
  return ButtonRect(Client(f), f);
}

TRect MinMaxButtonRect(const TPanelFrame &f) {
  return ButtonRect(AfterCloseButton(f), f);
}

TRect CaptionClickRect(const TPanelFrame &f) {
  const TRect r = AfterCloseButton(f);
  return Rect(r.Left, r.Top, r.Right - 2, r.Top + f.CaptionHeight);
}

TRect GripArea(const TPanelFrame &f) {
  TRect r = Client(f);
  if (f.Bevel) InflateRect(r, -2 * f.BevelWidth, -2 * f.BevelWidth);
  if (f.BorderShadow) {
    r.Right -= 4;
    r.Bottom -= 4;
  }
  return r;
}

bool InCaptionDragStrip(const TPanelFrame &f, QPoint p) {
  const int right = f.Width - (f.CloseButton ? f.ButtonWidth : 0) - (f.MinMaxButton ? f.ButtonWidth : 0);
  return f.CaptionVisible && p.y() >= 0 && p.y() < f.CaptionHeight && p.x() >= 0 && p.x() < right;
}

bool InSizeGrip(const TPanelFrame &f, QPoint p, int scroll_bar_extent) {
  return f.CanSize && !f.Collapsed && p.y() > f.Height - scroll_bar_extent &&
         p.x() > f.Width - scroll_bar_extent && p.x() < f.Width && p.y() < f.Height;
}

QPoint BackgroundOrigin(TBackGroundPosition position, const TRect &r, QSize picture, const TPanelFrame &f) {
  const int right_x = std::max(r.Left, r.Right - r.Left - picture.width() - f.BevelWidth);
  const int bottom_y = std::max(r.Top, f.Height - picture.height() - f.BevelWidth);
  switch (position) {
  case bpTopRight:
    return {right_x, r.Top};
  case bpBottomLeft:
    return {r.Left, bottom_y};
  case bpBottomRight:
    return {right_x, bottom_y};
  case bpCenter:
    return {std::max(0, right_x) / 2, std::max(0, bottom_y) / 2};
  case bpTopLeft:
  case bpTiled:
  case bpStretched:
    break;
  }
  return {r.Left, r.Top};
}

QSize PaintBufferSize(int width, int height) {
  const auto within = [](int side) { return side >= 1 && side <= MaxPanelExtent; };
  return within(width) && within(height) ? QSize(width, height) : QSize();
}

int CollapseStep(int from_height, int caption_height, int steps) {
  return steps > 0 ? (from_height - caption_height) / steps : 0;
}

QSize AutoSizeFor(QSize text, QSize current, bool fit_width, bool fit_height, int bevel_width,
                  bool caption_visible, int caption_height) {
  QSize s = current;
  if (fit_width) s.setWidth(2 * bevel_width + text.width());
  if (fit_height) s.setHeight(text.height() + 2 * bevel_width + (caption_visible ? caption_height : 0));
  return {std::clamp(s.width(), 0, MaxPanelExtent), std::clamp(s.height(), 0, MaxPanelExtent)};
}

QRect ConstrainMove(const QRect &proposed, QPoint origin, bool fixed_left, bool fixed_top) {
  QRect r = proposed;
  if (fixed_left) r.moveLeft(origin.x());
  if (fixed_top) r.moveTop(origin.y());
  return r;
}

QRect ConstrainSize(const QRect &proposed, QSize load_size, bool fixed_width, bool fixed_height,
                    QSize minimum) {
  int w = fixed_width ? load_size.width() : proposed.width();
  int h = fixed_height ? load_size.height() : proposed.height();
  w = std::clamp(w, std::max(0, minimum.width()), MaxPanelExtent);
  h = std::clamp(h, std::max(0, minimum.height()), MaxPanelExtent);
  return QRect(proposed.topLeft(), QSize(w, h));
}

TSavedPosition ClampSavedPosition(TSavedPosition p, const QRect &area, QSize minimum, int caption_height) {
  const int max_w = std::clamp(area.width(), minimum.width(), MaxPanelExtent);
  const int max_h = std::clamp(area.height(), minimum.height(), MaxPanelExtent);
  p.Width = std::clamp(p.Width, minimum.width(), max_w);
  p.Height = std::clamp(p.Height, minimum.height(), max_h);
  p.FullHeight = std::clamp(p.FullHeight, std::min(max_h, std::max(minimum.height(), caption_height)), max_h);
  p.Left = std::clamp(p.Left, area.left(), std::max(area.left(), area.left() + area.width() - p.Width));
  p.Top = std::clamp(p.Top, area.top(), std::max(area.top(), area.top() + area.height() - p.Height));
  return p;
}

} // namespace kv::panels
