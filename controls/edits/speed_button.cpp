#include "controls/edits/speed_button.h"

#include <QAction>
#include <QDialog>
#include <QEnterEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>

#include "controls/edits/bitmap_utils.h"
#include "platform/ui/theme.h"

namespace kv::edits {

using namespace ui;

TKvxSpeedButton::TKvxSpeedButton(QWidget *parent) : QWidget(parent) {
  resize(25, 25);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_Hover);
  font_.Color = clBtnText;
  glyph_.SetGrayNewStyle(true);
  glyph_.OnChange = [this] { update(); };

  model_.Repaint = [this] { update(); };
  model_.Broadcast = [this] { Broadcast(); };
  model_.DoClick = [this] { Click(); };
  model_.DoDblClick = [this] {
    if (OnDblClick) OnDblClick(this);
  };
  model_.FirePointerEnter = [this] {
    if (OnMouseEnter) OnMouseEnter(this);
  };
  model_.FirePointerLeave = [this] {
    if (OnMouseLeave) OnMouseLeave(this);
  };
  model_.HasMenu = [this] { return menu_ && menu_->AutoPopup; };
  model_.ShowMenu = [this](QPoint at) {
    menu_->PopupComponent = this;
    menu_->Popup(mapToGlobal(at));
  };
  model_.StartTimer = [this](int ms) {
    if (!timer_) {
      timer_ = new QTimer(this);
      connect(timer_, &QTimer::timeout, this, [this] { RepeatTick(); });
    }
    timer_->start(ms);
  };
  model_.StopTimer = [this] {
    if (timer_) timer_->stop();
  };
}

TKvxSpeedButton::~TKvxSpeedButton() {
  // The model's hooks point at this widget; nothing may call them while it is taken apart.
  model_.Repaint = nullptr;
  model_.Broadcast = nullptr;
  glyph_.OnChange = nullptr;
}

void TKvxSpeedButton::SetAlignment(TAlignment value) {
  if (value == alignment_) return;
  alignment_ = value;
  update();
}

void TKvxSpeedButton::SetAllowTimer(bool value) {
  model_.SetAllowTimer(value);
  if (!value && timer_) {
    delete timer_;
    timer_ = nullptr;
  }
}

void TKvxSpeedButton::SetDropDownMenu(TPopupMenu *menu) {
  menu_ = menu;
  if (MarkDropDown()) update();
}

void TKvxSpeedButton::SetCaption(const QString &value) {
  if (value == caption_) return;
  caption_ = value;
  UpdateShortcut();
  update();
}

void TKvxSpeedButton::SetGlyph(const TBitmap &bitmap) {
  glyph_.SetGlyph(bitmap);
  update();
}

void TKvxSpeedButton::SetGrayNewStyle(bool value) {
  if (value == glyph_.GrayNewStyle()) return;
  glyph_.SetGrayNewStyle(value);
  update();
}

void TKvxSpeedButton::SetLayout(TButtonLayout value) {
  if (value == layout_) return;
  layout_ = value;
  update();
}

void TKvxSpeedButton::SetNumGlyphs(int value) {
  value = std::min(value, 5);
  if (value == glyph_.NumGlyphs()) return;
  glyph_.SetNumGlyphs(value);
  update();
}

void TKvxSpeedButton::SetSpacing(int value) {
  if (value == spacing_) return;
  spacing_ = value;
  update();
}

void TKvxSpeedButton::SetWordWrap(bool value) {
  if (value == glyph_.WordWrap) return;
  glyph_.WordWrap = value;
  update();
}

void TKvxSpeedButton::SetFont(const TFont &font) {
  font_ = font;
  update();
}

void TKvxSpeedButton::SetAction(QAction *action) {
  if (action_) disconnect(action_, nullptr, this, nullptr);
  action_ = action;
  if (!action) return;
  connect(action, &QAction::changed, this, [this] { ActionChange(false); });
  ActionChange(true);
}

