#include "controls/edits/mask_edit.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QMenu>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionFrame>
#include <QTimer>
#include <QToolTip>

#include "platform/ui/canvas.h"
#include "platform/ui/message_box.h"

namespace kv::edits {

namespace {

// The widget that held the focus before the current one: updated after every focus change, so
// while a widget handles its focus-in it still names the one that lost the focus.
QPointer<QWidget> g_focus_before;
QPointer<QApplication> g_focus_tracked_app;

void TrackFocus() {
  auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
  if (!app || g_focus_tracked_app == app) return;
  g_focus_tracked_app = app;
  g_focus_before = QApplication::focusWidget();
  QObject::connect(app, &QApplication::focusChanged, app,
                   [](QWidget *, QWidget *now) { g_focus_before = now; });
}

// The character a key event types, as the system's character message would carry it; QChar()
// for keys that type nothing (arrows, Delete, function keys).
QChar TypedChar(const QKeyEvent *event) {
  switch (event->key()) {
  case Qt::Key_Backspace:
    return QChar(8);
  case Qt::Key_Return:
  case Qt::Key_Enter:
    return QChar(13);
  case Qt::Key_Escape:
    return QChar(27);
  default:
    break;
  }
  const QString text = event->text();
  if (text.isEmpty()) return {};
  const QChar c = text[0];
  if (c.unicode() == 127) return {};
  if (c.unicode() < 32 && !(event->modifiers() & Qt::ControlModifier)) return {};
  return c;
}

// Hides the line edit's own text cursor while a custom caret is drawn.
class HiddenCursorStyle : public QProxyStyle {
public:
  HiddenCursorStyle() : QProxyStyle(QApplication::style()->name()) {}
  int pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const override {
    if (metric == PM_TextCursorWidth) return 0;
    return QProxyStyle::pixelMetric(metric, option, widget);
  }
};

// What assistive technology reads of the edit: the text, or nothing while it is protected.
class MaskEditAccessible : public QAccessibleWidget,
                           public QAccessibleTextInterface,
                           public QAccessibleEditableTextInterface {
public:
  explicit MaskEditAccessible(TKvCustomMaskEdit *edit) : QAccessibleWidget(edit, QAccessible::EditableText) {}

  void *interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface *>(this);
    if (t == QAccessible::EditableTextInterface) return static_cast<QAccessibleEditableTextInterface *>(this);
    return QAccessibleWidget::interface_cast(t);
  }
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.editable = !Edit()->isReadOnly();
    s.readOnly = Edit()->isReadOnly();
    s.passwordEdit = Edit()->echoMode() != QLineEdit::Normal;
    return s;
  }
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return Shown();
    return QAccessibleWidget::text(t);
  }
  void setText(QAccessible::Text t, const QString &text) override {
    if (t == QAccessible::Value && !Edit()->isReadOnly()) Edit()->setText(text);
  }

  void selection(int index, int *start, int *end) const override {
    *start = *end = 0;
    if (index == 0 && Edit()->hasSelectedText() && !Hidden()) {
      *start = Edit()->selectionStart();
      *end = *start + Edit()->selectionLength();
    }
  }
  int selectionCount() const override { return Edit()->hasSelectedText() && !Hidden() ? 1 : 0; }
  void addSelection(int start, int end) override { setSelection(0, start, end); }
  void removeSelection(int) override { Edit()->deselect(); }
  void setSelection(int, int start, int end) override { Edit()->setSelection(start, end - start); }
  int cursorPosition() const override { return Hidden() ? 0 : Edit()->cursorPosition(); }
  void setCursorPosition(int position) override { Edit()->setCursorPosition(position); }
  QString text(int start, int end) const override { return Shown().mid(start, end - start); }
  int characterCount() const override { return int(Shown().size()); }
  QRect characterRect(int) const override { return {}; }
  int offsetAtPoint(const QPoint &point) const override {
    return Hidden() ? -1 : Edit()->cursorPositionAt(Edit()->mapFromGlobal(point));
  }
  void scrollToSubstring(int, int end) override { setCursorPosition(end); }
  QString attributes(int, int *start, int *end) const override {
    *start = *end = 0;
    return {};
  }

  void deleteText(int start, int end) override { replaceText(start, end, QString()); }
  void insertText(int offset, const QString &text) override { replaceText(offset, offset, text); }
  void replaceText(int start, int end, const QString &text) override {
    if (Edit()->isReadOnly()) return;
    Edit()->setSelection(start, end - start);
    Edit()->insert(text);
  }

