#pragma once
// Numbers as the user sees them: the locale's decimal and thousands separators, reading whole,
// hexadecimal and floating numbers (every reading says "not a number" instead of guessing), and
// writing them plainly or through a number pattern such as ",0.##". Separators are characters,
// so a Swiss "’" (U+2019) or a French narrow no-break space (U+202F) is one of them.

#include <QLocale>
#include <QString>
#include <cstdint>
#include <optional>

namespace kv::edits {

struct NumberLocale {
  QString DecimalSeparator = QStringLiteral(".");
  QString ThousandSeparator = QStringLiteral(",");

  static NumberLocale FromQLocale(const QLocale &locale);
  // The user's regional settings (LC_NUMERIC, LC_ALL or LANG).
  static NumberLocale System();
};

// Rounds to the nearest whole number, halves to the even neighbour.
double RoundHalfEven(double value);

// The value as a 64-bit whole number: NaN gives 0, values beyond the 64-bit range the nearest
// end of it. `half_even` chooses the rounding of halves (else away from zero).
std::int64_t ClampToInt64(double value, bool half_even);

// The text with the thousands separators removed where they group the digits of a number's
// integer part (1 to 3 digits, then groups of exactly 3). A separator that does not group
// digits stays, so "1.5" is not read as 15 where "." groups thousands; the text is unchanged
// when the two separators are the same.
QString StripThousands(const QString &text, const NumberLocale &locale);

// A float text in a looser form for reading: blanks at both ends trimmed, grouping thousands
// separators removed (when the separators differ), "." and "," read as the decimal separator
// when neither separator is that character; "" becomes "0" and "-" becomes "-0".
QString NormalizeFloatText(const QString &text, const NumberLocale &locale);

// Readings; nothing when the text does not hold exactly one number. Blanks at both ends are
// allowed, thousands separators are not (strip them first).
std::optional<std::int64_t> ParseInt64(const QString &text);
// Hexadecimal digits after an optional sign, no prefix.
std::optional<std::int64_t> ParseHex64(const QString &text);
// Sign, digits, the locale's decimal separator, an exponent ("1,5E3"); finite results only.
std::optional<double> ParseFloat(const QString &text, const NumberLocale &locale);

// Inserts the thousands separator into a run of digits.
QString GroupDigits(const QString &digits, const QString &separator);

// Fixed-point text with `decimals` digits after the separator, thousands grouped when
// `thousands`. The value is rounded once, to `precision` significant digits where that comes
// before the last decimal; the decimals beyond the precision are zeros, so 0.1 never shows
// the binary fraction's noise ("0.100000000000000006").
QString FixedText(double value, int precision, int decimals, bool thousands, const NumberLocale &locale);
// Hexadecimal, upper case, at least one digit, "-" before negative numbers.
QString HexText(std::int64_t value);

// A number laid out by a pattern: "0" a digit always shown, "#" a digit shown when significant,
// "." the decimal separator, "," anywhere before it groups thousands, "E+"/"E-" with "0"s an
// exponent, text in quotes literal; up to three sections "positive;negative;zero". Literal text
// before and after the digits is kept.
QString FormatFloat(const QString &pattern, double value, const NumberLocale &locale);

// The general form of a number ("%g"): at most 15 significant digits, no trailing zeros.
QString GeneralText(double value, const NumberLocale &locale);

} // namespace kv::edits
