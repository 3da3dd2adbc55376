// The masked edit base on the offscreen platform: clipboard switches on every path, hot
// tracking, edit groups, text protection, the disabled look, focus notices and the caret.
#include "controls/edits/mask_edit.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <memory>

#include "edit_test_util.h"
#include "qt_application.h"

using namespace kv::edits;
using kv::ui::TRect;
using kvtest::ShowFocused;

namespace {

QAction *Action(QMenu *menu, const char *name) {
  for (QAction *a : menu->actions())
    if (a->objectName() == QLatin1String(name)) return a;
  return nullptr;
}

QRgb Rgb(kv::ui::TColor c) {
  return kv::ui::ToQColor(c).rgb();
}

} // namespace

TEST(MaskEdit, ClipboardCommandsGateKeysAndMenu) {
  TKvCustomMaskEdit edit;
  ShowFocused(&edit, &edit);
  edit.SetText("abc");
  edit.selectAll();
  QGuiApplication::clipboard()->setText("pasted");

  edit.SetClipBoardCommands(caCopy);
  EXPECT_TRUE(edit.ReadOnly());
  QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(edit.Text(), "abc");
  QTest::keyClick(&edit, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "abc");
  edit.SetClipBoardCommands(0);
  EXPECT_TRUE(edit.ReadOnly());

  // Paste allowed, copy not: editable, and the menu agrees with the keys.
  edit.SetClipBoardCommands(caPaste | caCut);
  EXPECT_FALSE(edit.ReadOnly());
  QGuiApplication::clipboard()->setText("x");
  edit.selectAll();
  QTest::keyClick(&edit, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "x");
  std::unique_ptr<QMenu> menu(edit.CreateContextMenu());
  ASSERT_TRUE(Action(menu.get(), "edit-copy"));
  EXPECT_FALSE(Action(menu.get(), "edit-copy")->isEnabled());
  EXPECT_TRUE(Action(menu.get(), "edit-cut")->isEnabled());
  EXPECT_TRUE(Action(menu.get(), "edit-paste")->isEnabled());
  Action(menu.get(), "edit-paste")->trigger();
  EXPECT_EQ(edit.Text(), "x");

  edit.SetClipBoardCommands(AllClipBoardCommands);
  edit.SetProtectText(true);
  std::unique_ptr<QMenu> protected_menu(edit.CreateContextMenu());
  EXPECT_FALSE(Action(protected_menu.get(), "edit-paste")->isEnabled());
  EXPECT_FALSE(Action(protected_menu.get(), "edit-cut")->isEnabled());
}

TEST(MaskEdit, ProtectedTextIsHiddenFromOtherProgramsOnly) {
  TKvCustomMaskEdit edit;
  edit.SetText("secret");
  QAccessibleInterface *access = QAccessible::queryAccessibleInterface(&edit);
  ASSERT_TRUE(access);
  EXPECT_EQ(access->text(QAccessible::Value), "secret");
  ASSERT_TRUE(access->textInterface());
  EXPECT_EQ(access->textInterface()->characterCount(), 6);

  edit.SetProtectText(true);
  EXPECT_EQ(access->text(QAccessible::Value), "");
  EXPECT_EQ(access->textInterface()->characterCount(), 0);
  EXPECT_EQ(access->textInterface()->text(0, 6), "");
  EXPECT_EQ(edit.Text(), "secret"); // the edit's own getter still reads
  EXPECT_TRUE(edit.ProtectText());
  edit.SetPasswordChar(QChar('*'));
  EXPECT_EQ(edit.echoMode(), QLineEdit::Normal);
  QGuiApplication::clipboard()->setText("other");
  edit.PasteFromClipboard();
  edit.selectAll();
  edit.CutToClipboard();
  EXPECT_EQ(edit.Text(), "secret");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "other");

  edit.SetProtectText(false);
  edit.SetPasswordChar(QChar('*'));
  EXPECT_EQ(edit.echoMode(), QLineEdit::Password);
  EXPECT_NE(access->text(QAccessible::Value), "secret"); // a password edit tells only its mask
}

TEST(MaskEdit, HotTrackIsFlatUntilTheMouseIsOver) {
  TKvCustomMaskEdit edit;
  edit.SetHotTrack(true);
  EXPECT_FALSE(edit.Ctl3D());
  EXPECT_FALSE(edit.hasFrame());
  int looks = 0;
  edit.OnCtl3DChange = [&](QObject *) { ++looks; };
  QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
  QApplication::sendEvent(&edit, &enter);
  EXPECT_TRUE(edit.Ctl3D());
  EXPECT_TRUE(edit.MouseOver());
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&edit, &leave);
  EXPECT_FALSE(edit.Ctl3D());
  EXPECT_FALSE(edit.MouseOver());
  EXPECT_EQ(looks, 2);
}

