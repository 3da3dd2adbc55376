#pragma once
// The side buttons of the spin edit. TCustomUpDown is the up-down control the GUI framework
// offers (two arrow buttons that move a position within a range and report it); TKvUpDown keeps
// its position at 0 so that every press gives exactly one click. TKvSpinButton is a painted
// button with an upper and a lower half, split along its diagonal or across, drawn from five
// cached looks, following the theme switch, and repeating its click while held.

#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>

#include "controls/edits/edit_types.h"
#include "controls/edits/spin_button_model.h"
#include "platform/ui/bitmap.h"

class QTimer;

namespace kv::edits {

// The width of a side button: the scroll bar's width, at most 15 pixels.
int DefaultButtonWidth();

enum TUDBtnType { btNext, btPrev };
enum TUDOrientation { udHorizontal, udVertical };

// Codes of the position reports of an up-down control.
constexpr int SB_THUMBPOSITION = 4;
constexpr int SB_ENDSCROLL = 8;

class TCustomUpDown : public QWidget {
  Q_OBJECT

public:
  using TUDClickEvent = std::function<void(QObject *Sender, TUDBtnType Button)>;

  explicit TCustomUpDown(QWidget *parent = nullptr);
  ~TCustomUpDown() override;

  int Min() const { return Min_; }
  void SetMin(int value) { Min_ = value; }
  int Max() const { return Max_; }
  void SetMax(int value) { Max_ = value; }
  int Position() const { return Position_; }
  void SetPosition(int value);
  int Increment() const { return Increment_; }
  void SetIncrement(int value) { Increment_ = value; }
  bool Wrap() const { return Wrap_; }
  void SetWrap(bool value) { Wrap_ = value; }
  TUDOrientation Orientation() const { return Orientation_; }
  void SetOrientation(TUDOrientation value);

  TUDClickEvent OnClick;

  // One press of an arrow: the position moves by the increment, inside the range or wrapping,
  // and the control reports it (SB_THUMBPOSITION, then SB_ENDSCROLL).
  void Press(TUDBtnType button);
  // The half under the mouse now pressed, if any.
  bool Pressed(TUDBtnType button) const { return Holding_ && HeldButton_ == button; }

protected:
  // A position report of the control; the framework answers a new position with a click.
  virtual void Scroll(int code, int position);
  virtual void Click(TUDBtnType button);

  void paintEvent(QPaintEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;

private:
  TUDBtnType ButtonAt(QPoint p) const;
  void Repeat();

  int Min_ = 0;
  int Max_ = 100;
  int Position_ = 0;
  int LastPosition_ = 0; // before the press being reported
  int Increment_ = 1;
  bool Wrap_ = false;
  TUDOrientation Orientation_ = udVertical;
  bool Holding_ = false;
  bool Inside_ = false;
  TUDBtnType HeldButton_ = btNext;
  QTimer *RepeatTimer_ = nullptr;
};

class TKvUpDown : public TCustomUpDown {
  Q_OBJECT

public:
  explicit TKvUpDown(QWidget *parent = nullptr);
  ~TKvUpDown() override;

protected:
  // Every new position is one click up or down; the position then goes back to 0.
  void Scroll(int code, int position) override;
  void resizeEvent(QResizeEvent *event) override;

private:
  bool Changing_ = false;
};

class TKvSpinButton : public QWidget, public TKvSpinButtonModel {
  Q_OBJECT

public:
  explicit TKvSpinButton(QWidget *parent = nullptr);
  ~TKvSpinButton() override;

  // The arrows; an empty bitmap gives back the built-in one.
  const ui::TBitmap &UpGlyph() const { return UpGlyph_; }
  void SetUpGlyph(const ui::TBitmap &glyph);
  const ui::TBitmap &DownGlyph() const { return DownGlyph_; }
  void SetDownGlyph(const ui::TBitmap &glyph);
  // Takes the focus when the button is pressed; forgotten when it is destroyed.
  QWidget *FocusControl() const { return FocusControl_; }
  void SetFocusControl(QWidget *control) { FocusControl_ = control; }
  // The theme switch as the button saw it last.
  bool Themed() const { return Themed_; }
  // One of the cached looks, as drawn at the last paint.
  const ui::TBitmap &Look(TSpinLook look) const { return Looks_[look]; }
  // Draws the looks now when they are out of date (the paint does it too).
  void UpdateLooks();

protected:
  bool event(QEvent *event) override;
  void paintEvent(QPaintEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void enterEvent(QEnterEvent *event) override;
  void leaveEvent(QEvent *event) override;
  void changeEvent(QEvent *event) override;

  int HostWidth() const override { return width(); }
  int HostHeight() const override { return height(); }
  void HostRepaint() override { update(); }
  void HostInvalidateLooks() override { BitmapsStale_ = true; }
  bool HostLeftButtonDown() const override;
  bool HostThemed() const override { return Themed_; }
  QObject *HostSender() override { return this; }
  void HostTimerChanged() override;

private:
  void DrawPlainDiagonal(ui::TBitmap &bitmap, TSpinLook look, const ui::TBitmap &up, const ui::TBitmap &down);
  void DrawPlainClassic(ui::TBitmap &bitmap, TSpinLook look, const ui::TBitmap &up, const ui::TBitmap &down);
  void DrawThemedClassic(ui::TBitmap &bitmap, TSpinLook look);
  void DrawThemedDiagonal(ui::TBitmap &bitmap, TSpinLook look, const ui::TBitmap &up,
                          const ui::TBitmap &down);

  bool BitmapsStale_ = true;
  ui::TBitmap UpGlyph_;
  ui::TBitmap DownGlyph_;
  std::array<ui::TBitmap, 5> Looks_;
  bool Themed_ = false;
  QTimer *RepeatTimer_ = nullptr;
  QPointer<QWidget> FocusControl_;
};

} // namespace kv::edits
