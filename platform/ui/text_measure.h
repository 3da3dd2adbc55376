#pragma once
// Measuring text without drawing it: run widths and line heights for a font. Layout code (text
// drawing with flags, the mark-up renderer, text shortening) measures only through this
// interface, so its tests can use TFixedTextMeasure and need neither fonts nor a display.

#include <QFont>
#include <QFontMetrics>
#include <QString>
#include <optional>
#include <vector>

#include "platform/ui/font.h"

namespace kv::ui {

class TTextMeasure {
public:
  virtual ~TTextMeasure() = default;
  // Width in pixels of `text` drawn on one line in `font` ("&" and tabs taken literally).
  virtual int TextWidth(const TFont &font, const QString &text) const = 0;
  // Height of a text cell, ascent plus descent: the height of "gh".
  virtual int TextHeight(const TFont &font) const = 0;
  // Extra room the font asks for between lines (0 or more).
  virtual int ExternalLeading(const TFont &font) const = 0;
  // A line with external leading: TextHeight + ExternalLeading.
  int LineHeight(const TFont &font) const { return TextHeight(font) + ExternalLeading(font); }
};

// Qt's font metrics at a given resolution (96 pixels per inch for images and offscreen).
class TQtTextMeasure : public TTextMeasure {
public:
  explicit TQtTextMeasure(int pixels_per_inch = 96) : dpi_(pixels_per_inch) {}
  int PixelsPerInch() const { return dpi_; }
  int TextWidth(const TFont &font, const QString &text) const override;
  int TextHeight(const TFont &font) const override;
  int ExternalLeading(const TFont &font) const override;
  // The metrics used, for code that draws with the same font.
  const QFontMetrics &Metrics(const TFont &font) const;

private:
  int dpi_;
  mutable std::optional<TFont> last_font_;
  mutable std::optional<QFontMetrics> last_metrics_;
};

// Every character (grapheme cluster) is `char_width` pixels wide and every line `text_height`
// high, whatever the font: for tests of layout arithmetic.
class TFixedTextMeasure : public TTextMeasure {
public:
  explicit TFixedTextMeasure(int char_width = 6, int text_height = 13, int external_leading = 0)
      : char_width_(char_width), text_height_(text_height), leading_(external_leading) {}
  int TextWidth(const TFont &font, const QString &text) const override;
  int TextHeight(const TFont &) const override { return text_height_; }
  int ExternalLeading(const TFont &) const override { return leading_; }

private:
  int char_width_;
  int text_height_;
  int leading_;
};

// The offsets in `text` where user-perceived characters (grapheme clusters) begin, followed by
// text.size(): cutting a text at one of them never splits a character, a surrogate pair or a
// letter from its combining marks.
std::vector<int> CharacterBoundaries(const QString &text);
// The number of user-perceived characters in `text`.
int CharacterCount(const QString &text);

} // namespace kv::ui
