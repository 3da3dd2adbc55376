// Arithmetic of the combo-style edit and the directory edit's dialog road, drop and name forms.
#include <gtest/gtest.h>

#include <filesystem>

#include "controls/edits/combo_edit_rules.h"
#include "controls/edits/dir_edit_model.h"
#include "platform/ui/shortcut.h"
#include "test_support.h"

namespace {

using namespace kv::edits;

TEST(ComboEditRules, ButtonHolderFollowsTheLookTable) {
  const int W = 209, H = 21, bw = 20;
  struct Row {
    TEditLook look;
    QRect expected;
  };
  const Row rows[] = {
      {{true, true, true, true}, {W - bw - 4, 0, bw, H - 4}},   // themed, 3-D, single border
      {{false, true, true, true}, {W - bw - 1, 1, bw, H - 2}},  // themed, flat
      {{true, false, true, true}, {W - bw - 1, 1, bw, H - 2}},  // themed, no border
      {{true, true, false, true}, {W - bw - 4, 0, bw, H - 4}},  // plain, 3-D
      {{false, true, false, true}, {W - bw - 2, 2, bw, H - 4}}, // plain, flat
      {{true, false, false, true}, {W - bw, 0, bw, H}},         // plain, no border
      {{true, true, false, false}, {W - bw, 0, bw, H}},         // old-style controls
      {{false, false, true, false}, {W - bw, 0, bw, H}},
  };
  for (const auto &r : rows)
    EXPECT_EQ(PlaceButtonHolder(W, H, bw, r.look), r.expected);

  EXPECT_EQ(TextAreaLeft({false, true, true, true}), 3);
  EXPECT_EQ(TextAreaLeft({true, true, true, true}), 0);
  EXPECT_EQ(FitHeightToFont(13, 16, {true, true, false, true}), 21);
  EXPECT_EQ(FitHeightToFont(13, 16, {false, true, false, true}), 19);
  EXPECT_EQ(FitHeightToFont(13, 16, {true, true, false, false}), 13 + 4 + 3);
  EXPECT_EQ(MinimumEditHeight(13), 18);
}

// The dots of a 20-pixel button are checked by their pixels in tool_edit_test.
TEST(ComboEditRules, EllipsisDotsAndDefaultWidths) {
  // A button narrower than 12 pixels puts dots outside the picture (they are drawn clipped).
  const auto narrow = EllipsisGlyph(8);
  EXPECT_EQ(narrow.Width, 2);
  EXPECT_LT(narrow.DotX[0], 0);
  EXPECT_GT(narrow.DotX[2] + 2, narrow.Width);
  EXPECT_EQ(EllipsisGlyph(0).Width, 1);

  EXPECT_EQ(DefaultButtonWidth(gkDefault, 14, 1, 14), 21);
  EXPECT_EQ(DefaultButtonWidth(gkDefault, 64, 2, 14), 38);
  EXPECT_EQ(DefaultButtonWidth(gkDropDown, 14, 1, 14), 14);
  EXPECT_EQ(DefaultButtonWidth(gkEllipsis, 0, 1, 14), 21);
}

TEST(ComboEditRules, PopupOpensBelowOrAboveInsideTheScreen) {
  const QSize screen(1024, 768);
  EXPECT_EQ(PlacePopup({300, 100}, {200, 21}, {250, 150}, screen), QPoint(250, 121)); // right edges aligned
  EXPECT_EQ(PlacePopup({300, 700}, {200, 21}, {250, 150}, screen), QPoint(250, 550)); // no room below
  EXPECT_EQ(PlacePopup({10, 100}, {20, 21}, {250, 150}, screen), QPoint(10, 121));    // would start left of 0
  EXPECT_EQ(PlacePopup({-30, 100}, {20, 21}, {250, 150}, screen), QPoint(0, 121));
  EXPECT_EQ(PlacePopup({1010, 100}, {20, 21}, {250, 150}, screen), QPoint(774, 121)); // past the right edge
}

TEST(ShortCut, KeyPressesGiveTheStoredValues) {
  using namespace kv::ui;
  auto of = [](int key, Qt::KeyboardModifiers mods) {
    return ShortCutOf(QKeyEvent(QEvent::KeyPress, key, mods));
  };
  EXPECT_EQ(of(Qt::Key_Down, Qt::AltModifier), 32808); // Alt+Down, the combo edit's click key
  EXPECT_EQ(of(Qt::Key_Down, Qt::NoModifier), VK_DOWN);
  EXPECT_EQ(of(Qt::Key_F4, Qt::ControlModifier | Qt::ShiftModifier), scCtrl | scShift | 0x73);
  EXPECT_EQ(of(Qt::Key_A, Qt::ControlModifier), scCtrl | 'A');
  EXPECT_EQ(of(Qt::Key_Enter, Qt::NoModifier), VK_RETURN);
  EXPECT_EQ(of(Qt::Key_Shift, Qt::ShiftModifier), 0);
}

class DirectoryEditModelTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::filesystem::create_directories(dir_.file("log"));
    std::filesystem::create_directories(dir_.file("Logs"));
    kvtest::WriteFile(dir_.file("log/a.txt"), "x");
    model_.PickFolder = [this](QString &d, const QString &text, int help) {
      asked_.push_back(d);
      texts_.push_back(text);
      helps_.push_back(help);
      if (answer_.isEmpty()) return false;
      d = answer_;
      return true;
    };
    model_.SelectDirectory = [this](QString &d, kv::ui::TSelectDirOpts options, int) {
      framework_options_ = options;
      asked_.push_back(d);
      return false;
    };
    model_.DialogKind = dkWin32;
  }
  QString P(const std::string &name) const { return QString::fromStdString(dir_.file(name)); }

  kvtest::TempDir dir_;
  TDirectoryEditModel model_;
  QStringList asked_, texts_;
  std::vector<int> helps_;
  QString answer_;
  kv::ui::TSelectDirOpts framework_options_ = 0;
};

