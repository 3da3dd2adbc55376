#include "controls/panels/navbar_model.h"

#include <algorithm>
#include <cstdlib>

namespace kv::panels {

namespace {
constexpr int T = kNavTabHeight;
// The scroll and pop-up buttons follow the mouse from this far above the icon row.
constexpr int kButtonReach = 10;
} // namespace

int TNavBarModel::IndexOf(const TNavBarPage *page) const {
  const auto it = std::find(pages_.begin(), pages_.end(), page);
  return it == pages_.end() ? -1 : static_cast<int>(it - pages_.begin());
}

TNavLayout TNavBarModel::Layout() const {
  TNavLayout l;
  l.Width = host_.BarWidth();
  l.Height = host_.BarHeight();
  l.PageCount = PageCount();
  l.BigTabs = big_tabs_;
  l.PopupIndicator = popup_indicator_;
  l.IconMargin = icon_margin_;
  l.Align = align_;
  l.ScrollerVisible = scroller_.Visible;
  l.ScrollPosition = scroller_.Position;
  return l;
}

void TNavBarModel::PlaceAll() {
  const TRect client = Layout().ClientRect();
  for (TNavBarPage *page : pages_)
    host_.PlacePage(page, client);
}

bool TNavBarModel::MinimumHeightApplies() const {
  return loaded_ || (!loading_ && !pages_.empty());
}

void TNavBarModel::ApplyMinimumHeight() {
  if (MinimumHeightApplies()) host_.SetMinimumHeight(MinimumHeight());
}

void TNavBarModel::AddPage(TNavBarPage *page) {
  if (!page || IndexOf(page) >= 0 || std::find(waiting_.begin(), waiting_.end(), page) != waiting_.end())
    return;
  if (loading_) {
    waiting_.push_back(page);
    return;
  }
  // A page added outside loading is appended on top of the big-tab stack and shown.
  pages_.push_back(page);
  MoveSplitter(-1);
  host_.PlacePage(page, Layout().ClientRect());
  SetActiveTabIndex(PageCount() - 1);
  page->StorePanelIndex(PageCount() - 1);
  ApplyMinimumHeight();
}

void TNavBarModel::RemovePage(TNavBarPage *page) {
  const auto waiting = std::find(waiting_.begin(), waiting_.end(), page);
  if (waiting != waiting_.end()) {
    waiting_.erase(waiting);
    return;
  }
  const int index = IndexOf(page);
  if (index < 0) return;
  // The active page is tracked as an object: its successor is chosen before the list shifts,
  // and the index of every other page is recomputed from the list afterwards.
  const bool was_active = page == active_;
  TNavBarPage *candidate = was_active ? pages_[(index + 1) % pages_.size()] : nullptr;
  MoveSplitter(1);
  pages_.erase(pages_.begin() + index);
  hover_ = -1;
  pressed_ = -1;
  if (was_active) {
    active_ = nullptr;
    if (candidate != page) {
      SetActivePage(candidate);
    }
  }
  host_.Repaint();
}

void TNavBarModel::BeginLoading() {
  loading_ = true;
}

void TNavBarModel::Loaded() {
  loading_ = false;
  loaded_ = true;
  quiet_splitter_ = true;
  std::stable_sort(waiting_.begin(), waiting_.end(), [](const TNavBarPage *a, const TNavBarPage *b) {
    return a->PanelIndex() < b->PanelIndex();
  });
  const TRect client = Layout().ClientRect();
  for (TNavBarPage *page : waiting_) {
    pages_.push_back(page);
    host_.PlacePage(page, client);
  }
  waiting_.clear();
  // The index read while loading names the active page now that the order is known; it is
  // shown on top, the others hidden behind it.
  if (loaded_index_ >= 0 && loaded_index_ < PageCount()) active_ = pages_[loaded_index_];
  for (TNavBarPage *page : pages_) {
    if (page != active_) host_.HidePage(page);
  }
  if (active_) {
    host_.ShowPage(active_);
    host_.BringToFront(active_);
  }
  if (loaded_splitter_ != splitter_position_) MoveSplitter(splitter_position_ - loaded_splitter_);
  quiet_splitter_ = false;
  ApplyMinimumHeight();
  host_.Repaint();
}

int TNavBarModel::ActiveTabIndex() const {
  return loading_ ? loaded_index_ : IndexOf(active_);
}

void TNavBarModel::SetActiveTabIndex(int index) {
  if (loading_) {
    loaded_index_ = index;
    return;
  }
  if (index < 0) {
    active_ = nullptr;
    return;
  }
  const int current = IndexOf(active_);
  if (index == current || index >= PageCount()) return;
  if (!host_.AllowActivate(current, index)) return;
  if (active_) host_.HidePage(active_);
  active_ = pages_[index];
  host_.ShowPage(active_);
  host_.BringToFront(active_);
  host_.Repaint();
  host_.Changed();
}

void TNavBarModel::SetActivePage(TNavBarPage *page) {
  if (!page) {
    active_ = nullptr;
    return;
  }
  if (page == active_) return;
  const int index = IndexOf(page);
  if (index < 0) throw ENavBarError("Invalid ExNavBarPanel");
  if (!host_.AllowActivate(IndexOf(active_), index)) return;
  active_ = page;
  host_.ShowPage(page);
  host_.BringToFront(page);
  host_.Repaint();
  host_.Changed();
}

void TNavBarModel::SetSpliterPosition(int position) {
  if (position < 0) return;
  if (loading_) {
    loaded_splitter_ = position;
    return;
  }
  MoveSplitter(splitter_position_ - position);
}

int TNavBarModel::MoveSplitter(int tabs) {
  if (tabs == 0) return 0;
  const TNavLayout layout = Layout();
  const int line = layout.SplitterLine();
  int moved;
  if (tabs < 0) {
    const int outside = PageCount() - big_tabs_;
    if (line < T + min_client_height_ + 32 || outside <= 0) return 0;
    moved = std::min(-tabs, outside);
    big_tabs_ += moved;
  } else {
    if (line >= layout.Height - T - 10) return 0;
    moved = std::min(tabs, big_tabs_);
    big_tabs_ -= moved;
  }
  const int old_position = splitter_position_;
  splitter_position_ = big_tabs_;
  PlaceAll();
  if (active_) {
    host_.SendToBack(active_);
    host_.BringToFront(active_);
  }
  UpdateScroller();
  host_.Repaint();
  if (splitter_position_ != old_position && !quiet_splitter_ && !loading_)
    host_.SplitterMoved(old_position, splitter_position_);
  return moved;
}

void TNavBarModel::UpdateScroller() {
  const TNavLayout layout = Layout();
  const int icons = layout.IconCount();
  if (scroller_.Visible) {
    if (layout.IconCapacity(icon_margin_ - kNavScrollMargin) >= icons) {
      scroller_.Visible = false;
      icon_margin_ -= kNavScrollMargin;
    }
    scroller_.Position = scroller_.Min();
    scroller_.SetMax(icons - layout.IconCapacity(icon_margin_));
  } else if (layout.IconCapacity(icon_margin_) < icons) {
    scroller_.Visible = true;
    icon_margin_ += kNavScrollMargin;
    scroller_.SetMin(0);
    scroller_.Position = 0;
    scroller_.SetMax(icons - layout.IconCapacity(icon_margin_));
  }
}

void TNavBarModel::SetMinClientHeight(int height) {
  if (height <= 20) return;
  min_client_height_ = height;
  const int client = Layout().ClientRect().Height();
  if (client < height) host_.GrowHeight(height - client);
  ApplyMinimumHeight();
}

void TNavBarModel::Resized() {
  PlaceAll();
  if (!MinimumHeightApplies()) return;
  // One tab at a time, as long as the client area is too low and tabs are left to move.
  while (Layout().SplitterLine() < min_client_height_ + 27) {
    if (MoveSplitter(1) == 0) break;
  }
}

bool TNavBarModel::ScrollLeftEnabled() const {
  return align_ == TBottomIconAlign::biRight ? scroller_.CanGoOn() : scroller_.CanGoBack();
}

bool TNavBarModel::ScrollRightEnabled() const {
  return align_ == TBottomIconAlign::biRight ? scroller_.CanGoBack() : scroller_.CanGoOn();
}

void TNavBarModel::SetHover(int tab, int y) {
  if (tab == hover_) return;
  if (hint_replaced_) {
    host_.RestoreHint();
    hint_replaced_ = false;
  }
  hover_ = tab;
  host_.Repaint();
  if (tab >= 0 && y >= Layout().BottomRow().Top) {
    host_.ShowPageHint(pages_[tab]);
    hint_replaced_ = true;
  }
}

void TNavBarModel::MouseMove(int x, int y) {
  const TNavLayout layout = Layout();
  const bool in_band = layout.SplitterBand().Contains({x, y});
  if (dragging_) {
    const int distance = y - layout.SplitterBand().Top;
    if (std::abs(distance) >= T) MoveSplitter(distance / T);
    return;
  }
  if (in_band && !captured_) {
    captured_ = true;
    host_.SetSplitterCursor(true);
  } else if (!in_band && captured_) {
    captured_ = false;
    host_.SetSplitterCursor(false);
  }
  if (captured_) return;

  SetHover(layout.TabAt(x, y), y);
  if (y > layout.BottomRow().Top - kButtonReach) {
    const bool left = scroller_.Visible && layout.ScrollLeftRect().Contains({x, y});
    const bool right = scroller_.Visible && layout.ScrollRightRect().Contains({x, y});
    const bool popup = popup_indicator_ && layout.PopupHitRect().Contains({x, y});
    if (left != scroll_left_.Hover || right != scroll_right_.Hover || popup != popup_.Hover) {
      scroll_left_.Hover = left;
      scroll_right_.Hover = right;
      popup_.Hover = popup;
      host_.Repaint();
    }
  }
}

void TNavBarModel::MouseDown(int x, int y, bool left_button) {
  if (!left_button) return;
  const TNavLayout layout = Layout();
  pressed_ = layout.TabAt(x, y);
  host_.Repaint();
  if (captured_) dragging_ = true;
  if (y > layout.BottomRow().Top - kButtonReach) {
    if (scroller_.Visible && layout.ScrollLeftRect().Contains({x, y})) scroll_left_.Pressed = true;
    if (scroller_.Visible && layout.ScrollRightRect().Contains({x, y})) scroll_right_.Pressed = true;
    if (popup_indicator_ && layout.PopupHitRect().Contains({x, y})) popup_.Pressed = true;
    host_.Repaint();
  }
}

void TNavBarModel::ScrollBy(bool left_button) {
  // The left button shows lower pages with icons on the right, higher ones with icons on the left.
  const bool towards_max = left_button == (align_ == TBottomIconAlign::biRight);
  if (towards_max && scroller_.CanGoOn()) ++scroller_.Position;
  if (!towards_max && scroller_.CanGoBack()) --scroller_.Position;
  host_.Repaint();
}

void TNavBarModel::MouseUp(int x, int y) {
  if (dragging_) {
    dragging_ = false;
    captured_ = false;
    host_.SetSplitterCursor(false);
    return;
  }
  const TNavLayout layout = Layout();
  const int tab = layout.TabAt(x, y);
  if (tab >= 0) {
    SetActiveTabIndex(tab);
    return;
  }
  if (y <= layout.BottomRow().Top) return;
  if (scroller_.Visible && layout.ScrollLeftRect().Contains({x, y})) ScrollBy(true);
  if (scroller_.Visible && layout.ScrollRightRect().Contains({x, y})) ScrollBy(false);
  if (popup_indicator_ && layout.PopupHitRect().Contains({x, y})) {
    popup_.Pressed = false;
    host_.Repaint();
    host_.PopupClicked();
  }
}

void TNavBarModel::MouseLeave() {
  hover_ = -1;
  scroll_left_ = {};
  scroll_right_ = {};
  popup_ = {};
  host_.Repaint();
  host_.RestoreHint();
  hint_replaced_ = false;
}

} // namespace kv::panels
