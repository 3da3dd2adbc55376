#pragma once
// Laying out text in a rectangle with the flags the controls draw with: alignment, single line
// or line breaks, word break, tab expansion, external leading, end ellipsis and the "&" mnemonic
// prefix. Measures only through TTextMeasure, so the same layout serves drawing (TCanvas::
// DrawText) and headless tests.

#include <QString>
#include <vector>

#include "platform/ui/font.h"
#include "platform/ui/geometry.h"
#include "platform/ui/text_measure.h"

namespace kv::ui {

enum TTextFlag : unsigned {
  tfLeft = 0,
  tfCenter = 0x1,
  tfRight = 0x2,
  tfTop = 0,
  tfVCenter = 0x4,
  tfBottom = 0x8,
  tfWordBreak = 0x10,        // break lines at blanks to fit the width
  tfSingleLine = 0x20,       // line breaks do not break
  tfExpandTabs = 0x40,       // tab stops every 8 characters
  tfNoClip = 0x100,          // may draw outside the rectangle
  tfExternalLeading = 0x200, // lines are TextHeight + ExternalLeading high
  tfCalcRect = 0x400,        // only measure: the rectangle is fitted to the text
  tfNoPrefix = 0x800,        // "&" is an ordinary character
  tfEndEllipsis = 0x8000,    // a line wider than the rectangle ends in "..."
};
using TTextFlags = unsigned;

struct TTextLine {
  QString text; // as drawn: prefix removed, tabs expanded, ellipsis applied
  int x = 0;    // left edge of the line
  int y = 0;    // top of the line's cell
  int width = 0;
  int mnemonic = -1; // index in `text` of the underlined character, -1 for none
};

struct TTextLayout {
  std::vector<TTextLine> lines;
  int line_height = 0;
  int width = 0;  // widest line
  int height = 0; // all lines
  // The rectangle a calculating call reports: left and top kept, right = left + width,
  // bottom = top + height.
  TRect bounds;
};

// Where a block of lines `height` pixels high starts in `rect` under the vertical flags.
int BlockTop(const TRect &rect, int height, TTextFlags flags);

// Lays out `text` in `rect`. Vertical alignment applies to the block of lines as a whole.
// A word wider than the rectangle stays whole on its own line.
TTextLayout LayoutText(const TTextMeasure &measure, const TFont &font, const QString &text, const TRect &rect,
                       TTextFlags flags);

// `text` with its "&" prefixes processed: "&&" becomes "&", a single "&" is dropped and marks the
// next character; `mnemonic` receives that character's index or -1.
QString StripMnemonic(const QString &text, int *mnemonic = nullptr);

} // namespace kv::ui