void TKvxSpeedButton::ActionChange(bool only_defaults) {
  if (!action_) return;
  // While only defaults are applied, what the button has already set stays.
  if (!only_defaults || caption_.isEmpty()) SetCaption(action_->text());
  if (!only_defaults || toolTip().isEmpty()) setToolTip(action_->toolTip());
  if (!only_defaults || isEnabled()) setEnabled(action_->isEnabled());
  if (!only_defaults || !isHidden()) setVisible(action_->isVisible());
  if (GroupIndex() != 0 && !(only_defaults && Down())) SetDown(action_->isChecked());
  if (Glyph().Empty() && !action_->icon().isNull()) {
    // The action's picture, on the usual transparent colour.
    TBitmap bitmap(16, 16);
    bitmap.Canvas().Brush = {clFuchsia, bsSolid, clWhite};
    bitmap.Canvas().FillRect(Bounds(0, 0, 16, 16));
    QPainter *p = bitmap.Canvas().Painter();
    if (p) p->drawPixmap(0, 0, action_->icon().pixmap(16, 16));
    bitmap.Canvas().EndPaint();
    SetGlyph(bitmap);
  }
}

void TKvxSpeedButton::Click() {
  if (modal_result_ != 0)
    if (auto *form = qobject_cast<QDialog *>(window())) form->done(modal_result_);
  if (OnClick)
    OnClick(this);
  else if (action_)
    action_->trigger();
}

void TKvxSpeedButton::RepeatTick() {
  GuardEvent(this, [this] { model_.RepeatTick(model_.Pressing()); });
}

void TKvxSpeedButton::Broadcast() {
  QWidget *parent = parentWidget();
  if (GroupIndex() == 0 || !parent) return;
  for (auto *sibling : parent->findChildren<TKvxSpeedButton *>(Qt::FindDirectChildrenOnly))
    sibling->model_.ButtonPressed(GroupIndex(), model_);
}

bool TKvxSpeedButton::PointerOver() const {
  return isVisible() && underMouse() && ActiveWindowIsOurs();
}

void TKvxSpeedButton::RecheckPointer() {
  model_.RecheckPointer(PointerOver());
}

void TKvxSpeedButton::UpdateShortcut() {
  if (shortcut_id_) releaseShortcut(shortcut_id_);
  shortcut_id_ = 0;
  const QKeySequence mnemonic = QKeySequence::mnemonic(caption_);
  if (!mnemonic.isEmpty()) shortcut_id_ = grabShortcut(mnemonic);
}

TTextFlags TKvxSpeedButton::AlignmentFlags() const {
  TAlignment a = alignment_;
  if (layoutDirection() == Qt::RightToLeft && a != taCenter)
    a = a == taLeftJustify ? taRightJustify : taLeftJustify;
  return a == taLeftJustify ? tfLeft : a == taRightJustify ? tfRight : tfCenter;
}

TRect TKvxSpeedButton::PaintFace(TCanvas &canvas, const TRect &rect, bool mark, TButtonDrawState state) {
  return glyph_.DrawFace(canvas, rect, caption_, layout_, Margin(), spacing_, mark,
                         model_.FaceDrawState(state), AlignmentFlags());
}

void TKvxSpeedButton::PaintButton(TCanvas &canvas) {
  const bool themed = Themed();
  const TSpeedButtonPaint plan = model_.Plan(themed);
  const bool mark = MarkDropDown() && menu_;
  TRect r = Bounds(0, 0, width(), height());
  canvas.Font = font_;
  if (themed) {
    PaintParentBackground(this, canvas);
    const bool pressed = plan.Draw == bdsDown || plan.Draw == bdsExclusive;
    QStyleOptionButton option;
    option.initFrom(this);
    option.state &= ~(QStyle::State_MouseOver | QStyle::State_Sunken | QStyle::State_Raised);
    if (isEnabled() && model_.PointerInside()) option.state |= QStyle::State_MouseOver;
    option.state |= pressed ? QStyle::State_Sunken : QStyle::State_Raised;
    if (!Flat()) option.rect = rect().adjusted(-1, -1, 1, 1);
    if (QPainter *p = canvas.Painter()) {
      if (Flat()) {
        option.state |= QStyle::State_AutoRaise;
        style()->drawPrimitive(QStyle::PE_PanelButtonTool, &option, p, this);
      } else {
        style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, p, this);
      }
    }
    TRect content = FromQRect(style()->subElementRect(QStyle::SE_PushButtonContents, &option, this));
    if (pressed && Flat()) {
      canvas.Font.Color = clHighlightText;
      OffsetRect(content, 1, 0);
    }
    PaintFace(canvas, content, mark, plan.Picture);
    return;
  }

  canvas.Brush = {clBtnFace, bsSolid, clWhite};
  canvas.FillRect(r);
  if (Transparent()) PaintParentBackground(this, canvas);
  if (plan.Frame) {
    const bool pressed = plan.Face == bdsDown || plan.Face == bdsExclusive;
    for (const TFrameRing &ring : FrameRings(pressed, model_.NewStyle(), Flat())) {
      if (ring.LeftTopOnly) {
        canvas.Pen = {ring.TopLeft, 1, psSolid};
        canvas.MoveTo(r.Left, r.Bottom - 1);
        canvas.LineTo(r.Left, r.Top);
        canvas.LineTo(r.Right, r.Top);
        InflateRect(r, -1, -1);
      } else {
        canvas.Frame3D(r, ring.TopLeft, ring.BottomRight, 1);
      }
    }
    InflateRect(r, -1, -1);
  } else {
    InflateRect(r, -plan.Inset, -plan.Inset);
  }
  if (plan.Dither) {
    TRect face = r;
    InflateRect(face, 1, 1);
    canvas.Brush = {clBtnFace, bsDither, clBtnHighlight};
    canvas.FillRect(face);
  }
  if (plan.Offset) OffsetRect(r, 1, 1);
  PaintFace(canvas, r, mark, plan.Picture);
}

