#pragma once
// The combo-style edit family: a one-line edit with a push button at its right edge.
// TKvCustomComboEdit holds the button, its width and picture kinds, read-only handling, the
// click key (Alt+Down), the clipboard switches and the hooks a drop-down popup would use.
// TKvFileDirEdit adds the dialog events, the folder picture and file drops; TKvDirectoryEdit
// opens a folder dialog on the button and puts the chosen folder into the text.

#include <QPointer>
#include <QVariant>
#include <QWidget>
#include <functional>

#include "controls/edits/combo_edit_rules.h"
#include "controls/edits/dir_edit_model.h"
#include "controls/edits/mask_edit.h"
#include "controls/edits/speed_button.h"
#include "platform/ui/shortcut.h"

namespace kv::edits {

class TKvCustomComboEdit;

// The button inside the edit. A press while the edit's popup is open closes the popup and does
// not count as a click.
class TKvEditButton : public TKvxSpeedButton {
  Q_OBJECT

public:
  TKvEditButton(TKvCustomComboEdit *edit, QWidget *parent);
  bool SkipNextClick = false;
  void Click() override;

protected:
  void mousePressEvent(QMouseEvent *event) override;

private:
  TKvCustomComboEdit *edit_;
};

using TKeyEvent = std::function<void(QObject *Sender, int &Key, Qt::KeyboardModifiers Shift)>;

class TKvCustomComboEdit : public TKvCustomMaskEdit {
  Q_OBJECT

public:
  explicit TKvCustomComboEdit(QWidget *parent = nullptr);
  ~TKvCustomComboEdit() override;

  QWidget *ButtonHolder() const { return ButtonHolder_; }
  TKvEditButton *Button() const { return Button_; }

  // Fired first on every click of the button that counts.
  TNotifyEvent OnButtonClick;
  TKeyEvent OnKeyDown;
  // The key that clicks the button (Alt+Down).
  ui::TShortCut ClickKey() const { return ClickKey_; }
  void SetClickKey(ui::TShortCut value) { ClickKey_ = value; }
  // The user cannot change the text, and the button does nothing.
  virtual bool ReadOnly() const { return ReadOnly_; }
  void SetReadOnly(bool value);
  // The user may type; off leaves the text to the button.
  bool DirectInput() const { return DirectInput_; }
  void SetDirectInput(bool value);
  TGlyphKind GlyphKind() const { return GlyphKind_; }
  void SetGlyphKind(TGlyphKind value);
  // Only copying allowed (or nothing) makes the edit read-only.
  void SetClipBoardCommands(TKvClipBoardCommands value);

  int ButtonWidth() const;
  void SetButtonWidth(int value);
  QString ButtonHint() const;
  void SetButtonHint(const QString &value);
  bool ButtonFlat() const;
  void SetButtonFlat(bool value);
  const ui::TBitmap &Glyph() const;
  // Sets the button's picture; the glyph kind becomes gkCustom.
  void SetGlyph(const ui::TBitmap &value);
  int NumGlyphs() const;
  void SetNumGlyphs(int value);
  // Copy only with caCopy, undo only with caUndo; cut and paste only while the user may type.
  void CopyToClipboard() override;
  void CutToClipboard() override;
  void PasteFromClipboard(QClipboard::Mode mode = QClipboard::Clipboard) override;
  void Undo() override;

  // Whether a form description would have to keep the button width and the picture.
  bool IsButtonWidthStored() const;
  bool IsGlyphStored() const { return GlyphKind_ == gkCustom; }

  // The click of the button or the click key: RunButtonAction unless read-only.
  void EmbeddedButtonClick();

  // The popup a descendant attaches (none by default) and whether it is open.
  QWidget *AttachedPopup() const { return AttachedPopup_; }
  void SetAttachedPopup(QWidget *popup);
  bool PopupOpen() const { return PopupOpen_; }
  virtual void OpenPopup(bool LockText);
  virtual void ClosePopup(QObject *Sender, bool Accept);

  // Height for the font; the text area beside the button; where the button goes.
  void FitHeightToFont();
  void SetTextArea();
  void PlaceButtonHolder();
  TEditLook Look() const;

protected:
  // The picture of gkDefault; the combo edit has none.
  virtual ui::TBitmap DefaultGlyphBitmap();
  // Popup operations a descendant overrides.
  virtual void PlacePopup(QPoint at);
  virtual void ConcealPopup();
  virtual void FireChange();
  virtual bool MayTakePopupValue(const QVariant &value);
  virtual void TakePopupValue(const QVariant &value);
  virtual void PassValueToPopup(const QVariant &value);
  virtual QVariant PopupValue();
  virtual void TextChangedWhilePopupOpen();
  // What a click does: OnButtonClick, then opening or closing the popup.
  virtual void RunButtonAction();

