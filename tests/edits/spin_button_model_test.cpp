// The painted spin button's model: the hit test of both styles, the press state machine with
// its repeat timer (ticks are called directly), and the hot halves.
#include "controls/edits/spin_button_model.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace kv::edits;

namespace {

class Button : public TKvSpinButtonModel {
public:
  Button(int w, int h, bool themed = false) : w_(w), h_(h), themed_(themed) {
    OnTopClick = [this](QObject *) { ++tops; };
    OnBottomClick = [this](QObject *) { ++bottoms; };
  }
  bool left_down = true;
  int tops = 0;
  int bottoms = 0;
  int repaints = 0;

protected:
  int HostWidth() const override { return w_; }
  int HostHeight() const override { return h_; }
  bool HostLeftButtonDown() const override { return left_down; }
  bool HostThemed() const override { return themed_; }
  void HostRepaint() override { ++repaints; }

private:
  int w_, h_;
  bool themed_;
};

} // namespace

TEST(SpinButtonModel, HitTestOfBothStyles) {
  // On the diagonal counts as the upper half.
  EXPECT_FALSE(InBottomHalf(sbsDefault, 14, 20, 7, 10));
  EXPECT_TRUE(InBottomHalf(sbsDefault, 14, 20, 7, 11));
  EXPECT_FALSE(InBottomHalf(sbsDefault, 14, 20, 0, 19));
  EXPECT_TRUE(InBottomHalf(sbsDefault, 14, 20, 13, 19));
  EXPECT_FALSE(InBottomHalf(sbsDefault, 14, 20, 13, 1));
  // A button without width is all upper half instead of a division by zero.
  // (Points where the unguarded slope, infinite or negative, would put them in the lower half.)
  EXPECT_FALSE(InBottomHalf(sbsDefault, 0, 20, 3, 0));
  EXPECT_FALSE(InBottomHalf(sbsDefault, -3, 20, -2, 19));
  EXPECT_FALSE(InBottomHalf(sbsClassic, 14, 20, 7, 10));
  EXPECT_TRUE(InBottomHalf(sbsClassic, 14, 20, 0, 11));
  EXPECT_FALSE(InBottomHalf(sbsClassic, 14, 17, 0, 8));
  EXPECT_TRUE(InBottomHalf(sbsClassic, 14, 17, 0, 9));
}

TEST(SpinButtonModel, HoldingRepeatsAfterFourHundredThenEveryHundredMilliseconds) {
  Button b(14, 20);
  EXPECT_FALSE(b.TimerCreated());
  b.MouseDown(3, 3);
  EXPECT_EQ(b.tops, 1); // at once
  EXPECT_EQ(b.PressState(), psTop);
  EXPECT_EQ(b.PressedPart(), psTop);
  EXPECT_TRUE(b.Tracking());
  EXPECT_TRUE(b.TimerActive());
  EXPECT_EQ(b.TimerInterval(), 400);
  b.TimerExpired();
  EXPECT_EQ(b.tops, 2);
  EXPECT_EQ(b.TimerInterval(), 100);
  b.TimerExpired();
  EXPECT_EQ(b.tops, 3);

  // Onto the lower half: no half pressed, no repeats, and the lower half does not start.
  b.MouseMove(12, 18);
  EXPECT_EQ(b.PressState(), psNone);
  b.TimerExpired();
  EXPECT_EQ(b.tops, 3);
  EXPECT_EQ(b.bottoms, 0);
  // Back: the repeats go on.
  b.MouseMove(2, 2);
  EXPECT_EQ(b.PressState(), psTop);
  b.TimerExpired();
  EXPECT_EQ(b.tops, 4);

  // Released outside: nothing stays pressed and the timer stops.
  b.MouseMove(40, 2);
  EXPECT_EQ(b.PressState(), psNone);
  b.left_down = false;
  b.MouseUp(40, 2);
  EXPECT_FALSE(b.Tracking());
  EXPECT_FALSE(b.TimerActive());
  EXPECT_EQ(b.PressState(), psNone);
  EXPECT_EQ(b.CurrentLook(), slIdle);
}

TEST(SpinButtonModel, ReleaseInsideClearsTheStateAndStopsTheTimer) {
  Button b(14, 20);
  b.MouseDown(12, 18);
  EXPECT_EQ(b.bottoms, 1);
  EXPECT_EQ(b.CurrentLook(), slBottomDown);
  b.left_down = false;
  b.MouseUp(12, 18);
  EXPECT_EQ(b.PressState(), psNone);
  EXPECT_EQ(b.PressedPart(), psNone);
  EXPECT_FALSE(b.TimerActive());
  EXPECT_TRUE(b.TimerCreated());
  b.TimerExpired(); // a tick already on its way does nothing
  EXPECT_EQ(b.bottoms, 1);
}

TEST(SpinButtonModel, AButtonLetGoDuringTheEventShowsNothingPressed) {
  Button b(14, 20);
  b.OnTopClick = [&](QObject *) { b.left_down = false; };
  b.MouseDown(3, 3);
  EXPECT_EQ(b.PressState(), psNone);
  EXPECT_EQ(b.PressedPart(), psNone);
}

TEST(SpinButtonModel, AnErrorDuringTheRepeatStopsTheTimer) {
  Button b(14, 20);
  b.MouseDown(3, 3);
  b.OnTopClick = [](QObject *) { throw std::runtime_error("step failed"); };
  EXPECT_THROW(b.TimerExpired(), std::runtime_error);
  EXPECT_FALSE(b.TimerActive());
}

TEST(SpinButtonModel, HotHalvesOnlyWhileThemed) {
  Button plain(14, 20);
  plain.MouseEnter(12, 18);
  EXPECT_FALSE(plain.OverTop() || plain.OverBottom());

  Button b(14, 20, true);
  b.MouseEnter(12, 18);
  EXPECT_TRUE(b.OverBottom());
  EXPECT_EQ(b.CurrentLook(), slBottomHot);
  b.MouseMove(2, 2);
  EXPECT_TRUE(b.OverTop());
  EXPECT_FALSE(b.OverBottom());
  EXPECT_EQ(b.CurrentLook(), slTopHot);
  b.MouseDown(2, 2);
  EXPECT_EQ(b.CurrentLook(), slTopDown); // a pressed half shows over a hot one
  b.MouseUp(2, 2);
  b.MouseLeave();
  EXPECT_FALSE(b.OverTop() || b.OverBottom());
  EXPECT_EQ(b.CurrentLook(), slIdle);
}
