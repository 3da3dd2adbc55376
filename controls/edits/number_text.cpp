#include "controls/edits/number_text.h"

#include "controls/edits/str_util.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace kv::edits {

namespace {

bool IsDigit(QChar c) {
  return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool IsHexDigit(QChar c) {
  const char16_t u = c.toUpper().unicode();
  return IsDigit(c) || (u >= u'A' && u <= u'F');
}

bool At(const QString &text, qsizetype pos, const QString &what) {
  return !what.isEmpty() && QStringView(text).mid(pos).startsWith(what);
}

// Fixed-point digits of a non-negative value, without sign: integer part and fraction.
void FixedDigits(double value, int decimals, QString &int_part, QString &fraction) {
  std::array<char, 800> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), std::fabs(value),
                                    std::chars_format::fixed, decimals);
  const QString text = QString::fromLatin1(buffer.data(), result.ptr - buffer.data());
  const qsizetype point = text.indexOf(QLatin1Char('.'));
  int_part = point < 0 ? text : text.left(point);
  fraction = point < 0 ? QString() : text.mid(point + 1);
}

// How many decimals lie within `precision` significant digits of the value; the exponent is
// that of the value rounded to the precision, so 9.9999999999999999 counts as 10.
int DecimalsWithin(double value, int precision) {
  if (value == 0 || !std::isfinite(value) || precision < 1) return std::numeric_limits<int>::max();
  std::array<char, 64> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), std::fabs(value),
                                    std::chars_format::scientific, std::min(precision, 40) - 1);
  const char *e = std::find(buffer.data(), result.ptr, 'e');
  int exponent = 0;
  std::from_chars(e[1] == '+' ? e + 2 : e + 1, result.ptr, exponent);
  return precision - 1 - exponent;
}

bool AllZero(const QString &digits) {
  for (QChar c : digits)
    if (c != QLatin1Char('0')) return false;
  return true;
}

} // namespace

NumberLocale NumberLocale::FromQLocale(const QLocale &locale) {
  NumberLocale result;
  result.DecimalSeparator = locale.decimalPoint();
  result.ThousandSeparator = locale.groupSeparator();
  return result;
}

NumberLocale NumberLocale::System() {
  return FromQLocale(QLocale::system());
}

double RoundHalfEven(double value) {
  return std::nearbyint(value);
}

std::int64_t ClampToInt64(double value, bool half_even) {
  if (std::isnan(value)) return 0;
  const double rounded = half_even ? RoundHalfEven(value) : std::round(value);
  // 2^63 is exact as a double; every double below it converts without overflow.
  constexpr double limit = 9223372036854775808.0;
  if (rounded >= limit) return std::numeric_limits<std::int64_t>::max();
  if (rounded < -limit) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(rounded);
}

QString StripThousands(const QString &text, const NumberLocale &locale) {
  const QString &sep = locale.ThousandSeparator;
  const QString &dec = locale.DecimalSeparator;
  if (sep.isEmpty() || sep == dec) return text;
  QString out;
  const qsizetype n = text.size();
  qsizetype i = 0;
  while (i < n) {
    if (!IsDigit(text[i])) {
      out += text[i++];
      continue;
    }
    // A run of digits joined by separators starts here; it is a grouped number when the first
    // group has one to three digits and every later group exactly three.
    const bool in_fraction = i >= dec.size() && At(text, i - dec.size(), dec);
    const qsizetype start = i;
    bool grouped = true;
    int groups = 0;
    for (;;) {
      int digits = 0;
      while (i < n && IsDigit(text[i]))
        ++i, ++digits;
      grouped = grouped && (groups == 0 ? digits <= 3 : digits == 3);
      ++groups;
      if (!(At(text, i, sep) && i + sep.size() < n && IsDigit(text[i + sep.size()]))) break;
      i += sep.size();
    }
    QString run = text.mid(start, i - start);
    if (groups > 1 && grouped && !in_fraction) run.remove(sep);
    out += run;
  }
  return out;
}

