#include "controls/edits/tool_edit.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QScreen>
#include <QStyle>
#include <algorithm>

#include "controls/edits/resources.h"
#include "platform/ui/theme.h"

namespace kv::edits {

using namespace ui;

namespace {

// The drop-down arrow: a small black triangle on the transparent colour.
TBitmap DropDownArrow() {
  TBitmap b(7, 4);
  b.Canvas().Brush = {clFuchsia, bsSolid, clWhite};
  b.Canvas().FillRect(Bounds(0, 0, 7, 4));
  b.Canvas().EndPaint();
  for (int row = 0; row < 4; ++row)
    for (int x = row; x <= 6 - row; ++x)
      b.SetPixel(x, row, clBlack);
  return b;
}

// Three black dots on white; a dot that falls outside the picture is clipped.
TBitmap EllipsisBitmap(int button_width) {
  const TEllipsisGlyph g = EllipsisGlyph(button_width);
  TBitmap b(g.Width, g.Height);
  TCanvas &canvas = b.Canvas();
  canvas.Brush = {clBlack, bsSolid, clWhite};
  for (int x : g.DotX)
    canvas.FillRect(Bounds(x, 1, 2, 2));
  // Made monochrome, the brush colour's pixels turn white and all others black.
  canvas.Brush.Color = clWhite;
  canvas.EndPaint();
  b.SetMonochrome(true);
  return b;
}

int ScrollBarWidth(const QWidget *w) {
  return w->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, w);
}

} // namespace

// ---- TKvEditButton ---------------------------------------------------------------------------

TKvEditButton::TKvEditButton(TKvCustomComboEdit *edit, QWidget *parent)
    : TKvxSpeedButton(parent), edit_(edit) {
  setFocusPolicy(Qt::NoFocus);
}

void TKvEditButton::mousePressEvent(QMouseEvent *event) {
  if (event->button() == Qt::LeftButton) {
    SkipNextClick = edit_->PopupOpen();
    if (SkipNextClick)
      edit_->ClosePopup(edit_, true);
    else
      FocusOnPress(edit_);
  }
  TKvxSpeedButton::mousePressEvent(event);
}

void TKvEditButton::Click() {
  if (SkipNextClick) {
    SkipNextClick = false;
    return;
  }
  TKvxSpeedButton::Click();
}

// ---- TKvCustomComboEdit ----------------------------------------------------------------------

TKvCustomComboEdit::TKvCustomComboEdit(QWidget *parent) : TKvCustomMaskEdit(parent) {
  ButtonHolder_ = new QWidget(this);
  ButtonHolder_->setObjectName(QStringLiteral("ButtonHolder"));
  ButtonHolder_->setGeometry(0, 0, 21, 17);
  Button_ = new TKvEditButton(this, ButtonHolder_);
  Button_->setObjectName(QStringLiteral("Button"));
  Button_->setGeometry(0, 0, 21, 17);
  Button_->OnClick = [this](QObject *) { EmbeddedButtonClick(); };
  resize(121, 21);
  SetGlyphKind(gkCustom);
  Constructing_ = false;
}

TKvCustomComboEdit::~TKvCustomComboEdit() {
  Button_->OnClick = nullptr;
}

void TKvCustomComboEdit::ApplyReadOnly() {
  setReadOnly(ReadOnly_ || !DirectInput_);
}

void TKvCustomComboEdit::SetReadOnly(bool value) {
  if (value == ReadOnly_) return;
  ReadOnly_ = value;
  ApplyReadOnly();
}

void TKvCustomComboEdit::SetDirectInput(bool value) {
  DirectInput_ = value;
  ApplyReadOnly();
}

void TKvCustomComboEdit::SetClipBoardCommands(TKvClipBoardCommands value) {
  if (value == ClipBoardCommands()) return;
  TKvCustomMaskEdit::SetClipBoardCommands(value);
  ReadOnly_ = ReadOnlyForCommands(value);
  ApplyReadOnly();
}

