#pragma once
// Geometry of the navigation bar as pure functions of its size and state: caption bar, client
// area, splitter band, the stack of big tabs, the icon row with its slots, scroll and pop-up
// buttons, and the tab under a point.

#include "platform/ui/geometry.h"

namespace kv::panels {

using ui::TRect;

enum class TBottomIconAlign { biLeft, biRight };
enum class TGradientDirection { gdVertical, gdHorizontal };

// Height of a tab and of the icon row.
inline constexpr int kNavTabHeight = 32;
// Height of the caption bar; the client area starts below it.
inline constexpr int kNavCaptionBottom = 27;
// Width of an icon slot in the bottom row.
inline constexpr int kNavIconWidth = 24;
// Width of a scroll button and of the pop-up button.
inline constexpr int kNavButtonWidth = 20;
// Left margin of the icon row, alone and while the scroll buttons show.
inline constexpr int kNavIconMargin = 1;
inline constexpr int kNavScrollMargin = 20;

// The state the bar's layout depends on.
struct TNavLayout {
  int Width = 0;
  int Height = 0;
  int PageCount = 0;
  int BigTabs = 0; // pages PageCount - BigTabs .. PageCount - 1 are big tabs
  bool PopupIndicator = true;
  int IconMargin = kNavIconMargin;
  TBottomIconAlign Align = TBottomIconAlign::biRight;
  bool ScrollerVisible = false;
  int ScrollPosition = 0;

  // Y of the splitter line: 3 pixels above the highest big tab.
  int SplitterLine() const;
  TRect CaptionRect() const;
  // Where the active page lies: from below the caption bar to 3 pixels above the splitter line.
  TRect ClientRect() const;
  TRect SplitterBand() const;
  TRect BottomRow() const;
  // Rectangle of page `index` as a big tab; empty when that page is not a big tab.
  TRect BigTabRect(int index) const;
  bool IsBigTab(int index) const { return index >= PageCount - BigTabs && index < PageCount; }

  // Pages shown as icons: 0 .. IconCount() - 1.
  int IconCount() const { return PageCount - BigTabs; }
  // Icon slots that fit in the bottom row with the given left margin; never below 0.
  int IconCapacity(int margin) const;
  int IconCapacity() const { return IconCapacity(IconMargin); }
  // Highest and lowest page index shown in the icon row; First < Last when none shows.
  struct TIconRange {
    int First = -1;
    int Last = 0;
  };
  TIconRange VisibleIcons() const;
  // Slot of page `index` in the icon row; empty when that page's icon does not show.
  TRect IconSlot(int index) const;

  // The scroll buttons (meaningful while the scroller is visible) and the pop-up button.
  TRect ScrollLeftRect() const;
  TRect ScrollRightRect() const;
  TRect PopupRect() const;
  // The pop-up button as the mouse finds it: up to the bar's right edge, 21 pixels.
  TRect PopupHitRect() const;

  // Index of the tab (icon slot or big tab) under the point, or -1.
  int TabAt(int x, int y) const;
};

} // namespace kv::panels
