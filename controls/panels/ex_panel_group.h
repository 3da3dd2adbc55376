#pragma once
// TExPanelGroup: a panel that stacks the panels placed on it. Vertically it sorts them by their
// top and lays them out in Columns columns below its caption, each column as wide as the room
// allows; horizontally it sorts them by their left and sets them side by side, as high as the
// group less twice VertPadding. A scroll bar appears when they do not fit. Its panels ask it to
// re-arrange after collapsing, expanding, closing, auto-size and the user's moving and sizing.

#include <memory>

#include "controls/panels/ex_panel.h"

class QScrollBar;

namespace kv::panels {

class TExPanelSettings;

enum TGroupStyle { gsVertical, gsHorizontal };

class TExPanelGroup : public TExPanel {
  Q_OBJECT
public:
  explicit TExPanelGroup(QWidget *parent = nullptr);
  ~TExPanelGroup() override;

  int Columns() const { return columns_; }
  // Values below 1 are ignored.
  void SetColumns(int Value);
  // The settings a panel made by AddPanel starts with.
  TExPanelSettings &DefaultPanel() { return *default_panel_; }
  void SetDefaultPanel(const TExPanelSettings &Value);
  TGroupStyle GroupStyle() const { return group_style_; }
  void SetGroupStyle(TGroupStyle Value);
  int HorzPadding() const { return horz_padding_; }
  void SetHorzPadding(int Value);
  int VertPadding() const { return vert_padding_; }
  void SetVertPadding(int Value);

  // A new panel on the group with the DefaultPanel settings (and its Height and Width), placed
  // after the others.
  TExPanel *AddPanel();
  // Lays the group's visible panels out anew.
  void ArrangeControls();
  QScrollBar *ScrollBar() const { return scroll_bar_; }

protected:
  void StateChanged() override { ArrangeControls(); }
  bool IsOwnChild(const QWidget *child) const override;
  void resizeEvent(QResizeEvent *event) override;

private:
  int columns_ = 1;
  std::unique_ptr<TExPanelSettings> default_panel_;
  TGroupStyle group_style_ = gsVertical;
  int horz_padding_ = 8;
  int vert_padding_ = 8;
  QScrollBar *scroll_bar_ = nullptr;
  bool arranging_ = false;
};

} // namespace kv::panels
