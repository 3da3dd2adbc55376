#pragma once
// TExPanel: a control that shows a text in the panel mark-up language on a plain, gradient or
// picture background, optionally under a caption bar with a close and a collapse/expand button.
// Clicking an anchor of the text raises OnAnchorClick with its href (web and mail addresses go to
// the desktop's opener instead). The panel can be collapsed to its caption bar (with an
// animation driven by a timer), dragged by its caption and sized by its grip, save its place in
// the registry or an ini file, take its settings from a TExPanelStyler and fit itself to its
// text.
//
// Use from code: create it with its parent, set the properties, then call Loaded() (or let the
// first show call it); BeginLoading() before the properties makes them behave as when read from
// a form description (Collaps changes no height, the styler waits for Loaded).
//
// Painting is in ex_panel_paint.cpp, the mouse in ex_panel_mouse.cpp, moving, sizing and the
// saved position in ex_panel_position.cpp.

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

#include "controls/panels/caption_shade.h"
#include "controls/panels/ex_panel_geometry.h"
#include "controls/panels/panel_caption.h"
#include "platform/ui/bitmap.h"
#include "platform/ui/color.h"
#include "platform/ui/font.h"
#include "platform/ui/geometry.h"
#include "platform/ui/text_measure.h"

class QMenu;
class QTimer;

namespace kv::ui {
class TCanvas;
class TImageList;
} // namespace kv::ui

namespace kv::panels {

class TCustomExPanel;
class TExImage;
class TExPanelStyler;
class THTMLPictureCache;
class TPictureContainer;
struct TMarkupParams;

enum TBorderStyle { bsNone, bsSingle };
enum TPanelPositionLocation { clRegistry, clInifile };

// Cursor numbers of the Cursor property; other positive numbers name cursors of the program's
// table (kv::ui::ScreenCursor).
constexpr int crDefault = 0;
constexpr int crNone = -1;
constexpr int crArrow = -2;
constexpr int crCross = -3;
constexpr int crIBeam = -4;
constexpr int crSizeNESW = -6;
constexpr int crSizeNS = -7;
constexpr int crSizeNWSE = -8;
constexpr int crSizeWE = -9;
constexpr int crUpArrow = -10;
constexpr int crHourGlass = -11;
constexpr int crNo = -18;
constexpr int crHandPoint = -21;
constexpr int crSizeAll = -22;
QCursor CursorFor(int Cursor);

// Raised by Assign for a source that is not a panel.
class EInvalidCast : public std::runtime_error {
public:
  EInvalidCast() : std::runtime_error("Invalid class typecast") {}
};

// Fitting the panel to its text.
class TAutoSize {
public:
  explicit TAutoSize(TCustomExPanel *Panel) : panel_(Panel) {}
  // Copies Enabled (through its setter), Height and Width.
  void Assign(const TAutoSize &Source);
  bool Enabled() const { return enabled_; }
  // Turning it on fits the panel at once.
  void SetEnabled(bool Value);
  bool Height() const { return height_; }
  void SetHeight(bool Value) { height_ = Value; }
  bool Width() const { return width_; }
  void SetWidth(bool Value) { width_ = Value; }

private:
  TCustomExPanel *panel_;
  bool enabled_ = false;
  bool height_ = true;
  bool width_ = true;
};

// Where a panel saves its place: the registry key Key (section Section below it) or the ini
// file Key (section Section).
class TPanelPosition {
public:
  explicit TPanelPosition(TCustomExPanel *Panel = nullptr) : panel_(Panel) {}
  // Copies Key, Section, Save and Location.
  void Assign(const TPanelPosition &Source);
  TCustomExPanel *Panel() const { return panel_; }
  bool Save = false;
  QString Key;
  QString Section;
  TPanelPositionLocation Location = clRegistry;

private:
  TCustomExPanel *panel_;
};

using TAnchorEvent = std::function<void(TCustomExPanel *Sender, const QString &Anchor)>;
using TAnchorHintEvent = std::function<void(TCustomExPanel *Sender, QString &Anchor)>;
using TPanelNotifyEvent = std::function<void(TCustomExPanel *Sender)>;
using TPanelMouseEvent = std::function<void(TCustomExPanel *Sender, Qt::MouseButton Button,
                                            Qt::KeyboardModifiers Shift, int X, int Y)>;
// Opens a web or mail address.
using TUrlOpener = std::function<void(const QString &Url)>;

class TCustomExPanel : public QWidget {
  Q_OBJECT
public:
  explicit TCustomExPanel(QWidget *parent = nullptr);
  ~TCustomExPanel() override;

