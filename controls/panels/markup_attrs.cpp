#include "controls/panels/markup_attrs.h"

#include <array>
#include <climits>

namespace kv::panels {

namespace {

// The value between the first two double quotes at or after `from` in `text`.
QString Quoted(QStringView text, qsizetype from) {
  const qsizetype open = text.indexOf(u'"', from);
  if (open < 0) return {};
  const qsizetype close = text.indexOf(u'"', open + 1);
  if (close < 0) return {};
  return text.mid(open + 1, close - open - 1).toString();
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return 0;
}

using kv::ui::TColor;

struct NamedColor {
  const char16_t *Name;
  TColor Value;
};

constexpr TColor Rgb(int r, int g, int b) {
  return kv::ui::RGBColor(r, g, b);
}
constexpr TColor System(int n) {
  return kv::ui::SystemColor(n);
}

constexpr std::array<NamedColor, 40> kColorNames{{
    {u"clred", Rgb(255, 0, 0)},
    {u"clblack", Rgb(0, 0, 0)},
    {u"clblue", Rgb(0, 0, 255)},
    {u"clgreen", Rgb(0, 128, 0)},
    {u"claqua", Rgb(0, 255, 255)},
    {u"clyellow", Rgb(255, 255, 0)},
    {u"clfuchsia", Rgb(255, 0, 255)},
    {u"clwhite", Rgb(255, 255, 255)},
    {u"cllime", Rgb(0, 255, 0)},
    {u"clsilver", Rgb(192, 192, 192)},
    {u"clgray", Rgb(128, 128, 128)},
    {u"clolive", Rgb(128, 128, 0)},
    {u"clnavy", Rgb(0, 0, 128)},
    {u"clpurple", Rgb(128, 0, 128)},
    {u"clteal", Rgb(0, 128, 128)},
    {u"clmaroon", Rgb(128, 0, 0)},
    {u"clbackground", System(1)},
    {u"clactivecaption", System(2)},
    {u"clinactivecaption", System(3)},
    {u"clmenu", System(4)},
    {u"clwindow", System(5)},
    {u"clwindowframe", System(6)},
    {u"clmenutext", System(7)},
    {u"clwindowtext", System(8)},
    {u"clcaptiontext", System(9)},
    {u"clactiveborder", System(10)},
    {u"clinactiveborder", System(11)},
    {u"clappworkspace", System(12)},
    {u"clhighlight", System(13)},
    {u"clhighlighttext", System(14)},
    {u"clbtnface", System(15)},
    {u"clbtnshadow", System(16)},
    {u"clgraytext", System(17)},
    {u"clbtntext", System(18)},
    {u"clinactivecaptiontext", System(19)},
    {u"clbtnhighlight", System(20)},
    {u"cl3ddkshadow", System(21)},
    {u"cl3dlight", System(22)},
    {u"clinfotext", System(23)},
    {u"clinfobk", System(24)},
}};

} // namespace

QString MarkupAttr(const TMarkupTag &tag, QStringView word, bool upper, qsizetype from) {
  const qsizetype at = QStringView(tag.Upper).indexOf(word, from);
  if (at < 0) return {};
  return Quoted(upper ? QStringView(tag.Upper) : tag.Text, at + word.size());
}

QString AnchorTarget(const TMarkupTag &tag) {
  return Quoted(tag.Text, 2);
}

int ReadMarkupInt(QStringView text, bool *whole) {
  qsizetype i = 0;
  const qsizetype n = text.size();
  while (i < n && text[i] == u' ')
    ++i;
  bool negative = false;
  if (i < n && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  int base = 10;
  if (i < n && text[i] == u'$') {
    base = 16;
    ++i;
  } else if (i < n && (text[i] == u'x' || text[i] == u'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
    base = 16;
    i += 2;
  }
  long long value = 0;
  qsizetype digits = 0;
  for (; i < n; ++i, ++digits) {
    const char16_t c = text[i].unicode();
    int d;
    if (c >= u'0' && c <= u'9')
      d = c - u'0';
    else if (base == 16 && ((c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f')))
      d = HexDigit(c);
    else
      break;
    if (value <= INT_MAX) value = value * base + d;
  }
  if (whole) *whole = digits > 0 && i == n;
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

std::optional<int> FontSizeAttr(const TMarkupTag &tag) {
  const qsizetype at = QStringView(tag.Upper).indexOf(u"SIZE", 5);
  if (at < 0) return std::nullopt;
  QStringView value = tag.Text.mid(at + 4);
  if (const qsizetype eq = value.indexOf(u'='); eq >= 0) value = value.mid(eq + 1);
  // A quote counts only where the value opens with it: SIZE=3 COLOR="..." is 3, not the colour.
  const QStringView trimmed = value.trimmed();
  if (trimmed.startsWith(u'"')) value = trimmed.mid(1);
  static constexpr int kSteps[] = {8, 10, 12, 14, 16};
  const int n = ReadMarkupInt(value);
  const int points = n >= 1 && n <= 5 ? kSteps[n - 1] : n;
  return ClampInt(points, kMinFontPoints, kMaxFontPoints);
}

TColor MarkupHexColor(QStringView value) {
  auto pair = [&](qsizetype at) {
    if (at + 1 >= value.size()) return 0;
    return (HexDigit(value[at].unicode()) * 16 + HexDigit(value[at + 1].unicode())) & 0xFF;
  };
  return kv::ui::RGBColor(pair(1), pair(3), pair(5));
}

TColor MarkupNamedColor(QStringView value) {
  const QString lower = value.toString().toLower();
  for (const NamedColor &c : kColorNames)
    if (lower == QStringView(c.Name)) return c.Value;
  return 0;
}

TColor MarkupColor(QStringView value) {
  return value.startsWith(u'#') ? MarkupHexColor(value) : MarkupNamedColor(value);
}

TColor BodyColor(QStringView upper_value) {
  TColor color = kv::ui::clBlack;
  if (upper_value.contains(u"CL")) color = MarkupNamedColor(upper_value);
  if (upper_value.contains(u'#')) color = MarkupHexColor(upper_value);
  return color;
}

} // namespace kv::panels