TEST_F(DirectoryEditModelTest, StartFolderRules) {
  model_.DialogText = "Bitte wählen Sie das Protokollverzeichnis aus:";
  model_.HelpContext = 40;
  answer_ = P("Logs");
  EXPECT_EQ(model_.RunDialog(P("log/"), 0, 0), P("Logs"));
  EXPECT_EQ(asked_.back(), P("log/")); // an existing folder is where the dialog starts
  EXPECT_EQ(texts_.back(), "Bitte wählen Sie das Protokollverzeichnis aus:");
  EXPECT_EQ(helps_.back(), 40);
  EXPECT_EQ(model_.InitialDir, P("Logs"));

  answer_.clear();
  EXPECT_EQ(model_.RunDialog(P("missing"), 0, 0), std::nullopt); // cancelled: the text stays
  EXPECT_EQ(asked_.back(), "/");
  EXPECT_EQ(model_.InitialDir, P("Logs"));
  model_.RunDialog("", 0, 0);
  EXPECT_EQ(asked_.back(), P("Logs")); // empty text: InitialDir
  model_.InitialDir.clear();
  model_.RunDialog("", 0, 0);
  EXPECT_EQ(asked_.back(), "/");

  model_.DialogKind = dkVCL;
  model_.DialogOptions = kv::ui::sdAllowCreate | kv::ui::sdPrompt;
  model_.RunDialog(P("log"), 0, 0);
  EXPECT_EQ(framework_options_, kv::ui::sdAllowCreate | kv::ui::sdPrompt);
  EXPECT_EQ(asked_.size(), 5u);
}

TEST_F(DirectoryEditModelTest, EventsMultipleDirsAndSelection) {
  answer_ = P("Logs");
  QObject sender;
  model_.Sender = &sender;
  int focused = 0;
  model_.OnBeforeDialog = [&](QObject *s, QString &name, bool &action) {
    EXPECT_EQ(s, &sender);
    action = name != "stop";
  };
  EXPECT_EQ(model_.RunDialog("stop", 0, 0, [&] { ++focused; }), std::nullopt);
  EXPECT_TRUE(asked_.isEmpty());
  EXPECT_EQ(focused, 0);

  model_.MultipleDirs = true;
  EXPECT_EQ(model_.RunDialog("/a", 0, 0, [&] { ++focused; }), P("Logs") + ";/a");
  EXPECT_EQ(focused, 1);
  // The selected part of the text goes first.
  EXPECT_EQ(model_.RunDialog("/a;/b", 0, 3), P("Logs") + ";/b");
  EXPECT_EQ(model_.RunDialog("/a", 0, 2), P("Logs"));

  model_.OnAfterDialog = [](QObject *, QString &name, bool &action) { action = !name.endsWith("Logs"); };
  EXPECT_EQ(model_.RunDialog("/a", 0, 0), std::nullopt);
  model_.OnAfterDialog = [](QObject *, QString &name, bool &) { name = "/chosen/elsewhere"; };
  model_.InitialDir = "/kept";
  EXPECT_EQ(model_.RunDialog("", 0, 0), "/chosen/elsewhere");
  EXPECT_EQ(model_.InitialDir, "/kept"); // not an existing folder: InitialDir stays
}

// A file giving its folder and a long path taken whole are checked through a real drop.
TEST_F(DirectoryEditModelTest, DroppedNames) {
  EXPECT_EQ(model_.DroppedText(P("log"), "old"), P("log"));
  EXPECT_EQ(model_.DroppedText(P("nothing/here.txt"), ""), P("nothing/here.txt"));
  model_.MultipleDirs = true;
  EXPECT_EQ(model_.DroppedText(P("log"), "/a"), P("log") + ";/a");
  EXPECT_EQ(model_.DroppedText(P("log"), ""), P("log"));
}

TEST_F(DirectoryEditModelTest, LongAndShortForms) {
  EXPECT_EQ(model_.LongForm("/a;;/b"), "/a;;/b"); // one path, whatever it holds
  model_.MultipleDirs = true;
  EXPECT_EQ(model_.LongForm("/a;/b"), "/a;/b");
  EXPECT_EQ(model_.ShortForm("/a;;/b;"), "/a;/b"); // empty pieces add no separator
  EXPECT_EQ(model_.LongForm(";"), "");
  EXPECT_EQ(model_.LongForm(""), "");
}

} // namespace
