#include "controls/edits/spin_buttons.h"

#include <QApplication>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionSpinBox>
#include <QTimer>

#include "controls/edits/resources.h"
#include "platform/ui/canvas.h"
#include "platform/ui/theme.h"

namespace kv::edits {

using ui::TBitmap;
using ui::TCanvas;
using ui::TColor;
using ui::TRect;

int DefaultButtonWidth() {
  const int width = QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  return width < 16 ? width : 15;
}

namespace {

// The three lines that make the diagonal of a diagonal button inside `r`.
void DiagonalLines(TCanvas &c, const TRect &r, TColor first, TColor second, TColor third) {
  c.Pen.Color = first;
  c.MoveTo(r.Left, r.Bottom - 2);
  c.LineTo(r.Right - 1, r.Top - 1);
  c.Pen.Color = second;
  c.MoveTo(r.Right - 1, r.Top);
  c.LineTo(r.Right - 1, r.Top);
  c.LineTo(r.Left, r.Bottom - 1);
  c.Pen.Color = third;
  c.MoveTo(r.Left + 1, r.Bottom - 1);
  c.LineTo(r.Right, r.Top);
}

enum class PartState { Normal, Hot, Pressed };

// The states of the upper and the lower half in each look.
PartState UpperState(TSpinLook look) {
  return look == slTopDown ? PartState::Pressed : look == slTopHot ? PartState::Hot : PartState::Normal;
}
PartState LowerState(TSpinLook look) {
  return look == slBottomDown ? PartState::Pressed : look == slBottomHot ? PartState::Hot : PartState::Normal;
}

QStyle::State StyleState(const QWidget *widget, PartState state) {
  QStyle::State s = widget->isEnabled() ? QStyle::State_Enabled : QStyle::State_None;
  if (state == PartState::Hot) s |= QStyle::State_MouseOver;
  s |= state == PartState::Pressed ? QStyle::State_Sunken : QStyle::State_Raised;
  return s;
}

// A push-button face of the style in `r`, drawn on the canvas.
void StyleButtonFace(TCanvas &c, const QWidget *widget, const TRect &r, PartState state) {
  QStyleOptionButton option;
  option.initFrom(widget);
  option.rect = ui::ToQRect(r);
  option.state = StyleState(widget, state);
  widget->style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, c.Painter(), widget);
}

void FillFace(TCanvas &c, int w, int h) {
  c.Brush.Color = ui::clBtnFace;
  c.Brush.Style = ui::bsSolid;
  c.Pen.Width = 1;
  c.FillRect(ui::Rect(0, 0, w, h));
}

} // namespace

// ---- TCustomUpDown ----

TCustomUpDown::TCustomUpDown(QWidget *parent) : QWidget(parent) {
  setCursor(Qt::ArrowCursor);
  setFocusPolicy(Qt::NoFocus);
}

TCustomUpDown::~TCustomUpDown() = default;

void TCustomUpDown::SetPosition(int value) {
  Position_ = std::clamp(value, std::min(Min_, Max_), std::max(Min_, Max_));
  update();
}

void TCustomUpDown::SetOrientation(TUDOrientation value) {
  Orientation_ = value;
  update();
}

void TCustomUpDown::Press(TUDBtnType button) {
  const int old = Position_;
  int next = old + (button == btNext ? Increment_ : -Increment_);
  if (next > Max_) next = Wrap_ ? Min_ : Max_;
  if (next < Min_) next = Wrap_ ? Max_ : Min_;
  if (next == old) return;
  Position_ = next;
  LastPosition_ = old;
  Scroll(SB_THUMBPOSITION, next);
  Scroll(SB_ENDSCROLL, Position_);
}

void TCustomUpDown::Scroll(int code, int position) {
  if (code != SB_THUMBPOSITION) return;
  if (position > LastPosition_)
    Click(btNext);
  else if (position < LastPosition_)
    Click(btPrev);
}

void TCustomUpDown::Click(TUDBtnType button) {
  if (OnClick) OnClick(this, button);
}

TUDBtnType TCustomUpDown::ButtonAt(QPoint p) const {
  if (Orientation_ == udVertical) return p.y() < height() / 2 ? btNext : btPrev;
  return p.x() >= width() / 2 ? btNext : btPrev;
}

