#include "platform/ui/text_layout.h"

#include <algorithm>

namespace kv::ui {

namespace {

const QString kEllipsis = QStringLiteral("...");

QString ExpandTabs(const QString &text) {
  QString out;
  int column = 0;
  for (QChar c : text) {
    if (c == u'\t') {
      const int spaces = 8 - column % 8;
      out += QString(spaces, u' ');
      column += spaces;
    } else if (c == u'\n' || c == u'\r') {
      out += c;
      column = 0;
    } else {
      out += c;
      ++column;
    }
  }
  return out;
}

struct Piece {
  int begin; // offsets into the prefix-stripped text
  int end;
};

// Splits the text into lines at CR, LF or CR LF.
std::vector<Piece> SplitLines(const QString &text) {
  std::vector<Piece> lines;
  int start = 0;
  for (int i = 0; i < text.size(); ++i) {
    if (text[i] != u'\r' && text[i] != u'\n') continue;
    lines.push_back({start, i});
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  lines.push_back({start, int(text.size())});
  return lines;
}

// Breaks one line at blanks so that each piece fits `width`; blanks at a break are dropped.
void WrapLine(const TTextMeasure &m, const TFont &font, const QString &text, Piece line, int width,
              std::vector<Piece> &out) {
  int start = line.begin;
  while (true) {
    int end = start;
    int fitted = -1; // end of the longest run of whole words that fits
    while (end < line.end) {
      int word_end = end;
      while (word_end < line.end && text[word_end] == u' ')
        ++word_end;
      while (word_end < line.end && text[word_end] != u' ')
        ++word_end;
      if (m.TextWidth(font, text.mid(start, word_end - start)) > width && fitted >= 0) break;
      fitted = end = word_end;
    }
    out.push_back({start, std::max(fitted, start)});
    start = std::max(fitted, start);
    while (start < line.end && text[start] == u' ')
      ++start;
    if (start >= line.end) return;
  }
}

// The longest start of the line, cut after a whole character, that fits `width` with "..." after
// it. Widths grow with the prefix, so the search doubles from the start and then halves: it
// measures about as much text as fits, however long the line (a line without breaks can be a
// whole document).
QString Ellipsize(const TTextMeasure &m, const TFont &font, const QString &text, int width) {
  if (m.TextWidth(font, text) <= width) return text;
  const std::vector<int> bounds = CharacterBoundaries(text);
  const int whole = int(bounds.size()) - 1; // the whole text, which does not fit
  auto fits = [&](int i) { return m.TextWidth(font, text.left(bounds[i]) + kEllipsis) <= width; };
  int fitting = 0, too_long = 1; // "..." alone is the answer when nothing else fits
  while (too_long < whole && fits(too_long)) {
    fitting = too_long;
    too_long = std::min(too_long * 2, whole);
  }
  while (too_long - fitting > 1) {
    const int mid = fitting + (too_long - fitting) / 2;
    (fits(mid) ? fitting : too_long) = mid;
  }
  return text.left(bounds[fitting]) + kEllipsis;
}

} // namespace

QString StripMnemonic(const QString &text, int *mnemonic) {
  QString out;
  int mark = -1;
  for (int i = 0; i < text.size(); ++i) {
    if (text[i] == u'&' && i + 1 < text.size()) {
      ++i;
      if (text[i] != u'&' && mark < 0) mark = int(out.size());
    } else if (text[i] == u'&') {
      continue; // a trailing "&" marks nothing
    }
    out += text[i];
  }
  if (mnemonic) *mnemonic = mark;
  return out;
}

int BlockTop(const TRect &rect, int height, TTextFlags flags) {
  if (flags & tfVCenter) return rect.Top + (rect.Height() - height) / 2;
  return (flags & tfBottom) ? rect.Bottom - height : rect.Top;
}

TTextLayout LayoutText(const TTextMeasure &m, const TFont &font, const QString &text, const TRect &rect,
                       TTextFlags flags) {
  QString shown = (flags & tfExpandTabs) ? ExpandTabs(text) : text;
  if (flags & tfSingleLine) shown.remove(u'\r').remove(u'\n');
  int mnemonic = -1;
  if (!(flags & tfNoPrefix)) shown = StripMnemonic(shown, &mnemonic);

  std::vector<Piece> pieces;
  if (flags & tfSingleLine) {
    pieces.push_back({0, int(shown.size())});
  } else {
    for (const Piece &line : SplitLines(shown)) {
      if ((flags & tfWordBreak) && line.end > line.begin)
        WrapLine(m, font, shown, line, rect.Width(), pieces);
      else
        pieces.push_back(line);
    }
  }

  TTextLayout layout;
  layout.line_height = (flags & tfExternalLeading) ? m.LineHeight(font) : m.TextHeight(font);
  for (const Piece &p : pieces) {
    TTextLine line;
    line.text = shown.mid(p.begin, p.end - p.begin);
    if (mnemonic >= p.begin && mnemonic < p.end) line.mnemonic = mnemonic - p.begin;
    if (flags & tfEndEllipsis) {
      const QString cut = Ellipsize(m, font, line.text, rect.Width());
      if (cut != line.text && line.mnemonic >= int(cut.size()) - int(kEllipsis.size())) line.mnemonic = -1;
      line.text = cut;
    }
    line.width = m.TextWidth(font, line.text);
    layout.width = std::max(layout.width, line.width);
    layout.lines.push_back(line);
  }
  layout.height = layout.line_height * int(layout.lines.size());

  int top = BlockTop(rect, layout.height, flags);
  for (TTextLine &line : layout.lines) {
    line.y = top;
    top += layout.line_height;
    if (flags & tfCenter)
      line.x = rect.Left + (rect.Width() - line.width) / 2;
    else if (flags & tfRight)
      line.x = rect.Right - line.width;
    else
      line.x = rect.Left;
  }
  layout.bounds = {rect.Left, rect.Top, rect.Left + layout.width, rect.Top + layout.height};
  return layout;
}

} // namespace kv::ui
