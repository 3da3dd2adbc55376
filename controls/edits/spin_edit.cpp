#include "controls/edits/spin_edit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QTimer>
#include <QValidator>
#include <QWheelEvent>

#include "platform/ui/beep.h"

namespace kv::edits {

// Every change the user makes to the text (keys, paste, drop, middle click, input method)
// passes the spin edit's key filter, character by character.
class SpinValidator : public QValidator {
public:
  explicit SpinValidator(TKvCustomSpinEdit *edit) : QValidator(edit), edit_(edit) {}

  State validate(QString &input, int &) const override {
    if (edit_->ProgramWrite_) return Acceptable;
    const std::optional<QString> kept = edit_->FilterUserText(edit_->LastText_, input);
    if (!kept) return Invalid;
    // The filter only translates characters one for one, so the cursor stays where it is.
    input = *kept;
    return Acceptable;
  }

private:
  TKvCustomSpinEdit *edit_;
};

TKvCustomSpinEdit::TKvCustomSpinEdit(QWidget *parent) : TKvCustomMaskEdit(parent) {
  LastText_ = text();
  connect(this, &QLineEdit::textChanged, this, [this] { LastText_ = text(); });
  Validator_ = new SpinValidator(this);
  setValidator(Validator_);
  RebuildButton();
  PlaceButton();
  UpdateEditRect();
}

TKvCustomSpinEdit::~TKvCustomSpinEdit() {
  Destroying_ = true;
  InChange_ = true;
  delete Button_;
  delete Holder_;
  delete UpDown_;
}

TBiDiMode TKvCustomSpinEdit::BiDiMode() const {
  return layoutDirection() == Qt::RightToLeft ? bdRightToLeft : bdLeftToRight;
}

void TKvCustomSpinEdit::SetBiDiMode(TBiDiMode value) {
  setLayoutDirection(value == bdRightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
}

void TKvCustomSpinEdit::WriteText(const QString &value, bool edit_text) {
  const ScopedFlag writing(ProgramWrite_);
  edit_text ? SetEditText(value) : SetText(value);
}

void TKvCustomSpinEdit::HostSetText(const QString &value) {
  WriteText(value, false);
}

void TKvCustomSpinEdit::HostSetEditText(const QString &value) {
  WriteText(value, true);
}

void TKvCustomSpinEdit::HostBeep() {
  ui::MessageBeep();
}

void TKvCustomSpinEdit::HostChanged() {
  if (OnChange) OnChange(this);
}

int TKvCustomSpinEdit::HostSelStart() const {
  return hasSelectedText() ? selectionStart() : cursorPosition();
}

void TKvCustomSpinEdit::HostRefocus() {
  QTimer::singleShot(0, this, [this] {
    if (isEnabled() && isVisible()) setFocus(Qt::OtherFocusReason);
  });
}

void TKvCustomSpinEdit::Change() {
  TKvSpinModel::Change();
}

void TKvCustomSpinEdit::CutToClipboard() {
  if (EditorEnabled() && !isReadOnly()) TKvCustomMaskEdit::CutToClipboard();
}

void TKvCustomSpinEdit::PasteFromClipboard(QClipboard::Mode mode) {
  if (EditorEnabled() && !isReadOnly()) TKvCustomMaskEdit::PasteFromClipboard(mode);
}

void TKvCustomSpinEdit::KeyDown(int &key, Qt::KeyboardModifiers shift) {
  TKvCustomMaskEdit::KeyDown(key, shift);
  if (key != 0 && HandleKeyDown(key)) key = 0;
}

void TKvCustomSpinEdit::KeyPress(QChar &key) {
  // Enter and Escape go on to the dialog: the line edit leaves them to its parent.
  if (!HandleKeyPress(key)) key = QChar();
}

void TKvCustomSpinEdit::NotifyCtl3DChange() {
  TKvCustomMaskEdit::NotifyCtl3DChange();
  PlaceButton();
  UpdateEditRect();
}

void TKvCustomSpinEdit::DoEnter() {
  HandleFocusEnter();
  TKvCustomMaskEdit::DoEnter();
}

void TKvCustomSpinEdit::DoExit() {
  // A range error keeps the focus here (the model asks for it back) and is shown by the base.
  HandleFocusExit();
  TKvCustomMaskEdit::DoExit();
}

void TKvCustomSpinEdit::wheelEvent(QWheelEvent *event) {
  const QPoint delta = event->angleDelta();
  // A sideways wheel is no turn of the wheel this edit listens to.
  if (delta.y() == 0 && delta.x() != 0) {
    TKvCustomMaskEdit::wheelEvent(event);
    return;
  }
  event->accept();
  GuardEvent(this, [&] { HandleWheel(delta.y()); });
}

void TKvCustomSpinEdit::resizeEvent(QResizeEvent *event) {
  TKvCustomMaskEdit::resizeEvent(event);
  if (height() < MinimumHeight()) {
    resize(width(), MinimumHeight());
    return;
  }
  PlaceButton();
  UpdateEditRect();
}

void TKvCustomSpinEdit::changeEvent(QEvent *event) {
  TKvCustomMaskEdit::changeEvent(event);
  switch (event->type()) {
  case QEvent::FontChange:
  case QEvent::LayoutDirectionChange:
    PlaceButton();
    UpdateEditRect();
    break;
  case QEvent::EnabledChange:
    if (UpDown_) {
      UpDown_->setEnabled(isEnabled());
      PlaceButton();
    }
    if (Button_) Button_->setEnabled(isEnabled());
    break;
  default:
    break;
  }
}

void TKvCustomSpinEdit::UpDownClicked(QObject *Sender, TUDBtnType Button) {
  FocusOnPress(this);
  if (Button == btNext)
    StepUp(Sender);
  else
    StepDown(Sender);
}

bool TKvCustomSpinEdit::PaintedButtonIsClassic() const {
  return Button_ && Button_->ButtonStyle() == sbsClassic;
}

int TKvCustomSpinEdit::MinimumHeight() const {
  // The font's height, four border widths and one pixel.
  return QFontMetrics(font()).height() + 4 * 1 + 1;
}

int TKvCustomSpinEdit::SpinButtonWidth() const {
  if (UpDown_) return UpDown_->width();
  if (Button_) return Button_->width();
  return DefaultButtonWidth();
}

void TKvCustomSpinEdit::RebuildButton() {
  if (Destroying_) return;
  delete Button_;
  delete Holder_;
  delete UpDown_;
  const int b = DefaultButtonWidth();
  if (EffectiveButtonKind() == bkStandard) {
    UpDown_ = new TKvUpDown(this);
    UpDown_->setGeometry(0, 1, b, height());
    UpDown_->OnClick = [this](QObject *sender, TUDBtnType button) { UpDownClicked(sender, button); };
    UpDown_->setEnabled(isEnabled());
    UpDown_->show();
    return;
  }
  Holder_ = new QWidget(this);
  Holder_->setCursor(Qt::ArrowCursor);
  if (ButtonKind() == bkClassic)
    Holder_->setGeometry(0, 0, height(), height());
  else
    Holder_->setGeometry(0, 0, b, height());
  Holder_->show();
  Button_ = new TKvSpinButton(Holder_);
  if (ButtonKind() == bkClassic) Button_->SetButtonStyle(sbsClassic);
  Button_->SetFocusControl(this);
  // Through the overridable steps, so a subclass's own are reached.
  Button_->OnTopClick = [this](QObject *sender) { StepUp(sender); };
  Button_->OnBottomClick = [this](QObject *sender) { StepDown(sender); };
  Button_->setGeometry(1, 1, Holder_->width() - 1, Holder_->height() - 1);
  Button_->setEnabled(isEnabled());
  Button_->show();
}

void TKvCustomSpinEdit::PlaceButton() {
  const ui::TRect client = ClientRect();
  const int b = DefaultButtonWidth();
  const bool rtl = BiDiMode() == bdRightToLeft;
  if (UpDown_) {
    // Aligned to the right (left) edge of the client area, its full height.
    const int left = rtl ? client.Left : client.Right - b;
    UpDown_->setGeometry(left, client.Top, b, client.Height());
  }
  if (Holder_ && Button_) {
    // The measures count from the client area of an edit with the system's border: two pixels
    // for the sunken frame, one for the flat one.
    const bool framed = NewStyleControls() && Ctl3D() && BorderStyle() == bsSingle;
    const int border = BorderStyle() == bsSingle ? (Ctl3D() ? 2 : 1) : 0;
    const int w = client.Width() + 2 * border;
    const int h = client.Height() + 2 * border;
    const bool classic = ButtonKind() == bkClassic;
    ui::TRect r;
    if (framed)
      r = classic ? ui::Bounds(w - b - 4, -1, b, h - 3) : ui::Bounds(w - h - 1, -1, h - 3, h - 3);
    else
      r = classic ? ui::Bounds(w - b, 0, b, h) : ui::Bounds(w - h, 0, h, h);
    if (rtl) {
      r.Left = framed ? -1 : 0;
      r.Right = framed ? h - 4 : h;
    }
    ui::OffsetRect(r, client.Left, client.Top);
    Holder_->setGeometry(ui::ToQRect(r));
    // A child shows only inside its parent's client area.
    ui::TRect visible = ui::IntersectRect(r, client);
    ui::OffsetRect(visible, -r.Left, -r.Top);
    Holder_->setMask(QRegion(ui::ToQRect(visible)));
    Button_->setGeometry(1, 1, Holder_->width() - 1, Holder_->height() - 1);
  }
}

void TKvCustomSpinEdit::UpdateEditRect() {
  // The typed text never runs under the button.
  const int sbw = SpinButtonWidth();
  if (BiDiMode() == bdRightToLeft)
    setTextMargins(sbw + 1, 0, 1, 0);
  else
    setTextMargins(0, 0, sbw + 2, 0);
}

void TKvCustomSpinEdit::AlignmentChanged() {
  Qt::Alignment horizontal = Qt::AlignLeft;
  if (Alignment() == taRightJustify) horizontal = Qt::AlignRight;
  if (Alignment() == taCenter) horizontal = Qt::AlignHCenter;
  setAlignment(horizontal | Qt::AlignVCenter);
}

TKvSpinEdit::TKvSpinEdit(QWidget *parent) : TKvCustomSpinEdit(parent) {
  HostSetText(QStringLiteral("0"));
}

} // namespace kv::edits
