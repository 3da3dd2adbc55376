#include "controls/panels/navbar.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QToolTip>

#include "platform/ui/canvas.h"
#include "platform/ui/image_list.h"

namespace kv::panels {

using ui::RGBColor;
using ui::TColor;

namespace {

// Colours a new bar has.
constexpr TColor kBorderColor = RGBColor(0, 45, 150);
constexpr TColor kSectionColor = RGBColor(196, 218, 250);
constexpr TColor kSectionColorTo = RGBColor(160, 191, 245);

TExNavBarPanel *Panel(TNavBarPage *page) {
  return static_cast<TExNavBarPanel *>(page);
}

// Opens the control's pop-up menu at the event; false when it has none.
bool PopupAt(QMenu *menu, QContextMenuEvent *event) {
  if (!menu) return false;
  menu->popup(event->globalPos());
  return true;
}

} // namespace

// --- sections

void TExNavBarPanelSection::SetCaption(const QString &caption) {
  caption_ = caption;
  owner_.Changed();
}

void TExNavBarPanelSection::SetHeight(int height) {
  height_ = height;
  owner_.Changed();
}

TExNavBarPanelSection &TExNavBarPanelSections::Add() {
  items_.push_back(std::unique_ptr<TExNavBarPanelSection>(new TExNavBarPanelSection(*this)));
  Changed();
  return *items_.back();
}

void TExNavBarPanelSections::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  items_.erase(items_.begin() + index);
  Changed();
}

void TExNavBarPanelSections::Clear() {
  items_.clear();
  Changed();
}

// --- page

TExNavBarPanel::TExNavBarPanel(QWidget *parent) : QWidget(parent), sections_([this] { update(); }) {
  if (auto *bar = qobject_cast<TExNavBar *>(parent)) SetNavBar(bar);
}

TExNavBarPanel::~TExNavBarPanel() {
  if (bar_) bar_->RemovePanel(this);
}

void TExNavBarPanel::SetNavBar(TExNavBar *bar) {
  if (bar == bar_) return;
  if (bar_) bar_->RemovePanel(this);
  bar_ = bar;
  if (!bar) return;
  if (parentWidget() != bar) setParent(bar);
  bar->AddPanel(this);
  if (text_color_ == 0) text_color_ = bar->DefaultTextColor();
}

void TExNavBarPanel::RepaintBar() {
  if (bar_) bar_->update();
}

void TExNavBarPanel::SetCaption(const QString &caption) {
  caption_ = caption;
  RepaintBar();
}

void TExNavBarPanel::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  update();
}

void TExNavBarPanel::SetColorTo(TColor color) {
  if (color == color_to_) return;
  color_to_ = color;
  update();
}

void TExNavBarPanel::SetGradientDirection(TGradientDirection direction) {
  if (direction == direction_) return;
  direction_ = direction;
  update();
}

void TExNavBarPanel::SetFont(const ui::TFont &font) {
  font_ = font;
  update();
}

void TExNavBarPanel::SetHint(const QString &hint) {
  hint_ = hint;
  setToolTip(show_hint_ ? hint_ : QString());
}

void TExNavBarPanel::SetShowHint(bool on) {
  show_hint_ = on;
  setToolTip(show_hint_ ? hint_ : QString());
}

void TExNavBarPanel::SetImageIndex(int index) {
  image_index_ = index;
  RepaintBar();
}

void TExNavBarPanel::SetTextColor(TColor color) {
  text_color_ = color;
  RepaintBar();
}

void TExNavBarPanel::SetPanelIndex(int index) {
  if (!bar_ || bar_->IsLoading()) panel_index_ = index;
}

void TExNavBarPanel::SetBounds(int left, int top, int width, int height) {
  if (bar_) {
    PlaceOnBar();
  } else {
    setGeometry(left, top, width, height);
  }
}

void TExNavBarPanel::PlaceOnBar() {
  if (!bar_) throw ENavBarError("No ExNavBar is assigned.");
  const QRect client = ui::ToQRect(bar_->GetClientRect());
  if (geometry() != client) setGeometry(client);
}

void TExNavBarPanel::KeepOnBar() {
  if (bar_ && parentWidget() == bar_) PlaceOnBar();
}

