// The combo-style edit, the directory edit and its extras, as widgets.
#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QVBoxLayout>
#include <filesystem>

#include "controls/edits/tool_edit.h"
#include "qt_application.h"
#include "test_support.h"
#include "widget_helpers.h"

namespace {

using namespace kv::edits;
using namespace kv::ui;

QString Q(const std::string &s) {
  return QString::fromStdString(s);
}

// The configuration dialog's log folder edit, with a folder picker that records its calls.
class DirectoryEditTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::filesystem::create_directories(dir_.file("log"));
    std::filesystem::create_directories(dir_.file("Logs"));
    kvtest::WriteFile(dir_.file("log/a.txt"), "x");
    form_.resize(360, 120);
    edit_ = new TKvDirectoryEdit(&form_);
    edit_->setGeometry(120, 48, 209, 21);
    edit_->SetHelpContext(40);
    edit_->SetDialogKind(dkWin32);
    edit_->SetDialogText("Bitte wählen Sie das Protokollverzeichnis aus:");
    edit_->SetDialogOptions(sdAllowCreate | sdPerformCreate | sdPrompt);
    edit_->SetButtonFlat(false);
    edit_->setEnabled(false);
    edit_->SetNumGlyphs(1);
    edit_->SetButtonWidth(20);
    edit_->Model().PickFolder = [this](QString &d, const QString &text, int help) {
      asked_.push_back(d);
      EXPECT_EQ(text, "Bitte wählen Sie das Protokollverzeichnis aus:");
      EXPECT_EQ(help, 40);
      if (answer_.isEmpty()) return false;
      d = answer_;
      return true;
    };
    ok_ = new QPushButton("&OK", &form_);
    ok_->setDefault(true);
    QObject::connect(ok_, &QPushButton::clicked, [this] { ++ok_clicks_; });
    form_.show();
  }
  QString P(const std::string &name) const { return Q(dir_.file(name)); }
  QImage Render() { return kvtest::RenderWidget(*edit_); }

  kvtest::TempDir dir_;
  QDialog form_;
  TKvDirectoryEdit *edit_ = nullptr;
  QPushButton *ok_ = nullptr;
  int ok_clicks_ = 0;
  QStringList asked_;
  QString answer_;
};

TEST_F(DirectoryEditTest, StartsAsTheDialogSetsItUp) {
  EXPECT_EQ(edit_->GlyphKind(), gkDefault);
  EXPECT_TRUE(edit_->IsButtonWidthStored()); // 20: the folder picture's default is 21
  EXPECT_FALSE(edit_->IsGlyphStored());
  EXPECT_EQ(edit_->Glyph().Width(), 14);
  EXPECT_EQ(edit_->Glyph().Height(), 12);
  EXPECT_EQ(edit_->ClickKey(), 32808);
  EXPECT_FALSE(edit_->Button()->isEnabled()); // follows the edit
  // The button sits at the right end inside the frame, as high as the text area.
  const TRect client = edit_->ClientRect();
  EXPECT_EQ(edit_->ButtonHolder()->geometry(), QRect(client.Right - 20, client.Top, 20, client.Height()));
  EXPECT_EQ(edit_->textMargins().right(), 20);
  EXPECT_EQ(edit_->height(), edit_->fontMetrics().height() + 8);

  // Disabled: the window colour behind grey text, and the button greyed.
  edit_->SetText("/var/log/korvane/");
  const QImage off = Render();
  EXPECT_EQ(off.pixel(client.Left + 1, client.Bottom - 2), ToQRgb(clWindow));
  edit_->setEnabled(true);
  EXPECT_TRUE(edit_->Button()->isEnabled());
}

