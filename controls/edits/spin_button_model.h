#pragma once
// The painted spin button without its window: which half a point falls in, the press state
// machine (press, tracking, release), the repeat timer's intervals and the hot halves. The
// button only reports up or down; the edit it belongs to does the stepping. TKvSpinButton is
// this model over a QWidget; tests drive the model directly.

#include "controls/edits/edit_types.h"

class QObject;

namespace kv::edits {

enum TKvSpinButtonStyle { sbsDefault, sbsClassic };
enum TSpinPressState { psNone, psTop, psBottom };

// The five cached looks of the button.
enum TSpinLook { slTopDown, slBottomDown, slIdle, slTopHot, slBottomHot };

// True when (x, y) lies in the lower half of a width × height button: below the diagonal from
// the bottom-left to the top-right corner (sbsDefault) or below the middle row (sbsClassic).
// Points on the dividing line belong to the upper half, and so does every point of a button
// without width.
bool InBottomHalf(TKvSpinButtonStyle style, int width, int height, int x, int y);

// Where a picture of gw × gh goes in a diagonal button of w × h: the up arrow in the upper-left
// quarter (one pixel further when the upper half is pressed), the down arrow in the lower-right.
int UpArrowLeft(int w, int gw, bool top_pressed);
int UpArrowTop(int h, int gh, bool top_pressed);
int DownArrowLeft(int w, int gw);
int DownArrowTop(int h, int gh);

class TKvSpinButtonModel {
public:
  // The repeat timer waits this long after a press, then repeats at the shorter interval.
  static constexpr int InitialRepeatDelay = 400;
  static constexpr int RepeatInterval = 100;

  TKvSpinButtonModel() = default;
  virtual ~TKvSpinButtonModel() = default;
  TKvSpinButtonModel(const TKvSpinButtonModel &) = delete;
  TKvSpinButtonModel &operator=(const TKvSpinButtonModel &) = delete;

  TNotifyEvent OnTopClick;
  TNotifyEvent OnBottomClick;

  TSpinPressState PressState() const { return PressState_; }
  TSpinPressState PressedPart() const { return PressedPart_; }
  bool Tracking() const { return Tracking_; }
  bool OverTop() const { return OverTop_; }
  bool OverBottom() const { return OverBottom_; }
  TKvSpinButtonStyle ButtonStyle() const { return ButtonStyle_; }
  void SetButtonStyle(TKvSpinButtonStyle value);

  // The repeat timer: created at the first press, then kept.
  bool TimerCreated() const { return TimerCreated_; }
  bool TimerActive() const { return TimerActive_; }
  int TimerInterval() const { return TimerInterval_; }

  // Mouse handling, in the button's own pixels; the host has checked that the left button
  // and the control are enabled where that matters.
  void MouseDown(int x, int y);
  void MouseMove(int x, int y);
  void MouseUp(int x, int y);
  // One tick of the repeat timer. An error from the event stops the timer and propagates.
  void TimerExpired();
  // The mouse enters / leaves the button (hot halves, themed drawing only).
  void MouseEnter(int x, int y);
  void MouseLeave();
  // Painting a disabled button ends any tracking.
  void EndTracking() { Tracking_ = false; }

  // The cached look to show now.
  TSpinLook CurrentLook() const;
  bool InBottom(int x, int y) const { return InBottomHalf(ButtonStyle_, HostWidth(), HostHeight(), x, y); }

protected:
  virtual int HostWidth() const = 0;
  virtual int HostHeight() const = 0;
  virtual void HostRepaint() {}
  // The looks must be drawn again before the next paint.
  virtual void HostInvalidateLooks() {}
  // The left mouse button is held right now.
  virtual bool HostLeftButtonDown() const = 0;
  virtual bool HostThemed() const { return false; }
  virtual QObject *HostSender() { return nullptr; }
  // The timer's state changed (created, started, stopped, new interval).
  virtual void HostTimerChanged() {}

private:
  void Raise(TSpinPressState part);
  void SetPressState(TSpinPressState state);
  void StopTimer();

  TSpinPressState PressState_ = psNone;
  TSpinPressState PressedPart_ = psNone;
  bool Tracking_ = false;
  bool OverTop_ = false;
  bool OverBottom_ = false;
  TKvSpinButtonStyle ButtonStyle_ = sbsDefault;
  bool TimerCreated_ = false;
  bool TimerActive_ = false;
  int TimerInterval_ = InitialRepeatDelay;
};

} // namespace kv::edits