void TExNavBarPanel::resizeEvent(QResizeEvent *event) {
  KeepOnBar();
  QWidget::resizeEvent(event);
}

void TExNavBarPanel::moveEvent(QMoveEvent *event) {
  KeepOnBar();
  QWidget::moveEvent(event);
}

void TExNavBarPanel::contextMenuEvent(QContextMenuEvent *event) {
  if (!PopupAt(popup_menu_, event)) QWidget::contextMenuEvent(event);
}

void TExNavBarPanel::paintEvent(QPaintEvent *) {
  ui::TCanvas canvas(this);
  Paint(canvas);
}

void TExNavBarPanel::Paint(ui::TCanvas &canvas) const {
  const ui::TRect r{0, 0, width(), height()};
  if (color_to_ == ui::clNone) {
    canvas.Brush.Color = color_;
    canvas.Brush.Style = ui::bsSolid;
    canvas.FillRect(r);
  } else {
    // A page's direction names the bands, not the progression.
    NavBarGradient(canvas, color_, color_to_, 128, r, direction_ == TGradientDirection::gdVertical);
  }
  const TColor border = bar_ ? bar_->BorderColor() : kBorderColor;
  const TColor section = bar_ ? bar_->SectionColor() : kSectionColor;
  const TColor section_to = bar_ ? bar_->SectionColorTo() : kSectionColorTo;
  canvas.Font = font_;
  int top = 0;
  for (int i = 0; i < sections_.Count(); ++i) {
    const TExNavBarPanelSection &s = sections_.Items(i);
    const ui::TRect band{0, top, width(), top + 16};
    NavBarGradient(canvas, section, section_to, 16, band, false);
    canvas.Pen = {border, 1, ui::psSolid};
    canvas.MoveTo(band.Left, band.Bottom);
    canvas.LineTo(band.Right, band.Bottom);
    canvas.Pen.Color = section_to;
    canvas.MoveTo(band.Left, band.Top);
    canvas.LineTo(band.Right, band.Top);
    canvas.Brush.Style = ui::bsClear;
    canvas.TextOut(4, band.Top + 2, s.Caption());
    top += s.Height();
  }
}

// --- bar

TExNavBar::TExNavBar(QWidget *parent)
    : QWidget(parent), active_color_(RGBColor(251, 230, 148)), active_color_to_(RGBColor(238, 149, 21)),
      border_color_(kBorderColor), caption_color_(RGBColor(89, 135, 214)),
      caption_color_to_(RGBColor(3, 56, 147)), default_tab_color_(RGBColor(203, 225, 252)),
      default_tab_color_to_(RGBColor(125, 165, 224)), down_tab_color_(RGBColor(232, 127, 8)),
      down_tab_color_to_(RGBColor(247, 218, 124)), hover_tab_color_(RGBColor(255, 255, 220)),
      hover_tab_color_to_(RGBColor(247, 192, 91)), section_color_(kSectionColor),
      section_color_to_(kSectionColorTo), splitter_color_(RGBColor(89, 135, 214)),
      splitter_color_to_(RGBColor(0, 45, 150)) {
  caption_font_.Name = QStringLiteral("Tahoma");
  caption_font_.Size = 11;
  caption_font_.Style = ui::fsBold;
  caption_font_.Color = ui::clWhite;
  font_.Color = ui::clBlack;
  setMouseTracking(true);
  resize(250, 300);
}

TExNavBar::~TExNavBar() {
  destroying_ = true;
  for (TNavBarPage *page : model_.Waiting())
    Panel(page)->bar_ = nullptr;
  const std::vector<TNavBarPage *> pages = model_.Pages();
  for (TNavBarPage *page : pages) {
    Panel(page)->bar_ = nullptr;
    delete Panel(page);
  }
}

TExNavBarPanel *TExNavBar::Panels(int index) const {
  if (index < 0 || index >= PanelCount()) return nullptr;
  return Panel(model_.Pages()[index]);
}

TExNavBarPanel *TExNavBar::ActivePanel() const {
  return model_.ActivePage() ? Panel(model_.ActivePage()) : nullptr;
}

void TExNavBar::Loaded() {
  own_hint_ = toolTip();
  model_.Loaded();
}

void TExNavBar::RemovePanel(TExNavBarPanel *panel) {
  if (!destroying_) model_.RemovePage(panel);
}

