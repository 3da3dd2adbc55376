#include "controls/panels/ex_panel_group.h"

#include <QScrollBar>
#include <algorithm>
#include <vector>

#include "controls/panels/panel_styler.h"

namespace kv::panels {

namespace {
constexpr int kScrollBarSize = 16;
} // namespace

TExPanelGroup::TExPanelGroup(QWidget *parent)
    : TExPanel(parent), default_panel_(std::make_unique<TExPanelSettings>()),
      scroll_bar_(new QScrollBar(Qt::Vertical, this)) {
  scroll_bar_->hide();
  connect(scroll_bar_, &QScrollBar::valueChanged, this, [this] { ArrangeControls(); });
}

TExPanelGroup::~TExPanelGroup() = default;

bool TExPanelGroup::IsOwnChild(const QWidget *child) const {
  return child == scroll_bar_;
}

void TExPanelGroup::SetColumns(int Value) {
  if (Value < 1) return;
  columns_ = Value;
  ArrangeControls();
}

void TExPanelGroup::SetDefaultPanel(const TExPanelSettings &Value) {
  default_panel_->Assign(Value);
}

void TExPanelGroup::SetGroupStyle(TGroupStyle Value) {
  group_style_ = Value;
  scroll_bar_->setValue(0);
  ArrangeControls();
}

void TExPanelGroup::SetHorzPadding(int Value) {
  horz_padding_ = std::max(0, Value);
  ArrangeControls();
}

void TExPanelGroup::SetVertPadding(int Value) {
  vert_padding_ = std::max(0, Value);
  ArrangeControls();
}

TExPanel *TExPanelGroup::AddPanel() {
  auto *panel = new TExPanel(this);
  ApplyPanelSettings(panel, *default_panel_);
  panel->SetWidth(default_panel_->Width());
  panel->SetHeight(default_panel_->Height());
  // After every other panel in the group's order.
  int last = 0;
  for (QWidget *child : findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
    if (child != panel && !IsOwnChild(child))
      last =
          std::max(last, group_style_ == gsVertical ? child->geometry().bottom() : child->geometry().right());
  if (group_style_ == gsVertical)
    panel->move(panel->x(), last + 1);
  else
    panel->move(last + 1, panel->y());
  panel->show();
  ArrangeControls();
  return panel;
}

void TExPanelGroup::resizeEvent(QResizeEvent *event) {
  TExPanel::resizeEvent(event);
  ArrangeControls();
}

void TExPanelGroup::ArrangeControls() {
  if (arranging_) return;
  arranging_ = true;
  std::vector<TCustomExPanel *> panels;
  for (QWidget *child : findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
    if (auto *panel = qobject_cast<TCustomExPanel *>(child); panel && !panel->isHidden())
      panels.push_back(panel);
  const bool vertical = group_style_ == gsVertical;
  std::stable_sort(panels.begin(), panels.end(),
                   [vertical](const TCustomExPanel *a, const TCustomExPanel *b) {
                     return vertical ? a->y() < b->y() : a->x() < b->x();
                   });
  const int top = Caption().Visible() ? Caption().Height() : 0;
  const int w = width(), h = height();
  const int offset = scroll_bar_->isHidden() ? 0 : scroll_bar_->value();

  if (vertical) {
    // Columns fill row by row; the scroll bar takes room only when the panels overflow.
    auto lay = [&](bool with_bar, bool place) {
      const int column_width =
          std::max(1, (w - (with_bar ? kScrollBarSize : 0) - horz_padding_ * (columns_ + 1)) / columns_);
      std::vector<int> y(columns_, top + vert_padding_);
      for (std::size_t i = 0; i < panels.size(); ++i) {
        const int c = int(i % columns_);
        if (place)
          panels[i]->setGeometry(horz_padding_ + c * (column_width + horz_padding_), y[c] - offset,
                                 column_width, panels[i]->height());
        y[c] += panels[i]->height() + vert_padding_;
      }
      return *std::max_element(y.begin(), y.end());
    };
    const int needed = lay(false, false);
    const bool bar = needed > h;
    scroll_bar_->setOrientation(Qt::Vertical);
    scroll_bar_->setRange(0, std::max(0, needed - h));
    scroll_bar_->setPageStep(std::max(1, h - top));
    scroll_bar_->setGeometry(w - kScrollBarSize, top, kScrollBarSize, std::max(0, h - top));
    scroll_bar_->setVisible(bar && !Collaps());
    lay(bar, true);
  } else {
    int needed = horz_padding_;
    for (const TCustomExPanel *panel : panels)
      needed += panel->width() + horz_padding_;
    const bool bar = needed > w;
    const int panel_height = std::max(0, h - top - 2 * vert_padding_ - (bar ? kScrollBarSize : 0));
    int x = horz_padding_;
    for (TCustomExPanel *panel : panels) {
      // A collapsed panel keeps its caption height.
      panel->setGeometry(x - offset, top + vert_padding_, panel->width(),
                         panel->Collaps() ? panel->height() : panel_height);
      x += panel->width() + horz_padding_;
    }
    scroll_bar_->setOrientation(Qt::Horizontal);
    scroll_bar_->setRange(0, std::max(0, needed - w));
    scroll_bar_->setPageStep(std::max(1, w));
    scroll_bar_->setGeometry(0, h - kScrollBarSize, w, kScrollBarSize);
    scroll_bar_->setVisible(bar && !Collaps());
  }
  scroll_bar_->raise();
  arranging_ = false;
}

} // namespace kv::panels