void TCustomUpDown::mousePressEvent(QMouseEvent *event) {
  if (event->button() != Qt::LeftButton) return;
  Holding_ = true;
  Inside_ = true;
  HeldButton_ = ButtonAt(event->position().toPoint());
  if (!RepeatTimer_) {
    RepeatTimer_ = new QTimer(this);
    connect(RepeatTimer_, &QTimer::timeout, this, [this] { Repeat(); });
  }
  RepeatTimer_->start(style()->styleHint(QStyle::SH_SpinBox_ClickAutoRepeatThreshold, nullptr, this));
  update();
  GuardEvent(this, [&] { Press(HeldButton_); });
}

void TCustomUpDown::mouseMoveEvent(QMouseEvent *event) {
  if (!Holding_) return;
  const QPoint p = event->position().toPoint();
  const bool inside = rect().contains(p) && ButtonAt(p) == HeldButton_;
  if (inside == Inside_) return;
  Inside_ = inside;
  update();
}

void TCustomUpDown::mouseReleaseEvent(QMouseEvent *event) {
  if (event->button() != Qt::LeftButton || !Holding_) return;
  Holding_ = false;
  if (RepeatTimer_) RepeatTimer_->stop();
  update();
}

void TCustomUpDown::Repeat() {
  if (!Holding_) {
    RepeatTimer_->stop();
    return;
  }
  RepeatTimer_->setInterval(style()->styleHint(QStyle::SH_SpinBox_ClickAutoRepeatRate, nullptr, this));
  if (Inside_) GuardEvent(this, [&] { Press(HeldButton_); });
}

void TCustomUpDown::paintEvent(QPaintEvent *) {
  TCanvas c(this);
  const bool vertical = Orientation_ == udVertical;
  if (ui::Themed()) {
    QStyleOptionSpinBox option;
    option.initFrom(this);
    option.frame = false;
    option.subControls = QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown;
    option.buttonSymbols = QAbstractSpinBox::UpDownArrows;
    option.stepEnabled = isEnabled() ? (QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled)
                                     : QAbstractSpinBox::StepNone;
    if (Holding_ && Inside_) {
      option.activeSubControls = HeldButton_ == btNext ? QStyle::SC_SpinBoxUp : QStyle::SC_SpinBoxDown;
      option.state |= QStyle::State_Sunken;
    }
    style()->drawComplexControl(QStyle::CC_SpinBox, &option, c.Painter(), this);
    return;
  }
  // The plain look: two raised buttons, each with a small arrow.
  const int w = width();
  const int h = height();
  for (TUDBtnType button : {btNext, btPrev}) {
    TRect r = vertical ? (button == btNext ? ui::Rect(0, 0, w, h / 2) : ui::Rect(0, h / 2, w, h))
                       : (button == btNext ? ui::Rect(w / 2, 0, w, h) : ui::Rect(0, 0, w / 2, h));
    const bool pressed = Pressed(button) && Inside_;
    c.Brush.Color = ui::clBtnFace;
    c.Brush.Style = ui::bsSolid;
    c.FillRect(r);
    c.DrawEdge(r, pressed ? ui::EDGE_SUNKEN : ui::EDGE_RAISED, ui::BF_RECT | ui::BF_SOFT | ui::BF_ADJUST);
    if (r.IsEmpty()) continue;
    const int shift = pressed ? 1 : 0;
    // A triangle as wide as the inside allows (odd, at least 3), half as high.
    const int across = vertical ? r.Width() : r.Height();
    const int along = vertical ? r.Height() : r.Width();
    const int half = std::max(1, std::min((across - 3) / 2, along - 1));
    const int cx = (vertical ? (r.Left + r.Right - 1) / 2 : (r.Top + r.Bottom - 1) / 2) + shift;
    const int depth = half + 1;
    const int start =
        (vertical ? r.Top + (r.Height() - depth) / 2 : r.Left + (r.Width() - depth) / 2) + shift;
    const bool tip_first = (button == btNext) == vertical; // up, or left
    auto draw = [&](int dx, TColor color) {
      c.Pen.Color = color;
      // Row i, counted from the tip, is 2i+1 pixels wide.
      for (int i = 0; i < depth; ++i) {
        const int at = (tip_first ? start + i : start + depth - 1 - i) + dx;
        if (vertical) {
          c.MoveTo(cx - i + dx, at);
          c.LineTo(cx + i + 1 + dx, at);
        } else {
          c.MoveTo(at, cx - i + dx);
          c.LineTo(at, cx + i + 1 + dx);
        }
      }
    };
    if (isEnabled()) {
      draw(0, ui::clBtnText);
    } else {
      draw(1, ui::clBtnHighlight);
      draw(0, ui::clBtnShadow);
    }
  }
}

