#pragma once
// TExNavBar: a navigation bar that stacks pages (TExNavBarPanel) in one place. A caption bar on
// top names the active page, the page fills the client area below it, a splitter separates the
// client area from a stack of full-width tabs (big tabs), and the bottom row shows the other
// pages as icons, with scroll buttons when they do not fit and an optional pop-up button.
//
// Pages join a bar by being created with it as parent (or through SetNavBar). Between
// BeginLoading and Loaded they wait and are then put in PanelIndex order; ActiveTabIndex and
// SpliterPosition set in between are applied at Loaded. A page added outside that bracket is
// appended as one more big tab and becomes the active page.

#include <QCursor>
#include <QMenu>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "controls/panels/navbar_model.h"
#include "platform/ui/color.h"
#include "platform/ui/font.h"
#include "platform/ui/geometry.h"

namespace kv::ui {
class TCanvas;
class TImageList;
} // namespace kv::ui

namespace kv::panels {

class TExNavBar;
class TExNavBarPanel;

// The bar's own gradient: `steps` bands (0 counts as 1) from `from` to `to`, left to right when
// `horizontal`, else top to bottom. Each band is one pixel longer than its share and the last
// one is not cut at the rectangle's edge.
void NavBarGradient(ui::TCanvas &canvas, ui::TColor from, ui::TColor to, int steps, const ui::TRect &r,
                    bool horizontal);

class TExNavBarPanelSections;

// A titled band on a page; a new section is 48 pixels high.
class TExNavBarPanelSection {
public:
  const QString &Caption() const { return caption_; }
  void SetCaption(const QString &caption);
  int Height() const { return height_; }
  void SetHeight(int height);

private:
  friend class TExNavBarPanelSections;
  explicit TExNavBarPanelSection(TExNavBarPanelSections &owner) : owner_(owner) {}
  TExNavBarPanelSections &owner_;
  QString caption_;
  int height_ = 48;
};

// The sections of a page, top to bottom. Every change repaints the page.
class TExNavBarPanelSections {
public:
  explicit TExNavBarPanelSections(std::function<void()> changed) : changed_(std::move(changed)) {}
  int Count() const { return static_cast<int>(items_.size()); }
  TExNavBarPanelSection &Items(int index) { return *items_.at(index); }
  const TExNavBarPanelSection &Items(int index) const { return *items_.at(index); }
  TExNavBarPanelSection &Add();
  // Ignores an index outside the list.
  void Delete(int index);
  void Clear();

private:
  friend class TExNavBarPanelSection;
  void Changed() {
    if (changed_) changed_();
  }
  std::function<void()> changed_;
  std::vector<std::unique_ptr<TExNavBarPanelSection>> items_;
};

// A page of the bar. On a bar it always lies exactly on the bar's client area.
class TExNavBarPanel : public QWidget, public TNavBarPage {
  Q_OBJECT
public:
  // Joins `parent` when it is a TExNavBar.
  explicit TExNavBarPanel(QWidget *parent = nullptr);
  ~TExNavBarPanel() override;

  TExNavBar *NavBar() const { return bar_; }
  // Leaves the old bar (if any) and joins `bar` as a child window; nullptr only leaves.
  void SetNavBar(TExNavBar *bar);

  const QString &Caption() const { return caption_; }
  void SetCaption(const QString &caption);
  ui::TColor Color() const { return color_; }
  void SetColor(ui::TColor color);
  ui::TColor ColorTo() const { return color_to_; }
  void SetColorTo(ui::TColor color);
  TGradientDirection GradientDirection() const { return direction_; }
  void SetGradientDirection(TGradientDirection direction);
  const ui::TFont &Font() const { return font_; }
  void SetFont(const ui::TFont &font);
  const QString &Hint() const { return hint_; }
  void SetHint(const QString &hint);
  bool ShowHint() const { return show_hint_; }
  void SetShowHint(bool on);
  int ImageIndex() const { return image_index_; }
  void SetImageIndex(int index);
  ui::TColor TextColor() const { return text_color_; }
  void SetTextColor(ui::TColor color);
  // Position in the bar's tab order; can be set only while the page waits for its bar's loading.
  int PanelIndex() const override { return panel_index_; }
  void SetPanelIndex(int index);
  QMenu *PopupMenu() const { return popup_menu_; }
  void SetPopupMenu(QMenu *menu) { popup_menu_ = menu; }
  TExNavBarPanelSections &Sections() { return sections_; }
  const TExNavBarPanelSections &Sections() const { return sections_; }

  // Moves the page; on a bar it stays on the bar's client area whatever is asked.
  void SetBounds(int left, int top, int width, int height);
  // Puts the page on its bar's client area; ENavBarError "No ExNavBar is assigned." without a bar.
  void PlaceOnBar();
  // Paints the page's background and sections.
  void Paint(ui::TCanvas &canvas) const;

protected:
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void moveEvent(QMoveEvent *event) override;
  void contextMenuEvent(QContextMenuEvent *event) override;

private:
  friend class TExNavBar;
  void StorePanelIndex(int index) override { panel_index_ = index; }
  void KeepOnBar();
  void RepaintBar();

