#include "controls/edits/combo_edit_rules.h"

#include <algorithm>

namespace kv::edits {

QRect PlaceButtonHolder(int width, int height, int button_width, const TEditLook &look) {
  const int w = width, h = height, bw = button_width;
  if (!look.NewStyle) return {w - bw, 0, bw, h};
  if (look.SingleBorder && look.Ctl3D) return {w - bw - 4, 0, bw, h - 4};
  if (look.Themed) return {w - bw - 1, 1, bw, h - 2};
  if (look.SingleBorder) return {w - bw - 2, 2, bw, h - 4};
  return {w - bw, 0, bw, h};
}

int TextAreaLeft(const TEditLook &look) {
  return !look.Ctl3D && look.SingleBorder && look.Themed ? 3 : 0;
}

int FitHeightToFont(int font_cell, int system_cell, const TEditLook &look, int cy_border) {
  if (look.NewStyle) return font_cell + (look.Ctl3D ? 8 : 6) * cy_border;
  return font_cell + 4 * cy_border + std::min(system_cell, font_cell) / 4;
}

TEllipsisGlyph EllipsisGlyph(int button_width) {
  TEllipsisGlyph g;
  g.Width = std::max(1, button_width - 6);
  g.Spacing = std::clamp((g.Width - 6) / 2, 1, 3);
  const int x0 = (g.Width - 6 - 2 * g.Spacing) / 2;
  g.DotX[0] = x0;
  g.DotX[1] = x0 + 2 + g.Spacing;
  g.DotX[2] = x0 + 4 + 2 * g.Spacing;
  return g;
}

int DefaultButtonWidth(TGlyphKind kind, int glyph_width, int num_glyphs, int scroll_bar_width) {
  switch (kind) {
  case gkDefault:
    return std::max(glyph_width / std::max(1, num_glyphs) + 6, 21);
  case gkDropDown:
    return scroll_bar_width;
  default:
    return 21;
  }
}

QPoint PlacePopup(QPoint edit_top_left, QSize edit, QSize popup, QSize screen) {
  int y = edit_top_left.y() + edit.height();
  if (screen.height() - y < popup.height()) y = edit_top_left.y() - popup.height();
  int x = edit_top_left.x() - (popup.width() - edit.width());
  if (x < 0) x = edit_top_left.x();
  if (x < 0)
    x = 0;
  else if (x + popup.width() > screen.width())
    x = screen.width() - popup.width();
  return {x, y};
}

} // namespace kv::edits
