// The theme layer: bound functions, the "available" flag when one is missing, counted start and
// end, and the Themed switch deciding whether themes are active.
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include "platform/ui/theme.h"
#include "platform/ui/theme_library.h"
#include "qt_application.h"

using namespace kv::ui;

namespace {

// Ends every start made so far (the program's own included) and returns how many there were.
int EndAll() {
  int n = 0;
  while (ThemeLibraryAvailable()) {
    EndThemeLibrary();
    ++n;
  }
  return n;
}

TEST(ThemeLibrary, AMissingFunctionLeavesTheLayerUnavailableAndEveryCallHarmless) {
  ASSERT_TRUE(ThemeLibraryAvailable()) << "the layer starts with the program";
  const int starts = EndAll();
  TThemeFunctions partial = QtStyleThemeFunctions();
  partial.DrawThemeBackground = nullptr;
  EXPECT_FALSE(StartThemeLibrary(partial));
  SetThemed(true);
  EXPECT_FALSE(IsThemeActive());
  EXPECT_EQ(OpenThemeData(nullptr, "window"), nullptr);
  QImage image(8, 8, QImage::Format_RGB32);
  QPainter painter(&image);
  EXPECT_FALSE(DrawThemeBackground(nullptr, &painter, WP_CAPTION, 1, QRect(0, 0, 8, 8)));
  CloseThemeData(nullptr);
  EndThemeLibrary();
  SetThemed(false);
  for (int i = 0; i < starts; ++i)
    EXPECT_TRUE(StartThemeLibrary());
}

TEST(ThemeLibrary, ThemesAreActiveOnlyWithTheSwitchAndDrawTheWindowParts) {
  ASSERT_TRUE(ThemeLibraryAvailable());
  EXPECT_FALSE(IsThemeActive()) << "off by default";
  SetThemed(true);
  EXPECT_TRUE(IsThemeActive());
  EXPECT_EQ(OpenThemeData(nullptr, "button"), nullptr) << "only the window class has parts here";
  HTHEME theme = OpenThemeData(nullptr, "WINDOW");
  ASSERT_NE(theme, nullptr);
  QImage image(40, 20, QImage::Format_RGB32);
  image.fill(Qt::magenta);
  {
    QPainter painter(&image);
    EXPECT_TRUE(DrawThemeBackground(theme, &painter, WP_CAPTION, 1, QRect(0, 0, 40, 20)));
    EXPECT_TRUE(DrawThemeBackground(theme, &painter, WP_CLOSEBUTTON, 1, QRect(0, 0, 14, 14)));
    EXPECT_FALSE(DrawThemeBackground(theme, &painter, 99, 1, QRect(0, 0, 14, 14)));
  }
  CloseThemeData(theme);
  int changed = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 40; ++x)
      changed += image.pixel(x, y) != qRgb(255, 0, 255);
  EXPECT_GT(changed, 100) << "the caption was drawn";
  SetThemed(false);
  EXPECT_FALSE(IsThemeActive());
}

TEST(ThemeLibrary, StartsAndEndsAreCounted) {
  const int starts = EndAll();
  EXPECT_TRUE(StartThemeLibrary());
  TThemeFunctions none;
  EXPECT_TRUE(StartThemeLibrary(none)) << "a second start keeps the first binding";
  EndThemeLibrary();
  EXPECT_TRUE(ThemeLibraryAvailable());
  EndThemeLibrary();
  EXPECT_FALSE(ThemeLibraryAvailable());
  EndThemeLibrary(); // one end too many does nothing
  for (int i = 0; i < starts; ++i)
    StartThemeLibrary();
  EXPECT_TRUE(ThemeLibraryAvailable());
}

} // namespace