  // --- loading bracket
  void BeginLoading() { loading_ = true; }
  // Ends the bracket: loads the saved position, takes the load-time size, origin and cursor,
  // and applies the styler. Runs at the first show when nobody called it.
  virtual void Loaded();
  bool Loading() const { return loading_; }
  bool IsLoaded() const { return loaded_; }

  // Copies the values of another panel (not Collaps, AutoSize, BorderWidth, Buffered, Indent,
  // TopIndent, Styler or the events); throws EInvalidCast for anything else.
  void Assign(const QObject *Source);

  // --- own properties
  const QString &Text() const { return text_; }
  void SetText(const QString &Value);
  TPanelCaption &Caption() { return *caption_; }
  const TPanelCaption &Caption() const { return *caption_; }
  void SetCaption(const TPanelCaption &Value) { caption_->Assign(Value); }
  TExImage &Background() { return *background_; }
  const TExImage &Background() const { return *background_; }
  void SetBackground(const TExImage &Value);
  TBackGroundPosition BackgroundPosition() const { return background_position_; }
  void SetBackgroundPosition(TBackGroundPosition Value);
  kv::ui::TColor ColorTo() const { return color_to_; }
  void SetColorTo(kv::ui::TColor Value);
  kv::ui::TColor BorderColor() const { return border_color_; }
  void SetBorderColor(kv::ui::TColor Value);
  bool BorderShadow() const { return border_shadow_; }
  void SetBorderShadow(bool Value);
  bool Buffered() const { return buffered_; }
  void SetBuffered(bool Value) { buffered_ = Value; }
  // The pictures of "idx:" sources. The panel does not keep the list alive: once the list is
  // gone the panel draws no such pictures.
  std::shared_ptr<const kv::ui::TImageList> Images() const { return images_.lock(); }
  void SetImages(const std::shared_ptr<const kv::ui::TImageList> &Value);
  TPictureContainer *PictureContainer() const;
  void SetPictureContainer(TPictureContainer *Value);
  kv::ui::TColor URLColor() const { return url_color_; }
  void SetURLColor(kv::ui::TColor Value);
  bool Hover() const { return hover_; }
  void SetHover(bool Value) { hover_ = Value; }
  kv::ui::TColor HoverColor() const { return hover_color_; }
  void SetHoverColor(kv::ui::TColor Value) { hover_color_ = Value; }
  kv::ui::TColor HoverFontColor() const { return hover_font_color_; }
  void SetHoverFontColor(kv::ui::TColor Value) { hover_font_color_ = Value; }
  kv::ui::TColor ShadowColor() const { return shadow_color_; }
  void SetShadowColor(kv::ui::TColor Value);
  int ShadowOffset() const { return shadow_offset_; }
  void SetShadowOffset(int Value);
  TTextVAlignment TextVAlign() const { return text_valign_; }
  void SetTextVAlign(TTextVAlignment Value);
  int Indent() const { return indent_; }
  void SetIndent(int Value);
  int TopIndent() const { return top_indent_; }
  void SetTopIndent(int Value);
  bool AnchorHint() const { return anchor_hint_; }
  void SetAnchorHint(bool Value) { anchor_hint_ = Value; }
  // Collapsed to the caption bar. A change while the animation runs is queued and applied when
  // it ends.
  bool Collaps() const { return collaps_; }
  void SetCollaps(bool Value);
  // The collapse animation is running.
  bool Collapsing() const { return collapsing_; }
  kv::ui::TColor CollapsColor() const { return collaps_color_; }
  void SetCollapsColor(kv::ui::TColor Value) { collaps_color_ = Value; }
  int CollapsDelay() const { return collaps_delay_; }
  void SetCollapsDelay(int Value) { collaps_delay_ = Value; }
  int CollapsSteps() const { return collaps_steps_; }
  void SetCollapsSteps(int Value) { collaps_steps_ = Value; }
  bool AutoHideChildren() const { return auto_hide_children_; }
  void SetAutoHideChildren(bool Value) { auto_hide_children_ = Value; }
  TAutoSize &AutoSize() { return *auto_size_; }
  const TAutoSize &AutoSize() const { return *auto_size_; }
  void SetAutoSize(const TAutoSize &Value) { auto_size_->Assign(Value); }
  bool CanMove() const { return can_move_; }
  void SetCanMove(bool Value) { can_move_ = Value; }
  bool CanSize() const { return can_size_; }
  void SetCanSize(bool Value);
  bool FixedLeft() const { return fixed_left_; }
  void SetFixedLeft(bool Value) { fixed_left_ = Value; }
  bool FixedTop() const { return fixed_top_; }
  void SetFixedTop(bool Value) { fixed_top_ = Value; }
  bool FixedWidth() const { return fixed_width_; }
  void SetFixedWidth(bool Value) { fixed_width_ = Value; }
  bool FixedHeight() const { return fixed_height_; }
  void SetFixedHeight(bool Value) { fixed_height_ = Value; }
  bool ShowMoveCursor() const { return show_move_cursor_; }
  void SetShowMoveCursor(bool Value) { show_move_cursor_ = Value; }
  bool FreeOnClose() const { return free_on_close_; }
  void SetFreeOnClose(bool Value) { free_on_close_ = Value; }
  TPanelPosition &Position() { return *position_; }
  const TPanelPosition &Position() const { return *position_; }
  void SetPosition(const TPanelPosition &Value) { position_->Assign(Value); }
  TExPanelStyler *Styler() const;
  // Applies the styler's settings unless loading.
  void SetStyler(TExPanelStyler *Value);
  // The height of the expanded panel.
  int FullHeight() const { return full_height_; }
  void SetFullHeight(int Value) { full_height_ = Value; }

