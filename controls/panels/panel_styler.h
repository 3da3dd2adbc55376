#pragma once
// TExPanelStyler: a non-visual component holding one set of panel settings (TExPanelSettings) and
// a preset (Style). Every panel whose Styler names it takes the settings over when the panel is
// loaded, when its Styler is set, and whenever the settings change.

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "controls/panels/ex_panel.h"
#include "controls/panels/panel_caption.h"
#include "platform/ui/color.h"
#include "platform/ui/font.h"

namespace kv::panels {

enum TExPanelStyle { psXP, psFlat, psMetal, psClassic };

// Copies of a panel's settings. Most setters call Changed (OnChange unless inside
// BeginUpdate/EndUpdate); Color, the Fixed* switches, Height, Width, Hint, Position,
// ShadowColor, ShadowOffset, ShowHint and ShowMoveCursor are stored without it.
class TExPanelSettings {
public:
  TExPanelSettings();
  ~TExPanelSettings();
  TExPanelSettings(const TExPanelSettings &) = delete;
  TExPanelSettings &operator=(const TExPanelSettings &) = delete;

  // Copies every value of Source (Position as the reference it is); one OnChange at the end.
  void Assign(const TExPanelSettings &Source);
  void BeginUpdate() { ++update_count_; }
  // Ends one BeginUpdate; the last one calls Changed. Without a BeginUpdate it does nothing.
  void EndUpdate();
  void Changed();
  int UpdateCount() const { return update_count_; }

  bool AnchorHint() const { return anchor_hint_; }
  void SetAnchorHint(bool v) { Store(anchor_hint_, v); }
  bool AutoHideChildren() const { return auto_hide_children_; }
  void SetAutoHideChildren(bool v) { Store(auto_hide_children_, v); }
  TBevelCut BevelInner() const { return bevel_inner_; }
  void SetBevelInner(TBevelCut v) { Store(bevel_inner_, v); }
  TBevelCut BevelOuter() const { return bevel_outer_; }
  void SetBevelOuter(TBevelCut v) { Store(bevel_outer_, v); }
  int BevelWidth() const { return bevel_width_; }
  void SetBevelWidth(int v) { Store(bevel_width_, v); }
  kv::ui::TColor BorderColor() const { return border_color_; }
  void SetBorderColor(kv::ui::TColor v) { Store(border_color_, v); }
  bool BorderShadow() const { return border_shadow_; }
  void SetBorderShadow(bool v) { Store(border_shadow_, v); }
  TBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TBorderStyle v) { Store(border_style_, v); }
  int BorderWidth() const { return border_width_; }
  void SetBorderWidth(int v) { Store(border_width_, v); }
  bool CanMove() const { return can_move_; }
  void SetCanMove(bool v) { Store(can_move_, v); }
  bool CanSize() const { return can_size_; }
  void SetCanSize(bool v) { Store(can_size_, v); }
  // The settings' own caption; a change of it calls Changed.
  TPanelCaption &Caption() { return *caption_; }
  const TPanelCaption &Caption() const { return *caption_; }
  void SetCaption(const TPanelCaption &v);
  bool Collaps() const { return collaps_; }
  void SetCollaps(bool v) { Store(collaps_, v); }
  kv::ui::TColor CollapsColor() const { return collaps_color_; }
  void SetCollapsColor(kv::ui::TColor v) { Store(collaps_color_, v); }
  int CollapsDelay() const { return collaps_delay_; }
  void SetCollapsDelay(int v) { Store(collaps_delay_, v); }
  int CollapsSteps() const { return collaps_steps_; }
  void SetCollapsSteps(int v) { Store(collaps_steps_, v); }
  kv::ui::TColor Color() const { return color_; }
  void SetColor(kv::ui::TColor v) { color_ = v; }
  kv::ui::TColor ColorTo() const { return color_to_; }
  void SetColorTo(kv::ui::TColor v) { Store(color_to_, v); }
  int Cursor() const { return cursor_; }
  void SetCursor(int v) { Store(cursor_, v); }
  // The settings' own font; changing it in place does not call Changed, SetFont does.
  kv::ui::TFont &Font() { return font_; }
  const kv::ui::TFont &Font() const { return font_; }
  void SetFont(const kv::ui::TFont &v) { Store(font_, v); }
  bool FixedTop() const { return fixed_top_; }
  void SetFixedTop(bool v) { fixed_top_ = v; }
  bool FixedLeft() const { return fixed_left_; }
  void SetFixedLeft(bool v) { fixed_left_ = v; }
  bool FixedHeight() const { return fixed_height_; }
  void SetFixedHeight(bool v) { fixed_height_ = v; }
  bool FixedWidth() const { return fixed_width_; }
  void SetFixedWidth(bool v) { fixed_width_ = v; }
  int Height() const { return height_; }
  void SetHeight(int v) { height_ = v; }
  const QString &Hint() const { return hint_; }
  void SetHint(const QString &v) { hint_ = v; }
  bool Hover() const { return hover_; }
  void SetHover(bool v) { Store(hover_, v); }
  kv::ui::TColor HoverColor() const { return hover_color_; }
  void SetHoverColor(kv::ui::TColor v) { Store(hover_color_, v); }
  kv::ui::TColor HoverFontColor() const { return hover_font_color_; }
  void SetHoverFontColor(kv::ui::TColor v) { Store(hover_font_color_, v); }
  int Indent() const { return indent_; }
  void SetIndent(int v) { Store(indent_, v); }
  // A reference to a position the settings do not own; nullptr unless set.
  TPanelPosition *Position() const { return position_; }
  void SetPosition(TPanelPosition *v) { position_ = v; }
  kv::ui::TColor ShadowColor() const { return shadow_color_; }
  void SetShadowColor(kv::ui::TColor v) { shadow_color_ = v; }
  int ShadowOffset() const { return shadow_offset_; }
  void SetShadowOffset(int v) { shadow_offset_ = v; }
  bool ShowHint() const { return show_hint_; }
  void SetShowHint(bool v) { show_hint_ = v; }
  bool ShowMoveCursor() const { return show_move_cursor_; }
  void SetShowMoveCursor(bool v) { show_move_cursor_ = v; }
  const QString &Text() const { return text_; }
  void SetText(const QString &v) { Store(text_, v); }
  TTextVAlignment TextVAlign() const { return text_valign_; }
  void SetTextVAlign(TTextVAlignment v) { Store(text_valign_, v); }
  int TopIndent() const { return top_indent_; }
  void SetTopIndent(int v) { Store(top_indent_, v); }
  kv::ui::TColor URLColor() const { return url_color_; }
  void SetURLColor(kv::ui::TColor v) { Store(url_color_, v); }
  int Width() const { return width_; }
  void SetWidth(int v) { width_ = v; }

