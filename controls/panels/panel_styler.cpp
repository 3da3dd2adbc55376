#include "controls/panels/panel_styler.h"

#include <algorithm>
#include <optional>

namespace kv::panels {

using namespace kv::ui;

TExPanelSettings::TExPanelSettings() : caption_(std::make_unique<TPanelCaption>()) {
  caption_->OnChange = [this](TPanelCaption *) { Changed(); };
}

TExPanelSettings::~TExPanelSettings() = default;

void TExPanelSettings::Changed() {
  if (update_count_ == 0 && OnChange) OnChange(this);
}

void TExPanelSettings::EndUpdate() {
  if (update_count_ <= 0) return;
  if (--update_count_ == 0) Changed();
}

void TExPanelSettings::SetCaption(const TPanelCaption &v) {
  BeginUpdate();
  caption_->Assign(v);
  caption_->SetText(v.Text());
  EndUpdate();
}

void TExPanelSettings::Assign(const TExPanelSettings &s) {
  if (&s == this) return;
  BeginUpdate();
  SetAnchorHint(s.anchor_hint_);
  SetAutoHideChildren(s.auto_hide_children_);
  SetBevelInner(s.bevel_inner_);
  SetBevelOuter(s.bevel_outer_);
  SetBevelWidth(s.bevel_width_);
  SetBorderColor(s.border_color_);
  SetBorderShadow(s.border_shadow_);
  SetBorderStyle(s.border_style_);
  SetBorderWidth(s.border_width_);
  SetCanMove(s.can_move_);
  SetCanSize(s.can_size_);
  SetCaption(*s.caption_);
  SetCollaps(s.collaps_);
  SetCollapsColor(s.collaps_color_);
  SetCollapsDelay(s.collaps_delay_);
  SetCollapsSteps(s.collaps_steps_);
  SetColor(s.color_);
  SetColorTo(s.color_to_);
  SetCursor(s.cursor_);
  SetFont(s.font_);
  SetFixedTop(s.fixed_top_);
  SetFixedLeft(s.fixed_left_);
  SetFixedHeight(s.fixed_height_);
  SetFixedWidth(s.fixed_width_);
  SetHeight(s.height_);
  SetHint(s.hint_);
  SetHover(s.hover_);
  SetHoverColor(s.hover_color_);
  SetHoverFontColor(s.hover_font_color_);
  SetIndent(s.indent_);
  SetPosition(s.position_);
  SetShadowColor(s.shadow_color_);
  SetShadowOffset(s.shadow_offset_);
  SetShowHint(s.show_hint_);
  SetShowMoveCursor(s.show_move_cursor_);
  SetText(s.text_);
  SetTextVAlign(s.text_valign_);
  SetTopIndent(s.top_indent_);
  SetURLColor(s.url_color_);
  SetWidth(s.width_);
  EndUpdate();
}

TExPanelStyler::TExPanelStyler(QObject *parent)
    : QObject(parent), settings_(std::make_unique<TExPanelSettings>()) {
  settings_->OnChange = [this](TExPanelSettings *) { SettingsChanged(); };
  SetStyle(psXP);
}

TExPanelStyler::~TExPanelStyler() {
  settings_->OnChange = nullptr;
}

namespace {

// What a preset sets; nullopt keeps the value.
struct TPreset {
  TColor Color, ColorTo;
  const char *FontName;
  std::optional<TColor> FontColor;
  const char *CaptionFontName;
  TColor CaptionFontColor;
  TShadeType ShadeType;
  std::optional<int> ShadeGrain, ShadeLight;
  TBevelCut BevelOuter;
  bool BorderShadow;
  TColor CaptionColor, CaptionColorTo;
  bool CaptionVisible;
  std::optional<int> CaptionHeight, CaptionIndent;
};

const TPreset kPresets[] = {
    // psXP
    {clWhite, 0xE3F0F2, "Verdana", std::nullopt, "Verdana", clHighlightText, stNormal, std::nullopt,
     std::nullopt, bvNone, true, clHighlight, clBlue, true, 20, 2},
    // psFlat
    {clBtnFace, clNone, "Tahoma", clWindowText, "Tahoma", clHighlightText, stNormal, std::nullopt,
     std::nullopt, bvNone, false, clHighlight, clNone, true, 20, 0},
    // psMetal
    {clWhite, 0xE4E4E4, "Tahoma", clWindowText, "Tahoma", clBlack, stRMetal, 32, 255, bvNone, true, clWhite,
     clNone, true, 20, 4},
    // psClassic
    {clBtnFace, clNone, "MS Sans Serif", clWindowText, "MS Sans Serif", clHighlightText, stNormal, 32, 255,
     bvRaised, false, clWhite, clNone, false, std::nullopt, std::nullopt},
};

} // namespace

void TExPanelStyler::SetStyle(TExPanelStyle Value) {
  if (loading_) return;
  style_ = Value;
  const TPreset &preset = kPresets[Value];
  TExPanelSettings &s = *settings_;
  TPanelCaption &cap = s.Caption();
  s.BeginUpdate();
  s.SetColor(preset.Color);
  s.SetColorTo(preset.ColorTo);
  s.Font().Name = QString::fromLatin1(preset.FontName);
  if (preset.FontColor) s.Font().Color = *preset.FontColor;
  TFont caption_font = cap.Font();
  caption_font.Name = QString::fromLatin1(preset.CaptionFontName);
  caption_font.Color = preset.CaptionFontColor;
  cap.SetFont(caption_font);
  cap.SetShadeType(preset.ShadeType);
  if (preset.ShadeGrain) cap.SetShadeGrain(*preset.ShadeGrain);
  if (preset.ShadeLight) cap.SetShadeLight(*preset.ShadeLight);
  s.SetBevelInner(bvNone);
  s.SetBevelOuter(preset.BevelOuter);
  s.SetBorderColor(clGray);
  s.SetBorderShadow(preset.BorderShadow);
  s.SetBorderStyle(bsNone);
  s.SetCollapsColor(clBtnFace);
  cap.SetColor(preset.CaptionColor);
  cap.SetColorTo(preset.CaptionColorTo);
  cap.SetVisible(preset.CaptionVisible);
  if (preset.CaptionHeight) cap.SetHeight(*preset.CaptionHeight);
  if (preset.CaptionIndent) cap.SetIndent(*preset.CaptionIndent);
  s.EndUpdate();
}

void TExPanelStyler::Register(TCustomExPanel *panel) {
  if (std::find(panels_.begin(), panels_.end(), panel) == panels_.end()) panels_.emplace_back(panel);
}

void TExPanelStyler::Unregister(TCustomExPanel *panel) {
  std::erase_if(panels_, [panel](const QPointer<TCustomExPanel> &p) { return p.isNull() || p == panel; });
}

void TExPanelStyler::SettingsChanged() {
  if (loading_) return;
  std::erase_if(panels_, [](const QPointer<TCustomExPanel> &p) { return p.isNull(); });
  const std::vector<QPointer<TCustomExPanel>> panels = panels_;
  for (const QPointer<TCustomExPanel> &panel : panels)
    if (panel && panel->Styler() == this) ApplyPanelSettings(panel, *settings_);
}

void ApplyPanelSettings(TCustomExPanel *Panel, const TExPanelSettings &s) {
  if (!Panel) return;
  Panel->SetAnchorHint(s.AnchorHint());
  Panel->SetAutoHideChildren(s.AutoHideChildren());
  Panel->SetBevelInner(s.BevelInner());
  Panel->SetBevelOuter(s.BevelOuter());
  Panel->SetBevelWidth(s.BevelWidth());
  Panel->SetBorderColor(s.BorderColor());
  Panel->SetBorderShadow(s.BorderShadow());
  Panel->SetBorderStyle(s.BorderStyle());
  Panel->SetBorderWidth(s.BorderWidth());
  Panel->SetCanMove(s.CanMove());
  Panel->SetCanSize(s.CanSize());
  Panel->Caption().Assign(s.Caption());
  Panel->SetCollaps(s.Collaps());
  Panel->SetCollapsColor(s.CollapsColor());
  Panel->SetCollapsDelay(s.CollapsDelay());
  Panel->SetCollapsSteps(s.CollapsSteps());
  Panel->SetColor(s.Color());
  Panel->SetColorTo(s.ColorTo());
  Panel->SetCursor(s.Cursor());
  Panel->SetFont(s.Font());
  Panel->SetFixedTop(s.FixedTop());
  Panel->SetFixedLeft(s.FixedLeft());
  Panel->SetFixedHeight(s.FixedHeight());
  Panel->SetFixedWidth(s.FixedWidth());
  Panel->SetHover(s.Hover());
  Panel->SetHoverColor(s.HoverColor());
  Panel->SetHoverFontColor(s.HoverFontColor());
  Panel->SetIndent(s.Indent());
  if (s.Position()) Panel->Position().Assign(*s.Position());
  Panel->SetShadowColor(s.ShadowColor());
  Panel->SetShadowOffset(s.ShadowOffset());
  Panel->SetShowHint(s.ShowHint());
  Panel->SetShowMoveCursor(s.ShowMoveCursor());
  Panel->SetTextVAlign(s.TextVAlign());
  Panel->SetTopIndent(s.TopIndent());
  Panel->SetURLColor(s.URLColor());
}

} // namespace kv::panels