  TExNavBar *bar_ = nullptr;
  QString caption_;
  ui::TColor color_ = ui::clWhite;
  ui::TColor color_to_ = ui::clNone;
  TGradientDirection direction_ = TGradientDirection::gdVertical;
  ui::TFont font_;
  QString hint_;
  bool show_hint_ = true;
  int image_index_ = 0;
  ui::TColor text_color_ = 0;
  int panel_index_ = 0;
  QPointer<QMenu> popup_menu_;
  TExNavBarPanelSections sections_;
};

class TExNavBar : public QWidget, private TNavBarHost {
  Q_OBJECT
public:
  using TNotifyEvent = std::function<void(TExNavBar *Sender)>;
  using TOnPanelActivate =
      std::function<void(TExNavBar *Sender, int OldActivePanel, int NewActivePanel, bool &Allow)>;
  using TSpliterMove =
      std::function<void(TExNavBar *Sender, int OldSplitterPosition, int NewSplitterPosition)>;

  // A bar of 250 x 300 pixels without pages.
  explicit TExNavBar(QWidget *parent = nullptr);
  // Frees the pages in its tab order.
  ~TExNavBar() override;

  // --- pages and loading
  int PanelCount() const { return model_.PageCount(); }
  // Page `index` in tab order; nullptr outside the list.
  TExNavBarPanel *Panels(int index) const;
  // Index of the page in tab order, -1 when it is not in the bar.
  int IndexOfPanel(const TExNavBarPanel *panel) const { return model_.IndexOf(panel); }
  void BeginLoading() { model_.BeginLoading(); }
  void Loaded();
  bool IsLoading() const { return model_.IsLoading(); }

  // --- activation
  int ActiveTabIndex() const { return model_.ActiveTabIndex(); }
  // Out-of-range indexes are ignored; -1 leaves no page active.
  void SetActiveTabIndex(int index) { model_.SetActiveTabIndex(index); }
  TExNavBarPanel *ActivePanel() const;
  // Null leaves no page active; a page not in the bar raises ENavBarError "Invalid ExNavBarPanel".
  void SetActivePanel(TExNavBarPanel *panel) { model_.SetActivePage(panel); }

  // --- splitter and size
  int SpliterPosition() const { return model_.SpliterPosition(); }
  void SetSpliterPosition(int position) { model_.SetSpliterPosition(position); }
  // Moves the splitter by `tabs` (positive: fewer big tabs); returns how many tabs moved.
  int MoveSplitter(int tabs) { return model_.MoveSplitter(tabs); }
  int MinClientHeight() const { return model_.MinClientHeight(); }
  void SetMinClientHeight(int height) { model_.SetMinClientHeight(height); }
  // The client area, where the active page lies.
  ui::TRect GetClientRect() const;
  const TNavBarModel &Model() const { return model_; }

  // --- looks
  ui::TColor ActiveColor() const { return active_color_; }
  void SetActiveColor(ui::TColor c) { SetColor(active_color_, c); }
  ui::TColor ActiveColorTo() const { return active_color_to_; }
  void SetActiveColorTo(ui::TColor c) { SetColor(active_color_to_, c); }
  ui::TColor BorderColor() const { return border_color_; }
  void SetBorderColor(ui::TColor c) { SetColor(border_color_, c); }
  ui::TColor CaptionColor() const { return caption_color_; }
  void SetCaptionColor(ui::TColor c) { SetColor(caption_color_, c); }
  ui::TColor CaptionColorTo() const { return caption_color_to_; }
  void SetCaptionColorTo(ui::TColor c) { SetColor(caption_color_to_, c); }
  ui::TColor DefaultTabColor() const { return default_tab_color_; }
  void SetDefaultTabColor(ui::TColor c) { SetColor(default_tab_color_, c); }
  ui::TColor DefaultTabColorTo() const { return default_tab_color_to_; }
  void SetDefaultTabColorTo(ui::TColor c) { SetColor(default_tab_color_to_, c); }
  ui::TColor DefaultTextColor() const { return default_text_color_; }
  void SetDefaultTextColor(ui::TColor c) { SetColor(default_text_color_, c); }
  ui::TColor SplitterColor() const { return splitter_color_; }
  void SetSplitterColor(ui::TColor c) { SetColor(splitter_color_, c); }
  ui::TColor SplitterColorTo() const { return splitter_color_to_; }
  void SetSplitterColorTo(ui::TColor c) { SetColor(splitter_color_to_, c); }
  // Stored only: they show at the next repaint.
  ui::TColor DownTabColor() const { return down_tab_color_; }
  void SetDownTabColor(ui::TColor c) { down_tab_color_ = c; }
  ui::TColor DownTabColorTo() const { return down_tab_color_to_; }
  void SetDownTabColorTo(ui::TColor c) { down_tab_color_to_ = c; }
  ui::TColor HoverTabColor() const { return hover_tab_color_; }
  void SetHoverTabColor(ui::TColor c) { hover_tab_color_ = c; }
  ui::TColor HoverTabColorTo() const { return hover_tab_color_to_; }
  void SetHoverTabColorTo(ui::TColor c) { hover_tab_color_to_ = c; }
  ui::TColor SectionColor() const { return section_color_; }
  void SetSectionColor(ui::TColor c) { section_color_ = c; }
  ui::TColor SectionColorTo() const { return section_color_to_; }
  void SetSectionColorTo(ui::TColor c) { section_color_to_ = c; }