// ---- TKvUpDown ----

TKvUpDown::TKvUpDown(QWidget *parent) : TCustomUpDown(parent) {
  SetOrientation(udVertical);
  SetMin(-1);
  SetMax(1);
  SetPosition(0);
}

TKvUpDown::~TKvUpDown() {
  OnClick = nullptr;
}

void TKvUpDown::Scroll(int code, int position) {
  if (code != SB_THUMBPOSITION || Changing_) return;
  const ScopedFlag changing(Changing_);
  const auto signed_position = static_cast<qint16>(position);
  if (signed_position > 0)
    Click(btNext);
  else if (signed_position < 0)
    Click(btPrev);
  SetPosition(0);
}

void TKvUpDown::resizeEvent(QResizeEvent *event) {
  TCustomUpDown::resizeEvent(event);
  if (width() != DefaultButtonWidth()) resize(DefaultButtonWidth(), height());
}

// ---- TKvSpinButton ----

TKvSpinButton::TKvSpinButton(QWidget *parent) : QWidget(parent) {
  setCursor(Qt::ArrowCursor);
  setMouseTracking(true);
  resize(20, 20);
  Themed_ = ui::Themed();
  UpdateLooks();
}

TKvSpinButton::~TKvSpinButton() = default;

void TKvSpinButton::SetUpGlyph(const TBitmap &glyph) {
  UpGlyph_ = glyph;
  BitmapsStale_ = true;
  update();
}

void TKvSpinButton::SetDownGlyph(const TBitmap &glyph) {
  DownGlyph_ = glyph;
  BitmapsStale_ = true;
  update();
}

bool TKvSpinButton::HostLeftButtonDown() const {
  return (QGuiApplication::mouseButtons() & Qt::LeftButton) != 0;
}

void TKvSpinButton::HostTimerChanged() {
  if (!TimerCreated()) return;
  if (!RepeatTimer_) {
    RepeatTimer_ = new QTimer(this);
    connect(RepeatTimer_, &QTimer::timeout, this, [this] { GuardEvent(this, [this] { TimerExpired(); }); });
  }
  if (!TimerActive())
    RepeatTimer_->stop();
  else if (!RepeatTimer_->isActive() || RepeatTimer_->interval() != TimerInterval())
    RepeatTimer_->start(TimerInterval());
}

bool TKvSpinButton::event(QEvent *e) {
  const bool result = QWidget::event(e);
  if (ui::Themed() != Themed_) {
    Themed_ = ui::Themed();
    BitmapsStale_ = true;
    update();
  }
  return result;
}

void TKvSpinButton::UpdateLooks() {
  const int w = width();
  const int h = height();
  if (!BitmapsStale_ && Looks_[slIdle].Width() == w && Looks_[slIdle].Height() == h) return;
  BitmapsStale_ = false;
  // Empty glyphs are stood in for by the built-in arrows while drawing; the glyphs stay as set.
  const bool classic = ButtonStyle() == sbsClassic;
  const TBitmap up = !UpGlyph_.Empty() ? UpGlyph_ : LoadResourceBitmap(classic ? "KVSPINUPPOLE" : "KVSPINUP");
  const TBitmap down =
      !DownGlyph_.Empty() ? DownGlyph_ : LoadResourceBitmap(classic ? "KVSPINDOWNPOLE" : "KVSPINDOWN");
  const std::array<TSpinLook, 5> all{slTopDown, slBottomDown, slIdle, slTopHot, slBottomHot};
  for (TSpinLook look : all) {
    TBitmap &bitmap = Looks_[look];
    const bool hot = look == slTopHot || look == slBottomHot;
    if (!Themed_ && hot) {
      bitmap.Clear();
      continue;
    }
    bitmap.SetSize(w, h);
    if (bitmap.Empty()) continue;
    if (Themed_)
      classic ? DrawThemedClassic(bitmap, look) : DrawThemedDiagonal(bitmap, look, up, down);
    else
      classic ? DrawPlainClassic(bitmap, look, up, down) : DrawPlainDiagonal(bitmap, look, up, down);
    bitmap.Canvas().EndPaint();
  }
}

