#pragma once
// TKvCustomMaskEdit: the base of the spin edit. A masked line edit with its own look while
// disabled, hot tracking (flat until the mouse is over it), switches that allow or refuse copy,
// cut, paste and undo on every path (keys, context menu, middle click, drop), edit groups, a
// text getter that works while the text is hidden from other programs (the accessibility
// interface), notices for focus, mouse and look changes, and a custom caret.

#include <QClipboard>
#include <QLineEdit>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "controls/edits/caret.h"
#include "controls/edits/edit_types.h"
#include "platform/ui/color.h"
#include "platform/ui/geometry.h"

class QMenu;
class QProxyStyle;
class QTimer;

namespace kv::edits {

enum TKvClipBoardCommand : std::uint8_t { caCopy = 0x01, caCut = 0x02, caPaste = 0x04, caUndo = 0x08 };
using TKvClipBoardCommands = std::uint8_t;
constexpr TKvClipBoardCommands AllClipBoardCommands = caCopy | caCut | caPaste | caUndo;

// A design-time marker without effect.
enum TKvAboutInfo { KvAbout };

enum TBorderStyle { bsNone, bsSingle };

// An edit that may only copy (or do nothing) is read-only; any other set makes it editable.
constexpr bool ReadOnlyForCommands(TKvClipBoardCommands commands) {
  return (commands & ~caCopy) == 0;
}

class TKvCustomMaskEdit : public QLineEdit, public TKvCaretOwner {
  Q_OBJECT

public:
  using TFocusEvent = std::function<void(QObject *Sender, QWidget *Control)>;

  explicit TKvCustomMaskEdit(QWidget *parent = nullptr);
  ~TKvCustomMaskEdit() override;

  // The text, also while it is hidden from other programs.
  QString Text() const;
  void SetText(const QString &text);
  // Sets the text as the mask shows it (literals included).
  void SetEditText(const QString &text);
  QString EditMask() const { return inputMask(); }
  void SetEditMask(const QString &mask) { setInputMask(mask); }

  bool ReadOnly() const { return isReadOnly(); }
  void SetReadOnly(bool value) { setReadOnly(value); }
  bool Modified() const { return isModified(); }
  void SetModified(bool value) { setModified(value); }
  bool AutoSelect() const { return AutoSelect_; }
  void SetAutoSelect(bool value) { AutoSelect_ = value; }
  // A sunken 3-D frame (true) or a flat one-pixel frame.
  bool Ctl3D() const { return Ctl3D_; }
  void SetCtl3D(bool value);
  TBorderStyle BorderStyle() const { return BorderStyle_; }
  void SetBorderStyle(TBorderStyle value);
  // The area inside the frame, in the edit's own pixels.
  ui::TRect ClientRect() const;

  bool HotTrack() const { return HotTrack_; }
  void SetHotTrack(bool value);
  TKvClipBoardCommands ClipBoardCommands() const { return ClipBoardCommands_; }
  void SetClipBoardCommands(TKvClipBoardCommands value);
  ui::TColor DisabledColor() const { return DisabledColor_; }
  ui::TColor DisabledTextColor() const { return DisabledTextColor_; }
  int GroupIndex() const { return GroupIndex_; }
  void SetGroupIndex(int value) { GroupIndex_ = value; }
  // While set, the text is hidden from other programs (the accessibility interface reads it as
  // empty) and the edit refuses cut, paste and a new password character.
  bool ProtectText() const { return ProtectText_; }
  void SetProtectText(bool value) { ProtectText_ = value; }
  ui::TColor HintColor() const { return HintColor_; }
  bool MouseOver() const { return MouseOver_; }
  TKvCaret &Caret() { return *Caret_; }
  TKvAboutInfo AboutKv() const { return KvAbout; }
  // Overridable setters; a change shows at once while the edit is disabled.
  virtual void SetDisabledColor(ui::TColor value);
  virtual void SetDisabledTextColor(ui::TColor value);

  // The clipboard commands, each done only when allowed. Every way of the user (keys, context
  // menu, middle click) goes through these.
  virtual void CopyToClipboard();
  virtual void CutToClipboard();
  // Middle-click paste takes the selection clipboard.
  virtual void PasteFromClipboard(QClipboard::Mode mode = QClipboard::Clipboard);
  virtual void Undo();
  // The edit's context menu with its clipboard commands gated like the keys; the caller owns it.
  QMenu *CreateContextMenu();
  // A password character shows in place of every character; QChar() shows the text.
  void SetPasswordChar(QChar c);

