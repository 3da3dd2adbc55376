// The navigation bar without a widget: geometry, loading order, activation and its veto,
// splitter moves, the icon scroller, removal of pages, the minimum height and the mouse.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controls/panels/navbar_model.h"

using namespace kv::panels;

namespace {

struct FakePage : TNavBarPage {
  explicit FakePage(std::string n, int index = 0) : name(std::move(n)), panel_index(index) {}
  int PanelIndex() const override { return panel_index; }
  void StorePanelIndex(int index) override { panel_index = index; }
  std::string name;
  int panel_index;
  bool visible = true;
  TRect bounds;
};

// Records what the model does to the world; vetoes activations on request.
struct FakeHost : TNavBarHost {
  int BarWidth() const override { return width; }
  int BarHeight() const override { return height; }
  void PlacePage(TNavBarPage *p, const TRect &r) override { Page(p).bounds = r; }
  void ShowPage(TNavBarPage *p) override { Page(p).visible = true; }
  void HidePage(TNavBarPage *p) override { Page(p).visible = false; }
  void BringToFront(TNavBarPage *p) override { front = Page(p).name; }
  bool AllowActivate(int old_index, int new_index) override {
    events.push_back("activate " + std::to_string(old_index) + ">" + std::to_string(new_index));
    return allow;
  }
  void Changed() override { events.push_back("change"); }
  void SplitterMoved(int old_position, int new_position) override {
    events.push_back("splitter " + std::to_string(old_position) + ">" + std::to_string(new_position));
  }
  void PopupClicked() override { events.push_back("popup"); }
  void SetSplitterCursor(bool on) override { split_cursor = on; }
  void ShowPageHint(TNavBarPage *p) override { hint = Page(p).name; }
  void RestoreHint() override { hint = "bar"; }
  void GrowHeight(int delta) override { height += delta; }
  void SetMinimumHeight(int h) override { minimum_height = h; }

  static FakePage &Page(TNavBarPage *p) { return *static_cast<FakePage *>(p); }

  int width = 250;
  int height = 353;
  bool allow = true;
  std::vector<std::string> events;
  std::string front;
  std::string hint = "bar";
  bool split_cursor = false;
  int minimum_height = 0;
};

class NavBarModelTest : public ::testing::Test {
protected:
  // Pages "p0".."p<n-1>" read from a form with these PanelIndex values, then the given
  // splitter position and active index.
  void Load(const std::vector<int> &panel_indexes, int splitter, int active) {
    model.BeginLoading();
    for (int index : panel_indexes) {
      pages.push_back(std::make_unique<FakePage>("p" + std::to_string(index), index));
      model.AddPage(pages.back().get());
    }
    model.SetSpliterPosition(splitter);
    model.SetActiveTabIndex(active);
    model.Loaded();
  }
  std::vector<std::string> Order() const {
    std::vector<std::string> names;
    for (TNavBarPage *p : model.Pages())
      names.push_back(FakeHost::Page(p).name);
    return names;
  }
  std::string Active() const {
    return model.ActivePage() ? FakeHost::Page(model.ActivePage()).name : std::string("none");
  }
  FakePage &Named(const std::string &name) {
    for (auto &p : pages)
      if (p->name == name) return *p;
    throw std::runtime_error(name);
  }
  // Drags the splitter from its band's top by `dy` pixels.
  void DragSplitter(int dy) {
    const TRect band = model.Layout().SplitterBand();
    model.MouseMove(100, band.Top + 1);
    model.MouseDown(100, band.Top + 1, true);
    model.MouseMove(100, band.Top + dy);
    model.MouseUp(100, band.Top + dy);
  }