  // --- framework properties
  kv::ui::TColor Color() const { return color_; }
  void SetColor(kv::ui::TColor Value);
  const kv::ui::TFont &Font() const { return font_; }
  void SetFont(const kv::ui::TFont &Value);
  TBevelCut BevelInner() const { return bevel_inner_; }
  void SetBevelInner(TBevelCut Value);
  TBevelCut BevelOuter() const { return bevel_outer_; }
  void SetBevelOuter(TBevelCut Value);
  int BevelWidth() const { return bevel_width_; }
  void SetBevelWidth(int Value);
  int BorderWidth() const { return border_width_; }
  void SetBorderWidth(int Value);
  // Stored; the panel draws its own border (BorderColor).
  TBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TBorderStyle Value) { border_style_ = Value; }
  int Cursor() const { return cursor_; }
  void SetCursor(int Value);
  const QString &Hint() const { return hint_; }
  void SetHint(const QString &Value) { hint_ = Value; }
  bool ShowHint() const { return show_hint_; }
  void SetShowHint(bool Value) { show_hint_ = Value; }
  bool Enabled() const { return isEnabled(); }
  void SetEnabled(bool Value) { setEnabled(Value); }
  bool Visible() const { return !isHidden(); }
  void SetVisible(bool Value) { setVisible(Value); }
  int Tag() const { return tag_; }
  void SetTag(int Value) { tag_ = Value; }
  int HelpContext() const { return help_context_; }
  void SetHelpContext(int Value) { help_context_ = Value; }
  // Stored only.
  bool ParentColor() const { return parent_color_; }
  void SetParentColor(bool Value) { parent_color_ = Value; }
  bool ParentFont() const { return parent_font_; }
  void SetParentFont(bool Value) { parent_font_ = Value; }
  bool ParentShowHint() const { return parent_show_hint_; }
  void SetParentShowHint(bool Value) { parent_show_hint_ = Value; }
  QMenu *PopupMenu() const;
  void SetPopupMenu(QMenu *Value);
  bool TabStop() const { return focusPolicy() != Qt::NoFocus; }
  void SetTabStop(bool Value) { setFocusPolicy(Value ? Qt::StrongFocus : Qt::NoFocus); }
  int Left() const { return x(); }
  void SetLeft(int Value) { move(Value, y()); }
  int Top() const { return y(); }
  void SetTop(int Value) { move(x(), Value); }
  int Width() const { return width(); }
  void SetWidth(int Value) { resize(std::max(0, Value), height()); }
  int Height() const { return height(); }
  // Also records the full height unless collapsed or collapsing.
  void SetHeight(int Value);