  // True while a designer edits the form; never here.
  virtual bool Designing() const { return false; }

  TNotifyEvent OnChange;
  TNotifyEvent OnEnabledStateChange;
  TNotifyEvent OnMouseEnterEdit;
  TNotifyEvent OnMouseLeaveEdit;
  TNotifyEvent OnParentColorChange;
  TNotifyEvent OnCtl3DChange;
  TFocusEvent OnFocusGained;
  TFocusEvent OnFocusLost;

  // TKvCaretOwner
  bool CaretOwnerFocused() const override { return hasFocus(); }
  bool CaretOwnerDesigning() const override { return Designing(); }
  bool CreateCaret(const TCaretShape &shape) override;
  void ShowCaret() override;
  // The custom text cursor in effect, if any, and where it is drawn.
  const std::optional<TCaretShape> &CustomCaret() const { return CustomCaret_; }
  ui::TRect CaretRect() const;

protected:
  // Overridable operations, in this order.
  virtual void NotifyCtl3DChange();
  virtual void NotifyEnabledStateChange();
  virtual void NotifyFocusLost(QWidget *control);
  virtual void NotifyFocusGained(QWidget *control);
  virtual void ApplyCaret();
  virtual void NotifyMouseEnter();
  virtual void NotifyMouseLeave();
  virtual void NotifyParentColorChange();

  // The framework's key handlers: a key pressed (`key` set to 0 when used) and a character
  // typed (set to QChar() to drop it). Run after the group is cleared.
  virtual void KeyDown(int &key, Qt::KeyboardModifiers shift);
  virtual void KeyPress(QChar &key);
  // The text changed (by the user or the program).
  virtual void Change();

  // The focus came to this edit from another control of the window, or went from it to another;
  // the window losing or regaining the front is neither. An error DoExit raises is shown once
  // the focus has settled.
  virtual void DoEnter();
  virtual void DoExit();

  // Empties the other edits of the same window in this edit's group.
  void ClearGroup();

  void keyPressEvent(QKeyEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void contextMenuEvent(QContextMenuEvent *event) override;
  void dragEnterEvent(QDragEnterEvent *event) override;
  void dragMoveEvent(QDragMoveEvent *event) override;
  void dropEvent(QDropEvent *event) override;
  void paintEvent(QPaintEvent *event) override;
  void enterEvent(QEnterEvent *event) override;
  void leaveEvent(QEvent *event) override;
  void changeEvent(QEvent *event) override;
  void focusInEvent(QFocusEvent *event) override;
  void focusOutEvent(QFocusEvent *event) override;

private:
  bool Allowed(TKvClipBoardCommand command) const { return (ClipBoardCommands_ & command) != 0; }
  bool PasteRefused() const;
  bool DropRefused(QDropEvent *event);
  void DropCopiedSelection();
  void ApplyFrame();
  void PaintDisabled();
  void PaintCaret();
  void SetCaretStyle(bool hide_cursor);

  bool AutoSelect_ = true;
  bool Ctl3D_ = true;
  TBorderStyle BorderStyle_ = bsSingle;
  ui::TColor SavedHintColor_ = ui::clInfoBk;
  ui::TColor HintColor_ = ui::clInfoBk;
  bool MouseOver_ = false;
  bool HotTrack_ = false;
  std::unique_ptr<TKvCaret> Caret_;
  TKvClipBoardCommands ClipBoardCommands_ = AllClipBoardCommands;
  int GroupIndex_ = -1;
  ui::TColor DisabledColor_ = ui::clWindow;
  ui::TColor DisabledTextColor_ = ui::clGrayText;
  bool ProtectText_ = false;
  bool Entered_ = false;
  Qt::FocusReason EnterReason_ = Qt::OtherFocusReason;

  std::optional<TCaretShape> CustomCaret_;
  bool CaretOn_ = false;
  QTimer *CaretBlink_ = nullptr;
  QProxyStyle *CaretStyle_ = nullptr;
};

} // namespace kv::edits
