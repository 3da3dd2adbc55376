#include "controls/edits/speed_button_model.h"

namespace kv::edits {

using namespace ui;

std::vector<TFrameRing> FrameRings(bool pressed, bool new_style, bool flat) {
  if (flat) {
    if (pressed) return {{new_style ? clBtnShadow : clWindowFrame, clBtnHighlight}};
    return {{clBtnHighlight, new_style ? clBtnShadow : clWindowFrame}};
  }
  if (pressed) {
    if (new_style) return {{clWindowFrame, clBtnHighlight}, {clBtnShadow, clBtnFace}};
    return {{clWindowFrame, clWindowFrame}, {clBtnShadow, clBtnShadow, true}};
  }
  if (new_style) return {{clBtnHighlight, clWindowFrame}, {clBtnFace, clBtnShadow}};
  return {{clWindowFrame, clWindowFrame}, {clBtnHighlight, clBtnShadow}};
}

void TSpeedButtonModel::SetGroupIndex(int v) {
  if (group_index_ == v) return;
  group_index_ = v;
  if (Broadcast) Broadcast();
}

void TSpeedButtonModel::SetAllowAllUp(bool v) {
  if (allow_all_up_ == v) return;
  allow_all_up_ = v;
  if (Broadcast) Broadcast();
}

void TSpeedButtonModel::SetDown(bool v) {
  if (group_index_ == 0) v = false;
  if (v == down_ || (down_ && !allow_all_up_)) return;
  down_ = v;
  if (v) {
    if (face_ == bdsUp) Paint();
    face_ = bdsExclusive;
  } else {
    face_ = bdsUp;
  }
  Paint();
  if (v && Broadcast) Broadcast();
  Paint();
}

void TSpeedButtonModel::SetAllowTimer(bool v) {
  allow_timer_ = v;
  if (!v && timer_running_) {
    timer_running_ = false;
    if (StopTimer) StopTimer();
  }
}

QPoint TSpeedButtonModel::MenuPoint(TPopupAlignment alignment) const {
  if (MenuPosition == dmpBottom) {
    switch (alignment) {
    case paLeft:
      return {-1, ClientHeight};
    case paRight:
      return {ClientWidth + 1, ClientHeight};
    default:
      return {ClientWidth / 2, ClientHeight};
    }
  }
  switch (alignment) {
  case paLeft:
    return {ClientWidth, -1};
  case paRight:
    return {-1, -1};
  default:
    return {ClientWidth / 2, ClientHeight};
  }
}

void TSpeedButtonModel::MouseDown(bool left, int x, int y, TPopupAlignment menu_alignment) {
  if (menu_showing_) return;
  if (!pointer_inside_ && Enabled) {
    pointer_inside_ = true;
    Paint();
  }
  if (!left || !Enabled) return;
  if (!down_) {
    face_ = bdsDown;
    Paint();
  }
  pressing_ = true;
  menu_showing_ = true;
  struct Reset {
    bool &flag;
    ~Reset() { flag = false; }
  } reset{menu_showing_};
  if (!Designing && HasMenu && HasMenu() && ShowMenu) {
    ShowMenu(MenuPoint(menu_alignment));
    // The menu has closed: the button comes up as if released where it was pressed.
    Release(true, x, y);
  }
  if (allow_timer_) {
    timer_running_ = true;
    if (StartTimer) StartTimer(InitPause);
  }
}

void TSpeedButtonModel::MouseMove(int x, int y) {
  if (!pressing_) return;
  TButtonDrawState next = Inside(x, y) ? bdsDown : bdsUp;
  if (down_) next = bdsExclusive;
  if (next != face_) {
    face_ = next;
    Paint();
  }
}

void TSpeedButtonModel::MouseUp(bool left, int x, int y) {
  Release(left, x, y);
  if (timer_running_) {
    timer_running_ = false;
    if (StopTimer) StopTimer();
  }
}

void TSpeedButtonModel::Release(bool left, int x, int y) {
  if (pressing_ && left) {
    pressing_ = false;
    const bool counts = Inside(x, y);
    if (group_index_ == 0) {
      face_ = bdsUp;
      pointer_inside_ = false;
      Paint();
    } else if (counts) {
      SetDown(!down_);
      if (down_) Paint();
    } else {
      if (down_) face_ = bdsExclusive;
      Paint();
    }
    if (counts && !menu_showing_) Click();
  }
}

void TSpeedButtonModel::DblClick() {
  if (!menu_showing_ && down_ && DoDblClick) DoDblClick();
}

void TSpeedButtonModel::ButtonPressed(int group, const TSpeedButtonModel &sender) {
  if (group != group_index_ || &sender == this) return;
  if (sender.down_ && down_) {
    // Released by another button of its group: up in state as well as in looks, so it can be
    // pressed again.
    down_ = false;
    face_ = bdsUp;
    Paint();
  }
  allow_all_up_ = sender.allow_all_up_;
}

void TSpeedButtonModel::RepeatTick(bool has_capture) {
  if (StartTimer) StartTimer(RepeatInterval);
  if (face_ != bdsDown || !has_capture) return;
  try {
    Click();
  } catch (...) {
    timer_running_ = false;
    if (StopTimer) StopTimer();
    throw;
  }
}

void TSpeedButtonModel::RecheckPointer(bool under_cursor) {
  const bool inside = Enabled && under_cursor;
  if (inside == pointer_inside_) return;
  pointer_inside_ = inside;
  if (flat_) Paint();
  if (inside) {
    if (FirePointerEnter) FirePointerEnter();
  } else if (FirePointerLeave) {
    FirePointerLeave();
  }
}

void TSpeedButtonModel::MouseEnter(bool capture_elsewhere, bool themed) {
  if (Designing) return;
  if ((flat_ && !pointer_inside_ && Enabled && !capture_elsewhere) || themed) {
    pointer_inside_ = true;
    if (Enabled) Paint();
  }
}

void TSpeedButtonModel::MouseLeave(bool themed) {
  if (Designing) return;
  if ((flat_ && pointer_inside_ && Enabled && !pressing_) || themed) {
    pointer_inside_ = false;
    if (Enabled) Paint();
  }
}

TButtonDrawState TSpeedButtonModel::EnabledChanged(bool enabled, bool under_cursor) {
  Enabled = enabled;
  const TButtonDrawState prepare = !enabled ? bdsDisabled : flat_ ? bdsInactive : bdsUp;
  RecheckPointer(under_cursor);
  Paint();
  return prepare;
}

TSpeedButtonPaint TSpeedButtonModel::Plan(bool themed) {
  if (!Enabled) {
    face_ = bdsDisabled;
    pressing_ = false;
  } else if (face_ == bdsDisabled) {
    face_ = down_ && group_index_ != 0 ? bdsExclusive : bdsUp;
  }
  TSpeedButtonPaint p;
  p.Face = face_;
  p.Draw = face_;
  if (flat_ && !pointer_inside_ && !Designing) p.Draw = bdsInactive;
  if (themed) {
    // The theme draws the frame; the face shows the draw state.
    p.Frame = false;
    p.Offset = flat_ && (p.Draw == bdsDown || p.Draw == bdsExclusive);
    p.Picture = p.Draw;
  } else {
    p.Frame = !(p.Draw == bdsInactive && face_ != bdsExclusive);
    p.Inset = !p.Frame && flat_ ? 2 : 0;
    p.Dither = face_ == bdsExclusive && !transparent_ && (!flat_ || p.Draw == bdsInactive);
    p.Offset = face_ == bdsDown || face_ == bdsExclusive;
    p.Picture = grayed_inactive_ && face_ != bdsDisabled ? p.Draw : face_;
  }
  return p;
}

} // namespace kv::edits