int TKvCustomComboEdit::ButtonWidth() const {
  return Button_->width();
}

void TKvCustomComboEdit::SetButtonWidth(int value) {
  if (value == ButtonWidth()) return;
  ButtonHolder_->setVisible(value > 1);
  if (Constructing_) {
    ButtonHolder_->resize(value, ButtonHolder_->height());
    Button_->resize(value, Button_->height());
    ButtonFixedWidth_ = false;
    RefreshButtonGlyph();
    return;
  }
  // A button as wide as the edit would leave no room for the text.
  const int room = parentWidget() ? ClientRect().Width() : width();
  if (value >= room) return;
  Button_->resize(value, Button_->height());
  ButtonFixedWidth_ = false;
  PlaceButtonHolder();
  RefreshButtonGlyph();
}

QString TKvCustomComboEdit::ButtonHint() const {
  return Button_->toolTip();
}
void TKvCustomComboEdit::SetButtonHint(const QString &value) {
  Button_->setToolTip(value);
}
bool TKvCustomComboEdit::ButtonFlat() const {
  return Button_->Flat();
}
void TKvCustomComboEdit::SetButtonFlat(bool value) {
  Button_->SetFlat(value);
}
const TBitmap &TKvCustomComboEdit::Glyph() const {
  return Button_->Glyph();
}
int TKvCustomComboEdit::NumGlyphs() const {
  return Button_->NumGlyphs();
}

void TKvCustomComboEdit::SetGlyph(const TBitmap &value) {
  Button_->SetGlyph(value);
  GlyphKind_ = gkCustom;
}

void TKvCustomComboEdit::SetNumGlyphs(int value) {
  if (GlyphKind_ == gkDropDown || GlyphKind_ == gkEllipsis)
    value = 1;
  else if (GlyphKind_ == gkDefault)
    value = DefaultGlyphCount_;
  Button_->SetNumGlyphs(value);
}

bool TKvCustomComboEdit::IsButtonWidthStored() const {
  return ButtonWidth() != DefaultButtonWidth(GlyphKind_, Glyph().Width(), NumGlyphs(), ScrollBarWidth(this));
}

void TKvCustomComboEdit::SetGlyphKind(TGlyphKind value) {
  if (value == GlyphKind_ && !Constructing_) return;
  GlyphKind_ = value;
  RefreshButtonGlyph();
  if (value == gkDefault) {
    SetButtonWidth(std::max(Glyph().Width() / std::max(1, NumGlyphs()) + 6, ButtonWidth()));
  } else if (value == gkDropDown) {
    SetButtonWidth(ScrollBarWidth(this));
    ButtonFixedWidth_ = true;
  }
}

void TKvCustomComboEdit::RefreshButtonGlyph() {
  switch (GlyphKind_) {
  case gkDefault:
    Button_->SetGlyph(DefaultGlyphBitmap());
    Button_->SetNumGlyphs(DefaultGlyphCount_);
    break;
  case gkDropDown:
    Button_->SetGlyph(DropDownArrow());
    Button_->SetNumGlyphs(1);
    break;
  case gkEllipsis:
    Button_->SetGlyph(EllipsisBitmap(ButtonWidth()));
    Button_->SetNumGlyphs(1);
    break;
  case gkCustom:
    break;
  }
}

TBitmap TKvCustomComboEdit::DefaultGlyphBitmap() {
  return {};
}

void TKvCustomComboEdit::EmbeddedButtonClick() {
  GuardEvent(this, [this] {
    if (!ReadOnly()) RunButtonAction();
  });
}

void TKvCustomComboEdit::RunButtonAction() {
  if (OnButtonClick) OnButtonClick(this);
  if (AttachedPopup_) {
    if (PopupOpen_)
      ClosePopup(this, true);
    else
      OpenPopup(true);
  }
}