QString NormalizeFloatText(const QString &text, const NumberLocale &locale) {
  const QString &dec = locale.DecimalSeparator;
  const QString &sep = locale.ThousandSeparator;
  QString result = TrimSpaces(text);
  if (dec != sep) result = StripThousands(result, locale);
  if (dec != QLatin1String(".") && sep != QLatin1String("."))
    result = ReplaceAll(result, QStringLiteral("."), dec);
  if (dec != QLatin1String(",") && sep != QLatin1String(","))
    result = ReplaceAll(result, QStringLiteral(","), dec);
  if (result.isEmpty()) return QStringLiteral("0");
  if (result == QLatin1String("-")) return QStringLiteral("-0");
  return result;
}

std::optional<std::int64_t> ParseInt64(const QString &text) {
  QString t = TrimSpaces(text);
  const bool plus = t.startsWith(QLatin1Char('+'));
  if (plus) t.remove(0, 1);
  const qsizetype first = !plus && t.startsWith(QLatin1Char('-')) ? 1 : 0;
  if (t.size() == first) return std::nullopt;
  for (qsizetype i = first; i < t.size(); ++i)
    if (!IsDigit(t[i])) return std::nullopt;
  const std::string ascii = t.toStdString();
  std::int64_t value = 0;
  const auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (result.ec != std::errc() || result.ptr != ascii.data() + ascii.size()) return std::nullopt;
  return value;
}

std::optional<std::int64_t> ParseHex64(const QString &text) {
  QString t = TrimSpaces(text);
  bool negative = false;
  if (t.startsWith(QLatin1Char('+')) || t.startsWith(QLatin1Char('-'))) {
    negative = t[0] == QLatin1Char('-');
    t.remove(0, 1);
  }
  if (t.isEmpty()) return std::nullopt;
  for (QChar c : t)
    if (!IsHexDigit(c)) return std::nullopt;
  const std::string ascii = t.toStdString();
  std::uint64_t magnitude = 0;
  const auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), magnitude, 16);
  if (result.ec != std::errc() || result.ptr != ascii.data() + ascii.size()) return std::nullopt;
  constexpr std::uint64_t top = std::uint64_t(1) << 63;
  if (negative) {
    if (magnitude > top) return std::nullopt;
    return magnitude == top ? std::numeric_limits<std::int64_t>::min() : -std::int64_t(magnitude);
  }
  if (magnitude >= top) return std::nullopt;
  return std::int64_t(magnitude);
}

