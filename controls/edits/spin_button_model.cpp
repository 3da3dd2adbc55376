#include "controls/edits/spin_button_model.h"

#include "controls/edits/number_text.h"

namespace kv::edits {

bool InBottomHalf(TKvSpinButtonStyle style, int width, int height, int x, int y) {
  if (style == sbsClassic) return y > height / 2;
  // A button without width has no diagonal to lie below.
  if (width <= 0) return false;
  return double(y) > double(height) - (double(height) / double(width)) * double(x);
}

int UpArrowLeft(int w, int gw, bool top_pressed) {
  return int(RoundHalfEven(w / 4.0 - gw / 2.0)) + (top_pressed ? 2 : 1);
}
int UpArrowTop(int h, int gh, bool top_pressed) {
  return int(RoundHalfEven(h / 4.0 - gh / 2.0)) + (top_pressed ? 2 : 1);
}
int DownArrowLeft(int w, int gw) {
  return int(RoundHalfEven(3.0 * w / 4.0 - gw / 2.0)) - 1;
}
int DownArrowTop(int h, int gh) {
  return int(RoundHalfEven(3.0 * h / 4.0 - gh / 2.0)) - 1;
}

void TKvSpinButtonModel::SetButtonStyle(TKvSpinButtonStyle value) {
  ButtonStyle_ = value;
  HostInvalidateLooks();
  HostRepaint();
}

void TKvSpinButtonModel::Raise(TSpinPressState part) {
  const TNotifyEvent &event = part == psBottom ? OnBottomClick : OnTopClick;
  if (event) event(HostSender());
  if (!HostLeftButtonDown()) PressState_ = psNone;
}

void TKvSpinButtonModel::SetPressState(TSpinPressState state) {
  if (state == PressState_) return;
  PressState_ = state;
  HostRepaint();
}

void TKvSpinButtonModel::StopTimer() {
  if (!TimerActive_) return;
  TimerActive_ = false;
  HostTimerChanged();
}

void TKvSpinButtonModel::MouseDown(int x, int y) {
  if (PressState_ == psNone) {
    PressedPart_ = psNone;
    PressState_ = InBottom(x, y) ? psBottom : psTop;
    Raise(PressState_);
    if (PressState_ != PressedPart_) {
      PressedPart_ = PressState_;
      HostRepaint();
    }
    TimerCreated_ = true;
    TimerInterval_ = InitialRepeatDelay;
    TimerActive_ = true;
    HostTimerChanged();
  }
  Tracking_ = true;
}

void TKvSpinButtonModel::MouseMove(int x, int y) {
  const bool inside = x >= 0 && x <= HostWidth() && y >= 0 && y <= HostHeight();
  if (Tracking_) {
    TSpinPressState state = psNone;
    if (inside) {
      const TSpinPressState half = InBottom(x, y) ? psBottom : psTop;
      if (half == PressedPart_) state = half;
    }
    SetPressState(state);
    return;
  }
  if (HostThemed() && (OverTop_ || OverBottom_)) {
    const bool bottom = InBottom(x, y);
    if (bottom != OverBottom_) {
      OverBottom_ = bottom;
      OverTop_ = !bottom;
      HostRepaint();
    }
  }
}

void TKvSpinButtonModel::MouseUp(int x, int y) {
  // Nothing repeats once the button is let go.
  StopTimer();
  if (!Tracking_) return;
  Tracking_ = false;
  if (x >= 0 && x <= HostWidth() && y >= 0 && y <= HostHeight()) {
    PressState_ = psNone;
    PressedPart_ = psNone;
    HostRepaint();
  }
}

void TKvSpinButtonModel::TimerExpired() {
  TimerInterval_ = RepeatInterval;
  HostTimerChanged();
  // The press holds the mouse for the button until it is released.
  if (PressState_ == psNone || !Tracking_) return;
  try {
    Raise(PressState_);
  } catch (...) {
    StopTimer();
    throw;
  }
}

void TKvSpinButtonModel::MouseEnter(int x, int y) {
  if (!HostThemed() || OverTop_ || OverBottom_) return;
  OverBottom_ = InBottom(x, y);
  OverTop_ = !OverBottom_;
  HostRepaint();
}

void TKvSpinButtonModel::MouseLeave() {
  if (!OverTop_ && !OverBottom_) return;
  OverTop_ = false;
  OverBottom_ = false;
  HostRepaint();
}

TSpinLook TKvSpinButtonModel::CurrentLook() const {
  if (PressState_ == psTop) return slTopDown;
  if (PressState_ == psBottom) return slBottomDown;
  if (OverTop_) return slTopHot;
  if (OverBottom_) return slBottomHot;
  return slIdle;
}

} // namespace kv::edits