TEST_F(DirectoryEditTest, ButtonAndAltDownOpenTheDialog) {
  edit_->setEnabled(true);
  edit_->SetText(P("log/"));
  answer_ = P("Logs");
  // Where the dialog starts is the model's rule (combo_edit_rules_test); here: that it opens.
  QTest::mouseClick(edit_->Button(), Qt::LeftButton, {}, {5, 5});
  ASSERT_EQ(asked_.size(), 1);
  EXPECT_EQ(edit_->Text(), P("Logs"));

  edit_->SetText(P("missing"));
  answer_.clear();
  QTest::keyClick(edit_, Qt::Key_Down, Qt::AltModifier);
  ASSERT_EQ(asked_.size(), 2);
  EXPECT_EQ(edit_->Text(), P("missing")); // cancelled

  edit_->SetButtonWidth(0);
  QTest::keyClick(edit_, Qt::Key_Down, Qt::AltModifier);
  EXPECT_EQ(asked_.size(), 2);
  EXPECT_FALSE(edit_->ButtonHolder()->isVisible());

  // Read-only: neither the button nor the key does anything.
  edit_->SetButtonWidth(20);
  edit_->SetReadOnly(true);
  QTest::keyClick(edit_, Qt::Key_Down, Qt::AltModifier);
  QTest::mouseClick(edit_->Button(), Qt::LeftButton, {}, {5, 5});
  EXPECT_EQ(asked_.size(), 2);
}

TEST_F(DirectoryEditTest, EnterPressesTheDefaultButton) {
  edit_->setEnabled(true);
  edit_->SetText("/tmp");
  edit_->setFocus();
  QTest::keyClick(edit_, Qt::Key_Return);
  EXPECT_EQ(ok_clicks_, 1);
  EXPECT_EQ(edit_->Text(), "/tmp");
}

// A form that records the keys its own key handling gets.
class KeyForm : public QWidget {
public:
  std::vector<std::pair<int, Qt::KeyboardModifiers>> keys;

protected:
  void keyPressEvent(QKeyEvent *event) override {
    if (event->key() != Qt::Key_Control) keys.emplace_back(event->key(), event->modifiers());
  }
};

TEST(ComboEditKeys, CtrlEnterAndCtrlTabGoToTheForm) {
  KeyForm form;
  auto *edit = new TKvDirectoryEdit(&form);
  std::vector<int> own;
  edit->OnKeyDown = [&](QObject *, int &key, Qt::KeyboardModifiers) {
    if (key != Qt::Key_Control) own.push_back(key);
  };
  form.show();
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_Return, Qt::ControlModifier);
  QTest::keyClick(edit, Qt::Key_Tab, Qt::ControlModifier);
  ASSERT_EQ(form.keys.size(), 2u);
  EXPECT_EQ(form.keys[0].first, Qt::Key_Return);
  EXPECT_EQ(form.keys[1].first, Qt::Key_Tab);
  EXPECT_EQ(form.keys[1].second, Qt::ControlModifier);
  EXPECT_TRUE(own.empty()); // taken by the form before the edit's own key-down
  QTest::keyClick(edit, Qt::Key_A);
  EXPECT_EQ(own, std::vector<int>{Qt::Key_A});
  EXPECT_EQ(edit->Text(), "a");
}