std::optional<double> ParseFloat(const QString &text, const NumberLocale &locale) {
  const QString t = TrimSpaces(text);
  const QString &dec = locale.DecimalSeparator;
  // Map to the C form character by character, so a "." that is not the decimal separator is
  // refused instead of being read as one.
  std::string ascii;
  for (qsizetype i = 0; i < t.size();) {
    if (At(t, i, dec)) {
      ascii += '.';
      i += dec.size();
      continue;
    }
    const QChar c = t[i++];
    if (IsDigit(c) || c == QLatin1Char('+') || c == QLatin1Char('-'))
      ascii += char(c.unicode());
    else if (c == QLatin1Char('e') || c == QLatin1Char('E'))
      ascii += 'e';
    else
      return std::nullopt;
  }
  // sign? digits* (. digits*)? (e sign? digits+)? with at least one mantissa digit
  size_t p = 0;
  if (p < ascii.size() && (ascii[p] == '+' || ascii[p] == '-')) ++p;
  const size_t mantissa = p;
  int digits = 0;
  while (p < ascii.size() && std::isdigit(static_cast<unsigned char>(ascii[p])))
    ++p, ++digits;
  if (p < ascii.size() && ascii[p] == '.') {
    ++p;
    while (p < ascii.size() && std::isdigit(static_cast<unsigned char>(ascii[p])))
      ++p, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (p < ascii.size() && ascii[p] == 'e') {
    ++p;
    if (p < ascii.size() && (ascii[p] == '+' || ascii[p] == '-')) ++p;
    int exponent_digits = 0;
    while (p < ascii.size() && std::isdigit(static_cast<unsigned char>(ascii[p])))
      ++p, ++exponent_digits;
    if (exponent_digits == 0) return std::nullopt;
  }
  if (p != ascii.size()) return std::nullopt;
  // from_chars takes no "+" before the mantissa.
  const bool negative = ascii[0] == '-';
  double value = 0;
  const auto result = std::from_chars(ascii.data() + mantissa, ascii.data() + ascii.size(), value);
  if (result.ec != std::errc() || result.ptr != ascii.data() + ascii.size() || !std::isfinite(value))
    return std::nullopt;
  return negative ? -value : value;
}

QString GroupDigits(const QString &digits, const QString &separator) {
  QString out;
  const qsizetype n = digits.size();
  for (qsizetype i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}

QString FixedText(double value, int precision, int decimals, bool thousands, const NumberLocale &locale) {
  if (decimals < 0) decimals = 0;
  const int kept = std::clamp(DecimalsWithin(value, precision), 0, decimals);
  QString int_part, fraction;
  FixedDigits(value, kept, int_part, fraction);
  fraction += QString(decimals - kept, QLatin1Char('0'));
  QString text = thousands ? GroupDigits(int_part, locale.ThousandSeparator) : int_part;
  if (!fraction.isEmpty()) text += locale.DecimalSeparator + fraction;
  // No "-0.00": the sign only before a number that shows a digit other than 0.
  if (std::signbit(value) && !(AllZero(int_part) && AllZero(fraction))) text.prepend(QLatin1Char('-'));
  return text;
}

QString HexText(std::int64_t value) {
  const bool negative = value < 0;
  const std::uint64_t magnitude = negative ? std::uint64_t(0) - std::uint64_t(value) : std::uint64_t(value);
  std::array<char, 24> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude, 16);
  QString text = QString::fromLatin1(buffer.data(), result.ptr - buffer.data()).toUpper();
  return negative ? QLatin1Char('-') + text : text;
}

QString GeneralText(double value, const NumberLocale &locale) {
  if (std::isnan(value)) return QStringLiteral("NAN");
  if (std::isinf(value)) return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
  QString text = QString::number(value, 'g', 15);
  text.replace(QLatin1Char('e'), QLatin1Char('E'));
  text.replace(QLatin1Char('.'), locale.DecimalSeparator);
  return text;
}

namespace {

// One section of a number pattern, taken apart.
struct PatternSection {
  QString prefix; // literal text before the first digit placeholder
  QString suffix; // literal text after the digits (and the exponent)
  int int_placeholders = 0;
  int min_int = 0;  // digits always shown before the decimal separator
  int min_frac = 0; // digits always shown after it
  int max_frac = 0; // digits shown at most after it
  bool grouped = false;
  bool exponent = false;
  bool exponent_plus = false; // "E+": a sign also before positive exponents
  int exponent_digits = 0;
  bool has_digits = false;
};

bool IsPlaceholder(QChar c) {
  return c == QLatin1Char('0') || c == QLatin1Char('#');
}

QStringList SplitSections(const QString &pattern) {
  QStringList sections;
  QString current;
  QChar quote;
  for (QChar c : pattern) {
    if (!quote.isNull()) {
      if (c == quote) quote = QChar();
      current += c;
    } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
      quote = c;
      current += c;
    } else if (c == QLatin1Char(';') && sections.size() < 2) {
      sections << current;
      current.clear();
    } else {
      current += c;
    }
  }
  sections << current;
  return sections;
}

PatternSection ParseSection(const QString &section) {
  PatternSection s;
  bool after_point = false;
  bool seen_zero = false;
  int frac_seen = 0;
  bool started = false; // a placeholder came already
  QString literal;      // literal text waiting for its place
  QChar quote;
  for (qsizetype i = 0; i < section.size(); ++i) {
    const QChar c = section[i];
    if (!quote.isNull()) {
      if (c == quote)
        quote = QChar();
      else
        literal += c;
      continue;
    }
    if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
      quote = c;
      continue;
    }
    if (IsPlaceholder(c)) {
      if (!started) {
        s.prefix = literal;
        literal.clear();
        started = true;
      }
      s.has_digits = true;
      if (after_point) {
        ++frac_seen;
        if (c == QLatin1Char('0')) s.min_frac = frac_seen;
        s.max_frac = frac_seen;
      } else {
        ++s.int_placeholders;
        if (c == QLatin1Char('0')) seen_zero = true;
        if (seen_zero) ++s.min_int;
      }
      continue;
    }
    if (c == QLatin1Char('.') && !after_point) {
      if (!started) {
        s.prefix = literal;
        literal.clear();
        started = true;
      }
      after_point = true;
      continue;
    }
    if (c == QLatin1Char(',') && !after_point) {
      s.grouped = true;
      continue;
    }
    if ((c == QLatin1Char('E') || c == QLatin1Char('e')) && started && i + 1 < section.size() &&
        (section[i + 1] == QLatin1Char('+') || section[i + 1] == QLatin1Char('-'))) {
      s.exponent = true;
      s.exponent_plus = section[i + 1] == QLatin1Char('+');
      i += 2;
      while (i < section.size() && section[i] == QLatin1Char('0'))
        ++s.exponent_digits, ++i;
      --i;
      continue;
    }
    literal += c;
  }
  if (!started)
    s.prefix = literal;
  else
    s.suffix = literal;
  return s;
}

} // namespace

