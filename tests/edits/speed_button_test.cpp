// Glyph speed button: the press state machine, groups, repeat, menus, and the widget.
#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>

#include "controls/edits/speed_button.h"
#include "controls/edits/speed_button_model.h"
#include "platform/ui/popup_menu.h"
#include "qt_application.h"
#include "widget_helpers.h"

namespace {

using namespace kv::edits;
using namespace kv::ui;

struct Counted {
  TSpeedButtonModel m;
  int clicks = 0, repaints = 0;
  std::vector<int> timer;
  Counted() {
    m.DoClick = [this] { ++clicks; };
    m.Repaint = [this] { ++repaints; };
    m.StartTimer = [this](int ms) { timer.push_back(ms); };
    m.StopTimer = [this] { timer.push_back(0); };
  }
};

TEST(SpeedButtonModel, PressDragAndRelease) {
  Counted b;
  b.m.MouseDown(true, 5, 5);
  EXPECT_EQ(b.m.FaceState(), bdsDown);
  EXPECT_TRUE(b.m.Pressing());
  b.m.MouseMove(30, 5); // dragged out
  EXPECT_EQ(b.m.FaceState(), bdsUp);
  b.m.MouseUp(true, 30, 5);
  EXPECT_EQ(b.clicks, 0);
  b.m.MouseDown(true, 5, 5);
  b.m.MouseMove(30, 5);
  b.m.MouseMove(24, 24); // back in before the release
  EXPECT_EQ(b.m.FaceState(), bdsDown);
  b.m.MouseUp(true, 24, 24);
  EXPECT_EQ(b.clicks, 1);
  EXPECT_EQ(b.m.FaceState(), bdsUp);
  // The row just below the button is outside it.
  b.m.MouseDown(true, 5, 5);
  b.m.MouseUp(true, 5, 25);
  EXPECT_EQ(b.clicks, 1);
  // A disabled button does not press; the right button never clicks.
  b.m.Enabled = false;
  b.m.MouseDown(true, 5, 5);
  EXPECT_FALSE(b.m.Pressing());
  b.m.Enabled = true;
  b.m.MouseDown(false, 5, 5);
  b.m.MouseUp(false, 5, 5);
  EXPECT_EQ(b.clicks, 1);
}

TEST(SpeedButtonModel, PropertyChecks) {
  TSpeedButtonModel m;
  m.SetMargin(-2);
  EXPECT_EQ(m.Margin(), -1);
  m.SetMargin(4);
  EXPECT_EQ(m.Margin(), 4);
  m.SetDown(true); // no group: never down
  EXPECT_FALSE(m.Down());
  EXPECT_EQ(FrameRings(false, true, false),
            (std::vector<TFrameRing>{{clBtnHighlight, clWindowFrame}, {clBtnFace, clBtnShadow}}));
  EXPECT_EQ(FrameRings(true, false, false),
            (std::vector<TFrameRing>{{clWindowFrame, clWindowFrame}, {clBtnShadow, clBtnShadow, true}}));
  EXPECT_EQ(FrameRings(true, true, true), (std::vector<TFrameRing>{{clBtnShadow, clBtnHighlight}}));
  EXPECT_EQ(FrameRings(false, false, true), (std::vector<TFrameRing>{{clBtnHighlight, clWindowFrame}}));
}

// Buttons of one parent: the broadcast reaches all of them.
struct Group {
  std::vector<std::unique_ptr<Counted>> buttons;
  explicit Group(int n) {
    for (int i = 0; i < n; ++i)
      buttons.push_back(std::make_unique<Counted>());
    for (auto &b : buttons) {
      TSpeedButtonModel *sender = &b->m;
      b->m.Broadcast = [this, sender] {
        for (auto &r : buttons)
          r->m.ButtonPressed(sender->GroupIndex(), *sender);
      };
    }
  }
  TSpeedButtonModel &operator[](size_t i) { return buttons[i]->m; }
  void Click(size_t i) {
    (*this)[i].MouseDown(true, 3, 3);
    (*this)[i].MouseUp(true, 3, 3);
  }
};

TEST(SpeedButtonModel, GroupHoldsOneButtonDown) {
  Group g(3);
  g[0].SetGroupIndex(1);
  g[1].SetGroupIndex(1);
  g[2].SetGroupIndex(2);
  g.Click(0);
  EXPECT_TRUE(g[0].Down());
  EXPECT_EQ(g[0].FaceState(), bdsExclusive);
  g.Click(0); // AllowAllUp off: a down button stays down
  EXPECT_TRUE(g[0].Down());
  g.Click(2);
  EXPECT_TRUE(g[0].Down()); // another group
  g.Click(1);
  EXPECT_TRUE(g[1].Down());
  EXPECT_FALSE(g[0].Down()); // released in state, not only in looks
  EXPECT_EQ(g[0].FaceState(), bdsUp);
  g.Click(0); // and so it can be pressed again
  EXPECT_TRUE(g[0].Down());
  EXPECT_FALSE(g[1].Down());

  // AllowAllUp set on one is copied by the others of its group, and lets the down one go up.
  g[1].SetAllowAllUp(true);
  EXPECT_TRUE(g[0].AllowAllUp());
  EXPECT_FALSE(g[2].AllowAllUp());
  g.Click(0);
  EXPECT_FALSE(g[0].Down());
  EXPECT_EQ(g.buttons[0]->clicks, 4);
}

TEST(SpeedButtonModel, RepeatWhileHeld) {
  Counted b;
  b.m.SetAllowTimer(true);
  b.m.MouseDown(true, 5, 5);
  EXPECT_EQ(b.timer, std::vector<int>{500});
  b.m.RepeatTick(true);
  EXPECT_EQ(b.timer.back(), 100);
  b.m.RepeatTick(true);
  EXPECT_EQ(b.clicks, 2);
  b.m.MouseMove(40, 5); // outside: no repeat
  b.m.RepeatTick(true);
  EXPECT_EQ(b.clicks, 2);
  b.m.MouseMove(5, 5);
  b.m.MouseUp(true, 5, 5); // releasing inside adds the normal click
  EXPECT_EQ(b.clicks, 3);
  EXPECT_EQ(b.timer.back(), 0);
  EXPECT_FALSE(b.m.TimerRunning());

  b.m.DoClick = [] { throw std::runtime_error("click failed"); };
  b.m.MouseDown(true, 5, 5);
  EXPECT_THROW(b.m.RepeatTick(true), std::runtime_error);
  EXPECT_FALSE(b.m.TimerRunning());
  EXPECT_EQ(b.timer.back(), 0);
}

TEST(SpeedButtonModel, MenuPointsAndMenuPress) {
  TSpeedButtonModel m;
  m.ClientWidth = 40;
  m.ClientHeight = 20;
  EXPECT_EQ(m.MenuPoint(paLeft), QPoint(-1, 20));
  EXPECT_EQ(m.MenuPoint(paRight), QPoint(41, 20));
  EXPECT_EQ(m.MenuPoint(paCenter), QPoint(20, 20));
  m.MenuPosition = dmpRight;
  EXPECT_EQ(m.MenuPoint(paLeft), QPoint(40, -1));
  EXPECT_EQ(m.MenuPoint(paRight), QPoint(-1, -1));
  EXPECT_EQ(m.MenuPoint(paCenter), QPoint(20, 20));

  int clicks = 0;
  std::vector<QPoint> shown;
  m.DoClick = [&] { ++clicks; };
  m.HasMenu = [] { return true; };
  m.ShowMenu = [&](QPoint p) {
    EXPECT_TRUE(m.MenuShowing());
    shown.push_back(p);
  };
  m.MouseDown(true, 5, 5, paCenter);
  EXPECT_EQ(shown, std::vector<QPoint>{QPoint(20, 20)});
  EXPECT_FALSE(m.Pressing()); // released when the menu closed
  EXPECT_FALSE(m.MenuShowing());
  EXPECT_EQ(m.FaceState(), bdsUp);
  m.MouseUp(true, 5, 5);
  EXPECT_EQ(clicks, 0); // a menu press is no click
}

TEST(SpeedButtonModel, PaintPlan) {
  TSpeedButtonModel m;
  auto p = m.Plan(false);
  EXPECT_TRUE(p.Frame);
  EXPECT_FALSE(p.Offset);
  m.SetFlat(true);
  p = m.Plan(false); // flat, pointer elsewhere: grey and frameless, two pixels in
  EXPECT_EQ(p.Draw, bdsInactive);
  EXPECT_FALSE(p.Frame);
  EXPECT_EQ(p.Inset, 2);
  EXPECT_EQ(p.Picture, bdsInactive);
  m.SetFlatStandard(true);
  EXPECT_EQ(m.FaceDrawState(p.Picture), bdsExclusive);
  m.SetGrayedInactive(false);
  EXPECT_EQ(m.Plan(false).Picture, bdsUp);
  m.Enabled = false;
  p = m.Plan(false);
  EXPECT_EQ(p.Face, bdsDisabled);
  m.Enabled = true;
  m.SetFlat(false);
  m.SetGroupIndex(1);
  m.SetDown(true);
  p = m.Plan(false);
  EXPECT_EQ(p.Face, bdsExclusive);
  EXPECT_TRUE(p.Dither);
  EXPECT_TRUE(p.Offset);
  m.SetTransparent(true);
  EXPECT_FALSE(m.Plan(false).Dither);
}

TEST(SpeedButton, GroupedWidgetsMnemonicAndTimer) {
  QWidget form;
  auto *a = new TKvxSpeedButton(&form);
  auto *b = new TKvxSpeedButton(&form);
  b->move(30, 0);
  a->SetGroupIndex(1);
  b->SetGroupIndex(1);
  form.show();
  QTest::mouseClick(a, Qt::LeftButton, {}, {5, 5});
  EXPECT_TRUE(a->Down());
  QTest::mouseClick(b, Qt::LeftButton, {}, {5, 5});
  EXPECT_TRUE(b->Down());
  EXPECT_FALSE(a->Down());

  auto *help = new TKvxSpeedButton(&form);
  help->SetCaption("&Hilfe");
  int clicks = 0;
  help->OnClick = [&](QObject *sender) {
    EXPECT_EQ(sender, help);
    ++clicks;
  };
  help->show();
  QApplication::setActiveWindow(&form);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  QTest::keyClick(&form, Qt::Key_H, Qt::AltModifier);
  EXPECT_EQ(clicks, 1);
  help->setEnabled(false);
  QTest::keyClick(&form, Qt::Key_H, Qt::AltModifier);
  EXPECT_EQ(clicks, 1);

  auto *repeat = new TKvxSpeedButton(&form);
  repeat->SetAllowTimer(true);
  repeat->OnClick = [&](QObject *) { ++clicks; };
  repeat->show();
  QTest::mousePress(repeat, Qt::LeftButton, {}, {5, 5});
  ASSERT_NE(repeat->RepeatTimer(), nullptr);
  EXPECT_EQ(repeat->RepeatTimer()->interval(), 500);
  repeat->RepeatTick();
  EXPECT_EQ(repeat->RepeatTimer()->interval(), 100);
  EXPECT_EQ(clicks, 2);
  QTest::mouseRelease(repeat, Qt::LeftButton, {}, {5, 5});
  EXPECT_EQ(clicks, 3);
  EXPECT_FALSE(repeat->RepeatTimer()->isActive());
}

TEST(SpeedButton, DropDownMenuOpensBelowTheButton) {
  QWidget form;
  auto *button = new TKvxSpeedButton(&form);
  button->resize(40, 20);
  TPopupMenu menu;
  menu.Alignment = paCenter;
  button->SetDropDownMenu(&menu);
  form.show();
  std::vector<QPoint> at;
  TPopupMenu::ShowHook() = [&](TPopupMenu &m, QPoint p) {
    EXPECT_EQ(m.PopupComponent, button);
    at.push_back(p);
  };
  QTest::mouseClick(button, Qt::LeftButton, {}, {5, 5});
  TPopupMenu::ShowHook() = nullptr;
  ASSERT_EQ(at.size(), 1u);
  EXPECT_EQ(at[0], button->mapToGlobal(QPoint(20, 20)));
}

TBitmap FolderGlyph() {
  TBitmap b;
  EXPECT_TRUE(b.LoadFromFile(":/edits/KV_FEDITBMP.png"));
  return b;
}

TEST(SpeedButton, PaintsFrameFaceAndGlyph) {
  TKvxSpeedButton button;
  button.SetGlyph(FolderGlyph());
  const QImage up = kvtest::RenderWidget(button);
  EXPECT_EQ(up.pixel(0, 0), ToQRgb(clBtnHighlight));
  EXPECT_EQ(up.pixel(24, 24), ToQRgb(clWindowFrame));
  EXPECT_EQ(up.pixel(1, 1), ToQRgb(clBtnFace));
  EXPECT_EQ(up.pixel(23, 23), ToQRgb(clBtnShadow));
  // The 14 x 12 picture sits at (5, 6) inside the frame; its fuchsia background is transparent.
  EXPECT_EQ(up.pixel(5, 6), ToQRgb(clBtnFace));
  EXPECT_EQ(up.pixel(6, 7), qRgb(0, 0, 0));
  EXPECT_EQ(up.pixel(5 + 5, 6 + 6), qRgb(255, 255, 0));

  button.SetGroupIndex(1);
  button.SetDown(true);
  const QImage down = kvtest::RenderWidget(button);
  EXPECT_EQ(down.pixel(0, 0), ToQRgb(clWindowFrame));
  EXPECT_EQ(down.pixel(7, 8), qRgb(0, 0, 0)); // moved one pixel right and down

  button.SetDown(false);
  button.setEnabled(false);
  const QImage disabled = kvtest::RenderWidget(button);
  EXPECT_NE(disabled.pixel(6, 7), qRgb(0, 0, 0)); // the embossed picture
  EXPECT_NE(disabled.pixel(10, 12), qRgb(255, 255, 0));

  // A row of buttons as a person sees them.
  QWidget panel;
  kvtest::MakeFacePanel(panel, 232, 34);
  int x = 4;
  auto add = [&](int width, auto setup) {
    auto *b = new TKvxSpeedButton(&panel);
    b->setGeometry(x, 4, width, 25);
    b->SetGlyph(FolderGlyph());
    setup(*b);
    x += width + 4;
  };
  add(25, [](TKvxSpeedButton &) {});
  add(25, [](TKvxSpeedButton &b) {
    b.SetGroupIndex(1);
    b.SetDown(true);
  });
  add(25, [](TKvxSpeedButton &b) { b.setEnabled(false); });
  add(25, [](TKvxSpeedButton &b) { b.SetFlat(true); });
  add(80, [](TKvxSpeedButton &b) {
    b.SetCaption("&Öffnen");
    b.SetLayout(blGlyphLeft);
  });
  add(25, [&](TKvxSpeedButton &b) {
    static TPopupMenu menu;
    b.SetGlyph(TBitmap());
    b.SetDropDownMenu(&menu);
  });
  EXPECT_TRUE(kvtest::KeepPicture(kvtest::RenderWidget(panel), "speed_buttons.png"));
}

} // namespace