TEditLook TKvCustomComboEdit::Look() const {
  return {Ctl3D(), BorderStyle() == bsSingle, Themed(), true};
}

void TKvCustomComboEdit::FitHeightToFont() {
  const int cell = fontMetrics().height();
  const int system_cell = QFontMetrics(QApplication::font()).height();
  resize(width(), edits::FitHeightToFont(cell, system_cell, Look()));
}

void TKvCustomComboEdit::SetTextArea() {
  FitHeightToFont();
  setTextMargins(TextAreaLeft(Look()), 0, ButtonHolder_->isHidden() ? 0 : ButtonHolder_->width(), 0);
}

void TKvCustomComboEdit::PlaceButtonHolder() {
  const TEditLook look = Look();
  const int bw = Button_->width();
  QRect r = edits::PlaceButtonHolder(width(), height(), bw, look);
  if (look.NewStyle && look.SingleBorder && look.Ctl3D) {
    // A 3-D frame: the holder fills the client area's right end, whatever the frame's width.
    const TRect client = ClientRect();
    r = QRect(client.Right - bw, client.Top, bw, client.Height());
  }
  ButtonHolder_->setGeometry(r);
  Button_->setGeometry(0, 0, bw, r.height());
  SetTextArea();
}

void TKvCustomComboEdit::resizeEvent(QResizeEvent *event) {
  TKvCustomMaskEdit::resizeEvent(event);
  const int minimum = MinimumEditHeight(fontMetrics().height());
  if (height() < minimum) {
    resize(width(), minimum); // the resize that follows places the button
    return;
  }
  PlaceButtonHolder();
}

void TKvCustomComboEdit::changeEvent(QEvent *event) {
  TKvCustomMaskEdit::changeEvent(event);
  switch (event->type()) {
  case QEvent::EnabledChange:
    Button_->setEnabled(isEnabled());
    break;
  case QEvent::FontChange:
    SetTextArea();
    break;
  case QEvent::LayoutDirectionChange:
    if (AttachedPopup_) AttachedPopup_->setLayoutDirection(layoutDirection());
    break;
  default:
    break;
  }
}

void TKvCustomComboEdit::KeyDown(int &key, Qt::KeyboardModifiers shift) {
  const bool ctrl = shift & Qt::ControlModifier;
  if (ctrl && (key == Qt::Key_Tab || key == Qt::Key_Return || key == Qt::Key_Enter) && window() != this) {
    // The form's own key handling gets them (a tab page switch, a default button).
    QKeyEvent forwarded(QEvent::KeyPress, key, shift);
    QCoreApplication::sendEvent(window(), &forwarded);
    key = 0;
    return;
  }
  TKvCustomMaskEdit::KeyDown(key, shift);
  if (OnKeyDown) OnKeyDown(this, key, shift);
  if (key == 0) return;
  const TShortCut pressed = ShortCutOf(QKeyEvent(QEvent::KeyPress, key, shift));
  if (pressed != 0 && pressed == ClickKey_ && ButtonWidth() > 0) {
    EmbeddedButtonClick();
    key = 0;
  }
}

void TKvCustomComboEdit::KeyPress(QChar &key) {
  const ushort c = key.unicode();
  if (c == 13 || c == 27 || (c == 10 && PopupOpen_)) {
    if (PopupOpen_) {
      ClosePopup(this, c != 27);
      key = QChar();
    }
    // Otherwise the key goes on to the form, whose default or cancel button reacts; a one-line
    // edit inserts no line break.
    return;
  }
  if (c == 9 || c == 10) {
    key = QChar();
    if (window() != this) {
      QKeyEvent forwarded(QEvent::KeyPress, c == 9 ? Qt::Key_Tab : Qt::Key_J, Qt::NoModifier,
                          QString(QChar(c)));
      QCoreApplication::sendEvent(window(), &forwarded);
    }
    return;
  }
  TKvCustomMaskEdit::KeyPress(key);
}

