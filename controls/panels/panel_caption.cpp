#include "controls/panels/panel_caption.h"

#include <algorithm>

namespace kv::panels {

using namespace kv::ui;

TPanelCaption::TPanelCaption() {
  font_.Color = clHighlightText;
}

void TPanelCaption::Changed() {
  if (OnChange) OnChange(this);
}

void TPanelCaption::ShadeChanged() {
  if (OnShadeChange) OnShadeChange(this);
  Changed();
}

void TPanelCaption::StateChanged() {
  if (OnStateChange) OnStateChange(this);
}

void TPanelCaption::Assign(const TPanelCaption &Source) {
  if (&Source == this) return;
  SetBackground(Source.background_);
  SetButtonPosition(Source.button_position_);
  SetColor(Source.color_);
  SetColorTo(Source.color_to_);
  SetCloseColor(Source.close_color_);
  SetCloseButton(Source.close_button_);
  SetCloseButtonColor(Source.close_button_color_);
  SetCloseMinGlyph(Source.close_min_glyph_);
  SetCloseMaxGlyph(Source.close_max_glyph_);
  SetFlat(Source.flat_);
  SetFont(Source.font_);
  SetHeight(Source.height_);
  SetIndent(Source.indent_);
  SetMaxGlyph(Source.max_glyph_);
  SetMinGlyph(Source.min_glyph_);
  SetMinMaxButton(Source.min_max_button_);
  SetMinMaxButtonColor(Source.min_max_button_color_);
  SetShadeLight(Source.shade_light_);
  SetShadeGrain(Source.shade_grain_);
  SetShadeType(Source.shade_type_);
  SetShape(Source.shape_);
  SetTopIndent(Source.top_indent_);
  SetVisible(Source.visible_);
}

void TPanelCaption::SetVisible(bool Value) {
  visible_ = Value;
  Changed();
  StateChanged();
}

void TPanelCaption::SetText(const QString &Value) {
  text_ = Value;
  Changed();
}

void TPanelCaption::SetHeight(int Value) {
  Value = std::max(0, Value);
  if (Value == height_) return;
  height_ = Value;
  Changed();
}

void TPanelCaption::SetColor(TColor Value) {
  if (Value == color_) return;
  color_ = Value;
  ShadeChanged();
}

void TPanelCaption::SetColorTo(TColor Value) {
  color_to_ = Value;
  Changed();
}

void TPanelCaption::SetFont(const TFont &Value) {
  font_ = Value;
  Changed();
}

namespace {
template <typename T> bool Store(T &field, const T &value) {
  if (field == value) return false;
  field = value;
  return true;
}
} // namespace

void TPanelCaption::SetCloseButton(bool Value) {
  if (Store(close_button_, Value)) Changed();
}

void TPanelCaption::SetMinMaxButton(bool Value) {
  if (Store(min_max_button_, Value)) Changed();
}

void TPanelCaption::SetCloseButtonColor(TColor Value) {
  if (Store(close_button_color_, Value)) Changed();
}

void TPanelCaption::SetMinMaxButtonColor(TColor Value) {
  if (Store(min_max_button_color_, Value)) Changed();
}

void TPanelCaption::SetCloseColor(TColor Value) {
  if (Store(close_color_, Value)) Changed();
}

void TPanelCaption::SetCloseMinGlyph(const TBitmap &Value) {
  close_min_glyph_ = Value;
  Changed();
}

void TPanelCaption::SetCloseMaxGlyph(const TBitmap &Value) {
  close_max_glyph_ = Value;
  Changed();
}

void TPanelCaption::SetIndent(int Value) {
  if (Store(indent_, Value)) Changed();
}

void TPanelCaption::SetTopIndent(int Value) {
  if (Store(top_indent_, Value)) Changed();
}

void TPanelCaption::SetFlat(bool Value) {
  flat_ = Value;
  ShadeChanged();
}

void TPanelCaption::SetShape(TCaptionShape Value) {
  shape_ = Value;
  ShadeChanged();
}

void TPanelCaption::SetShadeType(TShadeType Value) {
  shade_type_ = Value;
  ShadeChanged();
}

void TPanelCaption::SetShadeLight(int Value) {
  shade_light_ = std::clamp(Value, 200, 255);
  ShadeChanged();
}

void TPanelCaption::SetShadeGrain(int Value) {
  shade_grain_ = std::clamp(Value, 0, 255);
  ShadeChanged();
}

void TPanelCaption::SetBackground(const TBitmap &Value) {
  background_ = Value;
  ShadeChanged();
}

} // namespace kv::panels
