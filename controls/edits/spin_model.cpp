#include "controls/edits/spin_model.h"

#include "controls/edits/str_util.h"

#include <QtCore/qnamespace.h>
#include <cfloat>
#include <cmath>

namespace kv::edits {

namespace {

QString IntegerText(std::int64_t value, bool thousands, const NumberLocale &locale) {
  const bool negative = value < 0;
  const std::uint64_t magnitude = negative ? std::uint64_t(0) - std::uint64_t(value) : std::uint64_t(value);
  const QString digits = QString::number(magnitude);
  const QString text = thousands ? GroupDigits(digits, locale.ThousandSeparator) : digits;
  return negative ? QLatin1Char('-') + text : text;
}

// Significant digits of a float's text; the decimals beyond them are zeros.
constexpr int kFloatPrecision = 15;

bool IsSingle(const QString &separator, QChar key) {
  return separator.size() == 1 && separator[0] == key;
}

bool IsShownText(const QString &text, const SpinTextFormat &format, const NumberLocale &locale) {
  const std::optional<double> value = SpinTextValue(text, format, locale);
  return value && SpinValueText(*value, format, locale) == text;
}

// Text that the edit itself shows (its thousands separators, say) comes back by paste or drop,
// although no key could type it: the new text is one the edit shows, or the inserted piece is
// and the new text still holds a number. (Which characters were inserted is a guess where the
// piece begins or ends like the text around it, so the whole new text is asked first.)
std::optional<QString> ShownTextInserted(const QString &head, const QString &inserted, const QString &tail,
                                         const SpinTextFormat &format, const NumberLocale &locale) {
  QString result = head + inserted + tail;
  if (IsShownText(result, format, locale)) return result;
  if (IsShownText(inserted, format, locale) && SpinTextValue(result, format, locale)) return result;
  return std::nullopt;
}

} // namespace

QString SpinValueText(double value, const SpinTextFormat &format, const NumberLocale &locale) {
  switch (format.ValueType) {
  case vtFloat: {
    if (!format.DisplayFormat.isEmpty()) return FormatFloat(format.DisplayFormat, value, locale);
    if (std::isnan(value)) value = 0;
    if (std::isinf(value)) value = std::copysign(DBL_MAX, value);
    // Beyond 15 digits before the separator a fixed text would only pretend precision.
    if (std::fabs(value) >= 1e15) return GeneralText(value, locale);
    return FixedText(value, kFloatPrecision, format.Decimal, format.Thousands, locale);
  }
  case vtHex:
    return HexText(ClampToInt64(value, true));
  case vtInteger:
  default:
    return IntegerText(ClampToInt64(value, false), format.Thousands, locale);
  }
}

std::optional<double> SpinTextValue(const QString &text, const SpinTextFormat &format,
                                    const NumberLocale &locale) {
  switch (format.ValueType) {
  case vtFloat:
    if (format.DisplayFormat.isEmpty()) return ParseFloat(StripThousands(text, locale), locale);
    return ParseFloat(NormalizeFloatText(text, locale), locale);
  case vtHex:
    if (auto value = ParseHex64(text)) return double(*value);
    return std::nullopt;
  case vtInteger:
  default:
    if (auto value = ParseInt64(StripThousands(text, locale))) return double(*value);
    return std::nullopt;
  }
}

bool SpinCharAllowed(QChar key, const QString &text, const SpinTextFormat &format, const NumberLocale &locale,
                     bool editor_enabled) {
  const char16_t k = key.unicode();
  if (!editor_enabled && (k == 8 || k >= 32)) return false;
  if (k < 32) return true;
  if (k == u'+' || k == u'-' || (k >= u'0' && k <= u'9')) return true;
  if (format.ValueType == vtFloat) {
    if (!text.contains(locale.DecimalSeparator)) {
      if (IsSingle(locale.DecimalSeparator, key)) return true;
      if (k == u'.' && !(format.Thousands && locale.ThousandSeparator == QLatin1String("."))) return true;
    }
    if (!text.toUpper().contains(QLatin1Char('E')) && (k == u'E' || k == u'e')) return true;
  }
  if (format.ValueType == vtHex && ((k >= u'A' && k <= u'F') || (k >= u'a' && k <= u'f'))) return true;
  return false;
}

QChar TranslateSpinChar(QChar key, const SpinTextFormat &format, const NumberLocale &locale) {
  if (key == QLatin1Char('.') && locale.DecimalSeparator.size() == 1 &&
      !(format.Thousands && locale.ThousandSeparator == QLatin1String(".")))
    return locale.DecimalSeparator[0];
  return key;
}

std::optional<QString> FilterSpinText(const QString &before, const QString &after,
                                      const SpinTextFormat &format, const NumberLocale &locale,
                                      bool editor_enabled) {
  if (before == after) return after;
  if (!editor_enabled) return std::nullopt;
  const qsizetype shorter = std::min(before.size(), after.size());
  qsizetype prefix = 0;
  while (prefix < shorter && before[prefix] == after[prefix])
    ++prefix;
  qsizetype suffix = 0;
  while (suffix < shorter - prefix && before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
    ++suffix;
  const QString head = before.left(prefix);
  const QString tail = before.right(suffix);
  const QString inserted = after.mid(prefix, after.size() - prefix - suffix);
  QString kept;
  for (QChar c : inserted) {
    // A control character would be text here, not a command.
    if (c.unicode() < 32 || !SpinCharAllowed(c, head + kept + tail, format, locale, editor_enabled))
      return ShownTextInserted(head, inserted, tail, format, locale);
    kept += TranslateSpinChar(c, format, locale);
  }
  return head + kept + tail;
}

QString RangeErrorText(double min_value, double max_value, const NumberLocale &locale) {
  QString text = ReplaceAll(QStringLiteral("Wert muss zwischen %d und %d liegen"), QStringLiteral("%d"),
                            QStringLiteral("%g"));
  for (double value : {min_value, max_value}) {
    const qsizetype at = text.indexOf(QLatin1String("%g"));
    if (at >= 0) text.replace(at, 2, GeneralText(value, locale));
  }
  return text;
}

TKvSpinModel::TKvSpinModel() : Locale_(NumberLocale::System()) {}

TKvSpinModel::~TKvSpinModel() = default;

SpinTextFormat TKvSpinModel::TextFormat() const {
  return SpinTextFormat{ValueType_, Thousands_, Decimal_, DisplayFormat_};
}

std::optional<double> TKvSpinModel::TryValue() const {
  return SpinTextValue(HostText(), TextFormat(), Locale_);
}

void TKvSpinModel::WriteValueAsText(double value) {
  HostSetText(SpinValueText(ClampValue(value), TextFormat(), Locale_));
  ApplyEditFormat();
}

double TKvSpinModel::ReadValueFromText() const {
  if (auto value = TryValue()) return *value;
  return ValueType_ == vtFloat ? MinValue_ : RoundHalfEven(MinValue_);
}

bool TKvSpinModel::CheckMinStored() const {
  return MinValue_ == 0 && CheckMinValue_ == (MaxValue_ == 0);
}

bool TKvSpinModel::CheckMaxStored() const {
  return MaxValue_ == 0 && CheckMaxValue_ == (MinValue_ == 0);
}

void TKvSpinModel::SetMinValue(double value) {
  ChangeBound(MinValue_, value, CheckMinStored(), AutoCheckMin_, &TKvSpinModel::SetCheckMinValue,
              AutoCheckMax_, &TKvSpinModel::SetCheckMaxValue);
}

void TKvSpinModel::SetMaxValue(double value) {
  ChangeBound(MaxValue_, value, CheckMaxStored(), AutoCheckMax_, &TKvSpinModel::SetCheckMaxValue,
              AutoCheckMin_, &TKvSpinModel::SetCheckMinValue);
}

void TKvSpinModel::ChangeBound(double &bound, double value, bool check_stored, bool auto_own,
                               void (TKvSpinModel::*set_own)(bool), bool auto_other,
                               void (TKvSpinModel::*set_other)(bool)) {
  if (value == bound) return;
  // The check was set by hand when it differs from what the automatic switching gives.
  const bool was_own = !check_stored;
  const bool zero_changed = (bound == 0) != (value == 0);
  bound = value;
  if (zero_changed && auto_own) {
    (this->*set_own)(AnyBoundSet());
    if (was_own && auto_other) (this->*set_other)(AnyBoundSet());
  }
  Refresh();
}

void TKvSpinModel::SetCheckMinValue(bool value) {
  CheckMinValue_ = MinValue_ != 0 ? true : value;
  if (Loading_) AutoCheckMin_ = false;
  Refresh();
}

void TKvSpinModel::SetCheckMaxValue(bool value) {
  CheckMaxValue_ = MaxValue_ != 0 ? true : value;
  if (Loading_) AutoCheckMax_ = false;
  Refresh();
}

void TKvSpinModel::Loaded() {
  Loading_ = false;
  AutoCheckMin_ = true;
  AutoCheckMax_ = true;
}

void TKvSpinModel::SetDisplayFormat(const QString &value) {
  if (value == DisplayFormat_) return;
  DisplayFormat_ = value;
  HostRepaint();
}

void TKvSpinModel::SetAlignment(TAlignment value) {
  if (value == Alignment_) return;
  Alignment_ = value;
  AlignmentChanged();
}

void TKvSpinModel::SetDecimal(int value) {
  value = std::clamp(value, 0, 255);
  if (value == Decimal_) return;
  Decimal_ = value;
  Refresh();
}

void TKvSpinModel::SetArrowKeys(bool value) {
  ArrowKeys_ = value;
  PlaceButton();
}

void TKvSpinModel::SetThousands(bool value) {
  if (ValueType_ == vtHex) return;
  Thousands_ = value;
}

TSpinButtonKind TKvSpinModel::EffectiveButtonKind() const {
  if (NewStyleControls()) return ButtonKind_;
  return PaintedButtonIsClassic() ? bkClassic : bkDiagonal;
}

void TKvSpinModel::SetButtonKind(TSpinButtonKind value) {
  const TSpinButtonKind old = ButtonKind_;
  ButtonKind_ = value;
  if (old == EffectiveButtonKind()) return;
  RebuildButton();
  PlaceButton();
  UpdateEditRect();
}

void TKvSpinModel::SetValueType(TValueType value) {
  if (value == ValueType_) return;
  ValueType_ = value;
  Refresh();
  if (value == vtInteger || value == vtHex) {
    Increment_ = RoundHalfEven(Increment_);
    if (Increment_ == 0) Increment_ = 1;
  }
  if (value == vtHex) Thousands_ = false;
}

void TKvSpinModel::ApplyEditFormat() {
  if (ValueType_ != vtFloat || !HasFocus_ || DisplayFormat_.isEmpty()) return;
  QString pattern = QStringLiteral("0");
  if (Decimal_ > 0) pattern += QLatin1Char('.') + RepeatChar(QLatin1Char('#'), Decimal_);
  HostSetEditText(FormatFloat(pattern, ReadValue(), Locale_));
}

bool TKvSpinModel::IsValidChar(QChar key) const {
  return SpinCharAllowed(key, HostText(), TextFormat(), Locale_, EditorEnabled_);
}

std::optional<QString> TKvSpinModel::FilterUserText(const QString &before, const QString &after) const {
  return FilterSpinText(before, after, TextFormat(), Locale_, EditorEnabled_);
}

double TKvSpinModel::ClampValue(double value) const {
  double result = value;
  if (CheckMinValue_ && value < MinValue_) result = MinValue_;
  if (CheckMaxValue_ && value > MaxValue_) result = MaxValue_;
  return result;
}

double TKvSpinModel::ValidateRange(double value, bool raise_error) const {
  const double result = ClampValue(value);
  if ((CheckMinValue_ || CheckMaxValue_) && raise_error && result != value)
    throw ERangeError(RangeErrorText(MinValue_, MaxValue_, Locale_));
  return result;
}

void TKvSpinModel::StepUp(QObject *) {
  Step(Increment_, OnTopClick);
}

void TKvSpinModel::StepDown(QObject *) {
  Step(-Increment_, OnBottomClick);
}

void TKvSpinModel::Step(double delta, const TNotifyEvent &event) {
  if (HostReadOnly()) {
    HostBeep();
    return;
  }
  const QString old = HostText();
  {
    ScopedFlag guard(InChange_);
    WriteValue(ReadValue() + delta);
  }
  if (HostText().compare(old, Qt::CaseInsensitive) != 0) {
    HostSetModified();
    Change();
  }
  if (event) event(HostSender());
}

void TKvSpinModel::Change() {
  if (InChange_ || !HostWindowExists()) return;
  {
    ScopedFlag guard(InChange_);
    const int selection = HostSelStart();
    if (!HostDesigning() && (CheckOptions_ & coCheckOnChange)) CheckedInput();
    HostSetSelStart(selection);
  }
  HostChanged();
}

void TKvSpinModel::CheckedInput() {
  try {
    ValidateRange(ReadValue(), true);
  } catch (const ERangeError &) {
    // The clamped value below answers the error.
  }
  WriteValue(ClampValue(ReadValue()));
}

bool TKvSpinModel::HandleKeyPress(QChar key) {
  if (IsValidChar(key)) return true;
  HostBeep();
  return false;
}

bool TKvSpinModel::HandleKeyDown(int key) {
  if (!ArrowKeys_) return false;
  if (key == Qt::Key_Up) {
    StepUp(HostSender());
    return true;
  }
  if (key == Qt::Key_Down) {
    StepDown(HostSender());
    return true;
  }
  return false;
}

void TKvSpinModel::HandleFocusEnter() {
  HasFocus_ = true;
  HostRepaint();
  ApplyEditFormat();
}

void TKvSpinModel::HandleFocusExit() {
  HasFocus_ = false;
  HostRepaint();
  if (HostDesigning() || !(CheckOptions_ & coCheckOnExit)) return;
  try {
    ValidateRange(ReadValue(), true);
    WriteValue(ClampValue(ReadValue()));
  } catch (const ERangeError &) {
    HasFocus_ = true;
    HostSelectAll();
    HostRefocus();
    throw;
  }
}

void TKvSpinModel::HandleWheel(int delta) {
  if (delta > 0)
    StepUp(nullptr);
  else
    StepDown(nullptr);
}

void TKvSpinModel::LoadProperties(const TKvSpinEditProperties &p) {
  BeginLoad();
  if (p.CheckOptions) SetCheckOptions(*p.CheckOptions);
  if (p.CheckMinValue) SetCheckMinValue(*p.CheckMinValue);
  if (p.CheckMaxValue) SetCheckMaxValue(*p.CheckMaxValue);
  if (p.Alignment) SetAlignment(*p.Alignment);
  if (p.ArrowKeys) SetArrowKeys(*p.ArrowKeys);
  if (p.DisplayFormat) SetDisplayFormat(*p.DisplayFormat);
  if (p.ButtonKind) SetButtonKind(*p.ButtonKind);
  if (p.Thousands) SetThousands(*p.Thousands);
  if (p.Decimal) SetDecimal(*p.Decimal);
  if (p.EditorEnabled) SetEditorEnabled(*p.EditorEnabled);
  if (p.Increment) SetIncrement(*p.Increment);
  if (p.MaxValue) SetMaxValue(*p.MaxValue);
  if (p.MinValue) SetMinValue(*p.MinValue);
  if (p.ValueType) SetValueType(*p.ValueType);
  if (p.Value) SetValue(*p.Value);
  Loaded();
}

TKvSpinEditProperties TKvSpinModel::StoredProperties() const {
  TKvSpinEditProperties p;
  if (CheckOptions_ != 0) p.CheckOptions = CheckOptions_;
  if (CheckMinStored()) p.CheckMinValue = CheckMinValue_;
  if (CheckMaxStored()) p.CheckMaxValue = CheckMaxValue_;
  if (Alignment_ != taLeftJustify) p.Alignment = Alignment_;
  if (!ArrowKeys_) p.ArrowKeys = ArrowKeys_;
  if (DisplayFormat_ != DefaultDisplayFormat()) p.DisplayFormat = DisplayFormat_;
  if (ButtonKind_ != bkDiagonal) p.ButtonKind = ButtonKind_;
  if (Thousands_) p.Thousands = Thousands_;
  if (Decimal_ != 2) p.Decimal = Decimal_;
  if (!EditorEnabled_) p.EditorEnabled = EditorEnabled_;
  if (Increment_ != 1.0) p.Increment = Increment_;
  if (MaxValue_ != 0) p.MaxValue = MaxValue_;
  if (MinValue_ != 0) p.MinValue = MinValue_;
  if (ValueType_ != vtInteger) p.ValueType = ValueType_;
  if (const double value = ReadValue(); value != 0) p.Value = value;
  return p;
}

} // namespace kv::edits
