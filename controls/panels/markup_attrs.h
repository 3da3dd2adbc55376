#pragma once
// Reading the panel mark-up's tags: the attribute rule, numbers, colours, font sizes and the
// bounds every size read from a text is kept within.

#include <QString>
#include <QStringView>
#include <optional>

#include "controls/panels/markup_lexer.h"
#include "platform/ui/color.h"
#include "platform/ui/font.h"

namespace kv::panels {

// Bounds for sizes taken from a text, so that no value reaches layout or a bitmap unchecked.
inline constexpr int kMinFontPoints = kv::ui::MinFontSize;
inline constexpr int kMaxFontPoints = kv::ui::MaxFontSize;
inline constexpr int kMaxImageSide = 4096; // IMG WIDTH and HEIGHT, in pixels
inline constexpr int kMaxIndent = 4096;    // IN x and P INDENT, in pixels

// The attribute rule: find `word` (upper case) in the upper-cased tag at or after `from`, skip
// to the next double quote and take everything up to the following one, from the tag as written
// (or from its upper case when `upper`). Empty when the word or either quote is missing.
QString MarkupAttr(const TMarkupTag &tag, QStringView word, bool upper = false, qsizetype from = 0);

// An anchor's target: the text between the first two double quotes after "<A", case kept,
// looked for in the anchor's own tag only. Empty without two quotes.
QString AnchorTarget(const TMarkupTag &tag);

// A number as the run-time library's integer conversion reads it: leading blanks, an optional
// sign, decimal digits or "$", "x", "0x" and hexadecimal digits; it stops at the first other
// character and gives what was read so far (0 when nothing). Saturates at the int range.
// `whole` tells whether the text was one number to its end.
int ReadMarkupInt(QStringView text, bool *whole = nullptr);

// FONT SIZE in points, when the tag has SIZE: 1 to 5 give 8, 10, 12, 14 and 16, any other
// number itself, within kMinFontPoints..kMaxFontPoints.
std::optional<int> FontSizeAttr(const TMarkupTag &tag);

// Colours of the text: "#RRGGBB" (upper-cased first); a character that is no hexadecimal digit counts as 0
// and a pair shorter than two characters as 0.
kv::ui::TColor MarkupHexColor(QStringView value);
// A colour name ("clred", "clbtnface", ...) compared after lower-casing; unknown names give 0.
kv::ui::TColor MarkupNamedColor(QStringView value);
// FONT COLOR, FONT BGCOLOR and P BGCOLOR: hexadecimal after "#", else a name.
kv::ui::TColor MarkupColor(QStringView value);
// BODY BGCOLOR (upper-cased value): a name when it holds "CL", hexadecimal when it holds "#".
kv::ui::TColor BodyColor(QStringView upper_value);

inline int ClampInt(int v, int lo, int hi) {
  return v < lo ? lo : v > hi ? hi : v;
}

} // namespace kv::panels