private:
  TKvCustomMaskEdit *Edit() const { return static_cast<TKvCustomMaskEdit *>(widget()); }
  bool Hidden() const { return Edit()->ProtectText(); }
  // A password edit shows its mask characters, a protected one nothing.
  QString Shown() const { return Hidden() ? QString() : Edit()->displayText(); }
};

QAccessibleInterface *MaskEditAccessibleFactory(const QString &class_name, QObject *object) {
  if (class_name == QLatin1String(TKvCustomMaskEdit::staticMetaObject.className()) && object &&
      object->isWidgetType())
    return new MaskEditAccessible(static_cast<TKvCustomMaskEdit *>(object));
  return nullptr;
}

} // namespace

TKvCustomMaskEdit::TKvCustomMaskEdit(QWidget *parent) : QLineEdit(parent) {
  static const bool accessible_installed = [] {
    QAccessible::installFactory(MaskEditAccessibleFactory);
    return true;
  }();
  (void)accessible_installed;
  TrackFocus();
  Caret_ = std::make_unique<TKvCaret>(this);
  Caret_->OnChanged = [this](TKvCaret *) { ApplyCaret(); };
  connect(this, &QLineEdit::textChanged, this, [this] { Change(); });
  ApplyFrame();
}

TKvCustomMaskEdit::~TKvCustomMaskEdit() {
  Caret_->OnChanged = nullptr;
}

QString TKvCustomMaskEdit::Text() const {
  // The protection is for other programs; the edit's own getter always reads.
  return text();
}

void TKvCustomMaskEdit::SetText(const QString &value) {
  setText(value);
}

void TKvCustomMaskEdit::SetEditText(const QString &value) {
  setText(value);
}

void TKvCustomMaskEdit::SetCtl3D(bool value) {
  if (value == Ctl3D_) return;
  Ctl3D_ = value;
  ApplyFrame();
  NotifyCtl3DChange();
}

void TKvCustomMaskEdit::SetBorderStyle(TBorderStyle value) {
  if (value == BorderStyle_) return;
  BorderStyle_ = value;
  ApplyFrame();
}

void TKvCustomMaskEdit::ApplyFrame() {
  // A 3-D frame is the line edit's own; the flat one is drawn here, one pixel wide.
  setFrame(BorderStyle_ == bsSingle && Ctl3D_);
  const int flat = BorderStyle_ == bsSingle && !Ctl3D_ ? 1 : 0;
  setContentsMargins(flat, flat, flat, flat);
  update();
}

ui::TRect TKvCustomMaskEdit::ClientRect() const {
  int frame = 0;
  if (BorderStyle_ == bsSingle) {
    if (Ctl3D_) {
      QStyleOptionFrame option;
      initStyleOption(&option);
      frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
    } else {
      frame = 1;
    }
  }
  return ui::Rect(frame, frame, std::max(frame, width() - frame), std::max(frame, height() - frame));
}

void TKvCustomMaskEdit::SetHotTrack(bool value) {
  HotTrack_ = value;
  if (value) SetCtl3D(false);
}

void TKvCustomMaskEdit::SetClipBoardCommands(TKvClipBoardCommands value) {
  if (value == ClipBoardCommands_) return;
  ClipBoardCommands_ = value;
  setReadOnly(ReadOnlyForCommands(value));
}

void TKvCustomMaskEdit::SetDisabledColor(ui::TColor value) {
  if (value == DisabledColor_) return;
  DisabledColor_ = value;
  if (!isEnabled()) update();
}

void TKvCustomMaskEdit::SetDisabledTextColor(ui::TColor value) {
  if (value == DisabledTextColor_) return;
  DisabledTextColor_ = value;
  if (!isEnabled()) update();
}

bool TKvCustomMaskEdit::PasteRefused() const {
  return !Allowed(caPaste) || ProtectText_;
}

void TKvCustomMaskEdit::CopyToClipboard() {
  if (Allowed(caCopy)) copy();
}

void TKvCustomMaskEdit::CutToClipboard() {
  if (Allowed(caCut) && !ProtectText_) cut();
}

void TKvCustomMaskEdit::PasteFromClipboard(QClipboard::Mode mode) {
  if (!PasteRefused() && !isReadOnly()) {
    if (mode == QClipboard::Clipboard)
      paste();
    else
      insert(QGuiApplication::clipboard()->text(mode));
  }
  ClearGroup();
}

void TKvCustomMaskEdit::Undo() {
  if (Allowed(caUndo)) undo();
}

void TKvCustomMaskEdit::SetPasswordChar(QChar c) {
  if (ProtectText_) return;
  setEchoMode(c.isNull() ? QLineEdit::Normal : QLineEdit::Password);
}

