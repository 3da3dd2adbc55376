#pragma once
// The numeric spin edit: a single-line edit that holds one number, with a small up/down button
// at its side. The user types the number, or steps it by the increment with the button, the Up
// and Down keys or the mouse wheel. TKvCustomSpinEdit carries the behaviour (TKvSpinModel over
// the masked edit) and the side button; TKvSpinEdit converts between number and text.
//
// For a dialog: Value() reads the number (text that holds none reads as the minimum), TryValue()
// tells "no number" apart, SetValue() writes it clamped to MinValue..MaxValue, Text() is the
// text as typed.

#include <QPointer>
#include <memory>

#include "controls/edits/mask_edit.h"
#include "controls/edits/spin_buttons.h"
#include "controls/edits/spin_model.h"

class QValidator;

namespace kv::edits {

class TKvCustomSpinEdit : public TKvCustomMaskEdit, public TKvSpinModel {
  Q_OBJECT

public:
  explicit TKvCustomSpinEdit(QWidget *parent = nullptr);
  ~TKvCustomSpinEdit() override;

  // The side buttons; at most one of them exists.
  TKvUpDown *UpDown() const { return UpDown_; }
  TKvSpinButton *SpinButton() const { return Button_; }
  QWidget *ButtonHolder() const { return Holder_; }

  TBiDiMode BiDiMode() const;
  void SetBiDiMode(TBiDiMode value);
  // The lowest height that shows the font whole.
  int MinimumHeight() const;
  int SpinButtonWidth() const;

  void Change() override;
  void CutToClipboard() override;
  void PasteFromClipboard(QClipboard::Mode mode = QClipboard::Clipboard) override;

protected:
  // The up-down was clicked.
  void UpDownClicked(QObject *Sender, TUDBtnType Button);

  void KeyDown(int &key, Qt::KeyboardModifiers shift) override;
  void KeyPress(QChar &key) override;
  void NotifyCtl3DChange() override;
  void DoEnter() override;
  void DoExit() override;
  void wheelEvent(QWheelEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void changeEvent(QEvent *event) override;

  QString HostText() const override { return Text(); }
  void HostSetText(const QString &text) override;
  void HostSetEditText(const QString &text) override;
  bool HostReadOnly() const override { return isReadOnly(); }
  void HostBeep() override;
  void HostSetModified() override { setModified(true); }
  void HostChanged() override;
  bool HostDesigning() const override { return Designing(); }
  void HostRepaint() override { update(); }
  int HostSelStart() const override;
  void HostSetSelStart(int position) override { setCursorPosition(position); }
  void HostSelectAll() override { selectAll(); }
  void HostRefocus() override;
  QObject *HostSender() override { return this; }
  bool PaintedButtonIsClassic() const override;
  void RebuildButton() override;
  void PlaceButton() override;
  void UpdateEditRect() override;
  void AlignmentChanged() override;

private:
  friend class SpinValidator;
  // Text written by the program passes without the validator.
  void WriteText(const QString &text, bool edit_text);

  bool Destroying_ = false;
  bool ProgramWrite_ = false;
  QString LastText_;
  QValidator *Validator_ = nullptr;
  QPointer<TKvUpDown> UpDown_;
  QPointer<QWidget> Holder_;
  QPointer<TKvSpinButton> Button_;
};

class TKvSpinEdit : public TKvCustomSpinEdit {
  Q_OBJECT

public:
  explicit TKvSpinEdit(QWidget *parent = nullptr);

  void WriteValue(double value) override { WriteValueAsText(value); }
  double ReadValue() const override { return ReadValueFromText(); }
};

} // namespace kv::edits
