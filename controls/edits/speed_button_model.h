#pragma once
// The rules of the glyph speed button without a widget: properties and their checks, the press,
// drag and release state machine, groups of buttons that hold each other down, auto-repeat,
// where a drop-down menu opens, and what a paint draws (face state, frame, dither, offset).
// The widget (TKvxSpeedButton) feeds it events and performs what it asks for through hooks.

#include <QPoint>
#include <functional>
#include <vector>

#include "controls/edits/button_glyph.h"
#include "platform/ui/color.h"
#include "platform/ui/popup_menu.h"

namespace kv::edits {

enum TButtonStyle { bsAutoDetect, bsWin31, bsNew };
enum TKvDropDownMenuPos { dmpBottom, dmpRight };

// One ring of a button frame, drawn inward: top and left in TopLeft, bottom and right in
// BottomRight. LeftTopOnly draws just a line along the left and top edges in TopLeft.
struct TFrameRing {
  ui::TColor TopLeft;
  ui::TColor BottomRight;
  bool LeftTopOnly = false;
  friend bool operator==(const TFrameRing &, const TFrameRing &) = default;
};

// The rings of the frame for a pressed or raised, new- or old-style, flat or plain button.
std::vector<TFrameRing> FrameRings(bool pressed, bool new_style, bool flat);

// What one paint draws.
struct TSpeedButtonPaint {
  TButtonDrawState Face = bdsUp;    // FaceState after the paint's normalisation
  TButtonDrawState Draw = bdsUp;    // the state the button looks like
  bool Frame = true;                // draw the frame (then go on inside it)
  int Inset = 0;                    // without a frame: how far inside the face is drawn
  bool Dither = false;              // fill the face with the highlight dither
  bool Offset = false;              // move the content 1 pixel right and down
  TButtonDrawState Picture = bdsUp; // state handed to the face painter
};

class TSpeedButtonModel {
public:
  TSpeedButtonModel() = default;
  TSpeedButtonModel(const TSpeedButtonModel &) = delete;
  TSpeedButtonModel &operator=(const TSpeedButtonModel &) = delete;

  // Hooks the widget sets; every one is optional.
  std::function<void()> Repaint;          // repaint now
  std::function<void()> Broadcast;        // the group notification to the siblings
  std::function<void()> DoClick;          // modal result, then the click event
  std::function<void()> DoDblClick;       // the double-click event
  std::function<void()> FirePointerEnter; // OnMouseEnter
  std::function<void()> FirePointerLeave; // OnMouseLeave
  std::function<bool()> HasMenu;          // a drop-down menu with automatic popup
  std::function<void(QPoint)> ShowMenu;   // shows it at a client point, modal
  std::function<void(int)> StartTimer;    // (re)starts the repeat timer, milliseconds
  std::function<void()> StopTimer;

  // Size of the client area (set by the widget).
  int ClientWidth = 25, ClientHeight = 25;
  bool Enabled = true;
  bool Designing = false;

  // Properties that only repaint.
  bool Flat() const { return flat_; }
  void SetFlat(bool v) { Store(flat_, v); }
  bool FlatStandard() const { return flat_standard_; }
  void SetFlatStandard(bool v) { Store(flat_standard_, v); }
  bool GrayedInactive() const { return grayed_inactive_; }
  void SetGrayedInactive(bool v) { Store(grayed_inactive_, v); }
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v) { Store(transparent_, v); }
  bool MarkDropDown() const { return mark_drop_down_; }
  void SetMarkDropDown(bool v) { Store(mark_drop_down_, v); }
  TButtonStyle Style() const { return style_; }
  void SetStyle(TButtonStyle v) { Store(style_, v); }
  // -1 centres; values below -1 are ignored.
  int Margin() const { return margin_; }
  void SetMargin(int v) {
    if (v >= -1) Store(margin_, v);
  }

  int GroupIndex() const { return group_index_; }
  void SetGroupIndex(int v);
  bool AllowAllUp() const { return allow_all_up_; }
  void SetAllowAllUp(bool v);
  bool Down() const { return down_; }
  void SetDown(bool v);
  bool AllowTimer() const { return allow_timer_; }
  void SetAllowTimer(bool v);
  int InitPause = 500, RepeatInterval = 100;
  TKvDropDownMenuPos MenuPosition = dmpBottom;

  TButtonDrawState FaceState() const { return face_; }
  bool PointerInside() const { return pointer_inside_; }
  bool Pressing() const { return pressing_; }
  bool MenuShowing() const { return menu_showing_; }
  bool TimerRunning() const { return timer_running_; }

  // Where a menu of that alignment opens, in client coordinates.
  QPoint MenuPoint(ui::TPopupAlignment alignment) const;
  // True when the point lies in the client area.
  bool Inside(int x, int y) const { return x >= 0 && x < ClientWidth && y >= 0 && y < ClientHeight; }

  void MouseDown(bool left, int x, int y, ui::TPopupAlignment menu_alignment = ui::paLeft);
  void MouseMove(int x, int y);
  void MouseUp(bool left, int x, int y);
  void DblClick();
  // The group notification from `sender` (another speed button of the same parent).
  void ButtonPressed(int group, const TSpeedButtonModel &sender);
  // A tick of the repeat timer; `has_capture`: the button holds the mouse.
  void RepeatTick(bool has_capture);
  // `under_cursor`: the control under the cursor is this button and a window of this program is
  // active.
  void RecheckPointer(bool under_cursor);
  // The pointer entered or left (without events); `capture_elsewhere`: another window holds the
  // mouse; `themed`: visual themes are on.
  void MouseEnter(bool capture_elsewhere, bool themed);
  void MouseLeave(bool themed);
  // The enabled state changed; returns the state whose picture should be prepared.
  TButtonDrawState EnabledChanged(bool enabled, bool under_cursor);
  // Normalises FaceState and says what to draw (through the theme when `themed`).
  TSpeedButtonPaint Plan(bool themed);
  // The state PaintFace draws for `state`: a FlatStandard button shows its normal picture
  // instead of the grey one.
  TButtonDrawState FaceDrawState(TButtonDrawState state) const {
    return flat_standard_ && state == bdsInactive ? bdsExclusive : state;
  }
  // New-style frames: bsNew, or bsAutoDetect (this system always has new-style controls).
  bool NewStyle() const { return style_ != bsWin31; }

private:
  template <class T> void Store(T &field, T value) {
    if (field == value) return;
    field = value;
    Paint();
  }
  void Paint() const {
    if (Repaint) Repaint();
  }
  void Release(bool left, int x, int y);
  void Click() const {
    if (DoClick) DoClick();
  }

  bool flat_ = false, flat_standard_ = false, grayed_inactive_ = true, transparent_ = false;
  bool mark_drop_down_ = true;
  TButtonStyle style_ = bsAutoDetect;
  int margin_ = -1;
  int group_index_ = 0;
  bool allow_all_up_ = false, down_ = false, allow_timer_ = false;
  TButtonDrawState face_ = bdsUp;
  bool pointer_inside_ = false, pressing_ = false, menu_showing_ = false, timer_running_ = false;
};

} // namespace kv::edits
