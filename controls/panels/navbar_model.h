#pragma once
// The navigation bar without a widget: its pages in tab order, the active page, loading, the
// splitter between big tabs and icons, the icon scroller and the mouse's hover, press and drag.
// What it does to windows (placing, showing, repainting, events, cursor, hints) goes through a
// host, which the bar widget is and tests replace.

#include <stdexcept>
#include <string>
#include <vector>

#include "controls/panels/navbar_geometry.h"

namespace kv::panels {

// Raised for a page that is not in the bar, and for placing a page that has no bar.
class ENavBarError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Scroll state of the icon row.
class TExchangeScroller {
public:
  int Min() const { return min_; }
  int Max() const { return max_; }
  // Ignored when below Min.
  void SetMax(int value) {
    if (value >= min_) max_ = value;
  }
  // Ignored when above Max.
  void SetMin(int value) {
    if (value <= max_) min_ = value;
  }
  bool CanGoBack() const { return min_ < Position; }
  bool CanGoOn() const { return Position < max_; }

  int Position = 0;
  bool Visible = false;

private:
  int min_ = 0;
  int max_ = 0;
};

// A page as the model sees it.
class TNavBarPage {
public:
  virtual ~TNavBarPage() = default;
  // Place in the tab order asked for while loading.
  virtual int PanelIndex() const = 0;
  // The bar records where in its tab order the page went.
  virtual void StorePanelIndex(int index) = 0;
};

// What the model does outside itself. Every call but the size has a do-nothing default.
class TNavBarHost {
public:
  virtual ~TNavBarHost() = default;
  // The bar's size as it stands.
  virtual int BarWidth() const = 0;
  virtual int BarHeight() const = 0;
  virtual void PlacePage(TNavBarPage *, const TRect &) {}
  virtual void ShowPage(TNavBarPage *) {}
  virtual void HidePage(TNavBarPage *) {}
  virtual void BringToFront(TNavBarPage *) {}
  virtual void SendToBack(TNavBarPage *) {}
  virtual void Repaint() {}
  // OnPanelActivate: returns whether the change may happen.
  virtual bool AllowActivate(int /*old_index*/, int /*new_index*/) { return true; }
  // OnChange.
  virtual void Changed() {}
  // OnSpliterMove.
  virtual void SplitterMoved(int /*old_position*/, int /*new_position*/) {}
  // OnPopupMenuClick.
  virtual void PopupClicked() {}
  // The size-north-south cursor on, or the remembered cursor back.
  virtual void SetSplitterCursor(bool) {}
  // The bar's hint becomes the page's; any hint shown is cancelled.
  virtual void ShowPageHint(TNavBarPage *) {}
  // The bar's own hint comes back; any hint shown is cancelled.
  virtual void RestoreHint() {}
  // The bar grows by `delta` pixels in height.
  virtual void GrowHeight(int /*delta*/) {}
  // The lowest height the bar may take from now on.
  virtual void SetMinimumHeight(int) {}
};

class TNavBarModel {
public:
  explicit TNavBarModel(TNavBarHost &host) : host_(host) {}
  TNavBarModel(const TNavBarModel &) = delete;
  TNavBarModel &operator=(const TNavBarModel &) = delete;

  // --- pages
  const std::vector<TNavBarPage *> &Pages() const { return pages_; }
  int PageCount() const { return static_cast<int>(pages_.size()); }
  // Pages that joined while loading and wait for its end.
  const std::vector<TNavBarPage *> &Waiting() const { return waiting_; }
  int IndexOf(const TNavBarPage *page) const;
  // A page joins: while loading it waits for the end of loading; otherwise it is appended as
  // one more big tab and becomes the active page.
  void AddPage(TNavBarPage *page);
  // A page leaves (or a waiting page is dropped). An active page hands over to the next page in
  // tab order.
  void RemovePage(TNavBarPage *page);

