// The folder dialog (the component over the system's browse dialog), the framework's directory
// dialog, the path functions, and the windows a modal system dialog disables.
#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTreeView>
#include <filesystem>
#include <system_error>

#include "controls/edits/bitmap_utils.h"
#include "controls/edits/folder_dialog.h"
#include "controls/edits/path_util.h"
#include "platform/ui/application.h"
#include "platform/ui/folder_browse_dialog.h"
#include "platform/ui/message_box.h"
#include "platform/ui/select_directory.h"
#include "platform/ui/task_windows.h"
#include "qt_application.h"
#include "widget_helpers.h"

namespace {

using namespace kv::edits;
using kv::ui::TFolderBrowseDialog;

QString Q(const std::string &s) {
  return QString::fromStdString(s);
}

TEST(PathUtil, FoldersSeparatorsAndNameForms) {
  kvtest::TempDir dir;
  std::filesystem::create_directories(dir.file("a/b"));
  kvtest::WriteFile(dir.file("a/file.txt"), "x");
  std::filesystem::create_symlink(dir.file("a/b"), dir.file("link"));
  std::filesystem::create_symlink(dir.file("gone"), dir.file("dangling"));
  EXPECT_TRUE(FolderExists(Q(dir.file("a/b"))));
  EXPECT_TRUE(FolderExists(Q(dir.file("link"))));
  EXPECT_FALSE(FolderExists(Q(dir.file("a/file.txt"))));
  EXPECT_FALSE(FolderExists(Q(dir.file("dangling"))));
  EXPECT_FALSE(FolderExists(""));

  const std::pair<const char *, const char *> strip[] = {
      {"/", "/"},    {"C:/", "C:/"},   {"z:/", "z:/"}, {"/tmp/x/", "/tmp/x"},
      {"1:/", "1:"}, {"/tmp", "/tmp"}, {"", ""},       {"a//", "a/"}};
  for (auto [in, out] : strip)
    EXPECT_EQ(StripTrailingBackslash(in), out) << in;

  EXPECT_EQ(LongComponentName(Q(dir.file("a/file.txt"))), "file.txt");
  EXPECT_EQ(ShortComponentName(Q(dir.file("a/b/"))), "b");
  EXPECT_EQ(LongComponentName(Q(dir.file("missing"))), "");
  // No component is renamed or dropped, and a pattern is never expanded.
  const QString odd = Q(dir.file("missing/*/b"));
  EXPECT_EQ(ExpandToLongPath(odd), odd);
  EXPECT_EQ(ReduceToShortPath(odd), odd);
}

TEST(TaskWindows, OnlyWhatWasDisabledIsEnabledAgain) {
  QWidget owner, other, keep;
  owner.setEnabled(false); // the owner of a modal dialog that is open already
  {
    kv::ui::TTaskWindowsDisabled guard(&keep);
    EXPECT_FALSE(other.isEnabled());
    EXPECT_FALSE(owner.isEnabled());
    EXPECT_TRUE(keep.isEnabled());
  }
  EXPECT_TRUE(other.isEnabled());
  EXPECT_FALSE(owner.isEnabled());
}

class FolderDialogTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::filesystem::create_directories(dir_.file("logs/old"));
    kv::ui::Application().SetHelpHook([this](int context) { help_.push_back(context); });
  }
  void TearDown() override { kv::ui::Application().SetHelpHook({}); }

  kvtest::TempDir dir_;
  std::vector<int> help_;
};

