#include "controls/panels/navbar_geometry.h"

#include <algorithm>

namespace kv::panels {

namespace {
constexpr int T = kNavTabHeight;
// Width the pop-up button takes from the icon row's arithmetic.
constexpr int kPopupReserve = 21;
} // namespace

int TNavLayout::SplitterLine() const {
  // Top of the highest big tab less 3; with no big tabs, 3 above the bottom row's top line.
  return Height - (BigTabs + 1) * T - 4;
}

TRect TNavLayout::CaptionRect() const {
  return {1, 1, Width - 1, kNavCaptionBottom};
}

TRect TNavLayout::ClientRect() const {
  return {1, kNavCaptionBottom, Width - 1, SplitterLine() - 3};
}

TRect TNavLayout::SplitterBand() const {
  const int line = SplitterLine();
  return {1, line - 3, Width - 1, line + 3};
}

TRect TNavLayout::BottomRow() const {
  return {0, Height - T - 1, Width, Height};
}

TRect TNavLayout::BigTabRect(int index) const {
  if (!IsBigTab(index)) return {};
  const int k = index - (PageCount - BigTabs);
  const int top = Height - (k + 2) * T - 1;
  return {0, top, Width, top + T + 1};
}

int TNavLayout::IconCapacity(int margin) const {
  const int room = Width - (PopupIndicator ? kPopupReserve : 0) - 2 * margin;
  return std::max(0, room / kNavIconWidth);
}

TNavLayout::TIconRange TNavLayout::VisibleIcons() const {
  TIconRange range;
  const int icons = IconCount();
  if (icons <= 0) return range;
  range.First = icons - 1 - (ScrollerVisible ? ScrollPosition : 0);
  range.Last = std::max(0, range.First - IconCapacity() + 1);
  return range;
}

TRect TNavLayout::IconSlot(int index) const {
  const TIconRange range = VisibleIcons();
  if (index > range.First || index < range.Last) return {};
  const int j = range.First - index;
  const TRect row = BottomRow();
  int x;
  if (Align == TBottomIconAlign::biRight) {
    const int right = row.Right - (PopupIndicator ? kNavButtonWidth : 0);
    x = right - IconMargin - j * kNavIconWidth - kNavIconWidth;
  } else {
    x = row.Left + j * kNavIconWidth + IconMargin;
  }
  return {x, row.Top, x + kNavIconWidth, row.Bottom};
}

// The buttons lie inside the row's outline; with the scroll margin they meet the icons exactly.
TRect TNavLayout::ScrollLeftRect() const {
  const TRect row = BottomRow();
  return {row.Left + 1, row.Top + 1, row.Left + 1 + kNavButtonWidth, row.Bottom - 2};
}

TRect TNavLayout::ScrollRightRect() const {
  const TRect row = BottomRow();
  const int right = row.Right - 1 - (PopupIndicator ? kNavButtonWidth : 0);
  return {right - kNavButtonWidth, row.Top + 1, right, row.Bottom - 2};
}

TRect TNavLayout::PopupRect() const {
  const TRect row = BottomRow();
  return {row.Right - 1 - kNavButtonWidth, row.Top + 1, row.Right - 1, row.Bottom - 2};
}

TRect TNavLayout::PopupHitRect() const {
  TRect r = PopupRect();
  r.Right += 1;
  return r;
}

int TNavLayout::TabAt(int x, int y) const {
  const TRect row = BottomRow();
  if (y >= row.Top && y <= row.Bottom) {
    const TIconRange range = VisibleIcons();
    for (int i = range.First; i >= range.Last; --i) {
      if (IconSlot(i).Contains({x, y})) return i;
    }
    return -1;
  }
  for (int i = PageCount - BigTabs; i < PageCount; ++i) {
    if (BigTabRect(i).Contains({x, y})) return i;
  }
  return -1;
}

} // namespace kv::panels