  void RefreshButtonGlyph();
  void ApplyReadOnly();

  void KeyDown(int &key, Qt::KeyboardModifiers shift) override;
  void KeyPress(QChar &key) override;
  void Change() override;
  void DoEnter() override;

  void focusInEvent(QFocusEvent *event) override;
  void focusOutEvent(QFocusEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void changeEvent(QEvent *event) override;

  bool Constructing_ = true;

private:
  friend class TKvEditButton;
  bool MayEditText() const { return DirectInput_ && !ReadOnly_; }

  QWidget *ButtonHolder_ = nullptr;
  TKvEditButton *Button_ = nullptr;
  ui::TShortCut ClickKey_ = ui::ShortCut(ui::VK_DOWN, ui::scAlt);
  bool ReadOnly_ = false;
  bool DirectInput_ = true;
  TGlyphKind GlyphKind_ = gkCustom;
  int DefaultGlyphCount_ = 1;
  bool ButtonFixedWidth_ = false;
  bool Focused_ = false;
  QPointer<QWidget> AttachedPopup_;
  bool PopupOpen_ = false;
};

// Adds the dialog events, the folder picture and dropped files.
class TKvFileDirEdit : public TKvCustomComboEdit {
  Q_OBJECT

public:
  explicit TKvFileDirEdit(QWidget *parent = nullptr);

  // Files dropped from a file manager are taken.
  bool AcceptFiles() const { return AcceptFiles_; }
  void SetAcceptFiles(bool value) { AcceptFiles_ = value; }
  TNotifyEvent OnDropFiles;
  TExecOpenDialogEvent OnBeforeDialog, OnAfterDialog;

  // The text in long or short path form.
  virtual QString LongFormOfText() const = 0;
  virtual QString ShortFormOfText() const = 0;
  // Takes a dropped name into the text.
  virtual void AcceptDroppedName(const QString &name) = 0;
  virtual void ClearDroppedNames() {}

  // The dropped items of a drop: the first local file is taken whole; returns whether the drop
  // was handled.
  bool DropFiles(const QList<QUrl> &urls);

protected:
  ui::TBitmap DefaultGlyphBitmap() override;
  virtual void FireBeforeDialog(QString &name, bool &action);
  virtual void FireAfterDialog(QString &name, bool &action);

  void dragEnterEvent(QDragEnterEvent *event) override;
  void dragMoveEvent(QDragMoveEvent *event) override;
  void dropEvent(QDropEvent *event) override;

private:
  bool AcceptFiles_ = true;
};

class TKvDirectoryEdit : public TKvFileDirEdit {
  Q_OBJECT

public:
  explicit TKvDirectoryEdit(QWidget *parent = nullptr);

  ui::TSelectDirOpts DialogOptions() const { return Model_.DialogOptions; }
  void SetDialogOptions(ui::TSelectDirOpts value) { Model_.DialogOptions = value; }
  const QString &InitialDir() const { return Model_.InitialDir; }
  void SetInitialDir(const QString &value) { Model_.InitialDir = value; }
  const QString &DialogText() const { return Model_.DialogText; }
  void SetDialogText(const QString &value) { Model_.DialogText = value; }
  TDirDialogKind DialogKind() const { return Model_.DialogKind; }
  void SetDialogKind(TDirDialogKind value) { Model_.DialogKind = value; }
  bool MultipleDirs() const { return Model_.MultipleDirs; }
  void SetMultipleDirs(bool value) { Model_.MultipleDirs = value; }
  // The help topic of the edit, which the folder dialog's help button opens.
  int HelpContext() const { return Model_.HelpContext; }
  void SetHelpContext(int value) { Model_.HelpContext = value; }
  // The dialogs it opens (tests put their own in).
  TDirectoryEditModel &Model() { return Model_; }

  QString LongFormOfText() const override { return Model_.LongForm(Text()); }
  QString ShortFormOfText() const override { return Model_.ShortForm(Text()); }
  void AcceptDroppedName(const QString &name) override;

protected:
  void RunButtonAction() override;

private:
  TDirectoryEditModel Model_;
};

} // namespace kv::edits