  FakeHost host;
  TNavBarModel model{host};
  std::vector<std::unique_ptr<FakePage>> pages;
};

// --- geometry

TEST(NavBarGeometryTest, ThreeBigTabsIn353Pixels) {
  TNavLayout l;
  l.Width = 250;
  l.Height = 353;
  l.PageCount = 3;
  l.BigTabs = 3;
  EXPECT_EQ(l.SplitterLine(), 221);
  EXPECT_EQ(l.ClientRect(), (TRect{1, 27, 249, 218}));
  EXPECT_EQ(l.SplitterBand(), (TRect{1, 218, 249, 224}));
  EXPECT_EQ(l.CaptionRect(), (TRect{1, 1, 249, 27}));
  EXPECT_EQ(l.BottomRow(), (TRect{0, 320, 250, 353}));
  // Page 0 sits right above the bottom row, higher indexes stack upward, sharing one line.
  EXPECT_EQ(l.BigTabRect(0), (TRect{0, 288, 250, 321}));
  EXPECT_EQ(l.BigTabRect(1), (TRect{0, 256, 250, 289}));
  EXPECT_EQ(l.BigTabRect(2), (TRect{0, 224, 250, 257}));
  EXPECT_EQ(l.IconCount(), 0);
  EXPECT_EQ(l.TabAt(10, 300), 0);
  EXPECT_EQ(l.TabAt(10, 288), 0);
  EXPECT_EQ(l.TabAt(10, 230), 2);
  EXPECT_EQ(l.TabAt(10, 220), -1); // splitter band
  EXPECT_EQ(l.TabAt(10, 330), -1); // bottom row without icons

  l.BigTabs = 0;
  EXPECT_EQ(l.SplitterLine(), 353 - 32 - 4);
  EXPECT_TRUE(l.BigTabRect(2).IsEmpty());
}

struct SlotCase {
  TBottomIconAlign align;
  bool popup;
  bool scroller;
  int scroll_position;
  int index;
  int expected_left; // -1: not shown
};

class NavBarSlotTest : public ::testing::TestWithParam<SlotCase> {};

TEST_P(NavBarSlotTest, SlotPosition) {
  const SlotCase c = GetParam();
  TNavLayout l;
  l.Width = 250;
  l.Height = 353;
  l.PageCount = 12; // all icons
  l.Align = c.align;
  l.PopupIndicator = c.popup;
  l.ScrollerVisible = c.scroller;
  l.IconMargin = c.scroller ? 21 : 1;
  l.ScrollPosition = c.scroll_position;
  const TRect slot = l.IconSlot(c.index);
  if (c.expected_left < 0) {
    EXPECT_TRUE(slot.IsEmpty());
  } else {
    EXPECT_EQ(slot, (TRect{c.expected_left, 320, c.expected_left + 24, 353}));
    EXPECT_EQ(l.TabAt(c.expected_left, 340), c.index);
    EXPECT_EQ(l.TabAt(c.expected_left + 23, 320), c.index);
  }
}

using A = TBottomIconAlign;
INSTANTIATE_TEST_SUITE_P(
    Alignments, NavBarSlotTest,
    ::testing::Values(
        // biRight with the pop-up button: capacity (250-21-2)/24 = 9, pages 11..3 from x 205 leftward.
        SlotCase{A::biRight, true, false, 0, 11, 205}, SlotCase{A::biRight, true, false, 0, 10, 181},
        SlotCase{A::biRight, true, false, 0, 3, 13}, SlotCase{A::biRight, true, false, 0, 2, -1},
        // Without the pop-up button: capacity (250-2)/24 = 10, starting at 250-1-24.
        SlotCase{A::biRight, false, false, 0, 11, 225}, SlotCase{A::biRight, false, false, 0, 2, 9},
        SlotCase{A::biRight, false, false, 0, 1, -1},
        // Scroll margin 21, scrolled by 2: capacity (250-21-42)/24 = 7, pages 9..3.
        SlotCase{A::biRight, true, true, 2, 9, 185}, SlotCase{A::biRight, true, true, 2, 10, -1},
        SlotCase{A::biRight, true, true, 2, 3, 41}, SlotCase{A::biRight, true, true, 2, 2, -1},
        // biLeft counts from the left edge.
        SlotCase{A::biLeft, true, false, 0, 11, 1}, SlotCase{A::biLeft, true, false, 0, 10, 25},
        SlotCase{A::biLeft, false, false, 0, 2, 217}, SlotCase{A::biLeft, true, true, 0, 11, 21},
        SlotCase{A::biLeft, true, true, 0, 5, 165}, SlotCase{A::biLeft, true, true, 0, 4, -1}),
    [](const ::testing::TestParamInfo<SlotCase> &info) {
      const SlotCase &c = info.param;
      return std::string(c.align == A::biRight ? "Right" : "Left") + (c.popup ? "Popup" : "") +
             (c.scroller ? "Scrolled" + std::to_string(c.scroll_position) : "") + "Page" +
             std::to_string(c.index);
    });

TEST(NavBarGeometryTest, ButtonsAndNarrowBar) {
  TNavLayout l;
  l.Width = 250;
  l.Height = 353;
  l.PageCount = 3;
  EXPECT_EQ(l.ScrollLeftRect(), (TRect{1, 321, 21, 351}));
  EXPECT_EQ(l.ScrollRightRect(), (TRect{209, 321, 229, 351}));
  EXPECT_EQ(l.PopupRect(), (TRect{229, 321, 249, 351}));
  EXPECT_EQ(l.PopupHitRect(), (TRect{229, 321, 250, 351}));
  l.PopupIndicator = false;
  EXPECT_EQ(l.ScrollRightRect(), (TRect{229, 321, 249, 351}));
  // A bar narrower than the pop-up button and margins holds no icon at all, never a negative number.
  l.PopupIndicator = true;
  l.Width = 15;
  EXPECT_EQ(l.IconCapacity(), 0);
  EXPECT_EQ(l.IconCapacity(21), 0);
  EXPECT_TRUE(l.IconSlot(2).IsEmpty());
  EXPECT_EQ(l.TabAt(5, 340), -1);
}

// --- loading and activation

TEST_F(NavBarModelTest, LoadingOrdersPagesByPanelIndex) {
  Load({1, 0, 2}, 3, 2);
  EXPECT_EQ(Order(), (std::vector<std::string>{"p0", "p1", "p2"}));
  // The splitter position read while loading is applied without an event.
  EXPECT_EQ(model.SpliterPosition(), 3);
  EXPECT_EQ(model.Layout().IconCount(), 0);
  EXPECT_EQ(model.Layout().SplitterLine(), 221);
  EXPECT_TRUE(host.events.empty());
  // The active page is on top and the only one shown; every page lies on the client area.
  EXPECT_EQ(Active(), "p2");
  EXPECT_EQ(host.front, "p2");
  EXPECT_TRUE(Named("p2").visible);
  EXPECT_FALSE(Named("p0").visible);
  for (auto &p : pages)
    EXPECT_EQ(p->bounds, (TRect{1, 27, 249, 218}));
  EXPECT_EQ(host.minimum_height, 60 + 34 + 32);
}

TEST_F(NavBarModelTest, EqualPanelIndexesKeepTheirReadingOrder) {
  model.BeginLoading();
  FakePage a("a", 1), b("b", 0), c("c", 1), d("d", 0);
  for (FakePage *p : {&a, &b, &c, &d})
    model.AddPage(p);
  EXPECT_EQ(model.PageCount(), 0); // waiting until the end of loading
  model.Loaded();
  EXPECT_EQ(Order(), (std::vector<std::string>{"b", "d", "a", "c"}));
  EXPECT_EQ(model.ActiveTabIndex(), -1);
}

TEST_F(NavBarModelTest, ActivationVetoAndRange) {
  Load({0, 1, 2}, 3, 2);
  host.allow = false;
  model.SetActiveTabIndex(0);
  EXPECT_EQ(host.events, (std::vector<std::string>{"activate 2>0"}));
  EXPECT_EQ(model.ActiveTabIndex(), 2);
  EXPECT_TRUE(Named("p2").visible);
  EXPECT_FALSE(Named("p0").visible);

  host.allow = true;
  host.events.clear();
  model.SetActiveTabIndex(0);
  EXPECT_EQ(host.events, (std::vector<std::string>{"activate 2>0", "change"}));
  EXPECT_FALSE(Named("p2").visible);
  EXPECT_TRUE(Named("p0").visible);
  EXPECT_EQ(host.front, "p0");

  host.events.clear();
  model.SetActiveTabIndex(0); // the current one
  model.SetActiveTabIndex(3); // the page count
  model.SetActiveTabIndex(17);
  EXPECT_TRUE(host.events.empty());
  EXPECT_EQ(model.ActiveTabIndex(), 0);
  model.SetActiveTabIndex(-1);
  EXPECT_EQ(model.ActiveTabIndex(), -1);
  EXPECT_TRUE(host.events.empty());

  FakePage stranger("x");
  EXPECT_THROW(
      {
        try {
          model.SetActivePage(&stranger);
        } catch (const ENavBarError &e) {
          EXPECT_STREQ(e.what(), "Invalid ExNavBarPanel");
          throw;
        }
      },
      ENavBarError);
}

TEST_F(NavBarModelTest, PagesAddedOutsideLoadingStackUpAndActivate) {
  FakePage a("a", 7), b("b", 7);
  model.AddPage(&a);
  model.AddPage(&b);
  EXPECT_EQ(a.panel_index, 0);
  EXPECT_EQ(b.panel_index, 1);
  EXPECT_EQ(model.SpliterPosition(), 2);
  EXPECT_EQ(model.ActiveTabIndex(), 1);
  EXPECT_FALSE(a.visible);
  EXPECT_EQ(host.events, (std::vector<std::string>{"splitter 0>1", "activate -1>0", "change", "splitter 1>2",
                                                   "activate 0>1", "change"}));
  EXPECT_EQ(host.minimum_height, 126);
}

// --- splitter

TEST_F(NavBarModelTest, DraggingTheSplitterMovesWholeTabs) {
  Load({0, 1, 2}, 3, 2);
  DragSplitter(40); // one tab height and a bit: one page into the icon row
  EXPECT_EQ(host.events, (std::vector<std::string>{"splitter 3>2"}));
  EXPECT_EQ(model.Layout().IconCount(), 1);
  EXPECT_EQ(model.Layout().SplitterLine(), 253);
  EXPECT_EQ(Named("p0").bounds.Bottom, 250);
  EXPECT_FALSE(host.split_cursor);

  host.events.clear();
  DragSplitter(20); // less than a tab: nothing
  DragSplitter(-31);
  EXPECT_TRUE(host.events.empty());
  DragSplitter(-70); // two tabs up, but only one page is outside the stack
  EXPECT_EQ(host.events, (std::vector<std::string>{"splitter 2>3"}));

  host.events.clear();
  EXPECT_EQ(model.MoveSplitter(5), 3);
  EXPECT_EQ(host.events, (std::vector<std::string>{"splitter 3>0"}));
  EXPECT_EQ(model.MoveSplitter(1), 0); // no big tab left
  model.SetSpliterPosition(-1);
  EXPECT_EQ(model.SpliterPosition(), 0);
  model.SetSpliterPosition(2);
  EXPECT_EQ(model.SpliterPosition(), 2);
}

TEST_F(NavBarModelTest, SplitterKeepsTheMinimumClientArea) {
  host.height = 200;
  Load({0, 1, 2}, 0, 0);
  // The line at 164 is not above 32 + 60 + 32 = 124: one move takes all three tabs.
  EXPECT_EQ(model.MoveSplitter(-3), 3);
  EXPECT_EQ(model.Layout().SplitterLine(), 68);
  // Above 124 no more tabs join the stack, whatever is asked.
  EXPECT_EQ(model.MoveSplitter(1), 1);
  EXPECT_EQ(model.MoveSplitter(-1), 0);
}

TEST_F(NavBarModelTest, ScrollerFollowsTheIconCount) {
  host.width = 124; // (124 - 21 - 2) / 24 = 4 icons, (124 - 21 - 42) / 24 = 2 with the scroll margin
  Load({0, 1, 2, 3, 4, 5}, 6, 5);
  model.MoveSplitter(4); // four icons fit
  EXPECT_FALSE(model.Scroller().Visible);
  model.MoveSplitter(1); // five do not
  EXPECT_TRUE(model.Scroller().Visible);
  EXPECT_EQ(model.Layout().IconMargin, 21);
  EXPECT_EQ(model.Scroller().Max(), 5 - 2);
  EXPECT_EQ(model.Layout().VisibleIcons().First, 4);
  EXPECT_EQ(model.Layout().VisibleIcons().Last, 3);

  // biRight: the left button goes on, the right one back.
  EXPECT_TRUE(model.ScrollLeftEnabled());
  EXPECT_FALSE(model.ScrollRightEnabled());
  const TRect left = model.Layout().ScrollLeftRect();
  model.MouseDown(left.Left + 5, left.Top + 5, true);
  EXPECT_TRUE(model.ScrollLeft().Pressed);
  for (int i = 0; i < 4; ++i)
    model.MouseUp(left.Left + 5, left.Top + 5); // the last one at Max
  EXPECT_EQ(model.Scroller().Position, 3);
  EXPECT_EQ(model.Layout().VisibleIcons().First, 1);
  EXPECT_EQ(model.Layout().VisibleIcons().Last, 0);
  const TRect right = model.Layout().ScrollRightRect();
  model.MouseUp(right.Left + 5, right.Top + 5);
  EXPECT_EQ(model.Scroller().Position, 2);

  model.SetBottomIconAlign(TBottomIconAlign::biLeft);
  EXPECT_TRUE(model.ScrollLeftEnabled());
  model.MouseUp(left.Left + 5, left.Top + 5); // biLeft: the left button goes back
  EXPECT_EQ(model.Scroller().Position, 1);

  model.MoveSplitter(-1); // four icons fit again without the scroll margin
  EXPECT_FALSE(model.Scroller().Visible);
  EXPECT_EQ(model.Layout().IconMargin, 1);
  EXPECT_EQ(model.Scroller().Position, 0);
}

TEST_F(NavBarModelTest, NarrowBarKeepsTheScrollerWithinTheIconCount) {
  host.width = 30; // no icon fits at all
  Load({0, 1, 2, 3}, 4, 3);
  model.MoveSplitter(4);
  EXPECT_TRUE(model.Scroller().Visible);
  EXPECT_EQ(model.Scroller().Max(), 4);
  EXPECT_LE(model.Scroller().Max(), model.Layout().IconCount());
  EXPECT_EQ(model.Layout().TabAt(5, 340), -1);
}

// --- removal

TEST_F(NavBarModelTest, RemovingTheActiveLastPageWrapsToTheFirst) {
  Load({0, 1, 2}, 3, 2);
  model.RemovePage(&Named("p2"));
  EXPECT_EQ(Order(), (std::vector<std::string>{"p0", "p1"}));
  EXPECT_EQ(Active(), "p0");
  EXPECT_EQ(model.ActiveTabIndex(), 0);
  EXPECT_TRUE(Named("p0").visible);
  EXPECT_EQ(host.front, "p0");
  EXPECT_EQ(host.events, (std::vector<std::string>{"splitter 3>2", "activate -1>0", "change"}));
}

TEST_F(NavBarModelTest, RemovingTheActiveMiddlePageShowsItsSuccessor) {
  Load({0, 1, 2}, 3, 1);
  model.RemovePage(&Named("p1"));
  EXPECT_EQ(Active(), "p2");
  EXPECT_EQ(model.ActiveTabIndex(), 1);
  EXPECT_TRUE(Named("p2").visible); // never a blank client area
  EXPECT_EQ(host.front, "p2");
}

TEST_F(NavBarModelTest, RemovingAPageBeforeTheActiveOneKeepsItActive) {
  Load({0, 1, 2}, 3, 2);
  model.RemovePage(&Named("p0"));
  EXPECT_EQ(Active(), "p2");
  EXPECT_EQ(model.ActiveTabIndex(), 1);
  model.RemovePage(&Named("p1"));
  EXPECT_EQ(model.ActiveTabIndex(), 0);
  // The last page goes: nothing is active and nothing is read past the list.
  model.RemovePage(&Named("p2"));
  EXPECT_EQ(model.ActiveTabIndex(), -1);
  EXPECT_EQ(model.PageCount(), 0);
  model.RemovePage(&Named("p2")); // no longer in the bar
}

TEST_F(NavBarModelTest, VetoWhileRemovingLeavesNoPageActive) {
  Load({0, 1, 2}, 3, 1);
  host.allow = false;
  model.RemovePage(&Named("p1"));
  EXPECT_EQ(model.ActiveTabIndex(), -1);
  EXPECT_EQ(model.ActivePage(), nullptr);
}

TEST_F(NavBarModelTest, PagesLeavingWhileLoadingNeverJoin) {
  model.BeginLoading();
  FakePage a("a", 0), b("b", 1);
  model.AddPage(&a);
  model.AddPage(&b);
  model.RemovePage(&a);
  model.SetActiveTabIndex(1);
  model.Loaded();
  EXPECT_EQ(model.PageCount(), 1);
  EXPECT_EQ(model.ActiveTabIndex(), -1); // index 1 no longer names a page
}

// --- size

TEST_F(NavBarModelTest, ShrinkingMovesBigTabsThenStopsAtTheMinimum) {
  Load({0, 1, 2}, 3, 2);
  // Client area 191; the line must stay at or below 60 + 27 = 87.
  host.height = 219; // line 87
  model.Resized();
  EXPECT_EQ(model.SpliterPosition(), 3);
  host.height = 218;
  model.Resized();
  EXPECT_EQ(model.SpliterPosition(), 2);
  EXPECT_EQ(host.events, (std::vector<std::string>{"splitter 3>2"}));
  host.height = 130; // far below: as many tabs as it takes
  model.Resized();
  EXPECT_EQ(model.SpliterPosition(), 0);
  EXPECT_EQ(model.Layout().SplitterLine(), 94);
  // Lower still is the widget's minimum size, reported at loading.
  EXPECT_EQ(host.minimum_height, 126);

  model.SetMinClientHeight(20); // ignored
  EXPECT_EQ(model.MinClientHeight(), 60);
  model.SetMinClientHeight(100); // client 94 - 3 - 27 = 64: grows by 36
  EXPECT_EQ(host.height, 166);
  EXPECT_EQ(host.minimum_height, 166);
}

// --- mouse

TEST_F(NavBarModelTest, HoverPressHintsAndPopup) {
  Load({0, 1, 2, 3}, 2, 3);
  // Icons: pages 1 and 0 from the right; big tabs 2 and 3.
  const TNavLayout l = model.Layout();
  const TRect icon1 = l.IconSlot(1);
  model.MouseMove(icon1.Left + 3, icon1.Top + 5);
  EXPECT_EQ(model.HoverTab(), 1);
  EXPECT_EQ(host.hint, "p1");
  const TRect tab2 = l.BigTabRect(2);
  model.MouseMove(20, tab2.Top + 10);
  EXPECT_EQ(model.HoverTab(), 2);
  EXPECT_EQ(host.hint, "bar"); // big tabs show the bar's own hint
  model.MouseDown(20, tab2.Top + 10, true);
  EXPECT_EQ(model.PressedTab(), 2);
  model.MouseUp(20, tab2.Top + 10);
  EXPECT_EQ(model.ActiveTabIndex(), 2);
  EXPECT_EQ(model.PressedTab(), 2); // stays until another press

  // The splitter band takes the cursor and leaves hover as it was.
  model.MouseMove(20, l.SplitterBand().Top + 2);
  EXPECT_TRUE(host.split_cursor);
  model.MouseMove(20, 100);
  EXPECT_FALSE(host.split_cursor);
  EXPECT_EQ(model.HoverTab(), -1);

  const TRect popup = l.PopupRect();
  model.MouseMove(popup.Right, popup.Top + 3); // the hit area takes the border too
  EXPECT_TRUE(model.Popup().Hover);
  model.MouseDown(popup.Right, popup.Top + 3, true);
  EXPECT_TRUE(model.Popup().Pressed);
  host.events.clear();
  model.MouseUp(popup.Right, popup.Top + 3);
  EXPECT_FALSE(model.Popup().Pressed);
  EXPECT_EQ(host.events, (std::vector<std::string>{"popup"}));

  model.MouseMove(icon1.Left + 3, icon1.Top + 5);
  model.MouseLeave();
  EXPECT_EQ(model.HoverTab(), -1);
  EXPECT_FALSE(model.Popup().Hover);
  EXPECT_EQ(host.hint, "bar");
  // Right-button presses are not the bar's.
  model.MouseDown(icon1.Left + 3, icon1.Top + 5, true);
  model.MouseDown(20, tab2.Top + 10, false);
  EXPECT_EQ(model.PressedTab(), 1);
}

} // namespace
