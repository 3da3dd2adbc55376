#include "platform/ui/text_measure.h"

#include <QTextBoundaryFinder>
#include <algorithm>

namespace kv::ui {

const QFontMetrics &TQtTextMeasure::Metrics(const TFont &font) const {
  if (!last_font_ || !(*last_font_ == font)) {
    last_metrics_.emplace(font.ToQFont(dpi_));
    last_font_ = font;
  }
  return *last_metrics_;
}

int TQtTextMeasure::TextWidth(const TFont &font, const QString &text) const {
  return text.isEmpty() ? 0 : Metrics(font).horizontalAdvance(text);
}

int TQtTextMeasure::TextHeight(const TFont &font) const {
  return Metrics(font).height();
}

int TQtTextMeasure::ExternalLeading(const TFont &font) const {
  return std::max(0, Metrics(font).leading());
}

int TFixedTextMeasure::TextWidth(const TFont &, const QString &text) const {
  return CharacterCount(text) * char_width_;
}

std::vector<int> CharacterBoundaries(const QString &text) {
  std::vector<int> result{0};
  if (text.isEmpty()) return result;
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
  for (qsizetype p = finder.toNextBoundary(); p > 0; p = finder.toNextBoundary())
    result.push_back(int(p));
  if (result.back() != text.size()) result.push_back(int(text.size()));
  return result;
}

int CharacterCount(const QString &text) {
  return int(CharacterBoundaries(text).size()) - 1;
}

} // namespace kv::ui