void TKvCustomMaskEdit::DropCopiedSelection() {
  // Selecting text puts it into the X11 selection, which is a copy too.
  QClipboard *clipboard = QGuiApplication::clipboard();
  if (!Allowed(caCopy) && clipboard->supportsSelection() && clipboard->ownsSelection() && hasSelectedText())
    clipboard->clear(QClipboard::Selection);
}

void TKvCustomMaskEdit::ClearGroup() {
  if (!parentWidget() || GroupIndex_ == -1) return;
  for (TKvCustomMaskEdit *other : window()->findChildren<TKvCustomMaskEdit *>())
    if (other != this && other->GroupIndex_ == GroupIndex_) other->SetText(QString());
}

void TKvCustomMaskEdit::KeyDown(int &, Qt::KeyboardModifiers) {}

void TKvCustomMaskEdit::KeyPress(QChar &) {}

void TKvCustomMaskEdit::Change() {
  if (OnChange) OnChange(this);
}

void TKvCustomMaskEdit::keyPressEvent(QKeyEvent *event) {
  ClearGroup();
  int key = event->key();
  KeyDown(key, event->modifiers());
  if (key == 0) {
    event->accept();
    return;
  }
  if (event->matches(QKeySequence::Copy)) {
    CopyToClipboard();
  } else if (event->matches(QKeySequence::Cut)) {
    CutToClipboard();
  } else if (event->matches(QKeySequence::Paste)) {
    PasteFromClipboard();
  } else if (event->matches(QKeySequence::Undo)) {
    Undo();
  } else {
    const QChar typed = TypedChar(event);
    QChar c = typed;
    if (!typed.isNull()) KeyPress(c);
    if (!typed.isNull() && c.isNull()) {
      event->accept();
      return;
    }
    if (c != typed) {
      QKeyEvent changed(event->type(), event->key(), event->modifiers(), QString(c));
      QLineEdit::keyPressEvent(&changed);
      event->setAccepted(changed.isAccepted());
    } else {
      QLineEdit::keyPressEvent(event);
    }
    DropCopiedSelection();
    return;
  }
  event->accept();
}

void TKvCustomMaskEdit::mouseReleaseEvent(QMouseEvent *event) {
  if (event->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection()) {
    PasteFromClipboard(QClipboard::Selection);
    event->accept();
    return;
  }
  QLineEdit::mouseReleaseEvent(event);
  DropCopiedSelection();
}

void TKvCustomMaskEdit::contextMenuEvent(QContextMenuEvent *event) {
  std::unique_ptr<QMenu> menu(CreateContextMenu());
  menu->exec(event->globalPos());
}

QMenu *TKvCustomMaskEdit::CreateContextMenu() {
  auto *menu = new QMenu(this);
  const bool editable = !isReadOnly();
  const bool selected = hasSelectedText();
  const bool shown = echoMode() == QLineEdit::Normal;
  // The commands take the same gates as the keys.
  const struct {
    const char *name;
    QString text;
    bool enabled;
    std::function<void()> command;
  } items[] = {
      {"edit-undo", QStringLiteral("&Rückgängig"), editable && isUndoAvailable() && Allowed(caUndo),
       [this] { Undo(); }},
      {nullptr, {}, false, {}},
      {"edit-cut", QStringLiteral("&Ausschneiden"),
       editable && selected && shown && Allowed(caCut) && !ProtectText_, [this] { CutToClipboard(); }},
      {"edit-copy", QStringLiteral("&Kopieren"), selected && shown && Allowed(caCopy),
       [this] { CopyToClipboard(); }},
      {"edit-paste", QStringLiteral("&Einfügen"),
       editable && !PasteRefused() && !QGuiApplication::clipboard()->text().isEmpty(),
       [this] { PasteFromClipboard(); }},
      {"edit-delete", QStringLiteral("&Löschen"), editable && selected, [this] { del(); }},
      {nullptr, {}, false, {}},
      {"select-all", QStringLiteral("Alles &markieren"), !text().isEmpty(), [this] { selectAll(); }},
  };
  for (const auto &item : items) {
    if (!item.name) {
      menu->addSeparator();
      continue;
    }
    QAction *action = menu->addAction(item.text);
    action->setObjectName(QLatin1String(item.name));
    action->setEnabled(item.enabled);
    connect(action, &QAction::triggered, this, item.command);
  }
  return menu;
}

bool TKvCustomMaskEdit::DropRefused(QDropEvent *event) {
  // Dropped text is pasted text.
  if (!PasteRefused()) return false;
  event->ignore();
  return true;
}