TEST(MaskEdit, AKeyOrAPasteEmptiesTheOtherEditsOfTheGroup) {
  QWidget window;
  auto *layout = new QVBoxLayout(&window);
  auto *a = new TKvCustomMaskEdit;
  auto *b = new TKvCustomMaskEdit;
  auto *c = new TKvCustomMaskEdit;
  auto *none = new TKvCustomMaskEdit;
  for (auto *e : {a, b, c, none}) {
    layout->addWidget(e);
    e->SetText("text");
  }
  a->SetGroupIndex(1);
  b->SetGroupIndex(1);
  c->SetGroupIndex(2);
  ShowFocused(&window, a);
  QTest::keyClick(a, Qt::Key_End);
  EXPECT_EQ(a->Text(), "text");
  EXPECT_EQ(b->Text(), "");
  EXPECT_EQ(c->Text(), "text");
  EXPECT_EQ(none->Text(), "text");
  b->SetText("again");
  c->SetClipBoardCommands(caCopy); // the paste is refused, the group is still cleared
  c->SetGroupIndex(1);
  c->PasteFromClipboard();
  EXPECT_EQ(a->Text(), "");
  EXPECT_EQ(b->Text(), "");
  EXPECT_EQ(c->Text(), "text");
  // Without a group nothing is cleared.
  a->SetText("kept");
  none->setFocus();
  QTest::keyClick(none, Qt::Key_Home);
  EXPECT_EQ(a->Text(), "kept");
}

TEST(MaskEdit, DisabledLookUsesItsColoursAndHidesPasswords) {
  TKvCustomMaskEdit edit;
  edit.resize(120, 24);
  edit.SetText("WWW");
  edit.setEnabled(false);
  edit.show();
  const TRect client = edit.ClientRect();
  QImage image = edit.grab().toImage();
  // The background is clWindow; the text starts one pixel inside the client area and is grey.
  EXPECT_EQ(image.pixel(client.Right - 2, client.Bottom - 2) | 0xFF000000u, Rgb(kv::ui::clWindow));
  QRect ink;
  for (int y = client.Top; y < client.Bottom; ++y)
    for (int x = client.Left; x < client.Right; ++x)
      if ((image.pixel(x, y) | 0xFF000000u) != Rgb(kv::ui::clWindow)) ink |= QRect(x, y, 1, 1);
  ASSERT_FALSE(ink.isEmpty());
  EXPECT_GE(ink.left(), client.Left + 1);
  EXPECT_GE(ink.top(), client.Top + 1);
  EXPECT_LE(ink.left(), client.Left + 3);
  const QColor grey = kv::ui::ToQColor(kv::ui::clGrayText);
  for (int y = ink.top(); y <= ink.bottom(); ++y)
    for (int x = ink.left(); x <= ink.right(); ++x)
      EXPECT_GE(QColor(image.pixel(x, y)).lightness(), grey.lightness() - 1) << x << "," << y;

  // A change while disabled shows at once.
  edit.SetDisabledColor(kv::ui::clRed);
  image = edit.grab().toImage();
  EXPECT_EQ(image.pixel(client.Right - 2, client.Bottom - 2) | 0xFF000000u, Rgb(kv::ui::clRed));
  // Enabled, the colours make no difference.
  edit.setEnabled(true);
  image = edit.grab().toImage();
  EXPECT_NE(image.pixel(client.Right - 2, client.Bottom - 2) | 0xFF000000u, Rgb(kv::ui::clRed));

  // A disabled password edit shows its mask characters, as an enabled one does.
  TKvCustomMaskEdit password;
  TKvCustomMaskEdit shown;
  for (auto *e : {&password, &shown}) {
    e->resize(120, 24);
    e->setEnabled(false);
  }
  password.SetText("abc");
  password.SetPasswordChar(QChar('*'));
  shown.SetText(password.displayText());
  EXPECT_EQ(password.grab().toImage(), shown.grab().toImage());
}

TEST(MaskEdit, FocusNoticesNameTheOtherControlAndEnteringSelects) {
  QWidget window;
  auto *layout = new QVBoxLayout(&window);
  auto *a = new TKvCustomMaskEdit;
  auto *b = new TKvCustomMaskEdit;
  layout->addWidget(a);
  layout->addWidget(b);
  QWidget *gained_from = nullptr;
  QWidget *lost_to = nullptr;
  b->OnFocusGained = [&](QObject *, QWidget *control) { gained_from = control; };
  a->OnFocusLost = [&](QObject *, QWidget *control) { lost_to = control; };
  a->SetText("abc");
  b->SetText("xyz");
  b->SetAutoSelect(false);
  ShowFocused(&window, a);
  EXPECT_EQ(a->selectedText(), "abc"); // entering selects, also when the program moves the focus
  b->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(gained_from, a);
  EXPECT_EQ(lost_to, b);
  EXPECT_FALSE(b->hasSelectedText());
}

TEST(MaskEdit, CustomCaretIsDrawnWhileFocused) {
  TKvCustomMaskEdit edit;
  edit.resize(120, 24);
  edit.SetText("ab");
  ShowFocused(&edit, &edit);
  EXPECT_FALSE(edit.CustomCaret());
  edit.Caret().SetWidth(4);
  edit.Caret().SetHeight(10);
  ASSERT_TRUE(edit.CustomCaret());
  const TRect r = edit.CaretRect();
  EXPECT_EQ(r.Width(), 4);
  EXPECT_EQ(r.Height(), 10);
  // The caret inverts the white background under it.
  const QImage image = edit.grab().toImage();
  EXPECT_EQ(image.pixel(r.Left + 1, r.Top + 5) | 0xFF000000u, 0xFF000000u);
  EXPECT_EQ(image.pixel(r.Left + 5, r.Top + 5) | 0xFF000000u, Rgb(kv::ui::clWindow));

  QLineEdit other;
  other.show();
  other.activateWindow();
  QApplication::setActiveWindow(&other);
  other.setFocus();
  EXPECT_FALSE(edit.CustomCaret()); // it goes with the focus and comes back with it
  edit.activateWindow();
  QApplication::setActiveWindow(&edit);
  edit.setFocus();
  EXPECT_TRUE(edit.CustomCaret());
}
