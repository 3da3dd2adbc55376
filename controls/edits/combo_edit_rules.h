#pragma once
// The arithmetic of the combo-style edit without a widget: where the button holder sits, the
// height that fits the font, the smallest height, the dots of the ellipsis glyph, which button
// width is the kind's default, and where a popup opens.

#include <QPoint>
#include <QRect>
#include <QSize>

namespace kv::edits {

enum TGlyphKind { gkCustom, gkDefault, gkDropDown, gkEllipsis };

// How the edit looks: 3-D or flat, with a single border or none, and whether visual themes and
// new-style controls are on (the latter always here).
struct TEditLook {
  bool Ctl3D = true;
  bool SingleBorder = true;
  bool Themed = false;
  bool NewStyle = true;
};

// The holder of the button in the edit's client area, for an edit `width` x `height` and a
// button `button_width` wide.
QRect PlaceButtonHolder(int width, int height, int button_width, const TEditLook &look);
// Left edge of the text area: 3 for a flat edit with a single border under themes, else 0.
int TextAreaLeft(const TEditLook &look);
// The edit's height for a font whose cell is `font_cell` high (`system_cell`: the system
// font's), with borders `cy_border` high.
int FitHeightToFont(int font_cell, int system_cell, const TEditLook &look, int cy_border = 1);
// The smallest height the edit keeps.
inline int MinimumEditHeight(int font_cell, int cy_border = 1) {
  return font_cell + 4 * cy_border + 1;
}

// The ellipsis glyph for a button `button_width` wide: a Width x 4 picture with three 2 x 2 dots
// at y = 1 whose left edges are DotX. Dots may reach outside the picture when the button is
// narrow; they are drawn clipped.
struct TEllipsisGlyph {
  int Width = 1;
  int Height = 4;
  int Spacing = 1;
  int DotX[3] = {0, 0, 0};
};
TEllipsisGlyph EllipsisGlyph(int button_width);

// The button width a kind starts with and that needs no storing: the glyph's picture width + 6
// (at least 21) for gkDefault, the scroll-bar width for gkDropDown, 21 otherwise.
int DefaultButtonWidth(TGlyphKind kind, int glyph_width, int num_glyphs, int scroll_bar_width);

// Where a popup `popup` large opens below an edit `edit` large whose top-left corner is at
// `edit_top_left` on a screen `screen` large: below the edit, or above when too little room is
// left below; right edges aligned, but never left of 0 or past the screen's right edge.
QPoint PlacePopup(QPoint edit_top_left, QSize edit, QSize popup, QSize screen);

} // namespace kv::edits