TEST_F(DirectoryEditTest, ButtonWidthRules) {
  edit_->SetButtonWidth(1);
  EXPECT_FALSE(edit_->ButtonHolder()->isVisibleTo(edit_));
  edit_->SetButtonWidth(500); // not smaller than the client width: ignored
  EXPECT_EQ(edit_->ButtonWidth(), 1);
  edit_->SetButtonWidth(30);
  EXPECT_TRUE(edit_->ButtonHolder()->isVisibleTo(edit_));
  EXPECT_EQ(edit_->textMargins().right(), 30);

  edit_->SetGlyphKind(gkDropDown);
  EXPECT_EQ(edit_->ButtonWidth(), edit_->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
  EXPECT_FALSE(edit_->IsButtonWidthStored());
  edit_->SetNumGlyphs(3);
  EXPECT_EQ(edit_->NumGlyphs(), 1);
  edit_->SetGlyph(TBitmap(32, 16));
  EXPECT_EQ(edit_->GlyphKind(), gkCustom);
  EXPECT_TRUE(edit_->IsGlyphStored());
}

TEST_F(DirectoryEditTest, EllipsisGlyphDotsAreClippedToTheirPicture) {
  edit_->SetGlyphKind(gkEllipsis);
  edit_->SetButtonWidth(20);
  const TBitmap &dots = edit_->Glyph();
  ASSERT_EQ(dots.Width(), 14);
  ASSERT_EQ(dots.Height(), 4);
  std::string row;
  for (int x = 0; x < 14; ++x)
    row += dots.Pixel(x, 1) == clBlack ? '#' : '.';
  EXPECT_EQ(row, ".##...##...##.");
  EXPECT_EQ(dots.Pixel(1, 0), clWhite);
  // Narrower than 12 pixels: the dots would start left of the picture; they are cut, and
  // nothing is written outside it.
  edit_->SetButtonWidth(9);
  EXPECT_EQ(edit_->Glyph().Width(), 3);
  edit_->SetButtonWidth(4);
  EXPECT_EQ(edit_->Glyph().Width(), 1);
}

TEST_F(DirectoryEditTest, ClipboardSwitchesAndDirectInput) {
  edit_->setEnabled(true);
  edit_->SetClipBoardCommands(caCopy);
  EXPECT_TRUE(edit_->ReadOnly());
  EXPECT_TRUE(edit_->isReadOnly());
  edit_->SetClipBoardCommands(caCopy | caPaste);
  EXPECT_FALSE(edit_->ReadOnly());
  EXPECT_FALSE(edit_->isReadOnly());

  edit_->SetDirectInput(false);
  edit_->SetText("/a");
  edit_->setFocus();
  QTest::keyClicks(edit_, "xyz");
  QGuiApplication::clipboard()->setText("/pasted");
  edit_->PasteFromClipboard();
  EXPECT_EQ(edit_->Text(), "/a");
  answer_ = P("Logs");
  edit_->EmbeddedButtonClick();
  EXPECT_EQ(edit_->Text(), P("Logs")); // the button still sets the text
  edit_->SetDirectInput(true);
  edit_->selectAll();
  edit_->PasteFromClipboard();
  EXPECT_EQ(edit_->Text(), "/pasted");
}

TEST_F(DirectoryEditTest, LooksLikeAnEditWithAFolderButton) {
  edit_->setEnabled(true);
  edit_->SetText("/home/anna/korvane/log/");
  const QImage on = Render();
  const QPoint button = edit_->ButtonHolder()->pos();
  EXPECT_EQ(on.pixel(button), ToQRgb(clBtnHighlight));
  EXPECT_EQ(on.pixel(button + QPoint(19, edit_->ButtonHolder()->height() - 1)), ToQRgb(clWindowFrame));
  // The folder picture in the middle of the button (its black outline).
  bool black = false;
  for (int y = 0; y < edit_->ButtonHolder()->height(); ++y)
    for (int x = 0; x < 20; ++x)
      black = black || on.pixel(button + QPoint(x, y)) == qRgb(0, 0, 0);
  EXPECT_TRUE(black);

  QWidget tab;
  kvtest::MakeFacePanel(tab, 360, 110);
  auto *label = new QLabel("&Protokollverzeichnis", &tab);
  label->move(16, 20);
  auto *enabled = new TKvDirectoryEdit(&tab);
  enabled->setGeometry(140, 16, 209, 21);
  enabled->SetButtonWidth(20);
  enabled->SetText("/home/anna/korvane/log/");
  label->setBuddy(enabled);
  auto *disabled = new TKvDirectoryEdit(&tab);
  disabled->setGeometry(140, 56, 209, 21);
  disabled->SetButtonWidth(20);
  disabled->SetText("/opt/korvane/log/");
  disabled->setEnabled(false);
  tab.show();
  EXPECT_TRUE(kvtest::KeepPicture(kvtest::RenderWidget(tab), "directory_edit.png"));
}

// Drops a list of files onto the edit as a file manager would.
bool Drop(QWidget *target, const QStringList &paths) {
  QMimeData mime;
  QList<QUrl> urls;
  for (const QString &p : paths)
    urls << QUrl::fromLocalFile(p);
  mime.setUrls(urls);
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &drop);
  return drop.isAccepted();
}

