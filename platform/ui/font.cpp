#include "platform/ui/font.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <QMutex>
#include <QStringList>
#include <algorithm>
#include <cmath>

#include "platform/ui/capped_cache.h"

namespace kv::ui {

namespace {

enum class Kind { Sans, Serif, Mono };

Kind KindOf(const QString &name) {
  static const QStringList mono = {"courier new",    "courier",  "fixedsys",
                                   "lucida console", "terminal", "consolas"};
  static const QStringList serif = {"times new roman", "times", "georgia", "ms serif", "garamond"};
  const QString n = name.trimmed().toLower();
  if (mono.contains(n)) return Kind::Mono;
  if (serif.contains(n)) return Kind::Serif;
  return Kind::Sans; // Tahoma, MS Sans Serif, Verdana, Arial, Segoe UI, Symbol and the unknown
}

QStringList Candidates(Kind kind) {
  switch (kind) {
  case Kind::Mono:
    return {"DejaVu Sans Mono", "Liberation Mono", "Noto Sans Mono"};
  case Kind::Serif:
    return {"DejaVu Serif", "Liberation Serif", "Noto Serif"};
  case Kind::Sans:
    break;
  }
  return {"DejaVu Sans", "Liberation Sans", "Noto Sans"};
}

// Names asked for so far and what they became; FACE attributes of mark-up may name any number.
// An entry holds both names; the rest stands for the bookkeeping of the entry and its table slot.
QMutex g_families_mutex;
constexpr qsizetype kFamilyEntryBytes = 128;
TCappedCache<QString, QString> g_families(qsizetype{32} << 10);

} // namespace

QString SubstituteFontFamily(const QString &name) {
  const QStringList candidates = Candidates(KindOf(name));
  if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance())) return candidates.first();
  QMutexLocker lock(&g_families_mutex);
  const QString key = name.toLower();
  if (const QString *known = g_families.Find(key)) return *known;
  const QStringList families = QFontDatabase::families();
  auto has = [&](const QString &f) { return families.contains(f, Qt::CaseInsensitive); };
  QString chosen = candidates.first();
  if (!name.isEmpty() && has(name)) {
    chosen = name;
  } else {
    auto it = std::find_if(candidates.begin(), candidates.end(), has);
    if (it != candidates.end()) chosen = *it;
  }
  g_families.Insert(key, chosen, kFamilyEntryBytes + (key.size() + chosen.size()) * qsizetype(sizeof(QChar)));
  return chosen;
}

qsizetype SubstitutedFamilyCount() {
  QMutexLocker lock(&g_families_mutex);
  return g_families.Size();
}

TFontKey FontKey(const TFont &font, int pixels_per_inch) {
  return {font.Name, font.ClampedSize(), font.Style, pixels_per_inch};
}

size_t qHash(const TFontKey &key, size_t seed) {
  return qHashMulti(seed, key.Name, key.Size, key.Style, key.Dpi);
}

TQtFont QtFontOf(const TFont &font, int pixels_per_inch) {
  // Resolving a font (family substitution, Qt's font engine) is dear next to drawing one word.
  // An entry stands for its name, the font and its metrics; Qt keeps the font engines itself.
  constexpr qsizetype kFontEntryBytes = 1024;
  thread_local TCappedCache<TFontKey, TQtFont> fonts(64 * kFontEntryBytes);
  TFontKey key = FontKey(font, pixels_per_inch);
  if (const TQtFont *known = fonts.Find(key)) return *known;
  const QFont qfont = font.ToQFont(pixels_per_inch);
  TQtFont made{qfont, QFontMetrics(qfont)};
  const qsizetype cost = kFontEntryBytes + key.Name.size() * qsizetype(sizeof(QChar));
  fonts.Insert(std::move(key), made, cost);
  return made;
}

int TFont::ClampedSize() const {
  return std::clamp(Size, MinFontSize, MaxFontSize);
}

int TFont::NormalizedEscapement() const {
  return ((Escapement % 3600) + 3600) % 3600;
}

int TFont::PixelSize(int pixels_per_inch) const {
  return std::max(1, int(std::lround(ClampedSize() * double(std::max(pixels_per_inch, 1)) / 72.0)));
}

QFont TFont::ToQFont(int pixels_per_inch) const {
  QFont f(SubstituteFontFamily(Name));
  f.setPixelSize(PixelSize(pixels_per_inch));
  f.setBold(Has(fsBold));
  f.setItalic(Has(fsItalic));
  f.setUnderline(Has(fsUnderline));
  f.setStrikeOut(Has(fsStrikeOut));
  return f;
}

TFont FontFromQFont(const QFont &font, int pixels_per_inch) {
  TFont f;
  f.Name = font.family();
  f.Size = font.pointSizeF() > 0 ? int(std::lround(font.pointSizeF()))
                                 : int(std::lround(font.pixelSize() * 72.0 / std::max(pixels_per_inch, 1)));
  f.Style = 0;
  if (font.bold()) f.Style |= fsBold;
  if (font.italic()) f.Style |= fsItalic;
  if (font.underline()) f.Style |= fsUnderline;
  if (font.strikeOut()) f.Style |= fsStrikeOut;
  return f;
}

} // namespace kv::ui