  TBottomIconAlign BottomIconAlign() const { return model_.BottomIconAlign(); }
  void SetBottomIconAlign(TBottomIconAlign align);
  TGradientDirection DefaultGradientDirection() const { return direction_; }
  void SetDefaultGradientDirection(TGradientDirection direction);
  bool PopupIndicator() const { return model_.PopupIndicator(); }
  void SetPopupIndicator(bool on);
  const ui::TFont &CaptionFont() const { return caption_font_; }
  void SetCaptionFont(const ui::TFont &font);
  // The font of the big tabs' captions.
  const ui::TFont &Font() const { return font_; }
  void SetFont(const ui::TFont &font);
  // Page pictures. The bar does not keep the list alive: once it is gone the bar shows none.
  std::shared_ptr<const ui::TImageList> Images() const { return images_.lock(); }
  void SetImages(const std::shared_ptr<const ui::TImageList> &images);
  QMenu *PopupMenu() const { return popup_menu_; }
  void SetPopupMenu(QMenu *menu) { popup_menu_ = menu; }

  // --- events
  TNotifyEvent OnChange;
  TOnPanelActivate OnPanelActivate;
  TSpliterMove OnSpliterMove;
  TNotifyEvent OnPopupMenuClick;

  // Paints the whole bar (not its pages) on `canvas`.
  void Paint(ui::TCanvas &canvas) const;

protected:
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void leaveEvent(QEvent *event) override;
  void contextMenuEvent(QContextMenuEvent *event) override;

private:
  friend class TExNavBarPanel;
  void AddPanel(TExNavBarPanel *panel) { model_.AddPage(panel); }
  void RemovePanel(TExNavBarPanel *panel);
  void SetColor(ui::TColor &field, ui::TColor value);

  // TNavBarHost
  int BarWidth() const override { return width(); }
  int BarHeight() const override { return height(); }
  void PlacePage(TNavBarPage *page, const TRect &client) override;
  void ShowPage(TNavBarPage *page) override;
  void HidePage(TNavBarPage *page) override;
  void BringToFront(TNavBarPage *page) override;
  void SendToBack(TNavBarPage *page) override;
  void Repaint() override { update(); }
  bool AllowActivate(int old_index, int new_index) override;
  void Changed() override;
  void SplitterMoved(int old_position, int new_position) override;
  void PopupClicked() override;
  void SetSplitterCursor(bool on) override;
  void ShowPageHint(TNavBarPage *page) override;
  void RestoreHint() override;
  void GrowHeight(int delta) override;
  void SetMinimumHeight(int height) override { setMinimumHeight(height); }

  // Painting, in navbar_paint.cpp.
  struct TPair {
    ui::TColor From;
    ui::TColor To;
  };
  TPair TabColors(int index) const;
  TPair ButtonColors(const TNavBarModel::TButtonState &state) const;
  void PaintBigTab(ui::TCanvas &canvas, const TNavLayout &layout, int index) const;
  void PaintIconRow(ui::TCanvas &canvas, const TNavLayout &layout) const;
  void PaintScrollButtons(ui::TCanvas &canvas, const TNavLayout &layout) const;
  void PaintPopupButton(ui::TCanvas &canvas, const TNavLayout &layout) const;
  void PaintActiveCaption(ui::TCanvas &canvas, const TExNavBarPanel &panel) const;

  TNavBarModel model_{*this};
  ui::TColor active_color_;
  ui::TColor active_color_to_;
  ui::TColor border_color_;
  ui::TColor caption_color_;
  ui::TColor caption_color_to_;
  ui::TColor default_tab_color_;
  ui::TColor default_tab_color_to_;
  ui::TColor default_text_color_ = ui::clBlack;
  ui::TColor down_tab_color_;
  ui::TColor down_tab_color_to_;
  ui::TColor hover_tab_color_;
  ui::TColor hover_tab_color_to_;
  ui::TColor section_color_;
  ui::TColor section_color_to_;
  ui::TColor splitter_color_;
  ui::TColor splitter_color_to_;
  TGradientDirection direction_ = TGradientDirection::gdVertical;
  ui::TFont caption_font_;
  ui::TFont font_;
  std::weak_ptr<const ui::TImageList> images_;
  QPointer<QMenu> popup_menu_;
  QString own_hint_;
  bool hint_replaced_ = false;
  bool cursor_saved_ = false;
  bool had_cursor_ = false;
  QCursor saved_cursor_;
  bool destroying_ = false;
};

} // namespace kv::panels