  // --- events
  TAnchorEvent OnAnchorClick;
  TAnchorEvent OnAnchorEnter;
  TAnchorEvent OnAnchorExit;
  TAnchorHintEvent OnAnchorHint;
  TPanelNotifyEvent OnCaptionClick;
  TPanelNotifyEvent OnCaptionDBlClick;
  TPanelNotifyEvent OnClose;
  TPanelNotifyEvent OnMinimize;
  TPanelNotifyEvent OnMaximize;
  TPanelNotifyEvent OnEndMoveSize;
  TPanelMouseEvent OnMouseDown;
  TPanelNotifyEvent OnResize;

  // --- anchors
  // The href of the anchor at client point (X, Y), tested against the text where it is drawn;
  // empty when there is none. AnchorRect receives the anchor's rectangle.
  void GetAnchorAt(int X, int Y, QString &Anchor, kv::ui::TRect &AnchorRect);
  // The anchor hint for client point `pos` (screen point `global`): the href, after OnAnchorHint,
  // shown at global + (10, -10); nullopt without AnchorHint or without an anchor there.
  std::optional<std::pair<QString, QPoint>> AnchorHintAt(QPoint pos, QPoint global);
  // True for the addresses the panel opens itself: "http://", "https://" and "mailto:".
  static bool IsOpenedByShell(const QString &Anchor);
  // Replaces the opener of web and mail addresses for every panel (tests); returns the old one.
  static TUrlOpener SetUrlOpener(TUrlOpener Opener);

  // --- painting
  // Paints the whole panel on `canvas` (the client area at the canvas's origin).
  void Paint(kv::ui::TCanvas &canvas);
  // Renders the caption shade for the current width and caption.
  virtual void BuildShadeBitmap();
  const kv::ui::TBitmap &ShadeBitmap() const { return shade_; }
  // Every shade build seeds its random source with `seed` (tests); nullopt: from the clock.
  void SetShadeSeed(std::optional<std::uint32_t> seed) { shade_seed_ = seed; }
  // Text is measured with `measure` (not owned; nullptr: Qt's metrics for this panel).
  void SetTextMeasure(const kv::ui::TTextMeasure *measure) { measure_ = measure; }

  // --- geometry shared by painting, hit tests and the mouse
  TPanelFrame Frame() const;
  // The body text's rectangle as painting places it.
  kv::ui::TRect BodyTextRect();
  // The caption text's rectangle as painting places it.
  kv::ui::TRect CaptionTextRect() const;

