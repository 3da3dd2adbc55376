// Moving and sizing (the constraint functions and dragging with the mouse) and the saved
// position in an ini file and in the registry.
#include <dlfcn.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <atomic>
#include <gtest/gtest.h>

#include "controls/panels/ex_panel.h"
#include "controls/panels/ex_panel_position.h"
#include "ex_panel_support.h"
#include "platform/registry.h"
#include "qt_application.h"
#include "test_support.h"

using namespace kv::panels;
using namespace kv::ui;

namespace {

TEST(PanelGeometry, MovingAndSizingKeepTheFixedSides) {
  const QRect proposed(50, 60, 100, 80);
  EXPECT_EQ(ConstrainMove(proposed, {10, 20}, false, false), proposed);
  EXPECT_EQ(ConstrainMove(proposed, {10, 20}, true, false), QRect(10, 60, 100, 80));
  EXPECT_EQ(ConstrainMove(proposed, {10, 20}, false, true), QRect(50, 20, 100, 80));
  EXPECT_EQ(ConstrainSize(proposed, {70, 30}, true, false, {16, 16}), QRect(50, 60, 70, 80));
  EXPECT_EQ(ConstrainSize(proposed, {70, 30}, false, true, {16, 16}), QRect(50, 60, 100, 30));
  EXPECT_EQ(ConstrainSize(QRect(0, 0, -40, 5), {70, 30}, false, false, {16, 20}), QRect(0, 0, 16, 20));
  EXPECT_EQ(ConstrainSize(QRect(0, 0, 100000, 5), {}, false, false, {1, 1}).width(), MaxPanelExtent);
}

TEST(PanelGeometry, LoadedPositionsAreBroughtIntoTheArea) {
  const QRect area(0, 0, 800, 600);
  TSavedPosition p{-30, 900, 999999, 0, -5, false};
  p = ClampSavedPosition(p, area, {1, 1}, 20);
  EXPECT_EQ(p.Width, 1);
  EXPECT_EQ(p.Height, 600);
  EXPECT_EQ(p.Top, 0);
  EXPECT_EQ(p.Left, 799);
  EXPECT_EQ(p.FullHeight, 20) << "at least the caption";
  const TSavedPosition fine{10, 20, 300, 300, 200, true};
  const TSavedPosition same = ClampSavedPosition(fine, area, {1, 1}, 20);
  EXPECT_EQ(same.Top, 10);
  EXPECT_EQ(same.Left, 20);
  EXPECT_EQ(same.Height, 300);
  EXPECT_EQ(same.Width, 200);
}

// A panel on an 800 x 600 parent, saving to `key` (an ini file or a registry key).
struct Saved {
  QWidget parent;
  TExPanel *panel;
  Saved(const QString &key, TPanelPositionLocation location, const QString &section = "Panel") {
    parent.resize(800, 600);
    panel = new TExPanel(&parent);
    panel->setGeometry(5, 5, 100, 100);
    panel->Caption().SetVisible(true);
    panel->Position().Save = true;
    panel->Position().Key = key;
    panel->Position().Section = section;
    panel->Position().Location = location;
  }
};

TEST(PanelPosition, SavedAndLoadedThroughAnIniFile) {
  kvtest::TempDir dir;
  const QString file = QString::fromStdString(dir.file("panels.ini"));
  {
    Saved s(file, clInifile);
    s.panel->Loaded(); // nothing saved yet: the place stays
    EXPECT_EQ(s.panel->geometry(), QRect(5, 5, 100, 100));
    s.panel->setGeometry(30, 40, 250, 200);
    s.panel->SetHeight(200);
    s.panel->SetCollaps(true);
  } // saved when destroyed
  QSettings ini(file, QSettings::IniFormat);
  EXPECT_EQ(ini.value("Panel/Top").toInt(), 40);
  EXPECT_EQ(ini.value("Panel/Height").toInt(), 20);
  EXPECT_EQ(ini.value("Panel/FullHeight").toInt(), 200);
  EXPECT_EQ(ini.value("Panel/Collaps").toInt(), 1);
  Saved s(file, clInifile);
  s.panel->Loaded();
  EXPECT_EQ(s.panel->pos(), QPoint(30, 40));
  EXPECT_EQ(s.panel->width(), 250);
  EXPECT_TRUE(s.panel->Collaps());
  EXPECT_EQ(s.panel->Height(), 20);
  s.panel->SetCollaps(false);
  EXPECT_EQ(s.panel->Height(), 200);
  s.panel->Position().Save = false;
}

TEST(PanelPosition, CorruptOrMissingValuesStillGiveAPanelThatFitsAndExpands) {
  kvtest::TempDir dir;
  const QString file = QString::fromStdString(dir.file("bad.ini"));
  {
    QSettings ini(file, QSettings::IniFormat);
    ini.setValue("Panel/Top", -500);
    ini.setValue("Panel/Left", "x");
    ini.setValue("Panel/Width", 99999999);
    ini.setValue("Panel/Height", 20);
    ini.setValue("Panel/Collaps", 1);
  }
  Saved s(file, clInifile);
  s.panel->setGeometry(5, 5, 100, 150);
  s.panel->Loaded();
  EXPECT_EQ(s.panel->pos(), QPoint(0, 0));
  EXPECT_EQ(s.panel->width(), 800);
  EXPECT_TRUE(s.panel->Collaps());
  s.panel->SetCollaps(false);
  EXPECT_EQ(s.panel->Height(), 150) << "without a saved full height, the height it had";
  s.panel->Position().Save = false;

  {
    QSettings ini(file, QSettings::IniFormat);
    ini.setValue("Panel/Collaps", 2);
  }
  Saved two(file, clInifile);
  two.panel->Loaded();
  EXPECT_FALSE(two.panel->Collaps()) << "only 1 means collapsed";
  two.panel->Position().Save = false;
}

// Every rename of this program, counted, so that a test can tell one replace of the settings
// file from several.
std::atomic<int> g_renames{0};
extern "C" int rename(const char *from, const char *to) noexcept {
  using Rename = int (*)(const char *, const char *) noexcept;
  static const auto real = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "rename"));
  g_renames.fetch_add(1);
  return real(from, to);
}

