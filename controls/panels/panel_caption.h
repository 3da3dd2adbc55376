#pragma once
// TPanelCaption: the caption bar of a panel (visibility, mark-up text, height, colours, font,
// close and collapse buttons with optional glyphs, shading). It tells its owner about changes
// through three events: OnChange (repaint), OnShadeChange (rebuild the shade, then OnChange)
// and OnStateChange (the bar appeared or vanished).

#include <QString>
#include <functional>

#include "controls/panels/caption_shade.h"
#include "platform/ui/bitmap.h"
#include "platform/ui/color.h"
#include "platform/ui/font.h"

namespace kv::panels {

enum TCaptionButtonPosition { cbpRight, cbpLeft };

class TPanelCaption {
public:
  using TNotifyEvent = std::function<void(TPanelCaption *Sender)>;

  TPanelCaption();
  TPanelCaption(const TPanelCaption &) = delete;
  TPanelCaption &operator=(const TPanelCaption &) = delete;

  // Copies every value but Text through the setters, so the owner hears of each change.
  void Assign(const TPanelCaption &Source);

  bool Visible() const { return visible_; }
  void SetVisible(bool Value);
  const QString &Text() const { return text_; }
  void SetText(const QString &Value);
  int Height() const { return height_; }
  // A negative height counts as 0.
  void SetHeight(int Value);
  kv::ui::TColor Color() const { return color_; }
  void SetColor(kv::ui::TColor Value);
  kv::ui::TColor ColorTo() const { return color_to_; }
  void SetColorTo(kv::ui::TColor Value);
  const kv::ui::TFont &Font() const { return font_; }
  void SetFont(const kv::ui::TFont &Value);
  bool CloseButton() const { return close_button_; }
  void SetCloseButton(bool Value);
  bool MinMaxButton() const { return min_max_button_; }
  void SetMinMaxButton(bool Value);
  kv::ui::TColor CloseButtonColor() const { return close_button_color_; }
  void SetCloseButtonColor(kv::ui::TColor Value);
  kv::ui::TColor MinMaxButtonColor() const { return min_max_button_color_; }
  void SetMinMaxButtonColor(kv::ui::TColor Value);
  // The caption's colour while the panel is collapsed.
  kv::ui::TColor CloseColor() const { return close_color_; }
  void SetCloseColor(kv::ui::TColor Value);
  const kv::ui::TBitmap &CloseMinGlyph() const { return close_min_glyph_; }
  void SetCloseMinGlyph(const kv::ui::TBitmap &Value);
  const kv::ui::TBitmap &CloseMaxGlyph() const { return close_max_glyph_; }
  void SetCloseMaxGlyph(const kv::ui::TBitmap &Value);
  // Stored only: they show at the next repaint.
  const kv::ui::TBitmap &MinGlyph() const { return min_glyph_; }
  void SetMinGlyph(const kv::ui::TBitmap &Value) { min_glyph_ = Value; }
  const kv::ui::TBitmap &MaxGlyph() const { return max_glyph_; }
  void SetMaxGlyph(const kv::ui::TBitmap &Value) { max_glyph_ = Value; }
  TCaptionButtonPosition ButtonPosition() const { return button_position_; }
  void SetButtonPosition(TCaptionButtonPosition Value) { button_position_ = Value; }
  int Indent() const { return indent_; }
  void SetIndent(int Value);
  int TopIndent() const { return top_indent_; }
  void SetTopIndent(int Value);
  bool Flat() const { return flat_; }
  void SetFlat(bool Value);
  TCaptionShape Shape() const { return shape_; }
  void SetShape(TCaptionShape Value);
  TShadeType ShadeType() const { return shade_type_; }
  void SetShadeType(TShadeType Value);
  // Kept within 200..255.
  int ShadeLight() const { return shade_light_; }
  void SetShadeLight(int Value);
  // A byte: kept within 0..255.
  int ShadeGrain() const { return shade_grain_; }
  void SetShadeGrain(int Value);
  const kv::ui::TBitmap &Background() const { return background_; }
  void SetBackground(const kv::ui::TBitmap &Value);

  TNotifyEvent OnChange;
  TNotifyEvent OnShadeChange;
  TNotifyEvent OnStateChange;

private:
  void Changed();
  void ShadeChanged();
  void StateChanged();

  bool visible_ = false;
  QString text_;
  int height_ = 20;
  kv::ui::TColor color_ = kv::ui::clHighlight;
  kv::ui::TColor color_to_ = kv::ui::clNone;
  kv::ui::TFont font_;
  bool close_button_ = false;
  bool min_max_button_ = false;
  kv::ui::TColor close_button_color_ = kv::ui::clWhite;
  kv::ui::TColor min_max_button_color_ = kv::ui::clWhite;
  kv::ui::TColor close_color_ = kv::ui::clBtnFace;
  kv::ui::TBitmap close_min_glyph_, close_max_glyph_, min_glyph_, max_glyph_, background_;
  TCaptionButtonPosition button_position_ = cbpRight;
  int indent_ = 0;
  int top_indent_ = 0;
  bool flat_ = false;
  TCaptionShape shape_ = csRectangle;
  TShadeType shade_type_ = stNormal;
  int shade_light_ = 200;
  int shade_grain_ = 32;
};

} // namespace kv::panels