  // --- collapse animation and auto-size
  // One step of the collapse animation (the timer calls it; tests may too).
  void CollapseTimerTick();
  // Fits the panel to its text when AutoSize.Enabled.
  void DoAutoSize();

protected:
  // Hook for panel groups: the collapsed state or the caption's visibility changed.
  virtual void StateChanged() {}
  // Re-arranges the panel group this panel lies on, if any.
  void ReArrangeGroup();
  // Child widgets the panel keeps for itself (not hidden with AutoHideChildren).
  virtual bool IsOwnChild(const QWidget *) const { return false; }

  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void showEvent(QShowEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void mouseDoubleClickEvent(QMouseEvent *event) override;
  void leaveEvent(QEvent *event) override;
  void contextMenuEvent(QContextMenuEvent *event) override;
  bool event(QEvent *event) override;

private:
  friend class TAutoSize;
  friend class TExPanelGroup;

  void Changed() { update(); }
  void CaptionChanged();
  void CaptionStateChanged();
  void ShowChildren(bool show);
  // Theme drawing is used (the theme layer is there and active).
  bool ThemedNow() const;
  void FinishCollapse();
  void UpdateContentsMargins();
  // The renderer's arguments for the body text in `r` as painting passes them; the returned image
  // list stays alive while the caller holds it.
  std::shared_ptr<const kv::ui::TImageList> TextParams(TMarkupParams &p, const kv::ui::TRect &r) const;
  // A canvas that measures like painting does, with the font set.
  void PrepareMeasureCanvas(kv::ui::TCanvas &canvas, const kv::ui::TFont &font) const;
  // The body text's size as painting measures it for centre and bottom alignment, or with
  // `measure_only` as the renderer's measuring pass gives it to auto-size.
  QSize MeasureBodyText(const kv::ui::TRect &r, bool measure_only);
  // Mouse handling: press, move and leave (ex_panel_mouse.cpp).
  void PanelMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
  void PanelMouseMove(int x, int y);
  void OpenOrRaiseAnchor(const QString &anchor);
  void InvalidateAnchor(const kv::ui::TRect &r);
  void RestoreCursor();
  // Moving and sizing (ex_panel_position.cpp).
  bool InMoveZone(int x, int y);
  bool InSizeZone(int x, int y) const;
  void UpdateZoneCursor(int x, int y);
  void LoadPosition();
  void SavePosition();
  QRect PlacementArea() const;

  // own properties
  QString text_;
  std::unique_ptr<TPanelCaption> caption_;
  std::unique_ptr<TExImage> background_;
  TBackGroundPosition background_position_ = bpTopLeft;
  kv::ui::TColor color_to_ = kv::ui::clNone;
  kv::ui::TColor border_color_ = kv::ui::clBlack;
  bool border_shadow_ = false;
  bool buffered_ = true;
  std::weak_ptr<const kv::ui::TImageList> images_;
  QPointer<TPictureContainer> picture_container_;
  kv::ui::TColor url_color_ = kv::ui::clBlue;
  bool hover_ = false;
  kv::ui::TColor hover_color_ = kv::ui::clNone;
  kv::ui::TColor hover_font_color_ = kv::ui::clNone;
  kv::ui::TColor shadow_color_ = kv::ui::clGray;
  int shadow_offset_ = 2;
  TTextVAlignment text_valign_ = tvaTop;
  int indent_ = 0;
  int top_indent_ = 0;
  bool anchor_hint_ = false;
  bool collaps_ = false;
  kv::ui::TColor collaps_color_ = kv::ui::clGray;
  int collaps_delay_ = 20;
  int collaps_steps_ = 0;
  bool auto_hide_children_ = true;
  std::unique_ptr<TAutoSize> auto_size_;
  bool can_move_ = false;
  bool can_size_ = false;
  bool fixed_left_ = false, fixed_top_ = false, fixed_width_ = false, fixed_height_ = false;
  bool show_move_cursor_ = false;
  bool free_on_close_ = false;
  std::unique_ptr<TPanelPosition> position_;
  QPointer<TExPanelStyler> styler_;

  // framework properties
  kv::ui::TColor color_ = kv::ui::clBtnFace;
  kv::ui::TFont font_;
  TBevelCut bevel_inner_ = bvNone;
  TBevelCut bevel_outer_ = bvRaised;
  int bevel_width_ = 1;
  int border_width_ = 0;
  TBorderStyle border_style_ = bsNone;
  int cursor_ = crDefault;
  QString hint_;
  bool show_hint_ = false;
  int tag_ = 0;
  int help_context_ = 0;
  bool parent_color_ = false;
  bool parent_font_ = true;
  bool parent_show_hint_ = true;
  QPointer<QMenu> popup_menu_;

  // state
  bool loading_ = false;
  bool loaded_ = false;
  int full_height_ = 0;
  kv::ui::TColor saved_color_ = kv::ui::clBtnFace;
  QString current_anchor_;
  kv::ui::TRect body_anchor_rect_;
  kv::ui::TRect caption_anchor_rect_;
  int hover_body_ = 0;
  int previous_body_ = 0;
  int hover_caption_ = 0;
  QPoint client_origin_;
  int load_width_ = 0;
  int load_height_ = 0;
  int load_cursor_ = crDefault;
  bool dragging_by_caption_ = false;
  bool collapsing_ = false;
  std::optional<bool> queued_collaps_;
  bool free_after_collapse_ = false;
  int collapse_step_ = 0;
  int collapse_steps_left_ = 0;
  QTimer *collapse_timer_ = nullptr;
  kv::ui::TBitmap shade_;
  TShadeRandom shade_random_;
  std::optional<std::uint32_t> shade_seed_;
  std::unique_ptr<THTMLPictureCache> picture_cache_;
  const kv::ui::TTextMeasure *measure_ = nullptr;
  mutable std::unique_ptr<kv::ui::TQtTextMeasure> qt_measure_;

  // the user's drag
  enum class TDrag { None, Move, Size };
  TDrag drag_ = TDrag::None;
  QPoint drag_start_global_;
  QRect drag_start_geometry_;
};

// The panel as forms use it.
class TExPanel : public TCustomExPanel {
  Q_OBJECT
public:
  explicit TExPanel(QWidget *parent = nullptr) : TCustomExPanel(parent) {}
};

} // namespace kv::panels
