// Colours (encoding, system colours through the palette, unknown values) and fonts (size,
// substitution, taken from a widget, Qt and fixed-pitch measures, character boundaries).
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPalette>
#include <gtest/gtest.h>

#include "platform/ui/color.h"
#include "platform/ui/font.h"
#include "platform/ui/text_measure.h"
#include "qt_application.h"

using namespace kv::ui;

namespace {

QColor Palette(QPalette::ColorRole role, QPalette::ColorGroup group = QPalette::Active) {
  return QGuiApplication::palette().color(group, role);
}

TEST(Color, EncodingIsRedInTheLowByte) {
  EXPECT_EQ(RGBColor(0x11, 0x22, 0x33), 0x332211u);
  EXPECT_EQ(RedOf(clRed), 255);
  EXPECT_EQ(BlueOf(clBlue), 255);
  EXPECT_EQ(ToQColor(RGBColor(1, 2, 3)), QColor(1, 2, 3));
  EXPECT_EQ(FromQColor(QColor(200, 100, 50, 7)), RGBColor(200, 100, 50));
  EXPECT_EQ(ColorToRGB(0x02112233), 0x112233u) << "the palette-relative flag reads as plain RGB";
}

TEST(Color, SystemColoursFollowThePalette) {
  const struct {
    TColor colour;
    QPalette::ColorRole role;
    QPalette::ColorGroup group;
  } table[] = {
      {clBtnFace, QPalette::Button, QPalette::Active},
      {clBtnShadow, QPalette::Dark, QPalette::Active},
      {clBtnHighlight, QPalette::Light, QPalette::Active},
      {clWindow, QPalette::Base, QPalette::Active},
      {clWindowText, QPalette::Text, QPalette::Active},
      {clGrayText, QPalette::Text, QPalette::Disabled},
      {clHighlight, QPalette::Highlight, QPalette::Active},
      {clHighlightText, QPalette::HighlightedText, QPalette::Active},
      {clInfoBk, QPalette::ToolTipBase, QPalette::Active},
      {clBtnText, QPalette::ButtonText, QPalette::Active},
      {cl3DDkShadow, QPalette::Shadow, QPalette::Active},
      {cl3DLight, QPalette::Midlight, QPalette::Active},
  };
  for (const auto &row : table)
    EXPECT_EQ(ToQColor(row.colour).rgb(), Palette(row.role, row.group).rgb()) << std::hex << row.colour;

  // Resolved when drawn: a changed palette shows at once.
  const QPalette saved = QGuiApplication::palette();
  QPalette changed = saved;
  changed.setColor(QPalette::Button, QColor(1, 2, 3));
  QGuiApplication::setPalette(changed);
  EXPECT_EQ(ColorToRGB(clBtnFace), RGBColor(1, 2, 3));
  QGuiApplication::setPalette(saved);
}

TEST(Color, UnknownValuesReadBlack) {
  for (TColor c : {SystemColor(25), SystemColor(31), SystemColor(255), TColor(0xFF000100), TColor(0xFFFFFFFF),
                   clNone, clDefault, TColor(0x05123456)})
    EXPECT_EQ(ColorToRGB(c), clBlack) << std::hex << c;
  EXPECT_EQ(ToQColor(clNone).alpha(), 0) << "no colour draws nothing";
}

TEST(Font, SizeEscapementAndSubstitution) {
  TFont f;
  f.Size = 0;
  EXPECT_EQ(f.ClampedSize(), 1);
  f.Size = 5000;
  EXPECT_EQ(f.ClampedSize(), 144);
  f.Size = 8;
  EXPECT_EQ(f.PixelSize(96), 11);
  f.Escapement = -900;
  EXPECT_EQ(f.NormalizedEscapement(), 2700);

  f.Name = "Tahoma";
  f.Style = fsBold | fsUnderline;
  const QFont q = f.ToQFont(96);
  EXPECT_TRUE(q.bold());
  EXPECT_TRUE(q.underline());
  EXPECT_FALSE(q.italic());
  EXPECT_EQ(q.pixelSize(), 11);
  // Windows names fall back to a family this system has (DejaVu on Debian).
  const QStringList families = QFontDatabase::families();
  for (const char *name : {"Tahoma", "MS Sans Serif", "Verdana", "Courier New"})
    EXPECT_TRUE(families.contains(SubstituteFontFamily(name), Qt::CaseInsensitive)) << name;
  // Mark-up may name any number of faces; the names remembered stay bounded.
  for (int i = 0; i < 2000; ++i)
    EXPECT_EQ(SubstituteFontFamily(QStringLiteral("Face %1").arg(i)), "DejaVu Sans");
  EXPECT_LE(SubstitutedFamilyCount(), 256);
}

TEST(Font, FromAWidgetsFont) {
  QFont points(QStringLiteral("DejaVu Sans"), 9);
  points.setBold(true);
  const TFont a = FontFromQFont(points);
  EXPECT_EQ(a.Name, "DejaVu Sans");
  EXPECT_EQ(a.Size, 9);
  EXPECT_EQ(a.Style, TFontStyles(fsBold));
  QFont pixels(QStringLiteral("DejaVu Sans"));
  pixels.setPixelSize(16);
  pixels.setItalic(true);
  const TFont b = FontFromQFont(pixels, 96);
  EXPECT_EQ(b.Size, 12);
  EXPECT_EQ(b.Style, TFontStyles(fsItalic));
  EXPECT_EQ(b.ToQFont(96).pixelSize(), 16);
}

TEST(TextMeasure, QtAndFixedPitch) {
  TFont f;
  const TQtTextMeasure qt(96);
  const QFontMetrics fm(f.ToQFont(96));
  EXPECT_EQ(qt.LineHeight(f), fm.height() + std::max(0, fm.leading())) << "the gh height plus leading";
  const TFixedTextMeasure fixed(7, 12, 2);
  EXPECT_EQ(fixed.TextWidth(f, "Grüße"), 35);
  EXPECT_EQ(fixed.TextWidth(f, QString::fromUtf8("Mu\u0308ller")), 42) << "a combining mark is no character";
  EXPECT_EQ(fixed.LineHeight(f), 14);
}

TEST(TextMeasure, QtWidthsFollowTheFontWhateverItsColour) {
  TFont regular;
  TFont bold = regular;
  bold.Style = fsBold;
  const TQtTextMeasure qt(96), large(192);
  const QString text = "Hauptfunktionen";
  const int width = qt.TextWidth(regular, text);
  EXPECT_EQ(width, QFontMetrics(regular.ToQFont(96)).horizontalAdvance(text));
  EXPECT_GT(qt.TextWidth(bold, text), width);
  EXPECT_EQ(qt.TextWidth(regular, text), width) << "measured again, the same";
  EXPECT_GT(large.TextWidth(regular, text), width) << "the resolution counts";
  TFont red = regular;
  red.Color = clRed;
  red.Escapement = 900;
  EXPECT_EQ(qt.TextWidth(red, text), width);
  EXPECT_EQ(qt.TextHeight(red), qt.TextHeight(regular));
}

TEST(TextMeasure, CharacterBoundariesKeepCharactersWhole) {
  EXPECT_EQ(CharacterBoundaries(""), std::vector<int>{0});
  EXPECT_EQ(CharacterBoundaries(QString::fromUtf8("a\u0308b")), (std::vector<int>{0, 2, 3}));
  EXPECT_EQ(CharacterBoundaries(QString::fromUtf8("x\U0001F600")), (std::vector<int>{0, 1, 3}));
  EXPECT_EQ(CharacterCount(QString::fromUtf8("Grüße")), 5);
}

} // namespace