void TKvCustomComboEdit::Change() {
  if (PopupOpen_)
    TextChangedWhilePopupOpen();
  else
    TKvCustomMaskEdit::Change();
}

void TKvCustomComboEdit::CopyToClipboard() {
  TKvCustomMaskEdit::CopyToClipboard();
}

void TKvCustomComboEdit::CutToClipboard() {
  if (MayEditText()) TKvCustomMaskEdit::CutToClipboard();
}

void TKvCustomComboEdit::PasteFromClipboard(QClipboard::Mode mode) {
  if (MayEditText()) TKvCustomMaskEdit::PasteFromClipboard(mode);
}

void TKvCustomComboEdit::Undo() {
  TKvCustomMaskEdit::Undo();
}

void TKvCustomComboEdit::focusInEvent(QFocusEvent *event) {
  TKvCustomMaskEdit::focusInEvent(event);
  Focused_ = true;
  // The text cursor: one pixel wide, two for a bold font, as high as a character cell.
  TCaretShape caret;
  caret.kind = TCaretShape::Solid;
  caret.Width = font().bold() ? 2 : 1;
  caret.Height = fontMetrics().height();
  if (CreateCaret(caret)) ShowCaret();
}

void TKvCustomComboEdit::DoEnter() {
  // Text the user cannot type is not selected for typing over.
  if (DirectInput_) TKvCustomMaskEdit::DoEnter();
}

void TKvCustomComboEdit::focusOutEvent(QFocusEvent *event) {
  TKvCustomMaskEdit::focusOutEvent(event);
  Focused_ = false;
  QWidget *now = QApplication::focusWidget();
  if (PopupOpen_ && !(AttachedPopup_ && now && AttachedPopup_->isAncestorOf(now))) ClosePopup(this, false);
}

void TKvCustomComboEdit::mousePressEvent(QMouseEvent *event) {
  if (event->button() == Qt::LeftButton && PopupOpen_) ClosePopup(this, false);
  TKvCustomMaskEdit::mousePressEvent(event);
}

// ---- popup hooks ------------------------------------------------------------------------------

void TKvCustomComboEdit::SetAttachedPopup(QWidget *popup) {
  if (PopupOpen_) ClosePopup(this, false);
  AttachedPopup_ = popup;
}

void TKvCustomComboEdit::OpenPopup(bool LockText) {
  if (!AttachedPopup_ || ReadOnly() || PopupOpen_) return;
  const QScreen *screen = QGuiApplication::primaryScreen();
  const QSize screen_size = screen ? screen->geometry().size() : QSize(1024, 768);
  const QPoint at = edits::PlacePopup(mapToGlobal(QPoint(0, 0)), size(), AttachedPopup_->size(), screen_size);
  PassValueToPopup(Text().isEmpty() ? QVariant() : QVariant(Text()));
  FocusOnPress(this);
  PlacePopup(at);
  PopupOpen_ = true;
  // A read-only line edit shows no text cursor.
  if (LockText) setReadOnly(true);
}

