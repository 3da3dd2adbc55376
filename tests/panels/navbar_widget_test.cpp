// The navigation bar as a widget: a bar loaded like the main window's, its pixels, the mouse
// through QTest (hover, press, activation, splitter drag, hints), pages leaving and the bar's
// own end. With KORVANE_SHOTS_DIR set, the pictures are also saved there as PNG files.
#include <QApplication>
#include <QImage>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

#include "controls/panels/navbar.h"
#include "ex_panel_support.h"
#include "platform/ui/image_list.h"
#include "qt_application.h"

using namespace kv::panels;
using kv::ui::RGBColor;
using kv::ui::TColor;

namespace {

class NavBarWidgetTest : public ::testing::Test {
protected:
  // A bar like the main window's: "Hilfe" (0), "Update" (1) and "Hauptfunktionen" (2, created
  // last and shown first), all three as big tabs, with the program's page icons.
  void Build(int splitter = 3, int height = 353) {
    window = std::make_unique<QWidget>();
    window->resize(300, 400);
    bar = std::make_unique<TExNavBar>(window.get());
    bar->resize(250, height);
    LoadImages();
    bar->BeginLoading();
    update = AddPage(1, "Update", 1, "Programm aktualisieren");
    help = AddPage(0, "Hilfe", 2, "Hilfe und Info");
    main = AddPage(2, "Hauptfunktionen", 0, "Konfiguration und Ende");
    bar->SetSpliterPosition(splitter);
    bar->SetActiveTabIndex(2);
    bar->Loaded();
    bar->OnChange = [this](TExNavBar *) { ++changes; };
  }
  // The program's page icons.
  void LoadImages() {
    images = std::make_shared<kv::ui::TImageList>(24, 24);
    for (const char *name : {"main", "update", "help"})
      images->AddImage(QImage(QStringLiteral(":/korvane/navbar/%1.png").arg(name)));
    bar->SetImages(images);
  }
  TExNavBarPanel *AddPage(int index, const char *caption, int image, const char *hint) {
    auto *page = new TExNavBarPanel(bar.get());
    page->SetPanelIndex(index);
    page->SetCaption(QString::fromUtf8(caption));
    page->SetImageIndex(image);
    page->SetHint(QString::fromUtf8(hint));
    return page;
  }
  // The bar sits in a window, so its resizes reach it at once.
  void Show() {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }
  QImage Render(const char *shot = nullptr) {
    const QImage image = kvtest::Render(*bar);
    if (shot) kvtest::SaveShot(image, shot);
    return image;
  }
  static TColor At(const QImage &image, int x, int y) {
    const QRgb p = image.pixel(x, y);
    return RGBColor(qRed(p), qGreen(p), qBlue(p));
  }
  QPoint TabPoint(int index) const {
    const TRect r = bar->Model().Layout().BigTabRect(index);
    return {r.Right - 10, r.Top + 3};
  }
  QPoint IconPoint(int index) const {
    const TRect r = bar->Model().Layout().IconSlot(index);
    return {r.Left + 2, r.Top + 4};
  }