  // --- loading
  // Pages that join from now on wait; ActiveTabIndex and SpliterPosition are only remembered.
  void BeginLoading();
  // Moves the waiting pages into the tab order by PanelIndex, then applies the remembered
  // active index and splitter position.
  void Loaded();
  bool IsLoading() const { return loading_; }
  bool IsLoaded() const { return loaded_; }

  // --- activation
  int ActiveTabIndex() const;
  TNavBarPage *ActivePage() const { return active_; }
  // Out-of-range indexes are ignored; -1 leaves no page active.
  void SetActiveTabIndex(int index);
  // Null leaves no page active; a page not in the bar raises ENavBarError.
  void SetActivePage(TNavBarPage *page);

  // --- splitter and size
  int SpliterPosition() const { return loading_ ? loaded_splitter_ : splitter_position_; }
  // Negative values are ignored; otherwise moves the splitter to that many big tabs.
  void SetSpliterPosition(int position);
  // Moves the splitter by `tabs` (positive: fewer big tabs). Returns how many tabs moved.
  int MoveSplitter(int tabs);
  int MinClientHeight() const { return min_client_height_; }
  // Values up to 20 are ignored; a client area lower than the new minimum grows the bar.
  void SetMinClientHeight(int height);
  // Lowest bar height that still holds the minimum client area with every tab in the icon row.
  int MinimumHeight() const { return min_client_height_ + 34 + kNavTabHeight; }
  // The bar has a new size: pages go to the new client area, big tabs leave a client area that
  // fell below the minimum.
  void Resized();

  bool PopupIndicator() const { return popup_indicator_; }
  void SetPopupIndicator(bool on) { popup_indicator_ = on; }
  TBottomIconAlign BottomIconAlign() const { return align_; }
  void SetBottomIconAlign(TBottomIconAlign align) { align_ = align; }
  const TExchangeScroller &Scroller() const { return scroller_; }
  // The layout of the bar as it stands.
  TNavLayout Layout() const;

  // --- mouse
  void MouseMove(int x, int y);
  void MouseDown(int x, int y, bool left_button);
  void MouseUp(int x, int y);
  void MouseLeave();
  int HoverTab() const { return hover_; }
  int PressedTab() const { return pressed_; }
  bool SplitterCaptured() const { return captured_; }
  bool Dragging() const { return dragging_; }
  struct TButtonState {
    bool Hover = false;
    bool Pressed = false;
  };
  TButtonState ScrollLeft() const { return scroll_left_; }
  TButtonState ScrollRight() const { return scroll_right_; }
  TButtonState Popup() const { return popup_; }
  // Whether the scroll buttons can scroll, after BottomIconAlign.
  bool ScrollLeftEnabled() const;
  bool ScrollRightEnabled() const;

private:
  void PlaceAll();
  void UpdateScroller();
  bool MinimumHeightApplies() const;
  void ApplyMinimumHeight();
  void SetHover(int tab, int y);
  void ScrollBy(bool left_button);

  TNavBarHost &host_;
  std::vector<TNavBarPage *> pages_;
  std::vector<TNavBarPage *> waiting_;
  TNavBarPage *active_ = nullptr;
  int loaded_index_ = -1;   // ActiveTabIndex remembered while loading
  int loaded_splitter_ = 0; // SpliterPosition remembered while loading
  int splitter_position_ = 0;
  int big_tabs_ = 0;
  int min_client_height_ = 60;
  bool popup_indicator_ = true;
  TBottomIconAlign align_ = TBottomIconAlign::biRight;
  int icon_margin_ = kNavIconMargin;
  TExchangeScroller scroller_;
  bool loading_ = false;
  bool loaded_ = false;
  bool quiet_splitter_ = false;
  int hover_ = -1;
  int pressed_ = -1;
  bool hint_replaced_ = false;
  bool captured_ = false;
  bool dragging_ = false;
  TButtonState scroll_left_;
  TButtonState scroll_right_;
  TButtonState popup_;
};

} // namespace kv::panels