void TKvCustomMaskEdit::dragEnterEvent(QDragEnterEvent *event) {
  if (!DropRefused(event)) QLineEdit::dragEnterEvent(event);
}

void TKvCustomMaskEdit::dragMoveEvent(QDragMoveEvent *event) {
  if (!DropRefused(event)) QLineEdit::dragMoveEvent(event);
}

void TKvCustomMaskEdit::dropEvent(QDropEvent *event) {
  if (!DropRefused(event)) QLineEdit::dropEvent(event);
}

void TKvCustomMaskEdit::paintEvent(QPaintEvent *event) {
  if (!isEnabled() && !Designing()) {
    PaintDisabled();
    return;
  }
  QLineEdit::paintEvent(event);
  if (BorderStyle_ == bsSingle && !Ctl3D_) {
    ui::TCanvas canvas(this);
    canvas.Brush.Color = ui::clWindowFrame;
    canvas.FrameRect(ui::Rect(0, 0, width(), height()));
  }
  PaintCaret();
}

void TKvCustomMaskEdit::PaintDisabled() {
  ui::TCanvas canvas(this);
  if (BorderStyle_ == bsSingle && Ctl3D_) {
    QStyleOptionFrame option;
    initStyleOption(&option);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, canvas.Painter(), this);
  } else if (BorderStyle_ == bsSingle) {
    canvas.Brush.Color = ui::clWindowFrame;
    canvas.FrameRect(ui::Rect(0, 0, width(), height()));
  }
  const ui::TRect client = ClientRect();
  canvas.Brush.Color = DisabledColor_;
  canvas.Brush.Style = ui::bsSolid;
  canvas.FillRect(client);
  canvas.IntersectClipRect(client);
  canvas.Font = ui::FontFromQFont(font());
  canvas.Font.Color = DisabledTextColor_;
  canvas.Brush.Style = ui::bsClear;
  // What the edit shows: a password edit keeps its mask characters while disabled.
  canvas.TextOut(client.Left + 1, client.Top + 1, displayText());
}

void TKvCustomMaskEdit::enterEvent(QEnterEvent *event) {
  QLineEdit::enterEvent(event);
  if (!MouseOver_) {
    QPalette tips = QToolTip::palette();
    SavedHintColor_ = ui::FromQColor(tips.color(QPalette::ToolTipBase));
    if (!Designing()) {
      tips.setColor(QPalette::ToolTipBase, ui::ToQColor(HintColor_));
      QToolTip::setPalette(tips);
      if (HotTrack_) SetCtl3D(true);
      MouseOver_ = true;
    }
  }
  NotifyMouseEnter();
}

void TKvCustomMaskEdit::leaveEvent(QEvent *event) {
  if (MouseOver_) {
    QPalette tips = QToolTip::palette();
    tips.setColor(QPalette::ToolTipBase, ui::ToQColor(SavedHintColor_));
    QToolTip::setPalette(tips);
    if (HotTrack_) SetCtl3D(false);
    MouseOver_ = false;
  }
  QLineEdit::leaveEvent(event);
  NotifyMouseLeave();
}

void TKvCustomMaskEdit::changeEvent(QEvent *event) {
  QLineEdit::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) {
    update();
    NotifyEnabledStateChange();
  } else if (event->type() == QEvent::PaletteChange && !testAttribute(Qt::WA_SetPalette)) {
    NotifyParentColorChange();
  }
}

void TKvCustomMaskEdit::focusInEvent(QFocusEvent *event) {
  QWidget *before = g_focus_before;
  const bool entering = !Entered_;
  Entered_ = true;
  EnterReason_ = event->reason();
  QLineEdit::focusInEvent(event);
  if (entering) GuardEvent(this, [this] { DoEnter(); });
  ApplyCaret();
  NotifyFocusGained(before != this ? before : nullptr);
}

void TKvCustomMaskEdit::focusOutEvent(QFocusEvent *event) {
  // The window losing the front (another window, a menu) is no change of the focused control.
  const bool leaving =
      Entered_ && event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason;
  std::optional<QString> refused;
  if (leaving) {
    Entered_ = false;
    try {
      DoExit();
    } catch (const EMessageError &error) {
      refused = error.Message();
    }
  }
  QLineEdit::focusOutEvent(event);
  // The edit's text cursor goes with the focus; the next focus applies the caret again.
  if (CustomCaret_) {
    CustomCaret_.reset();
    CaretOn_ = false;
    if (CaretBlink_) CaretBlink_->stop();
    SetCaretStyle(false);
  }
  NotifyFocusLost(QApplication::focusWidget());
  // Shown once the focus has settled, as the framework shows an error of a handler.
  if (refused) QTimer::singleShot(0, this, [this, message = *refused] { ui::ShowError(window(), message); });
}