void TKvCustomComboEdit::ClosePopup(QObject *, bool Accept) {
  if (!AttachedPopup_ || !PopupOpen_) return;
  if (QWidget *grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
  const QVariant value = PopupValue();
  ConcealPopup();
  FocusOnPress(this);
  ApplyReadOnly();
  update();
  if (Accept && MayTakePopupValue(value) && !ReadOnly()) {
    TakePopupValue(value);
    if (hasFocus()) selectAll();
  }
  PopupOpen_ = false;
}

void TKvCustomComboEdit::PlacePopup(QPoint at) {
  AttachedPopup_->move(at);
  AttachedPopup_->show();
}

void TKvCustomComboEdit::ConcealPopup() {
  AttachedPopup_->hide();
}

void TKvCustomComboEdit::FireChange() {
  TKvCustomMaskEdit::Change();
}

bool TKvCustomComboEdit::MayTakePopupValue(const QVariant &) {
  return true;
}

void TKvCustomComboEdit::TakePopupValue(const QVariant &value) {
  if (Text() == value.toString()) return;
  SetText(value.toString());
  setModified(true);
  PopupOpen_ = AttachedPopup_ && AttachedPopup_->isVisible();
  FireChange();
}

void TKvCustomComboEdit::PassValueToPopup(const QVariant &) {}

QVariant TKvCustomComboEdit::PopupValue() {
  return QString();
}

void TKvCustomComboEdit::TextChangedWhilePopupOpen() {}

// ---- TKvFileDirEdit --------------------------------------------------------------------------

TKvFileDirEdit::TKvFileDirEdit(QWidget *parent) : TKvCustomComboEdit(parent) {
  Constructing_ = true;
  SetGlyphKind(gkDefault);
  Constructing_ = false;
}

TBitmap TKvFileDirEdit::DefaultGlyphBitmap() {
  // One picture for all file and folder edits, kept until the program ends.
  static const TBitmap folder = LoadResourceBitmap(QStringLiteral("KV_FEDITBMP"));
  return folder;
}

void TKvFileDirEdit::FireBeforeDialog(QString &name, bool &action) {
  if (OnBeforeDialog) OnBeforeDialog(this, name, action);
}

void TKvFileDirEdit::FireAfterDialog(QString &name, bool &action) {
  if (OnAfterDialog) OnAfterDialog(this, name, action);
}

bool TKvFileDirEdit::DropFiles(const QList<QUrl> &urls) {
  if (!AcceptFiles_) return false;
  auto first = std::find_if(urls.begin(), urls.end(), [](const QUrl &u) { return u.isLocalFile(); });
  if (first == urls.end()) return false;
  ClearDroppedNames();
  // The whole path, however long.
  AcceptDroppedName(first->toLocalFile());
  if (OnDropFiles) OnDropFiles(this);
  return true;
}

void TKvFileDirEdit::dragEnterEvent(QDragEnterEvent *event) {
  if (!event->mimeData()->hasUrls()) return TKvCustomComboEdit::dragEnterEvent(event);
  if (AcceptFiles_)
    event->acceptProposedAction();
  else
    event->ignore();
}

void TKvFileDirEdit::dragMoveEvent(QDragMoveEvent *event) {
  if (!event->mimeData()->hasUrls()) return TKvCustomComboEdit::dragMoveEvent(event);
  if (AcceptFiles_)
    event->acceptProposedAction();
  else
    event->ignore();
}

void TKvFileDirEdit::dropEvent(QDropEvent *event) {
  if (!event->mimeData()->hasUrls()) return TKvCustomComboEdit::dropEvent(event);
  if (DropFiles(event->mimeData()->urls()))
    event->acceptProposedAction();
  else
    event->ignore();
}

// ---- TKvDirectoryEdit ------------------------------------------------------------------------

TKvDirectoryEdit::TKvDirectoryEdit(QWidget *parent) : TKvFileDirEdit(parent) {
  Model_.Sender = this;
  Model_.OnBeforeDialog = [this](QObject *, QString &name, bool &action) { FireBeforeDialog(name, action); };
  Model_.OnAfterDialog = [this](QObject *, QString &name, bool &action) { FireAfterDialog(name, action); };
}

void TKvDirectoryEdit::AcceptDroppedName(const QString &name) {
  SetText(Model_.DroppedText(name, Text()));
}

void TKvDirectoryEdit::RunButtonAction() {
  TKvFileDirEdit::RunButtonAction();
  const auto text = Model_.RunDialog(Text(), selectionStart(), selectionLength(), [this] {
    if ((focusPolicy() & Qt::TabFocus) && isEnabled() && isVisible()) setFocus(Qt::OtherFocusReason);
  });
  if (text) SetText(*text);
}

} // namespace kv::edits