TEST_F(FolderDialogTest, PreselectsAnExistingFolderAndReturnsItWithoutTrailingSeparator) {
  TKvBrowseFolderDlg dlg;
  dlg.FolderName = Q(dir_.file("logs/old/"));
  dlg.DialogText = "Bitte wählen Sie das Protokollverzeichnis aus:";
  dlg.HelpContext = 40;
  int initialized = 0;
  dlg.OnInitialized = [&](TKvBrowseFolderDlg &) { ++initialized; };
  bool ok_was_enabled = false;
  QPoint at, centre;
  kvtest::ModalDriver driver([&](QDialog &d) {
    auto &browse = static_cast<TFolderBrowseDialog &>(d);
    if (browse.SelectionPending() || browse.HighlightedPath() != Q(dir_.file("logs/old"))) return false;
    ok_was_enabled = browse.OKEnabled();
    kvtest::KeepPicture(d.grab().toImage(), "folder_dialog.png");
    at = d.pos();
    centre = CenteredOnScreen(d.frameGeometry().size(), QGuiApplication::primaryScreen()->geometry().size());
    browse.OKButton()->click();
    return true;
  });
  ASSERT_TRUE(dlg.RunDialog());
  EXPECT_FALSE(driver.TimedOut());
  EXPECT_TRUE(ok_was_enabled);
  EXPECT_EQ(at, centre);
  EXPECT_EQ(initialized, 1);
  EXPECT_EQ(dlg.FolderName, Q(dir_.file("logs/old")));
  EXPECT_EQ(dlg.HighlightedName(), dlg.FolderName);
  EXPECT_EQ(dlg.Dialog(), nullptr);
}

TEST_F(FolderDialogTest, MissingFolderIsNotPreselectedAndCancelKeepsTheName) {
  TKvBrowseFolderDlg dlg;
  dlg.FolderName = Q(dir_.file("nowhere"));
  QString highlighted;
  bool had_help = true;
  kvtest::ModalDriver driver([&](QDialog &d) {
    auto &browse = static_cast<TFolderBrowseDialog &>(d);
    highlighted = browse.HighlightedPath();
    const auto buttons = d.findChildren<QPushButton *>();
    had_help =
        std::any_of(buttons.begin(), buttons.end(), [](QPushButton *b) { return b->text() == "&Hilfe"; });
    d.reject();
    return true;
  });
  EXPECT_FALSE(dlg.RunDialog());
  EXPECT_EQ(highlighted, "/"); // the default highlight, the top of the tree
  EXPECT_FALSE(had_help);      // help context 0: no help button
  EXPECT_EQ(dlg.FolderName, Q(dir_.file("nowhere")));
}

TEST_F(FolderDialogTest, HelpButtonCallsTheTopicOrSaysWhyThereIsNoneAndStaysOpen) {
  TKvBrowseFolderDlg dlg;
  dlg.HelpContext = 40;
  const QString before = kv::ui::Application().HelpFile();
  kv::ui::Application().SetHelpFile(Q(dir_.file("missing.hlp")));
  kv::ui::MessageBoxCapture boxes;
  bool still_open = false;
  int step = 0;
  kvtest::ModalDriver driver([&](QDialog &d) {
    QPushButton *help = nullptr;
    for (auto *b : d.findChildren<QPushButton *>())
      if (b->text() == "&Hilfe") help = b;
    if (!help) return false;
    if (step == 1) kv::ui::Application().SetHelpHook({}); // the second click finds no help
    if (step++ < 2) {
      help->click();
      return false;
    }
    still_open = d.isVisible();
    d.reject();
    return true;
  });
  EXPECT_FALSE(dlg.RunDialog());
  kv::ui::Application().SetHelpFile(before);
  EXPECT_TRUE(still_open);
  EXPECT_EQ(help_, std::vector<int>{40});
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].text,
            "Die Hilfedatei „" + Q(dir_.file("missing.hlp")) + "“ wurde nicht gefunden.");
}

TEST_F(FolderDialogTest, OkFollowsWhetherTheHighlightIsAnExistingFolder) {
  TKvBrowseFolderDlg dlg;
  TFolderBrowseDialog dialog;
  int changes = 0;
  dlg.OnSelChanged = [&](TKvBrowseFolderDlg &) { ++changes; };
  dlg.SelectionChanged(dialog, Q(dir_.file("logs")));
  EXPECT_TRUE(dialog.OKEnabled());
  EXPECT_EQ(dlg.HighlightedName(), Q(dir_.file("logs")));
  std::filesystem::remove(dir_.file("logs/old"));
  dlg.SelectionChanged(dialog, Q(dir_.file("logs/old"))); // a folder that is gone by now
  EXPECT_FALSE(dialog.OKEnabled());
  dlg.SelectionChanged(dialog, ""); // an item without a path
  EXPECT_FALSE(dialog.OKEnabled());
  EXPECT_EQ(dlg.HighlightedName(), "");
  EXPECT_EQ(changes, 3);
}