bool TKvxSpeedButton::event(QEvent *event) {
  if (event->type() == QEvent::Shortcut) {
    auto *shortcut = static_cast<QShortcutEvent *>(event);
    if (shortcut->shortcutId() == shortcut_id_ && shortcut_id_ != 0) {
      if (isEnabled()) Click();
      return true;
    }
  }
  return QWidget::event(event);
}

void TKvxSpeedButton::paintEvent(QPaintEvent *) {
  // Painted into a buffer first, so the screen never shows half a face.
  QImage buffer(size(), QImage::Format_RGB32);
  {
    TCanvas canvas(&buffer);
    PaintButton(canvas);
  }
  QPainter(this).drawImage(0, 0, buffer);
}

void TKvxSpeedButton::mousePressEvent(QMouseEvent *event) {
  if (model_.MenuShowing()) return;
  const bool left = event->button() == Qt::LeftButton;
  const QPoint p = event->position().toPoint();
  model_.MouseDown(left, p.x(), p.y(), menu_ ? menu_->Alignment : paLeft);
  if (event->button() == Qt::RightButton) RecheckPointer();
}

void TKvxSpeedButton::mouseMoveEvent(QMouseEvent *event) {
  const QPoint p = event->position().toPoint();
  model_.MouseMove(p.x(), p.y());
}

void TKvxSpeedButton::mouseReleaseEvent(QMouseEvent *event) {
  const QPoint p = event->position().toPoint();
  model_.MouseUp(event->button() == Qt::LeftButton, p.x(), p.y());
  RecheckPointer();
}

void TKvxSpeedButton::mouseDoubleClickEvent(QMouseEvent *event) {
  if (model_.MenuShowing()) return;
  mousePressEvent(event);
  model_.DblClick();
}

void TKvxSpeedButton::enterEvent(QEnterEvent *event) {
  QWidget::enterEvent(event);
  QWidget *grabber = QWidget::mouseGrabber();
  model_.MouseEnter(grabber && grabber != this, Themed());
}

void TKvxSpeedButton::leaveEvent(QEvent *event) {
  QWidget::leaveEvent(event);
  model_.MouseLeave(Themed());
}

void TKvxSpeedButton::changeEvent(QEvent *event) {
  QWidget::changeEvent(event);
  switch (event->type()) {
  case QEvent::EnabledChange:
    glyph_.PreparePicture(model_.EnabledChanged(isEnabled(), PointerOver()));
    break;
  case QEvent::PaletteChange:
    glyph_.DropPictures();
    update();
    break;
  case QEvent::FontChange:
  case QEvent::LayoutDirectionChange:
    update();
    break;
  default:
    break;
  }
}

void TKvxSpeedButton::showEvent(QShowEvent *event) {
  QWidget::showEvent(event);
  RecheckPointer();
}

void TKvxSpeedButton::resizeEvent(QResizeEvent *event) {
  QWidget::resizeEvent(event);
  model_.ClientWidth = width();
  model_.ClientHeight = height();
}

} // namespace kv::edits