ui::TRect TExNavBar::GetClientRect() const {
  return model_.Layout().ClientRect();
}

void TExNavBar::SetColor(TColor &field, TColor value) {
  if (field == value) return;
  field = value;
  update();
}

void TExNavBar::SetBottomIconAlign(TBottomIconAlign align) {
  if (align == model_.BottomIconAlign()) return;
  model_.SetBottomIconAlign(align);
  update();
}

void TExNavBar::SetDefaultGradientDirection(TGradientDirection direction) {
  direction_ = direction;
  update();
}

void TExNavBar::SetPopupIndicator(bool on) {
  model_.SetPopupIndicator(on);
  update();
}

void TExNavBar::SetCaptionFont(const ui::TFont &font) {
  caption_font_ = font;
  update();
}

void TExNavBar::SetFont(const ui::TFont &font) {
  font_ = font;
  update();
}

void TExNavBar::SetImages(const std::shared_ptr<const ui::TImageList> &images) {
  if (images == images_.lock()) return;
  images_ = images;
  update();
}

// --- host

void TExNavBar::PlacePage(TNavBarPage *page, const TRect &client) {
  Panel(page)->setGeometry(ui::ToQRect(client));
}

void TExNavBar::ShowPage(TNavBarPage *page) {
  Panel(page)->show();
}

void TExNavBar::HidePage(TNavBarPage *page) {
  Panel(page)->hide();
}

void TExNavBar::BringToFront(TNavBarPage *page) {
  Panel(page)->raise();
}

void TExNavBar::SendToBack(TNavBarPage *page) {
  Panel(page)->lower();
}

bool TExNavBar::AllowActivate(int old_index, int new_index) {
  bool allow = true;
  if (OnPanelActivate) OnPanelActivate(this, old_index, new_index, allow);
  return allow;
}

void TExNavBar::Changed() {
  if (OnChange) OnChange(this);
}

void TExNavBar::SplitterMoved(int old_position, int new_position) {
  if (OnSpliterMove) OnSpliterMove(this, old_position, new_position);
}

void TExNavBar::PopupClicked() {
  if (OnPopupMenuClick) OnPopupMenuClick(this);
}

void TExNavBar::SetSplitterCursor(bool on) {
  if (on) {
    had_cursor_ = testAttribute(Qt::WA_SetCursor);
    saved_cursor_ = cursor();
    setCursor(Qt::SizeVerCursor);
  } else if (had_cursor_) {
    setCursor(saved_cursor_);
  } else {
    unsetCursor();
  }
}

void TExNavBar::ShowPageHint(TNavBarPage *page) {
  if (!hint_replaced_) {
    own_hint_ = toolTip();
    hint_replaced_ = true;
  }
  setToolTip(Panel(page)->Hint());
  QToolTip::hideText();
}

void TExNavBar::RestoreHint() {
  if (hint_replaced_) {
    setToolTip(own_hint_);
    hint_replaced_ = false;
  }
  QToolTip::hideText();
}

void TExNavBar::GrowHeight(int delta) {
  resize(width(), height() + delta);
  model_.Resized();
}

// --- events

void TExNavBar::paintEvent(QPaintEvent *) {
  ui::TCanvas canvas(this);
  Paint(canvas);
}

void TExNavBar::resizeEvent(QResizeEvent *event) {
  model_.Resized();
  QWidget::resizeEvent(event);
}

void TExNavBar::mouseMoveEvent(QMouseEvent *event) {
  const QPoint p = event->position().toPoint();
  model_.MouseMove(p.x(), p.y());
}

void TExNavBar::mousePressEvent(QMouseEvent *event) {
  const QPoint p = event->position().toPoint();
  model_.MouseDown(p.x(), p.y(), event->button() == Qt::LeftButton);
}

void TExNavBar::mouseReleaseEvent(QMouseEvent *event) {
  const QPoint p = event->position().toPoint();
  model_.MouseUp(p.x(), p.y());
}

void TExNavBar::leaveEvent(QEvent *event) {
  model_.MouseLeave();
  QWidget::leaveEvent(event);
}

void TExNavBar::contextMenuEvent(QContextMenuEvent *event) {
  if (!PopupAt(popup_menu_, event)) QWidget::contextMenuEvent(event);
}

} // namespace kv::panels
