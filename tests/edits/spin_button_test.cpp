// The painted spin button's looks, pixel by pixel, its glyphs, and a picture of spin edits with
// every kind of side button, saved as a test artifact.
#include "controls/edits/spin_buttons.h"

#include <QApplication>
#include <QDir>
#include <QFormLayout>
#include <QLabel>
#include <gtest/gtest.h>

#include <cstdlib>

#include "controls/edits/spin_edit.h"
#include "edit_test_util.h"
#include "platform/ui/theme.h"
#include "qt_application.h"
#include "widget_helpers.h"

using namespace kv::edits;
using kv::ui::TColor;

namespace {

TColor At(const kv::ui::TBitmap &b, int x, int y) {
  return b.Pixel(x, y);
}
TColor Resolved(TColor c) {
  return kv::ui::ColorToRGB(c);
}

} // namespace

TEST(SpinButton, PlainDiagonalLooks) {
  TKvSpinButton button;
  button.resize(17, 17);
  button.UpdateLooks();
  const kv::ui::TBitmap &idle = button.Look(slIdle);
  ASSERT_EQ(idle.Width(), 17);
  // The diagonal's three lines: shadow, window frame, highlight, from the upper half down.
  EXPECT_EQ(At(idle, 11, 4), Resolved(kv::ui::clBtnShadow));
  EXPECT_EQ(At(idle, 11, 5), Resolved(kv::ui::clWindowFrame));
  EXPECT_EQ(At(idle, 11, 6), Resolved(kv::ui::clBtnHighlight));
  // The face, and the arrows' tips: up at (2, 3) + (3, 1), down at (8, 9) + (3, 3).
  EXPECT_EQ(At(idle, 3, 10), Resolved(kv::ui::clBtnFace));
  EXPECT_EQ(At(idle, 5, 4), kv::ui::clBlack);
  EXPECT_EQ(At(idle, 5, 3), Resolved(kv::ui::clBtnFace));
  EXPECT_EQ(At(idle, 11, 12), kv::ui::clBlack);
  EXPECT_EQ(At(idle, 11, 13), Resolved(kv::ui::clBtnFace));

  // Upper half pressed: the first line in face colour, the second in highlight; the up arrow
  // one pixel further right and down.
  const kv::ui::TBitmap &top = button.Look(slTopDown);
  EXPECT_EQ(At(top, 11, 4), Resolved(kv::ui::clBtnFace));
  EXPECT_EQ(At(top, 11, 5), Resolved(kv::ui::clBtnHighlight));
  EXPECT_EQ(At(top, 6, 5), kv::ui::clBlack);
  EXPECT_EQ(At(top, 5, 4), Resolved(kv::ui::clBtnFace));
  const kv::ui::TBitmap &bottom = button.Look(slBottomDown);
  EXPECT_EQ(At(bottom, 11, 5), Resolved(kv::ui::clBtnShadow));
  EXPECT_EQ(At(bottom, 11, 6), Resolved(kv::ui::clWindowFrame));
  // Without the theme the hot looks are not drawn.
  EXPECT_TRUE(button.Look(slTopHot).Empty());
}

TEST(SpinButton, CustomGlyphsSurviveEveryStyleAndTheme) {
  TKvSpinButton button;
  button.resize(19, 19);
  kv::ui::TBitmap glyph(3, 2);
  glyph.SetPixel(1, 0, kv::ui::clRed);
  button.SetUpGlyph(glyph);
  const QImage original = glyph.Image();
  for (bool themed : {false, true, false}) {
    kv::ui::SetThemed(themed);
    QEvent poke(QEvent::UpdateRequest);
    QApplication::sendEvent(&button, &poke);
    EXPECT_EQ(button.Themed(), themed);
    for (TKvSpinButtonStyle style : {sbsDefault, sbsClassic}) {
      button.SetButtonStyle(style);
      for (int i = 0; i < 3; ++i) {
        button.UpdateLooks();
        button.SetButtonStyle(style);
      }
      EXPECT_EQ(button.UpGlyph().Image(), original);
    }
  }
  kv::ui::SetThemed(false);
  // The red pixel shows in the upper half of the plain diagonal look; the built-in down arrow
  // is still there.
  button.SetButtonStyle(sbsDefault);
  button.UpdateLooks();
  const kv::ui::TBitmap &idle = button.Look(slIdle);
  const int left = UpArrowLeft(19, 3, false);
  const int top = UpArrowTop(19, 2, false);
  EXPECT_EQ(idle.Pixel(left + 1, top), kv::ui::clRed);
  button.SetUpGlyph(kv::ui::TBitmap());
  EXPECT_TRUE(button.UpGlyph().Empty());
}

TEST(SpinButton, PictureOfSpinEditsWithTheirButtons) {
  QWidget panel;
  panel.setWindowTitle("Spin edits");
  auto *form = new QFormLayout(&panel);
  auto add = [&](const QString &label, TSpinButtonKind kind, double value, bool enabled) {
    auto *edit = new TKvSpinEdit;
    edit->LoadProperties(kvtest::TimeoutProperties(kind, value));
    edit->setEnabled(enabled);
    edit->setFixedWidth(90);
    form->addRow(label, edit);
    return edit;
  };
  add("&Timeout", bkStandard, 15, true);
  add("Diagonal", bkDiagonal, 42, true);
  add("Waagerecht", bkClassic, 7, true);
  add("&Anzahl Sicherungen", bkStandard, 5, false);
  TKvSpinEdit *german = add("Gleitkomma", bkDiagonal, 0, true);
  german->SetLocale(NumberLocale{QStringLiteral(","), QStringLiteral(".")});
  german->SetValueType(vtFloat);
  german->SetDecimal(2);
  german->SetThousands(true);
  german->SetMaxValue(1e6);
  german->SetValue(1234.5);
  panel.resize(260, 10);
  panel.show();
  QApplication::processEvents();
  const QImage picture = panel.grab().toImage();
  ASSERT_FALSE(picture.isNull());

  // The painted button shows its idle look where it sits.
  auto *diagonal = panel.findChildren<TKvSpinEdit *>()[1];
  TKvSpinButton *button = diagonal->SpinButton();
  ASSERT_TRUE(button);
  const QPoint origin = button->mapTo(&panel, QPoint(0, 0));
  const kv::ui::TBitmap &idle = button->Look(slIdle);
  for (int y = 0; y < idle.Height(); ++y)
    for (int x = 0; x < idle.Width(); ++x)
      ASSERT_EQ(picture.pixel(origin.x() + x, origin.y() + y) | 0xFF000000u,
                idle.Image().pixel(x, y) | 0xFF000000u)
          << x << "," << y;
  EXPECT_EQ(german->Text(), "1.234,50");

  EXPECT_TRUE(kvtest::KeepPicture(picture, "spin_edits.png"));
}
