// The panel group: stacking in columns, side by side, and the scroll bar when the panels do not
// fit; re-arranging when a panel collapses.
#include <QScrollBar>
#include <gtest/gtest.h>

#include "controls/panels/ex_panel_group.h"
#include "controls/panels/panel_styler.h"
#include "qt_application.h"

using namespace kv::panels;
using namespace kv::ui;

namespace {

TEST(ExPanelGroup, StacksItsPanelsAndScrollsWhenTheyDoNotFit) {
  TExPanelGroup g;
  g.resize(200, 300);
  g.DefaultPanel().SetHeight(120);
  TExPanel *a = g.AddPanel();
  TExPanel *b = g.AddPanel();
  EXPECT_EQ(a->geometry(), QRect(8, 8, 184, 120));
  EXPECT_EQ(b->geometry(), QRect(8, 136, 184, 120));
  EXPECT_TRUE(g.ScrollBar()->isHidden());
  TExPanel *c = g.AddPanel();
  EXPECT_FALSE(g.ScrollBar()->isHidden()) << "392 pixels in 300";
  EXPECT_EQ(a->width(), 200 - 16 - 16);
  EXPECT_EQ(c->y(), 264);
  c->SetCollaps(true);
  EXPECT_EQ(c->height(), 20);
  EXPECT_TRUE(g.ScrollBar()->isHidden()) << "fits again";
  c->SetCollaps(false);
  g.SetColumns(0); // ignored
  g.SetColumns(2);
  EXPECT_EQ(a->geometry(), QRect(8, 8, 88, 120));
  EXPECT_EQ(b->geometry(), QRect(104, 8, 88, 120));
  EXPECT_EQ(c->geometry(), QRect(8, 136, 88, 120));
  g.Caption().SetVisible(true);
  EXPECT_EQ(a->y(), 28) << "below the group's caption";
  g.Caption().SetVisible(false);
  g.SetColumns(1);
  g.SetGroupStyle(gsHorizontal);
  EXPECT_EQ(a->geometry(), QRect(8, 8, 168, 300 - 16 - 16)) << "side by side, with a scroll bar below";
  EXPECT_FALSE(g.ScrollBar()->isHidden());
  g.ScrollBar()->setValue(20);
  EXPECT_EQ(a->x(), 8 - 20);
}

} // namespace