  std::function<void(TExPanelSettings *Sender)> OnChange;

private:
  template <typename T> void Store(T &field, const T &value) {
    field = value;
    Changed();
  }

  int update_count_ = 0;
  bool anchor_hint_ = false;
  bool auto_hide_children_ = false;
  TBevelCut bevel_inner_ = bvNone;
  TBevelCut bevel_outer_ = bvNone;
  int bevel_width_ = 1;
  kv::ui::TColor border_color_ = kv::ui::clBlack;
  bool border_shadow_ = false;
  TBorderStyle border_style_ = bsSingle;
  int border_width_ = 0;
  bool can_move_ = false;
  bool can_size_ = false;
  std::unique_ptr<TPanelCaption> caption_;
  bool collaps_ = false;
  kv::ui::TColor collaps_color_ = kv::ui::clBtnFace;
  int collaps_delay_ = 0;
  int collaps_steps_ = 0;
  kv::ui::TColor color_ = kv::ui::clBtnFace;
  kv::ui::TColor color_to_ = kv::ui::clNone;
  int cursor_ = crDefault;
  kv::ui::TFont font_;
  bool fixed_top_ = false, fixed_left_ = false, fixed_height_ = false, fixed_width_ = false;
  int height_ = 120;
  QString hint_;
  bool hover_ = false;
  kv::ui::TColor hover_color_ = kv::ui::clBlack;
  kv::ui::TColor hover_font_color_ = kv::ui::clBlack;
  int indent_ = 0;
  TPanelPosition *position_ = nullptr;
  kv::ui::TColor shadow_color_ = kv::ui::clBlack;
  int shadow_offset_ = 0;
  bool show_hint_ = false;
  bool show_move_cursor_ = false;
  QString text_;
  TTextVAlignment text_valign_ = tvaTop;
  int top_indent_ = 0;
  kv::ui::TColor url_color_ = kv::ui::clBlue;
  int width_ = 0;
};

class TExPanelStyler : public QObject {
  Q_OBJECT
public:
  // Applies psXP at once.
  explicit TExPanelStyler(QObject *parent = nullptr);
  ~TExPanelStyler() override;

  TExPanelSettings &Settings() { return *settings_; }
  const TExPanelSettings &Settings() const { return *settings_; }
  // Copies Value's settings into the styler's own.
  void SetSettings(const TExPanelSettings &Value) { settings_->Assign(Value); }
  TExPanelStyle Style() const { return style_; }
  // Applies the preset with one OnChange; nothing while loading.
  void SetStyle(TExPanelStyle Value);
  QString Comments;
  int Tag = 0;

  void BeginLoading() { loading_ = true; }
  void Loaded() { loading_ = false; }
  bool Loading() const { return loading_; }

  // Applies the settings to every panel whose Styler is this styler (not while loading).
  void SettingsChanged();

private:
  friend class TCustomExPanel;
  void Register(TCustomExPanel *panel);
  void Unregister(TCustomExPanel *panel);

  std::unique_ptr<TExPanelSettings> settings_;
  TExPanelStyle style_ = psXP;
  bool loading_ = false;
  std::vector<QPointer<TCustomExPanel>> panels_;
};

// Sets the settings on the panel (all but Height, Width, Hint and Text).
void ApplyPanelSettings(TCustomExPanel *Panel, const TExPanelSettings &Settings);

} // namespace kv::panels