QString FormatFloat(const QString &pattern, double value, const NumberLocale &locale) {
  if (!std::isfinite(value)) return GeneralText(value, locale);
  const QStringList sections = SplitSections(pattern);
  QString chosen = sections[0];
  bool sign = value < 0;
  if (value < 0 && sections.size() >= 2 && !sections[1].isEmpty()) {
    chosen = sections[1];
    sign = false;
  } else if (value == 0 && sections.size() >= 3 && !sections[2].isEmpty()) {
    chosen = sections[2];
  }
  if (chosen.isEmpty()) return GeneralText(value, locale);
  const PatternSection s = ParseSection(chosen);
  if (!s.has_digits) return (sign ? QStringLiteral("-") : QString()) + s.prefix;

  double magnitude = std::fabs(value);
  int exponent = 0;
  if (s.exponent && magnitude != 0) {
    const int leading = std::max(s.int_placeholders, 1);
    exponent = int(std::floor(std::log10(magnitude))) - (leading - 1);
    double mantissa = magnitude / std::pow(10.0, exponent);
    // Rounding may carry into one more integer digit.
    QString int_part, fraction;
    FixedDigits(mantissa, s.max_frac, int_part, fraction);
    if (int_part.size() > leading) {
      ++exponent;
      mantissa /= 10;
    }
    magnitude = mantissa;
  }
  QString int_part, fraction;
  FixedDigits(magnitude, s.max_frac, int_part, fraction);
  while (fraction.size() > s.min_frac && fraction.endsWith(QLatin1Char('0')))
    fraction.chop(1);
  if (AllZero(int_part)) int_part = QString(s.min_int, QLatin1Char('0'));
  while (int_part.size() < s.min_int)
    int_part.prepend(QLatin1Char('0'));
  const bool nonzero = !AllZero(int_part) || !AllZero(fraction);
  QString number = s.grouped ? GroupDigits(int_part, locale.ThousandSeparator) : int_part;
  if (!fraction.isEmpty()) number += locale.DecimalSeparator + fraction;
  if (s.exponent) {
    QString digits = QString::number(std::abs(exponent));
    while (digits.size() < s.exponent_digits)
      digits.prepend(QLatin1Char('0'));
    number += QLatin1Char('E') +
              QString(exponent < 0      ? QStringLiteral("-")
                      : s.exponent_plus ? QStringLiteral("+")
                                        : QString()) +
              digits;
  }
  return (sign && nonzero ? QStringLiteral("-") : QString()) + s.prefix + number + s.suffix;
}

} // namespace kv::edits