  std::unique_ptr<QWidget> window;
  std::unique_ptr<TExNavBar> bar;
  std::shared_ptr<kv::ui::TImageList> images;
  TExNavBarPanel *help = nullptr;
  TExNavBarPanel *update = nullptr;
  TExNavBarPanel *main = nullptr;
  int changes = 0;
};

constexpr TColor kBorder = RGBColor(0, 45, 150);
constexpr TColor kDefaultTab = RGBColor(203, 225, 252);
constexpr TColor kActive = RGBColor(251, 230, 148);
constexpr TColor kHover = RGBColor(255, 255, 220);
constexpr TColor kDown = RGBColor(232, 127, 8);

TEST_F(NavBarWidgetTest, LoadedLikeTheMainWindow) {
  Build();
  ASSERT_EQ(bar->PanelCount(), 3);
  EXPECT_EQ(bar->Panels(0), help);
  EXPECT_EQ(bar->Panels(1), update);
  EXPECT_EQ(bar->Panels(2), main);
  EXPECT_EQ(bar->ActivePanel(), main);
  EXPECT_EQ(main->geometry(), QRect(1, 27, 248, 191));
  EXPECT_EQ(bar->GetClientRect(), (kv::ui::TRect{1, 27, 249, 218}));
  EXPECT_EQ(bar->minimumHeight(), 60 + 34 + 32);
  Show();
  EXPECT_TRUE(main->isVisible());
  EXPECT_FALSE(help->isVisible());
  EXPECT_EQ(images->Count(), 3);

  // A page asked to go elsewhere stays on the client area; one without a bar cannot be placed.
  main->SetBounds(5, 5, 10, 10);
  main->setGeometry(0, 0, 40, 40);
  EXPECT_EQ(main->geometry(), QRect(1, 27, 248, 191));
  TExNavBarPanel loose;
  loose.SetBounds(5, 5, 10, 10);
  EXPECT_EQ(loose.geometry(), QRect(5, 5, 10, 10));
  try {
    loose.PlaceOnBar();
    ADD_FAILURE() << "no exception";
  } catch (const ENavBarError &e) {
    EXPECT_STREQ(e.what(), "No ExNavBar is assigned.");
  }
}

TEST_F(NavBarWidgetTest, PaintsBorderCaptionGripAndTabs) {
  Build();
  const QImage image = Render("navbar");
  EXPECT_EQ(At(image, 0, 0), kBorder);
  EXPECT_EQ(At(image, 249, 352), kBorder);
  EXPECT_EQ(At(image, 1, 1), RGBColor(88, 134, 213));  // band 1 of 64 covers band 0
  EXPECT_EQ(At(image, 240, 25), RGBColor(8, 61, 151)); // band 60 of 64 is the last on row 25
  EXPECT_EQ(At(image, 240, 26), kBorder);              // the active big tab's line
  // Grip dot at x0 = (250 - 34) / 2 = 108 below the band's top 218.
  EXPECT_EQ(At(image, 108, 219), kv::ui::clBlack);
  EXPECT_EQ(At(image, 109, 220), RGBColor(0, 45, 150));
  EXPECT_EQ(At(image, 110, 221), kv::ui::clWhite);
  EXPECT_EQ(At(image, 108 + 32, 219), kv::ui::clBlack); // the ninth dot
  EXPECT_NE(At(image, 108 + 36, 219), kv::ui::clBlack);
  // Tab outlines and their first gradient row: the active "Hauptfunktionen" on top.
  EXPECT_EQ(At(image, 100, 224), kBorder);
  EXPECT_EQ(At(image, 240, 225), kActive);
  EXPECT_EQ(At(image, 240, 289), kDefaultTab);
  EXPECT_EQ(At(image, 100, 100), kv::ui::clWhite); // the page
  // The caption text is white, somewhere in the caption bar's left part.
  bool white = false;
  for (int x = 8; x < 120 && !white; ++x)
    for (int y = 3; y < 24 && !white; ++y)
      white = At(image, x, y) == kv::ui::clWhite;
  EXPECT_TRUE(white);
}

TEST_F(NavBarWidgetTest, PagePaintsItsGradientAndSections) {
  Build();
  // A page's "vertical" gradient runs left to right, in 128 bands.
  main->SetColor(kv::ui::clWhite);
  main->SetColorTo(RGBColor(0, 0, 255));
  main->Sections().Add().SetCaption(QStringLiteral("Allgemein"));
  main->Sections().Add().SetHeight(30);
  QImage image = Render("navbar-sections");
  const int y = 27 + 100; // below the sections
  EXPECT_EQ(At(image, 1, y), kv::ui::clWhite);
  EXPECT_EQ(At(image, 248, y), RGBColor(2, 2, 255));           // band 127 of 128
  EXPECT_EQ(At(image, 100, 27 + 0), RGBColor(160, 191, 245));  // SectionColorTo on top of the first
  EXPECT_EQ(At(image, 100, 27 + 16), kBorder);                 // BorderColor below its header
  EXPECT_EQ(At(image, 200, 27 + 48), RGBColor(160, 191, 245)); // the second, 48 pixels lower
  EXPECT_EQ(At(image, 200, 27 + 48 + 16), kBorder);

  main->SetGradientDirection(TGradientDirection::gdHorizontal); // top to bottom now
  main->Sections().Clear();
  image = Render();
  EXPECT_EQ(At(image, 1, 27), At(image, 248, 27));
  EXPECT_NE(At(image, 1, 27), At(image, 1, 200));
}

TEST_F(NavBarWidgetTest, BarWithoutPagesShowsButtonFace) {
  TExNavBar empty;
  EXPECT_EQ(empty.size(), QSize(250, 300));
  const QImage image = kvtest::Render(empty);
  EXPECT_EQ(At(image, 0, 0), kBorder);
  EXPECT_EQ(At(image, 100, 100), kv::ui::ColorToRGB(kv::ui::clBtnFace));
  EXPECT_EQ(At(image, 100, 1), RGBColor(88, 134, 213));
  EXPECT_EQ(At(image, 108, 262), kv::ui::clBlack); // the grip above the bottom row
  EXPECT_EQ(empty.ActiveTabIndex(), -1);
}

TEST_F(NavBarWidgetTest, HoverPressAndClickActivate) {
  Build();
  Show();
  QTest::mouseMove(bar.get(), TabPoint(0));
  EXPECT_EQ(bar->Model().HoverTab(), 0);
  EXPECT_EQ(At(Render("navbar-hover"), TabPoint(0).x(), 289), kHover);
  QTest::mousePress(bar.get(), Qt::LeftButton, {}, TabPoint(0));
  EXPECT_EQ(At(Render("navbar-press"), TabPoint(0).x(), 289), kDown);

  int old_seen = -2, new_seen = -2;
  bar->OnPanelActivate = [&](TExNavBar *sender, int old_index, int new_index, bool &) {
    EXPECT_EQ(sender, bar.get());
    old_seen = old_index;
    new_seen = new_index;
  };
  QTest::mouseRelease(bar.get(), Qt::LeftButton, {}, TabPoint(0));
  EXPECT_EQ(old_seen, 2);
  EXPECT_EQ(new_seen, 0);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(bar->ActivePanel(), help);
  EXPECT_TRUE(help->isVisible());
  EXPECT_FALSE(main->isVisible());

  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(bar.get(), &leave);
  EXPECT_EQ(bar->Model().HoverTab(), -1);
}

TEST_F(NavBarWidgetTest, IconsShowTheirPageHint) {
  Build(1);
  Show();
  bar->setToolTip(QStringLiteral("Navigation"));
  QTest::mouseMove(bar.get(), IconPoint(1));
  EXPECT_EQ(bar->toolTip(), QStringLiteral("Programm aktualisieren"));
  Render("navbar-icons-hover");
  QTest::mouseMove(bar.get(), IconPoint(0));
  EXPECT_EQ(bar->toolTip(), QStringLiteral("Hilfe und Info"));
  QTest::mouseMove(bar.get(), TabPoint(2));
  EXPECT_EQ(bar->toolTip(), QStringLiteral("Navigation"));
  QTest::mouseClick(bar.get(), Qt::LeftButton, {}, IconPoint(0));
  EXPECT_EQ(bar->ActivePanel(), help);
  Render("navbar-icons-active");
}

TEST_F(NavBarWidgetTest, ScrollButtonsOnAFullIconRow) {
  window = std::make_unique<QWidget>();
  bar = std::make_unique<TExNavBar>(window.get());
  bar->setGeometry(0, 0, 200, 300);
  bar->BeginLoading();
  for (int i = 0; i < 8; ++i)
    AddPage(i, "Seite", i % 3, "Seite")->SetImageIndex(i % 3);
  bar->SetSpliterPosition(8);
  bar->SetActiveTabIndex(7);
  bar->Loaded();
  Show();
  LoadImages();
  // Seven of eight icons fit; with the scroll buttons (200 - 21 - 42) / 24 = 5.
  bar->MoveSplitter(8);
  ASSERT_TRUE(bar->Model().Scroller().Visible);
  EXPECT_EQ(bar->Model().Scroller().Max(), 3);

  const TRect left = bar->Model().Layout().ScrollLeftRect();
  const TRect right = bar->Model().Layout().ScrollRightRect();
  const auto has = [](const QImage &image, const TRect &r, TColor c) {
    for (int x = r.Left; x < r.Right; ++x)
      for (int y = r.Top; y < r.Bottom; ++y)
        if (At(image, x, y) == c) return true;
    return false;
  };
  QImage image = Render("navbar-scroll");
  EXPECT_TRUE(has(image, left, kv::ui::clBlack)); // can go on
  EXPECT_TRUE(has(image, right, RGBColor(128, 128, 128)));
  EXPECT_FALSE(has(image, right, kv::ui::clBlack));
  EXPECT_EQ(At(image, 0, 280), kBorder); // the button lies inside the row's outline

  const QPoint on_left(left.Left + 10, left.Top + 4);
  QTest::mouseMove(bar.get(), on_left);
  EXPECT_EQ(At(Render(), on_left.x(), left.Top), kHover);
  QTest::mouseClick(bar.get(), Qt::LeftButton, {}, on_left);
  EXPECT_EQ(bar->Model().Scroller().Position, 1);
  image = Render("navbar-scroll-pressed");
  EXPECT_EQ(At(image, on_left.x(), left.Top), kDown);
  EXPECT_TRUE(has(image, right, kv::ui::clBlack)); // can go back now
}

TEST_F(NavBarWidgetTest, DraggingTheSplitter) {
  Build();
  Show();
  std::vector<std::pair<int, int>> moves;
  bar->OnSpliterMove = [&](TExNavBar *, int o, int n) { moves.emplace_back(o, n); };
  const int band_top = bar->Model().Layout().SplitterBand().Top;
  QTest::mouseMove(bar.get(), {60, band_top + 2});
  EXPECT_EQ(bar->cursor().shape(), Qt::SizeVerCursor);
  QTest::mousePress(bar.get(), Qt::LeftButton, {}, {60, band_top + 2});
  QTest::mouseMove(bar.get(), {60, band_top + 40});
  QTest::mouseRelease(bar.get(), Qt::LeftButton, {}, {60, band_top + 40});
  EXPECT_EQ(moves, (std::vector<std::pair<int, int>>{{3, 2}}));
  EXPECT_NE(bar->cursor().shape(), Qt::SizeVerCursor);
  EXPECT_EQ(main->geometry().bottom() + 1, 250);
}

TEST_F(NavBarWidgetTest, MinimumHeightIsAMinimumSize) {
  Build();
  Show();
  bar->resize(250, 180); // client area too low: tabs go to the icon row
  EXPECT_EQ(bar->SpliterPosition(), 1);
  bar->resize(250, 50); // below the minimum: refused by the widget
  EXPECT_EQ(bar->height(), 126);
  EXPECT_EQ(bar->SpliterPosition(), 0);
  bar->SetMinClientHeight(100);
  EXPECT_EQ(bar->minimumHeight(), 166);
  EXPECT_GE(bar->height(), 166);
}

TEST_F(NavBarWidgetTest, PagesLeavingAndTheBarsEnd) {
  Build();
  Show();
  delete main; // the active page
  EXPECT_EQ(bar->PanelCount(), 2);
  EXPECT_EQ(bar->ActivePanel(), help);
  EXPECT_TRUE(help->isVisible());
  EXPECT_EQ(changes, 1);
  Render("navbar-after-removal");

  // A page moving to another bar leaves the first.
  TExNavBar other;
  update->SetNavBar(&other);
  EXPECT_EQ(bar->PanelCount(), 1);
  EXPECT_EQ(other.PanelCount(), 1);
  EXPECT_EQ(other.ActivePanel(), update);

  // The image list going away leaves the bar without pictures, not with a dangling one.
  images.reset();
  EXPECT_EQ(bar->Images(), nullptr);
  Render();

  QPointer<TExNavBarPanel> left = help;
  bar.reset();
  EXPECT_TRUE(left.isNull());
}

} // namespace
