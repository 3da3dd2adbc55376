#pragma once
// Helpers of the edit controls' tests: showing a window with the focus on a widget, and the
// stored properties of the configuration dialog's timeout and count of log files.

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include "controls/edits/spin_model.h"

namespace kvtest {

// Shows `window`, makes it the active window and gives `focus` the focus.
inline void ShowFocused(QWidget *window, QWidget *focus) {
  window->show();
  window->activateWindow();
  QApplication::setActiveWindow(window);
  focus->setFocus(Qt::OtherFocusReason);
  ASSERT_TRUE(QTest::qWaitFor([&] { return focus->hasFocus(); }));
}

// A timeout of 0 to 120 seconds, no decimals; by default 15 with up-down buttons.
inline kv::edits::TKvSpinEditProperties
TimeoutProperties(kv::edits::TSpinButtonKind kind = kv::edits::bkStandard, double value = 15) {
  kv::edits::TKvSpinEditProperties p;
  p.ButtonKind = kind;
  p.Decimal = 0;
  p.MaxValue = 120;
  p.Value = value;
  return p;
}

// "efAnzahl": minimum 1, maximum 99, value 5, no decimals, up-down buttons.
inline kv::edits::TKvSpinEditProperties CountProperties() {
  kv::edits::TKvSpinEditProperties p;
  p.ButtonKind = kv::edits::bkStandard;
  p.Decimal = 0;
  p.MaxValue = 99;
  p.MinValue = 1;
  p.Value = 5;
  return p;
}

} // namespace kvtest
