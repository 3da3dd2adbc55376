#pragma once
// The numeric spin edit without its window: value range with the automatic switching of the
// two checks, the conversion between number and text (whole, float, hexadecimal; thousands
// separators; a display pattern), the key filter and the validator every input path goes
// through, stepping, and the change, focus, key and wheel handling. TKvCustomSpinEdit is this
// model over a TKvCustomMaskEdit; tests drive the model directly through a small host.

#include <QString>
#include <cstdint>
#include <optional>

#include "controls/edits/edit_types.h"
#include "controls/edits/number_text.h"

class QObject;

namespace kv::edits {

enum TSpinButtonKind { bkStandard, bkDiagonal, bkClassic };
enum TValueType { vtInteger, vtFloat, vtHex };

enum TKvCheckOption : std::uint8_t { coCheckOnChange = 0x01, coCheckOnExit = 0x02 };
using TKvCheckOptions = std::uint8_t;

// How a spin edit writes its number.
struct SpinTextFormat {
  TValueType ValueType = vtInteger;
  bool Thousands = false;
  int Decimal = 2;
  QString DisplayFormat;
};

// The text of a value: whole numbers rounded (halves away from zero), floats with `Decimal`
// digits or through `DisplayFormat`, hexadecimal rounded with halves to even. Whole and
// hexadecimal values are kept inside 64 bits (NaN writes as 0), so no value is undefined.
QString SpinValueText(double value, const SpinTextFormat &format, const NumberLocale &locale);
// The number the text holds under the format, or nothing when it holds none.
std::optional<double> SpinTextValue(const QString &text, const SpinTextFormat &format,
                                    const NumberLocale &locale);

// The key filter: may `key` be typed into `text`? Control characters (below 32) are commands
// and pass, except backspace while the editor is disabled.
bool SpinCharAllowed(QChar key, const QString &text, const SpinTextFormat &format, const NumberLocale &locale,
                     bool editor_enabled);
// The character a typed key becomes: "." is the decimal separator unless thousands are shown
// and "." separates them.
QChar TranslateSpinChar(QChar key, const SpinTextFormat &format, const NumberLocale &locale);
// The validator behind every way text enters the edit (keys, paste, drop, middle click, input
// method): the characters that `after` adds to `before` must pass the key filter one by one,
// each against the text as it has grown; they are translated like typed keys. A piece that the
// edit would show itself ("1.234" with German thousands) passes whole when the result still
// holds a number. Removing text is allowed while the editor is enabled. Returns the text to
// keep, or nothing to refuse the edit.
std::optional<QString> FilterSpinText(const QString &before, const QString &after,
                                      const SpinTextFormat &format, const NumberLocale &locale,
                                      bool editor_enabled);

// "Wert muss zwischen 1 und 99 liegen".
QString RangeErrorText(double min_value, double max_value, const NumberLocale &locale);

// What a form description stores of a spin edit; loading applies the set ones in this order.
struct TKvSpinEditProperties {
  std::optional<TKvCheckOptions> CheckOptions;
  std::optional<bool> CheckMinValue;
  std::optional<bool> CheckMaxValue;
  std::optional<TAlignment> Alignment;
  std::optional<bool> ArrowKeys;
  std::optional<QString> DisplayFormat;
  std::optional<TSpinButtonKind> ButtonKind;
  std::optional<bool> Thousands;
  std::optional<int> Decimal;
  std::optional<bool> EditorEnabled;
  std::optional<double> Increment;
  std::optional<double> MaxValue;
  std::optional<double> MinValue;
  std::optional<TValueType> ValueType;
  std::optional<double> Value;
};

class TKvSpinModel {
public:
  TKvSpinModel();
  virtual ~TKvSpinModel();
  TKvSpinModel(const TKvSpinModel &) = delete;
  TKvSpinModel &operator=(const TKvSpinModel &) = delete;

  // The number in the text. Reading never raises and never clamps: text that holds no number
  // reads as MinValue (rounded for whole and hexadecimal values). Writing clamps to the
  // applied bounds.
  double Value() const { return ReadValue(); }
  void SetValue(double value) { WriteValue(value); }
  // The number in the text, or nothing when the text holds none; not clamped. For callers that
  // must tell "no number" from the minimum (whole values are read with 64 bits).
  std::optional<double> TryValue() const;

  double MinValue() const { return MinValue_; }
  void SetMinValue(double value);
  double MaxValue() const { return MaxValue_; }
  void SetMaxValue(double value);
  double Increment() const { return Increment_; }
  void SetIncrement(double value) { Increment_ = value; }
  bool CheckMinValue() const { return CheckMinValue_; }
  void SetCheckMinValue(bool value);
  bool CheckMaxValue() const { return CheckMaxValue_; }
  void SetCheckMaxValue(bool value);
  bool AutoCheckMin() const { return AutoCheckMin_; }
  bool AutoCheckMax() const { return AutoCheckMax_; }
  TKvCheckOptions CheckOptions() const { return CheckOptions_; }
  void SetCheckOptions(TKvCheckOptions value) { CheckOptions_ = value; }
  const QString &DisplayFormat() const { return DisplayFormat_; }
  void SetDisplayFormat(const QString &value);
  TAlignment Alignment() const { return Alignment_; }
  void SetAlignment(TAlignment value);
  int Decimal() const { return Decimal_; }
  void SetDecimal(int value);
  bool EditorEnabled() const { return EditorEnabled_; }
  void SetEditorEnabled(bool value) { EditorEnabled_ = value; }
  TValueType ValueType() const { return ValueType_; }
  bool ArrowKeys() const { return ArrowKeys_; }
  void SetArrowKeys(bool value);
  bool Thousands() const { return Thousands_; }
  void SetThousands(bool value);
  TSpinButtonKind ButtonKind() const { return ButtonKind_; }
  void SetButtonKind(TSpinButtonKind value);
  // The kind of side button actually built.
  TSpinButtonKind EffectiveButtonKind() const;
  bool HasFocus() const { return HasFocus_; }