TEST(PanelPosition, SavedAndLoadedThroughTheRegistry) {
  const QString key = "Software\\Halvern\\Korvane\\PanelTest";
  const int renames_before = g_renames.load();
  {
    Saved s(key, clRegistry, "Links");
    s.panel->setGeometry(12, 34, 150, 120);
    s.panel->SetHeight(120);
  }
  EXPECT_EQ(g_renames.load() - renames_before, 1) << "the six values are one change";
  kv::platform::TRegistry reg;
  ASSERT_TRUE(reg.OpenKeyReadOnly("Software\\Halvern\\Korvane\\PanelTest\\Links"));
  EXPECT_EQ(reg.ReadInteger("Left"), 12);
  EXPECT_EQ(reg.ReadInteger("Collaps"), 0);
  Saved s(key, clRegistry, "Links");
  s.panel->Loaded();
  EXPECT_EQ(s.panel->geometry(), QRect(12, 34, 150, 120));
  s.panel->Position().Save = false;
}

TEST(PanelPosition, AnEmptyKeyOrSectionDoesNoInputOrOutput) {
  kvtest::TempDir dir;
  const QString file = QString::fromStdString(dir.file("none.ini"));
  EXPECT_EQ(OpenPositionStore(TPanelPosition()), nullptr);
  {
    Saved s(file, clInifile, "");
    s.panel->Loaded();
  }
  EXPECT_FALSE(QFile::exists(file));
  EXPECT_EQ(PositionIniFile("korvan.ini"),
            QFileInfo(QString::fromStdString(kv::platform::TRegistry::DefaultFileName()))
                .dir()
                .filePath("korvan.ini"));
}

// Presses at `at` with the pointer at a fixed screen point, moves it by `delta` and lets go.
void Drag(TExPanel &p, QPoint at, QPoint delta) {
  const QPoint g0(1000, 1000);
  kvtest::Send(p, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton, g0);
  kvtest::Move(p, at, Qt::LeftButton, g0 + delta);
  kvtest::Send(p, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton, g0 + delta);
}

TEST(PanelMoveSize, DraggingTheCaptionMovesAndTheGripSizes) {
  QWidget parent;
  parent.resize(600, 400);
  auto *p = new TExPanel(&parent);
  p->setGeometry(100, 100, 200, 150);
  p->Caption().SetVisible(true);
  p->SetCanMove(true);
  p->SetCanSize(true);
  int ends = 0;
  p->OnEndMoveSize = [&](TCustomExPanel *) { ++ends; };
  parent.show();
  Drag(*p, {20, 8}, {30, 40});
  EXPECT_EQ(p->pos(), QPoint(130, 140));
  EXPECT_EQ(ends, 1);

  p->SetFixedLeft(true);
  Drag(*p, {20, 8}, {-50, -20});
  EXPECT_EQ(p->pos(), QPoint(130, 120));

  p->Loaded();                    // takes the load-time size 200 x 150
  Drag(*p, {198, 148}, {25, 35}); // the grip
  EXPECT_EQ(p->size(), QSize(225, 185));
  EXPECT_EQ(p->FullHeight(), 185);
  p->SetFixedWidth(true);
  Drag(*p, {223, 183}, {40, -30});
  EXPECT_EQ(p->size(), QSize(200, 155)) << "the width it had when loaded";
  EXPECT_EQ(ends, 4);

  // Collapsed, the grip does not size; a press on an anchor in the caption does not drag.
  p->SetCollaps(true);
  p->SetCanMove(false);
  const QPoint before = p->pos();
  Drag(*p, {190, 18}, {0, 0});
  EXPECT_EQ(ends, 4);
  p->SetCanMove(true);
  p->SetFixedLeft(false);
  p->Caption().SetText("<A href=\"a\">Anker Anker</A>");
  int anchors = 0;
  p->OnAnchorClick = [&](TCustomExPanel *, const QString &) { ++anchors; };
  Drag(*p, {10, 8}, {50, 50});
  EXPECT_EQ(p->pos(), before);
  EXPECT_EQ(anchors, 1);
}

} // namespace