void TKvSpinButton::DrawPlainDiagonal(TBitmap &bitmap, TSpinLook look, const TBitmap &up,
                                      const TBitmap &down) {
  TCanvas &c = bitmap.Canvas();
  const int w = bitmap.Width();
  const int h = bitmap.Height();
  FillFace(c, w, h);
  unsigned upper_edge = ui::EDGE_RAISED;
  unsigned lower_edge = ui::EDGE_RAISED;
  TColor c1 = ui::clBtnShadow, c2 = ui::clBtnHighlight, c3 = ui::clWindowFrame;
  if (look == slTopDown) {
    c1 = ui::clBtnFace;
    c3 = ui::clBtnHighlight;
    upper_edge = ui::EDGE_SUNKEN;
  } else if (look == slBottomDown) {
    c2 = ui::clWindowFrame;
    c3 = ui::clBtnShadow;
    lower_edge = ui::EDGE_SUNKEN;
  }
  TRect r = ui::Rect(0, 0, w, h);
  TRect edge = r;
  c.DrawEdge(edge, upper_edge, ui::BF_SOFT | ui::BF_TOPLEFT);
  edge = r;
  c.DrawEdge(edge, lower_edge, ui::BF_SOFT | ui::BF_BOTTOMRIGHT);
  ui::InflateRect(r, -1, -1);
  DiagonalLines(c, r, c1, c3, c2);
  const bool top_pressed = look == slTopDown;
  c.DrawKeyed(UpArrowLeft(w, up.Width(), top_pressed), UpArrowTop(h, up.Height(), top_pressed), up,
              ui::clDefault);
  c.DrawKeyed(DownArrowLeft(w, down.Width()), DownArrowTop(h, down.Height()), down, ui::clDefault);
}

void TKvSpinButton::DrawPlainClassic(TBitmap &bitmap, TSpinLook look, const TBitmap &up,
                                     const TBitmap &down) {
  TCanvas &c = bitmap.Canvas();
  const int w = bitmap.Width();
  const int h = bitmap.Height();
  FillFace(c, w, h);
  const bool top_pressed = look == slTopDown;
  const bool bottom_pressed = look == slBottomDown;
  TRect upper = ui::Rect(0, 0, w, h / 2 + (top_pressed ? 0 : 1));
  TRect lower = ui::Rect(0, h / 2, w, h);
  c.DrawEdge(upper, top_pressed ? ui::EDGE_SUNKEN : ui::EDGE_RAISED,
             ui::BF_RECT | ui::BF_SOFT | ui::BF_ADJUST);
  c.DrawEdge(lower, bottom_pressed ? ui::EDGE_SUNKEN : ui::EDGE_RAISED,
             ui::BF_RECT | ui::BF_SOFT | ui::BF_ADJUST);
  // The arrow of a pressed half moves one pixel right and down, as a pressed face does.
  c.Save();
  c.IntersectClipRect(upper);
  const int up_shift = top_pressed ? 1 : 0;
  c.DrawKeyed((w - up.Width()) / 2 + up_shift, (h / 2 - up.Height()) / 2 + up_shift, up, ui::clDefault);
  c.Restore();
  c.Save();
  c.IntersectClipRect(lower);
  const int down_shift = bottom_pressed ? 1 : 0;
  c.DrawKeyed((w - down.Width()) / 2 + down_shift,
              lower.Top + (lower.Height() - down.Height()) / 2 + down_shift, down, ui::clDefault);
  c.Restore();
}

void TKvSpinButton::DrawThemedClassic(TBitmap &bitmap, TSpinLook look) {
  TCanvas &c = bitmap.Canvas();
  const int w = bitmap.Width();
  const int h = bitmap.Height();
  FillFace(c, w, h);
  TRect upper = ui::Rect(0, 0, w, h / 2);
  TRect lower = ui::Rect(0, h / 2 + 1, w, h);
  ui::InflateRect(upper, 1, 1);
  ui::InflateRect(lower, 1, 1);
  const PartState up_state = UpperState(look);
  const PartState down_state = LowerState(look);
  // The seam row belongs to the upper half while that one is hot or pressed.
  const int seam = h / 2 + (up_state != PartState::Normal ? 1 : 0);
  const struct {
    TRect part, clip;
    PartState state;
    QStyle::PrimitiveElement arrow;
  } halves[] = {{upper, ui::Rect(0, 0, w, seam), up_state, QStyle::PE_IndicatorSpinUp},
                {lower, ui::Rect(0, seam, w, h), down_state, QStyle::PE_IndicatorSpinDown}};
  for (const auto &half : halves) {
    c.Save();
    c.SetClipRect(half.clip);
    StyleButtonFace(c, this, half.part, half.state);
    QStyleOption option;
    option.initFrom(this);
    option.rect = ui::ToQRect(half.part);
    option.state = StyleState(this, half.state);
    style()->drawPrimitive(half.arrow, &option, c.Painter(), this);
    c.Restore();
  }
}

