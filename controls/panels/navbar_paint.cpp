// Painting of the navigation bar: border, caption bar, splitter with its grip, big tabs, the
// icon row with its scroll and pop-up buttons, and the active page's caption.
#include <cmath>

#include "controls/panels/navbar.h"
#include "platform/ui/canvas.h"
#include "platform/ui/image_list.h"

namespace kv::panels {

using ui::TColor;

namespace {

int Round(double v) {
  return static_cast<int>(std::nearbyint(v));
}

// The rectangle a tab's or row's gradient covers: one pixel in from every side, and one more at
// the bottom when the bands run top to bottom (their last band reaches a pixel further).
TRect GradientArea(const TRect &r, bool horizontal) {
  return {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1 - (horizontal ? 0 : 1)};
}

void Outline(ui::TCanvas &canvas, const TRect &r, TColor color) {
  canvas.Pen = {color, 1, ui::psSolid};
  canvas.Brush.Style = ui::bsClear;
  canvas.Rectangle(r);
}

void Square(ui::TCanvas &canvas, int x, int y, TColor color) {
  canvas.Brush = {color, ui::bsSolid, color};
  canvas.FillRect({x, y, x + 2, y + 2});
}

// The small bold font of the scroll and pop-up buttons.
ui::TFont ButtonFont(TColor color) {
  ui::TFont font;
  font.Name = QStringLiteral("MS Sans Serif");
  font.Size = 8;
  font.Style = ui::fsBold;
  font.Color = color;
  return font;
}

void Text(ui::TCanvas &canvas, const ui::TFont &font, int x, int y, const QString &text) {
  canvas.Font = font;
  canvas.Brush.Style = ui::bsClear;
  canvas.TextOut(x, y, text);
}

} // namespace

void NavBarGradient(ui::TCanvas &canvas, TColor from, TColor to, int steps, const TRect &r, bool horizontal) {
  if (steps <= 0) steps = 1;
  const TColor f = ui::ColorToRGB(from);
  const TColor t = ui::ColorToRGB(to);
  const double dr = double(ui::RedOf(t) - ui::RedOf(f)) / steps;
  const double dg = double(ui::GreenOf(t) - ui::GreenOf(f)) / steps;
  const double db = double(ui::BlueOf(t) - ui::BlueOf(f)) / steps;
  const double size = double(horizontal ? r.Width() : r.Height()) / steps;
  const int length = Round(size) + 1;
  canvas.Brush.Style = ui::bsSolid;
  for (int i = 0; i < steps; ++i) {
    canvas.Brush.Color = ui::RGBColor(Round(ui::RedOf(f) + i * dr), Round(ui::GreenOf(f) + i * dg),
                                      Round(ui::BlueOf(f) + i * db));
    const int start = Round(i * size) % 65536;
    if (horizontal) {
      canvas.FillRect({r.Left + start, r.Top, r.Left + start + length, r.Bottom});
    } else {
      canvas.FillRect({r.Left, r.Top + start, r.Right, r.Top + start + length});
    }
  }
}

TExNavBar::TPair TExNavBar::TabColors(int index) const {
  const bool hovered = index == model_.HoverTab();
  if (index == model_.ActiveTabIndex())
    return hovered ? TPair{down_tab_color_, down_tab_color_to_} : TPair{active_color_, active_color_to_};
  if (!hovered) return {default_tab_color_, default_tab_color_to_};
  if (index == model_.PressedTab()) return {down_tab_color_, down_tab_color_to_};
  return {hover_tab_color_, hover_tab_color_to_};
}

TExNavBar::TPair TExNavBar::ButtonColors(const TNavBarModel::TButtonState &state) const {
  if (state.Hover && state.Pressed) return {down_tab_color_, down_tab_color_to_};
  if (state.Hover) return {hover_tab_color_, hover_tab_color_to_};
  return {default_tab_color_, default_tab_color_to_};
}

void TExNavBar::PaintActiveCaption(ui::TCanvas &canvas, const TExNavBarPanel &panel) const {
  canvas.Font = caption_font_;
  Text(canvas, caption_font_, 8, (kNavCaptionBottom - canvas.TextHeight(panel.Caption())) / 2,
       panel.Caption());
}

void TExNavBar::PaintBigTab(ui::TCanvas &canvas, const TNavLayout &layout, int index) const {
  const TExNavBarPanel &panel = *Panels(index);
  const TRect r = layout.BigTabRect(index);
  const bool horizontal = direction_ == TGradientDirection::gdHorizontal;
  Outline(canvas, r, border_color_);
  const TPair colors = TabColors(index);
  NavBarGradient(canvas, colors.From, colors.To, 16, GradientArea(r, horizontal), horizontal);

  int text_left = r.Left;
  if (const auto images = images_.lock()) {
    images->Draw(canvas, r.Left + 5, r.Top + (r.Height() - images->Height()) / 2, panel.ImageIndex());
    text_left += images->Width() + 5;
  }
  ui::TFont font = font_;
  font.Color = panel.TextColor();
  canvas.Font = font;
  const int text_height = canvas.TextHeight(panel.Caption());
  Text(canvas, font, text_left + 5, r.Top + r.Height() / 2 - text_height / 2, panel.Caption());

  if (index == model_.ActiveTabIndex()) {
    PaintActiveCaption(canvas, panel);
    canvas.Pen = {border_color_, 1, ui::psSolid};
    canvas.MoveTo(0, kNavCaptionBottom - 1);
    canvas.LineTo(layout.Width, kNavCaptionBottom - 1);
  }
}

void TExNavBar::PaintIconRow(ui::TCanvas &canvas, const TNavLayout &layout) const {
  const TRect row = layout.BottomRow();
  const bool horizontal = direction_ == TGradientDirection::gdHorizontal;
  Outline(canvas, row, border_color_);
  NavBarGradient(canvas, default_tab_color_, default_tab_color_to_, 16, GradientArea(row, horizontal),
                 horizontal);

  const auto images = images_.lock();
  const TNavLayout::TIconRange range = layout.VisibleIcons();
  for (int i = range.First; i >= range.Last; --i) {
    const TRect slot = layout.IconSlot(i);
    const TPair colors = TabColors(i);
    const TRect area{slot.Left, slot.Top + 1, slot.Right, slot.Bottom - 1 - (horizontal ? 0 : 1)};
    NavBarGradient(canvas, colors.From, colors.To, 16, area, horizontal);
    if (images)
      images->StretchDraw(canvas, {slot.Left + 4, slot.Top + 8, slot.Left + 20, slot.Top + 24},
                          Panels(i)->ImageIndex());
    if (i == model_.ActiveTabIndex()) PaintActiveCaption(canvas, *Panels(i));
  }
  if (model_.Scroller().Visible) PaintScrollButtons(canvas, layout);
  if (model_.PopupIndicator()) PaintPopupButton(canvas, layout);
}

void TExNavBar::PaintScrollButtons(ui::TCanvas &canvas, const TNavLayout &layout) const {
  const int text_top = layout.BottomRow().Top + 9;
  const auto button = [&](const TRect &rect, bool enabled, const TNavBarModel::TButtonState &state) {
    const TPair colors = enabled ? ButtonColors(state) : TPair{default_tab_color_, default_tab_color_to_};
    NavBarGradient(canvas, colors.From, colors.To, 16, rect, false);
    return ButtonFont(enabled ? ui::clBlack : ui::RGBColor(128, 128, 128));
  };
  const TRect left = layout.ScrollLeftRect();
  const ui::TFont left_font = button(left, model_.ScrollLeftEnabled(), model_.ScrollLeft());
  Text(canvas, left_font, left.Left + 2, text_top, QStringLiteral("<"));
  Text(canvas, left_font, left.Left + 6, text_top, QStringLiteral("<"));
  const TRect right = layout.ScrollRightRect();
  const ui::TFont right_font = button(right, model_.ScrollRightEnabled(), model_.ScrollRight());
  Text(canvas, right_font, right.Right - 14, text_top, QStringLiteral(">"));
  Text(canvas, right_font, right.Right - 10, text_top, QStringLiteral(">"));
}

void TExNavBar::PaintPopupButton(ui::TCanvas &canvas, const TNavLayout &layout) const {
  const TRect r = layout.PopupRect();
  const TPair colors = ButtonColors(model_.Popup());
  NavBarGradient(canvas, colors.From, colors.To, 16, r, false);
  canvas.Pen = {ui::clBlack, 1, ui::psSolid};
  for (int i = 0; i < 4; ++i) {
    canvas.MoveTo(r.Right - 1 + i - 13, r.Bottom + i - 10);
    canvas.LineTo(r.Right - 1 - i - 6, r.Bottom + i - 10);
  }
  const ui::TFont font = ButtonFont(ui::clBlack);
  const int top = layout.BottomRow().Top + 7;
  Text(canvas, font, r.Right - 14, top, QStringLiteral(">"));
  Text(canvas, font, r.Right - 11, top, QStringLiteral(">"));
}

void TExNavBar::Paint(ui::TCanvas &canvas) const {
  const TNavLayout layout = model_.Layout();
  // The border; inside it the pages cover the client area, without pages it is button face.
  canvas.Pen = {border_color_, 1, ui::psSolid};
  canvas.Brush = {ui::clBtnFace, PanelCount() > 0 ? ui::bsClear : ui::bsSolid, ui::clBtnFace};
  canvas.Rectangle({0, 0, layout.Width, layout.Height});

  const TRect caption = layout.CaptionRect();
  if (caption_color_to_ == ui::clNone) {
    canvas.Brush = {caption_color_, ui::bsSolid, caption_color_};
    canvas.FillRect(caption);
  } else {
    NavBarGradient(canvas, caption_color_, caption_color_to_, 64, caption,
                   direction_ == TGradientDirection::gdHorizontal);
  }

  const TRect band = layout.SplitterBand();
  NavBarGradient(canvas, splitter_color_, splitter_color_to_, 16, band, false);
  const int x0 = (layout.Width - 34) / 2;
  for (int k = 0; k < 9; ++k) {
    Square(canvas, x0 + 1 + 4 * k, band.Top + 2, ui::clWhite);
    Square(canvas, x0 + 4 * k, band.Top + 1, ui::clBlack);
    canvas.SetPixel(x0 + 1 + 4 * k, band.Top + 2, splitter_color_to_);
  }

  for (int i = layout.PageCount - layout.BigTabs; i < layout.PageCount; ++i)
    PaintBigTab(canvas, layout, i);
  PaintIconRow(canvas, layout);
}

} // namespace kv::panels