TEST_F(DirectoryEditTest, DroppedFilesAndFolders) {
  edit_->setEnabled(true);
  int drops = 0;
  edit_->OnDropFiles = [&](QObject *sender) {
    EXPECT_EQ(sender, edit_);
    ++drops;
  };
  EXPECT_TRUE(Drop(edit_, {P("log/a.txt")}));
  EXPECT_EQ(edit_->Text(), P("log/")); // a file gives its folder
  EXPECT_TRUE(Drop(edit_, {P("Logs"), P("log"), P("log/a.txt")}));
  EXPECT_EQ(edit_->Text(), P("Logs")); // only the first of three
  EXPECT_EQ(drops, 2);
  const QString deep = P(std::string(300, 'd') + "/x");
  EXPECT_TRUE(Drop(edit_, {deep}));
  EXPECT_EQ(edit_->Text(), deep); // taken whole, not cut at 254 characters
  edit_->SetMultipleDirs(true);
  EXPECT_TRUE(Drop(edit_, {P("log")}));
  EXPECT_EQ(edit_->Text(), P("log") + ";" + deep);
  EXPECT_EQ(edit_->LongFormOfText(), P("log") + ";" + deep);
  edit_->SetAcceptFiles(false);
  EXPECT_FALSE(Drop(edit_, {P("Logs")}));
  EXPECT_EQ(drops, 4);
}

// A combo edit with a popup that offers one value.
class PopupCombo : public TKvCustomComboEdit {
public:
  using TKvCustomComboEdit::TKvCustomComboEdit;
  QString offered = "chosen";
  QVariant passed;
  int changes_while_open = 0;

protected:
  QVariant PopupValue() override { return offered; }
  void PassValueToPopup(const QVariant &value) override { passed = value; }
  void TextChangedWhilePopupOpen() override { ++changes_while_open; }
};

TEST(ComboEditPopup, OpensOnTheButtonAndClosesWithOrWithoutTakingItsValue) {
  QWidget form;
  form.resize(300, 100);
  auto *edit = new PopupCombo(&form);
  edit->setGeometry(10, 10, 150, 21);
  QWidget popup(nullptr, Qt::Popup);
  popup.resize(150, 80);
  edit->SetAttachedPopup(&popup);
  int changes = 0, button_clicks = 0;
  edit->OnChange = [&](QObject *) { ++changes; };
  edit->OnButtonClick = [&](QObject *) { ++button_clicks; };
  form.show();

  edit->EmbeddedButtonClick();
  EXPECT_TRUE(edit->PopupOpen());
  EXPECT_TRUE(popup.isVisible());
  EXPECT_TRUE(edit->isReadOnly());      // the text is locked while the popup is open
  EXPECT_FALSE(edit->passed.isValid()); // an empty text passes no value
  EXPECT_EQ(button_clicks, 1);
  edit->ClosePopup(edit, false); // Escape
  EXPECT_FALSE(edit->PopupOpen());
  EXPECT_FALSE(popup.isVisible());
  EXPECT_EQ(edit->Text(), "");
  EXPECT_FALSE(edit->isReadOnly());

  edit->EmbeddedButtonClick();
  edit->EmbeddedButtonClick(); // a second click closes it, taking its value
  EXPECT_FALSE(edit->PopupOpen());
  EXPECT_EQ(edit->Text(), "chosen");
  EXPECT_TRUE(edit->isModified());
  // The value is put in while the popup still counts as open; the change is then fired once.
  EXPECT_EQ(edit->changes_while_open, 1);
  EXPECT_EQ(changes, 1);

  edit->SetReadOnly(true);
  edit->OpenPopup(true);
  EXPECT_FALSE(edit->PopupOpen());
}

} // namespace