  // Separators used for reading and writing; the user's regional settings unless set.
  const NumberLocale &Locale() const { return Locale_; }
  void SetLocale(const NumberLocale &locale) { Locale_ = locale; }
  SpinTextFormat TextFormat() const;

  TNotifyEvent OnTopClick;
  TNotifyEvent OnBottomClick;

  // Operations a subclass may replace, in this order.
  virtual void WriteValue(double value) = 0;
  virtual double ReadValue() const = 0;
  virtual void SetValueType(TValueType value);
  virtual void ApplyEditFormat();
  virtual QString DefaultDisplayFormat() const { return QStringLiteral(",0.##"); }
  virtual bool IsValidChar(QChar key) const;
  virtual void StepUp(QObject *Sender);
  virtual void StepDown(QObject *Sender);

  double ClampValue(double value) const;
  // The clamped value; raises ERangeError when a check applies, `raise_error` is set and the
  // value had to be clamped.
  double ValidateRange(double value, bool raise_error) const;

  // Loading from a form description: the switches that depend on other properties settle once
  // Loaded runs.
  void BeginLoad() { Loading_ = true; }
  bool Loading() const { return Loading_; }
  virtual void Loaded();
  // BeginLoad, the set properties in their stored order, Loaded.
  void LoadProperties(const TKvSpinEditProperties &properties);
  // The properties a form description stores for this edit.
  TKvSpinEditProperties StoredProperties() const;

  // Handlers the edit control calls.
  // A change of the text (every change, the edit's own writes included).
  void Change();
  // A key typed as a character; false when it is refused (the host has beeped).
  bool HandleKeyPress(QChar key);
  // A key pressed; true when it was used for stepping.
  bool HandleKeyDown(int key);
  // The edit gains the focus.
  void HandleFocusEnter();
  // The edit loses the focus; raises ERangeError when the exit check refuses the value (the
  // text is then selected, HasFocus stays set and the host is asked to take the focus back).
  void HandleFocusExit();
  // A turn of the mouse wheel: positive away from the user.
  void HandleWheel(int delta);

  // The validator for a change of the text made by the user.
  std::optional<QString> FilterUserText(const QString &before, const QString &after) const;

protected:
  // Writing and reading as a spin edit that holds its number as text does it.
  void WriteValueAsText(double value);
  double ReadValueFromText() const;

  // The edit control this model sits in.
  virtual QString HostText() const = 0;                  // the text, read through the edit's getter
  virtual void HostSetText(const QString &text) = 0;     // the edit's text setter
  virtual void HostSetEditText(const QString &text) = 0; // the mask-aware setter
  virtual bool HostReadOnly() const = 0;
  virtual void HostBeep() = 0;
  virtual void HostSetModified() = 0;
  virtual void HostChanged() = 0; // raise OnChange
  virtual bool HostWindowExists() const { return true; }
  virtual bool HostDesigning() const { return false; }
  virtual void HostRepaint() {}
  virtual int HostSelStart() const { return 0; }
  virtual void HostSetSelStart(int) {}
  virtual void HostSelectAll() {}
  virtual void HostRefocus() {}
  virtual QObject *HostSender() { return nullptr; }
  virtual bool NewStyleControls() const { return true; }
  virtual bool PaintedButtonIsClassic() const { return false; }
  // The side button must be built anew / placed anew; the text area follows it.
  virtual void RebuildButton() {}
  virtual void PlaceButton() {}
  virtual void UpdateEditRect() {}
  virtual void AlignmentChanged() {}

  bool InChange_ = false;

private:
  void Step(double delta, const TNotifyEvent &event);
  void Refresh() { WriteValue(ReadValue()); }
  bool AnyBoundSet() const { return MinValue_ != 0 || MaxValue_ != 0; }
  bool CheckMinStored() const;
  bool CheckMaxStored() const;
  // A new lower or upper bound, with the automatic switching of the checks.
  void ChangeBound(double &bound, double value, bool check_stored, bool auto_own,
                   void (TKvSpinModel::*set_own)(bool), bool auto_other,
                   void (TKvSpinModel::*set_other)(bool));
  void CheckedInput();

  bool HasFocus_ = false;
  TKvCheckOptions CheckOptions_ = 0;
  bool AutoCheckMin_ = true;
  bool AutoCheckMax_ = true;
  bool CheckMinValue_ = false;
  bool CheckMaxValue_ = false;
  QString DisplayFormat_;
  TAlignment Alignment_ = taLeftJustify;
  double MinValue_ = 0;
  double MaxValue_ = 0;
  double Increment_ = 1.0;
  int Decimal_ = 2;
  bool EditorEnabled_ = true;
  TValueType ValueType_ = vtInteger;
  bool ArrowKeys_ = true;
  bool Thousands_ = false;
  TSpinButtonKind ButtonKind_ = bkDiagonal;
  bool Loading_ = false;
  NumberLocale Locale_;
};

} // namespace kv::edits
