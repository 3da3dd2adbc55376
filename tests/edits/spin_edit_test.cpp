// The spin edit as a widget on the offscreen platform: what only a window shows (keys with
// their beep, the validator on every input path, stepping by keys, wheel and buttons, Enter
// and Escape reaching the dialog, the side buttons and their places).
#include "controls/edits/spin_edit.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include "edit_test_util.h"
#include "platform/ui/beep.h"
#include "platform/ui/message_box.h"
#include "qt_application.h"

using namespace kv::edits;

namespace {

const NumberLocale kGerman{QStringLiteral(","), QStringLiteral(".")};

class SpinEditWidget : public testing::Test {
protected:
  void SetUp() override {
    previous_ = kv::ui::SetBeepHook([this] { ++beeps; });
  }
  void TearDown() override { kv::ui::SetBeepHook(previous_); }

  void Show(QWidget *window, QWidget *focus) { kvtest::ShowFocused(window, focus); }

  int beeps = 0;

private:
  std::function<void()> previous_;
};

} // namespace

TEST_F(SpinEditWidget, RefusedKeysBeepAndTypedTextReadsBack) {
  TKvSpinEdit edit;
  edit.LoadProperties(kvtest::CountProperties());
  Show(&edit, &edit);
  edit.selectAll();
  QTest::keyClicks(&edit, "1a-2");
  EXPECT_EQ(edit.Text(), "1-2");
  EXPECT_EQ(beeps, 1);
  EXPECT_FALSE(edit.TryValue()); // and not silently the minimum
  edit.selectAll();
  QTest::keyClicks(&edit, "150");
  EXPECT_EQ(edit.Value(), 150); // a typed value is not corrected
  EXPECT_TRUE(edit.Modified());
  QTest::keyClick(&edit, Qt::Key_Delete);
  QTest::keyClick(&edit, Qt::Key_Backspace);
  EXPECT_EQ(beeps, 1);
}

TEST_F(SpinEditWidget, PasteDropAndInputMethodPassTheSameValidator) {
  TKvSpinEdit edit;
  edit.SetLocale(kGerman);
  edit.SetValueType(vtFloat);
  Show(&edit, &edit);
  edit.selectAll();
  QGuiApplication::clipboard()->setText("12abc");
  QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(edit.Text(), "0,00");
  edit.selectAll();
  QGuiApplication::clipboard()->setText("1.5");
  QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(edit.Text(), "1,5");
  EXPECT_EQ(edit.Value(), 1.5);

  auto drop = [&](const QString &text) {
    QMimeData data;
    data.setText(text);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&edit, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&edit, &drop);
  };
  drop("7x");
  EXPECT_EQ(edit.Text(), "1,5");
  drop("7");
  EXPECT_EQ(edit.Text().count('7'), 1);

  const QString before = edit.Text();
  QInputMethodEvent letters;
  letters.setCommitString("x");
  QApplication::sendEvent(&edit, &letters);
  EXPECT_EQ(edit.Text(), before);
  QInputMethodEvent digit;
  digit.setCommitString("3");
  QApplication::sendEvent(&edit, &digit);
  EXPECT_EQ(edit.Text().size(), before.size() + 1);

  // What the edit shows comes back through the clipboard and by drop, separators and all.
  edit.SetThousands(true);
  edit.SetValue(1234);
  edit.selectAll();
  QTest::keyClick(&edit, Qt::Key_C, Qt::ControlModifier);
  edit.SetValue(0);
  edit.selectAll();
  QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(edit.Text(), "1.234,00");
  edit.clear();
  drop("-1.234,00");
  EXPECT_EQ(edit.Value(), -1234);
}

TEST_F(SpinEditWidget, KeysWheelAndUpDownStep) {
  TKvSpinEdit edit;
  edit.LoadProperties(kvtest::CountProperties());
  Show(&edit, &edit);
  QTest::keyClick(&edit, Qt::Key_Up);
  EXPECT_EQ(edit.Text(), "6");
  QTest::keyClick(&edit, Qt::Key_Down);
  QTest::keyClick(&edit, Qt::Key_Down);
  EXPECT_EQ(edit.Text(), "4");
  auto wheel = [&](int delta) {
    QWheelEvent event(QPointF(5, 5), edit.mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&edit, &event);
  };
  wheel(120); // away from the user
  EXPECT_EQ(edit.Text(), "5");
  wheel(-120);
  EXPECT_EQ(edit.Text(), "4");

  TKvUpDown *updown = edit.UpDown();
  ASSERT_TRUE(updown);
  EXPECT_EQ(updown->width(), DefaultButtonWidth());
  for (int i = 0; i < 3; ++i)
    QTest::mouseClick(updown, Qt::LeftButton, {}, QPoint(updown->width() / 2, 2));
  EXPECT_EQ(edit.Text(), "7");
  EXPECT_EQ(updown->Position(), 0);
  QTest::mouseClick(updown, Qt::LeftButton, {}, QPoint(updown->width() / 2, updown->height() - 2));
  EXPECT_EQ(edit.Text(), "6");
  EXPECT_EQ(updown->Position(), 0);
  // At the maximum a click changes nothing but still counts as a click.
  int tops = 0;
  edit.OnTopClick = [&](QObject *sender) {
    EXPECT_EQ(sender, &edit);
    ++tops;
  };
  edit.SetValue(99);
  edit.setModified(false);
  QTest::mouseClick(updown, Qt::LeftButton, {}, QPoint(updown->width() / 2, 2));
  EXPECT_EQ(edit.Text(), "99");
  EXPECT_FALSE(edit.Modified());
  EXPECT_EQ(tops, 1);
}