TEST_F(FolderDialogTest, ClosingReenablesOnlyTheWindowsItDisabled) {
  QWidget main_window, config_dialog;
  main_window.show();
  config_dialog.show();
  main_window.setEnabled(false); // the configuration dialog is modal over it
  bool config_disabled_meanwhile = false;
  kvtest::ModalDriver driver([&](QDialog &d) {
    config_disabled_meanwhile = !config_dialog.isEnabled();
    d.reject();
    return true;
  });
  QString folder = Q(dir_.file("logs"));
  EXPECT_FALSE(PickFolder(folder, "Text", 0));
  EXPECT_TRUE(config_disabled_meanwhile);
  EXPECT_TRUE(config_dialog.isEnabled());
  EXPECT_FALSE(main_window.isEnabled());
  EXPECT_EQ(folder, Q(dir_.file("logs")));
}

TEST_F(FolderDialogTest, NetworkComputersCannotBeBrowsed) {
  TKvBrowseFolderDlg dlg;
  dlg.BrowseKind = bfComputers;
  EXPECT_THROW(dlg.RunDialog(), std::system_error);
}

TEST_F(FolderDialogTest, FrameworkDialogNamesCreatesAndAsks) {
  using namespace kv::ui;
  {
    TSelectDirDialog plain(Q(dir_.file("logs")), 0, 0);
    EXPECT_EQ(plain.Directory(), Q(dir_.file("logs")));
    EXPECT_EQ(plain.NameEdit(), nullptr);
    EXPECT_TRUE(plain.HelpButton()->isHidden());
    EXPECT_EQ(plain.windowTitle(), "Verzeichnis auswählen");
  }
  MessageBoxCapture boxes;
  TSelectDirDialog ask(Q(dir_.file("logs")), sdAllowCreate | sdPrompt, 40);
  EXPECT_FALSE(ask.HelpButton()->isHidden());
  ask.NameEdit()->setText(Q(dir_.file("new/deeper")));
  boxes.SetNextAnswer(MessageAnswer::No);
  ask.accept();
  EXPECT_EQ(ask.result(), QDialog::Rejected); // "Nein" keeps the dialog open
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].text, "Das angegebene Verzeichnis existiert nicht. Soll es angelegt werden?");
  boxes.SetNextAnswer(MessageAnswer::Yes);
  ask.accept();
  EXPECT_EQ(ask.result(), QDialog::Accepted);
  ask.HelpButton()->click();
  EXPECT_EQ(help_, std::vector<int>{40});

  // OK with sdPerformCreate makes the folder and its parents; a folder under a file cannot be made.
  QString target = Q(dir_.file("made/here"));
  kvtest::ModalDriver create([&](QDialog &d) {
    static_cast<TSelectDirDialog &>(d).NameEdit()->setText(target);
    d.accept();
    return true;
  });
  QString chosen = Q(dir_.file("logs"));
  EXPECT_TRUE(SelectDirectory(chosen, sdAllowCreate | sdPerformCreate, 0));
  EXPECT_EQ(chosen, target);
  EXPECT_TRUE(QDir(target).exists());

  kvtest::WriteFile(dir_.file("plain"), "x");
  target = Q(dir_.file("plain/sub"));
  kvtest::ModalDriver fail([&](QDialog &d) {
    static_cast<TSelectDirDialog &>(d).NameEdit()->setText(target);
    d.accept();
    return true;
  });
  EXPECT_EQ(
      kvtest::FailureText<EInOutError>([&] { SelectDirectory(chosen, sdAllowCreate | sdPerformCreate, 0); }),
      "Verzeichnis kann nicht erstellt werden");
}

} // namespace
