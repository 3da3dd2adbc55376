#include "platform/ui/text_measure.h"

#include <QHash>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <utility>

#include "platform/ui/capped_cache.h"

namespace kv::ui {

namespace {

// What a font's sizes depend on: colour and escapement change none.
bool SameMetrics(const TFont &a, const TFont &b) {
  return a.Name == b.Name && a.ClampedSize() == b.ClampedSize() && a.Style == b.Style;
}

// Widths measured on this thread. Controls lay the same runs out on every paint and every mouse
// move, and shaping a run is the dearest part of that. An entry holds its text; the rest stands
// for the bookkeeping of the entry and its table slot.
constexpr qsizetype kWidthEntryBytes = 256;
thread_local TCappedCache<std::pair<TFontKey, QString>, int> g_widths(qsizetype{1} << 20);

} // namespace

const QFontMetrics &TQtTextMeasure::Metrics(const TFont &font) const {
  if (!last_font_ || !SameMetrics(*last_font_, font)) {
    last_metrics_.emplace(QtFontOf(font, dpi_).Metrics);
    last_font_ = font;
  }
  return *last_metrics_;
}

int TQtTextMeasure::TextWidth(const TFont &font, const QString &text) const {
  if (text.isEmpty()) return 0;
  std::pair<TFontKey, QString> key{FontKey(font, dpi_), text};
  if (const int *width = g_widths.Find(key)) return *width;
  const int width = Metrics(font).horizontalAdvance(text);
  g_widths.Insert(std::move(key), width, kWidthEntryBytes + text.size() * qsizetype(sizeof(QChar)));
  return width;
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