void TKvSpinButton::DrawThemedDiagonal(TBitmap &bitmap, TSpinLook look, const TBitmap &up,
                                       const TBitmap &down) {
  TCanvas &c = bitmap.Canvas();
  const int w = bitmap.Width();
  const int h = bitmap.Height();
  TRect grown = ui::Rect(0, 0, w, h);
  ui::InflateRect(grown, 1, 1);
  // The button face in its three states; the outer border falls outside the picture.
  std::array<TBitmap, 3> faces;
  for (PartState state : {PartState::Normal, PartState::Hot, PartState::Pressed}) {
    TBitmap &face = faces[int(state)];
    face.SetSize(w, h);
    FillFace(face.Canvas(), w, h);
    StyleButtonFace(face.Canvas(), this, grown, state);
    face.Canvas().EndPaint();
  }
  const QPolygon upper_triangle{QPoint(grown.Left, grown.Bottom), QPoint(grown.Left, grown.Top),
                                QPoint(grown.Right, grown.Top)};
  const QPolygon lower_triangle{QPoint(grown.Right, grown.Top), QPoint(grown.Right, grown.Bottom),
                                QPoint(grown.Left, grown.Bottom)};
  c.Save();
  c.SetClipRegion(QRegion(upper_triangle));
  c.Draw(0, 0, faces[int(UpperState(look))]);
  c.Restore();
  c.Save();
  c.SetClipRegion(QRegion(lower_triangle));
  c.Draw(0, 0, faces[int(LowerState(look))]);
  c.Restore();
  const QPalette &colours = palette();
  TRect r = ui::Rect(0, 0, w, h);
  ui::InflateRect(r, -1, -1);
  DiagonalLines(c, r, ui::FromQColor(colours.color(QPalette::Light)),
                ui::FromQColor(colours.color(QPalette::Shadow)),
                ui::FromQColor(colours.color(QPalette::Dark)));
  c.DrawKeyed(UpArrowLeft(w, up.Width(), false), UpArrowTop(h, up.Height(), false), up, ui::clDefault);
  c.DrawKeyed(DownArrowLeft(w, down.Width()), DownArrowTop(h, down.Height()), down, ui::clDefault);
}

void TKvSpinButton::paintEvent(QPaintEvent *) {
  if (!isEnabled()) EndTracking();
  UpdateLooks();
  TSpinLook look = CurrentLook();
  // Hot looks exist only while themed.
  if (!Themed_ && (look == slTopHot || look == slBottomHot)) look = slIdle;
  TCanvas c(this);
  c.Draw(0, 0, Looks_[look]);
}

void TKvSpinButton::mousePressEvent(QMouseEvent *event) {
  QWidget::mousePressEvent(event);
  if (event->button() != Qt::LeftButton || !isEnabled()) return;
  FocusOnPress(FocusControl_);
  const QPoint p = event->position().toPoint();
  GuardEvent(this, [&] { MouseDown(p.x(), p.y()); });
}

void TKvSpinButton::mouseMoveEvent(QMouseEvent *event) {
  QWidget::mouseMoveEvent(event);
  const QPoint p = event->position().toPoint();
  MouseMove(p.x(), p.y());
}

void TKvSpinButton::mouseReleaseEvent(QMouseEvent *event) {
  QWidget::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton) return;
  const QPoint p = event->position().toPoint();
  MouseUp(p.x(), p.y());
}

void TKvSpinButton::enterEvent(QEnterEvent *event) {
  QWidget::enterEvent(event);
  const QPoint p = event->position().toPoint();
  MouseEnter(p.x(), p.y());
}

void TKvSpinButton::leaveEvent(QEvent *event) {
  QWidget::leaveEvent(event);
  MouseLeave();
}

void TKvSpinButton::changeEvent(QEvent *event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) {
    BitmapsStale_ = true;
    update();
  }
}

} // namespace kv::edits