TEST_F(SpinEditWidget, EditorDisabledStillStepsByButtonAndKeys) {
  TKvSpinEdit edit;
  edit.LoadProperties(kvtest::CountProperties());
  edit.SetEditorEnabled(false);
  Show(&edit, &edit);
  QGuiApplication::clipboard()->setText("7");
  edit.selectAll();
  QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
  QTest::keyClicks(&edit, "4");
  QTest::keyClick(&edit, Qt::Key_Backspace);
  EXPECT_EQ(edit.Text(), "5");
  EXPECT_EQ(beeps, 2);
  QTest::keyClick(&edit, Qt::Key_Up);
  QTest::mouseClick(edit.UpDown(), Qt::LeftButton, {}, QPoint(3, 2));
  EXPECT_EQ(edit.Text(), "7");
}

TEST_F(SpinEditWidget, EnterAndEscapeReachTheDialog) {
  QDialog dialog;
  auto *layout = new QVBoxLayout(&dialog);
  auto *edit = new TKvSpinEdit;
  auto *ok = new QPushButton("&OK");
  auto *cancel = new QPushButton("&Abbrechen");
  layout->addWidget(edit);
  layout->addWidget(ok);
  layout->addWidget(cancel);
  ok->setDefault(true);
  QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
  QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
  Show(&dialog, edit);
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_FALSE(dialog.isVisible());
  dialog.setResult(-1);
  Show(&dialog, edit);
  QTest::keyClick(edit, Qt::Key_Escape);
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(beeps, 0);
}

TEST_F(SpinEditWidget, ExitCheckKeepsTheFocusAndShowsTheRange) {
  QWidget window;
  auto *layout = new QVBoxLayout(&window);
  auto *edit = new TKvSpinEdit;
  auto *other = new QLineEdit;
  layout->addWidget(edit);
  layout->addWidget(other);
  edit->LoadProperties(kvtest::CountProperties());
  edit->SetCheckOptions(coCheckOnExit);
  Show(&window, edit);
  edit->selectAll();
  QTest::keyClicks(edit, "150");
  kv::ui::MessageBoxCapture boxes;
  other->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.Shown().empty(); }));
  EXPECT_EQ(boxes.Shown()[0].text, "Wert muss zwischen 1 und 99 liegen");
  EXPECT_EQ(boxes.Shown()[0].caption, "Fehler");
  EXPECT_TRUE(edit->hasFocus());
  EXPECT_EQ(edit->Text(), "150");
}

TEST_F(SpinEditWidget, SideButtonsTakeTheirPlaces) {
  TKvSpinEdit edit;
  edit.resize(120, 24);
  edit.show();
  // A new edit has the painted diagonal button, in the right end of the client area.
  TKvSpinButton *button = edit.SpinButton();
  ASSERT_TRUE(button);
  EXPECT_FALSE(edit.UpDown());
  const kv::ui::TRect client = edit.ClientRect();
  const QRect at(button->mapTo(&edit, QPoint(0, 0)), button->size());
  EXPECT_EQ(at.right() + 1, client.Right);
  EXPECT_EQ(at.top(), client.Top);
  EXPECT_EQ(at.bottom() + 1, client.Bottom);
  EXPECT_EQ(at.width(), at.height());
  EXPECT_EQ(edit.textMargins().right(), edit.SpinButtonWidth() + 2);

  edit.SetButtonKind(bkClassic);
  ASSERT_TRUE(edit.SpinButton());
  EXPECT_EQ(edit.SpinButton()->ButtonStyle(), sbsClassic);
  EXPECT_EQ(edit.SpinButton()->width(), DefaultButtonWidth() - 1);

  edit.SetButtonKind(bkStandard);
  EXPECT_FALSE(edit.SpinButton());
  ASSERT_TRUE(edit.UpDown());
  EXPECT_EQ(edit.UpDown()->geometry(),
            QRect(client.Right - DefaultButtonWidth(), client.Top, DefaultButtonWidth(), client.Height()));

  edit.SetBiDiMode(bdRightToLeft);
  EXPECT_EQ(edit.UpDown()->x(), client.Left);
  EXPECT_EQ(edit.textMargins().left(), edit.SpinButtonWidth() + 1);

  edit.resize(120, 4);
  EXPECT_EQ(edit.height(), edit.MinimumHeight());
}

TEST_F(SpinEditWidget, PaintedButtonRepeatsWhileHeld) {
  TKvSpinEdit edit;
  edit.LoadProperties(kvtest::CountProperties());
  edit.SetButtonKind(bkDiagonal);
  edit.resize(120, 24);
  Show(&edit, &edit);
  TKvSpinButton *button = edit.SpinButton();
  ASSERT_TRUE(button);
  QWindow *window = edit.windowHandle();
  const QPoint upper = button->mapTo(&edit, QPoint(2, 2));
  QTest::mousePress(window, Qt::LeftButton, {}, upper);
  EXPECT_EQ(edit.Text(), "6");
  EXPECT_EQ(button->PressState(), psTop);
  EXPECT_TRUE(button->TimerActive());
  EXPECT_EQ(button->TimerInterval(), 400);
  button->TimerExpired();
  EXPECT_EQ(edit.Text(), "7");
  EXPECT_EQ(button->TimerInterval(), 100);
  QTest::mouseRelease(window, Qt::LeftButton, {}, upper);
  EXPECT_FALSE(button->TimerActive());
  EXPECT_EQ(button->PressState(), psNone);
  const QPoint lower = button->mapTo(&edit, QPoint(button->width() - 2, button->height() - 2));
  QTest::mouseClick(window, Qt::LeftButton, {}, lower);
  EXPECT_EQ(edit.Text(), "6");
}
