#pragma once
// Fonts of the controls: name, size in points, style bits, colour and escapement, turned into a
// QFont for a given resolution. Windows font names the forms use ("Tahoma", "MS Sans Serif",
// "Verdana", ...) are replaced by a family this system has when it lacks them.

#include <QFont>
#include <QFontMetrics>
#include <QString>

#include "platform/ui/color.h"

namespace kv::ui {

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = unsigned; // TFontStyle bits

constexpr int MinFontSize = 1;
constexpr int MaxFontSize = 144;

struct TFont {
  QString Name = QStringLiteral("MS Sans Serif");
  int Size = 8; // points; drawn clamped to MinFontSize..MaxFontSize
  TFontStyles Style = 0;
  TColor Color = clWindowText;
  int Escapement = 0; // text direction in tenths of a degree, counter-clockwise

  bool Has(TFontStyle s) const { return (Style & s) != 0; }
  // The clamped size in points.
  int ClampedSize() const;
  // Escapement brought into 0..3599.
  int NormalizedEscapement() const;
  // The font's em height in pixels at `pixels_per_inch`.
  int PixelSize(int pixels_per_inch) const;
  // The Qt font (substituted family, pixel size, style); the colour and escapement are the
  // canvas's business.
  QFont ToQFont(int pixels_per_inch) const;

  friend bool operator==(const TFont &, const TFont &) = default;
};

// The font of a widget: its family as named, its size in whole points (a pixel size is counted
// back at `pixels_per_inch`), its style bits; the colour is the window text's.
TFont FontFromQFont(const QFont &font, int pixels_per_inch = 96);

// `name` when the system has that family, else the first available family of the same kind
// (sans, serif or monospace); "DejaVu Sans" for names it does not know.
QString SubstituteFontFamily(const QString &name);
// How many names SubstituteFontFamily remembers now: at most 256, whatever it was asked.
qsizetype SubstitutedFamilyCount();

// What a font's metrics and shapes depend on: colour and escapement change none.
struct TFontKey {
  QString Name;
  int Size = 0; // clamped
  TFontStyles Style = 0;
  int Dpi = 0;
  friend bool operator==(const TFontKey &, const TFontKey &) = default;
};
TFontKey FontKey(const TFont &font, int pixels_per_inch);
size_t qHash(const TFontKey &key, size_t seed = 0);

// The Qt font of a font (ToQFont) with its metrics, made once per thread and kept while in use.
struct TQtFont {
  QFont Font;
  QFontMetrics Metrics;
};
TQtFont QtFontOf(const TFont &font, int pixels_per_inch);

} // namespace kv::ui