void TKvCustomMaskEdit::DoEnter() {
  // Entering the edit selects its text unless a mouse click placed the cursor.
  const bool click =
      EnterReason_ == Qt::MouseFocusReason || (QGuiApplication::mouseButtons() & Qt::LeftButton);
  if (AutoSelect_ && !click)
    selectAll();
  else if (!AutoSelect_ && !click)
    deselect();
}

void TKvCustomMaskEdit::DoExit() {}

void TKvCustomMaskEdit::NotifyCtl3DChange() {
  if (OnCtl3DChange) OnCtl3DChange(this);
}

void TKvCustomMaskEdit::NotifyEnabledStateChange() {
  if (OnEnabledStateChange) OnEnabledStateChange(this);
}

void TKvCustomMaskEdit::NotifyFocusLost(QWidget *control) {
  if (OnFocusLost) OnFocusLost(this, control);
}

void TKvCustomMaskEdit::NotifyFocusGained(QWidget *control) {
  if (OnFocusGained) OnFocusGained(this, control);
}

void TKvCustomMaskEdit::ApplyCaret() {
  Caret_->Apply();
}

void TKvCustomMaskEdit::NotifyMouseEnter() {
  if (OnMouseEnterEdit) OnMouseEnterEdit(this);
}

void TKvCustomMaskEdit::NotifyMouseLeave() {
  if (OnMouseLeaveEdit) OnMouseLeaveEdit(this);
}

void TKvCustomMaskEdit::NotifyParentColorChange() {
  if (OnParentColorChange) OnParentColorChange(this);
}

bool TKvCustomMaskEdit::CreateCaret(const TCaretShape &shape) {
  CustomCaret_ = shape;
  SetCaretStyle(true);
  return true;
}

void TKvCustomMaskEdit::ShowCaret() {
  CaretOn_ = true;
  if (!CaretBlink_) {
    CaretBlink_ = new QTimer(this);
    connect(CaretBlink_, &QTimer::timeout, this, [this] {
      CaretOn_ = !CaretOn_;
      update(ui::ToQRect(CaretRect()));
    });
  }
  const int flash = QApplication::cursorFlashTime();
  if (flash > 0)
    CaretBlink_->start(flash / 2);
  else
    CaretBlink_->stop();
  update();
}

void TKvCustomMaskEdit::SetCaretStyle(bool hide_cursor) {
  if (hide_cursor && !CaretStyle_) {
    CaretStyle_ = new HiddenCursorStyle;
    CaretStyle_->setParent(this);
    setStyle(CaretStyle_);
  } else if (!hide_cursor && CaretStyle_) {
    setStyle(nullptr);
    delete CaretStyle_;
    CaretStyle_ = nullptr;
  }
}

ui::TRect TKvCustomMaskEdit::CaretRect() const {
  // The line edit's cursor rectangle reaches five pixels left of the cursor position.
  const QRect cursor = cursorRect();
  const int x = cursor.left() + 5;
  int w = 1;
  int h = cursor.height();
  if (CustomCaret_) {
    if (CustomCaret_->kind == TCaretShape::Bitmap) {
      w = CustomCaret_->Picture.Width();
      h = CustomCaret_->Picture.Height();
    } else {
      if (CustomCaret_->Width > 0) w = CustomCaret_->Width;
      if (CustomCaret_->Height > 0) h = CustomCaret_->Height;
    }
  }
  return ui::Bounds(x, cursor.top(), w, h);
}

void TKvCustomMaskEdit::PaintCaret() {
  if (!CustomCaret_ || !CaretOn_ || !hasFocus()) return;
  ui::TCanvas canvas(this);
  QPainter *p = canvas.Painter();
  // A caret inverts what lies under it, as the system caret does.
  p->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  const ui::TRect r = CaretRect();
  switch (CustomCaret_->kind) {
  case TCaretShape::Bitmap:
    p->drawImage(r.Left, r.Top, CustomCaret_->Picture.Image());
    break;
  case TCaretShape::Gray:
    p->fillRect(ui::ToQRect(r), QBrush(Qt::white, Qt::Dense4Pattern));
    break;
  case TCaretShape::Solid:
    p->fillRect(ui::ToQRect(r), Qt::white);
    break;
  }
}

} // namespace kv::edits
