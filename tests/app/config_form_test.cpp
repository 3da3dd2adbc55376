// The configuration dialog on the offscreen platform: its controls as first shown, reading the
// automatic-mode key, the checks of "&OK" as the user meets them, saving, cancelling, and
// starting the scheduler.
#include "app/config_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "app/main_form.h"
#include "controls/edits/tool_edit.h"
#include "platform/registry.h"
#include "platform/ui/application.h"
#include "platform/ui/message_box.h"
#include "test_support.h"

using kv::app::TConfigForm;
using kv::platform::TRegistry;
using Lines = std::vector<std::string>;

namespace {

class ConfigFormTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::filesystem::create_directories(prog_.file("peers"));
    for (const char *peer : {"Provider A", "Provider B"})
      kvtest::WriteFile(prog_.file("peers/") + peer, "");
  }

  QString ProgramDir() const { return QString::fromStdString(prog_.path() + "/"); }

  std::unique_ptr<TConfigForm> Show() {
    auto form =
        std::make_unique<TConfigForm>(nullptr, ProgramDir(), kv::app::PhoneBookListing(prog_.file("peers")));
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    return form;
  }

  template <class T = QWidget> static T *Find(TConfigForm &form, const char *name) {
    T *w = form.findChild<T *>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }

  // Replaces the text of an edit as the user would: select all, type.
  static void Type(TConfigForm &form, const char *name, const QString &text) {
    QWidget *w = Find(form, name);
    w->setFocus();
    QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(w, Qt::Key_Delete);
    QTest::keyClicks(w, text);
  }

  // Clicks near the left edge, where a radio button or check box has its mark.
  static void Click(TConfigForm &form, const char *name) {
    QWidget *w = Find(form, name);
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(8, w->height() / 2));
  }

  std::string RegistryText() const { return kvtest::ReadFile(TRegistry::DefaultFileName()); }

  // The value names of the automatic key, in file order.
  Lines AutoNames() const {
    std::istringstream in(RegistryText());
    Lines names;
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line[0] == '[')
        inside = line == std::string("[HKEY_CURRENT_USER") + kv::app::kAutoKey + "]";
      else if (inside && !line.empty())
        names.push_back(line.substr(1, line.find('"', 1) - 1));
    }
    return names;
  }

  void WriteKey(const std::function<void(TRegistry &)> &fill) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kv::app::kAutoKey, true));
    fill(reg);
  }

  kvtest::TempDir config_, prog_;
  kvtest::ScopedEnv xdg_{"XDG_CONFIG_HOME", config_.path()};
  kv::ui::MessageBoxCapture boxes_;
};

TEST_F(ConfigFormTest, FirstShowHasTheFormsTextsStatesAndTabOrder) {
  auto form = Show();
  EXPECT_EQ(form->windowTitle(), "Korvane 2005 - Konfiguration Automatik-Modus");
  // At least its laid-out size, more where the desktop's font needs it; every tab title shown.
  EXPECT_GE(form->width(), 384);
  EXPECT_GE(form->height(), 368);
  EXPECT_EQ(form->minimumSize(), form->maximumSize());
  auto *pages = Find<QTabWidget>(*form, "PageControl1");
  ASSERT_EQ(pages->count(), 3);
  const char *titles[] = {"Verbindungsoptionen", "E-Mail-Nachrichten", "Protokollierung"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(pages->tabText(i), titles[i]);
    EXPECT_FALSE(pages->tabIcon(i).isNull()) << i;
  }
  EXPECT_EQ(pages->currentIndex(), 0);
  EXPECT_GE(pages->tabBar()->width(), pages->tabBar()->tabRect(2).right());

  auto *connections = Find<QComboBox>(*form, "efConnections");
  EXPECT_EQ(connections->count(), 2);
  EXPECT_EQ(connections->currentText(), "Provider A");
  EXPECT_EQ(connections->toolTip(),
            "DFÜ-Verbindung ein, die Korvane im Automatik-\nModus zum Hinauswählen verwenden soll");
  EXPECT_TRUE(Find<QRadioButton>(*form, "optDUN")->isChecked());
  EXPECT_EQ(Find<QLineEdit>(*form, "efAddress")->text(), "pool.ntp.org");
  EXPECT_EQ(Find<QLineEdit>(*form, "efPort")->text(), "1080");
  EXPECT_EQ(Find<QLineEdit>(*form, "efSMTPPort")->text(), "25");
  EXPECT_EQ(Find<QLineEdit>(*form, "efTimeout")->text(), "15");
  EXPECT_EQ(Find<QLineEdit>(*form, "efAnzahl")->text(), "5");
  EXPECT_EQ(Find<QLineEdit>(*form, "efDirectory")->text(), kv::app::DefaultLoggingPath(ProgramDir()));
  EXPECT_EQ(Find<QLineEdit>(*form, "efPassword")->echoMode(), QLineEdit::Password);
  EXPECT_EQ(Find<QLineEdit>(*form, "efSMTPPassword")->echoMode(), QLineEdit::Password);

  for (const char *name : {"efConnections", "efAddress", "efTimeout", "chkNetMessages", "chkLogfile", "btnOK",
                           "btnCancel", "Label1", "Label8"})
    EXPECT_TRUE(Find(*form, name)->isEnabled()) << name;
  for (const char *name :
       {"efIP",        "efPort",    "efUser",   "efPassword",   "Label4",     "Label5",     "Label6",
        "Label7",      "efSender",  "efTarget", "efSMTPServer", "efSMTPPort", "efSMTPUser", "efSMTPPassword",
        "Label3",      "Label10",   "Label11",  "Label12",      "Label13",    "Label14",    "lblVerzeichnis",
        "efDirectory", "lblAnzahl", "efAnzahl", "btnPlanner"})
    EXPECT_FALSE(Find(*form, name)->isEnabled()) << name;

  // Each label's accelerator leads to its field.
  const std::pair<const char *, const char *> buddies[] = {{"Label4", "efIP"},
                                                           {"Label5", "efPort"},
                                                           {"Label6", "efUser"},
                                                           {"Label7", "efPassword"},
                                                           {"Label1", "efAddress"},
                                                           {"Label8", "efTimeout"},
                                                           {"Label14", "efSender"},
                                                           {"Label3", "efTarget"},
                                                           {"Label10", "efSMTPServer"},
                                                           {"Label11", "efSMTPPort"},
                                                           {"Label12", "efSMTPUser"},
                                                           {"Label13", "efSMTPPassword"},
                                                           {"lblVerzeichnis", "efDirectory"},
                                                           {"lblAnzahl", "efAnzahl"}};
  for (auto [label, field] : buddies) {
    EXPECT_EQ(Find<QLabel>(*form, label)->buddy(), Find(*form, field)) << label;
    EXPECT_TRUE(Find<QLabel>(*form, label)->text().contains('&')) << label;
  }

  // Tab order through the three pages, then the buttons.
  const Lines order = {"optDUN",         "efConnections",  "optSocks5",  "efIP",         "efPort",
                       "efUser",         "efPassword",     "optLAN",     "efAddress",    "efTimeout",
                       "chkNetMessages", "efSender",       "efTarget",   "efSMTPServer", "efSMTPPort",
                       "efSMTPUser",     "efSMTPPassword", "chkLogfile", "efDirectory",  "efAnzahl",
                       "btnOK",          "btnCancel",      "btnPlanner"};
  Lines chain;
  for (QWidget *w = Find(*form, "optDUN"); chain.size() < order.size(); w = w->nextInFocusChain()) {
    const std::string name = w->objectName().toStdString();
    if (std::find(order.begin(), order.end(), name) != order.end()) chain.push_back(name);
  }
  EXPECT_EQ(chain, order);
  EXPECT_TRUE(Find<QPushButton>(*form, "btnOK")->isDefault());
}

TEST_F(ConfigFormTest, LogFolderEditAndHelpTopics) {
  auto form = Show();
  auto *dir = Find<kv::edits::TKvDirectoryEdit>(*form, "efDirectory");
  EXPECT_EQ(dir->DialogText(), "Bitte wählen Sie das Protokollverzeichnis aus:");
  EXPECT_EQ(dir->DialogKind(), kv::edits::dkWin32);
  EXPECT_EQ(dir->ButtonWidth(), 20);
  EXPECT_EQ(dir->HelpContext(), 40);
  // F1 opens the topic of the focused field's tab.
  std::vector<int> topics;
  kv::ui::Application().SetHelpHook([&](int context) { topics.push_back(context); });
  auto *pages = Find<QTabWidget>(*form, "PageControl1");
  const char *fields[] = {"efAddress", "efSender", "efAnzahl"};
  for (int page = 0; page < 3; ++page) {
    pages->setCurrentIndex(page);
    Find(*form, fields[page])->setFocus();
    QTest::keyClick(form.get(), Qt::Key_F1);
  }
  kv::ui::Application().SetHelpHook({});
  EXPECT_EQ(topics, (std::vector<int>{6, 30, 40}));
}

TEST_F(ConfigFormTest, FirstUseCreatesTheKeyWithAllTwentyValuesInOrder) {
  auto form = Show();
  Click(*form, "optLAN");
  Click(*form, "btnOK");
  EXPECT_TRUE(boxes_.Shown().empty());
  EXPECT_EQ(form->result(), QDialog::Accepted);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(AutoNames(),
            (Lines{"AConnection",    "AServer",    "ANetMessage", "ANetRecipient", "ANetSender",
                   "ASMTPServer",    "ASMTPPort",  "ASMTPUser",   "ASMTPPassword", "AUseLAN",
                   "AUseRas",        "AUseSocks5", "ASocksIP",    "ASocksPort",    "ASocksUsername",
                   "ASocksPassword", "ATimeout",   "ALogging",    "ALoggingPath",  "ALoggingCount"}));
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKeyReadOnly(kv::app::kAutoKey));
  EXPECT_TRUE(reg.ReadBool("AUseLAN"));
  EXPECT_FALSE(reg.ReadBool("AUseRAS"));
  EXPECT_EQ(reg.ReadInteger("ATimeout"), 15);
  EXPECT_EQ(reg.ReadString("ALoggingPath"), kv::app::DefaultLoggingPath(ProgramDir()).toStdString());
}

// A hand-written key with logging on and no log folder, or an empty one: the dialog offers the
// default folder, which the run then uses, and OK saves it instead of asking for a folder.
TEST_F(ConfigFormTest, AKeyWithoutALogFolderOffersTheDefaultFolder) {
  for (bool empty : {false, true}) {
    WriteKey([&](TRegistry &r) {
      r.WriteString("AServer", "ntp.example.org");
      r.WriteBool("AUseLAN", true);
      r.WriteBool("ALogging", true);
      if (empty) r.WriteString("ALoggingPath", "");
    });
    auto form = Show();
    EXPECT_EQ(Find<QLineEdit>(*form, "efDirectory")->text(), kv::app::DefaultLoggingPath(ProgramDir()));
    Click(*form, "btnOK");
    EXPECT_TRUE(boxes_.Shown().empty()) << empty;
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(kv::app::kAutoKey));
    EXPECT_EQ(reg.ReadString("ALoggingPath"), kv::app::DefaultLoggingPath(ProgramDir()).toStdString());
  }
}

TEST_F(ConfigFormTest, CancelEscapeAndTheCloseBoxWriteNothing) {
  WriteKey([](TRegistry &r) { r.WriteString("AServer", "ntp.example.org"); });
  const std::string before = RegistryText();
  for (int way = 0; way < 3; ++way) {
    auto form = Show();
    Type(*form, "efAddress", "anders.example.org");
    Click(*form, "optLAN");
    if (way == 0)
      Click(*form, "btnCancel");
    else if (way == 1)
      QTest::keyClick(form.get(), Qt::Key_Escape);
    else
      form->close();
    EXPECT_FALSE(form->isVisible()) << way;
    EXPECT_EQ(form->result(), QDialog::Rejected) << way;
  }
  EXPECT_EQ(RegistryText(), before);
}

TEST_F(ConfigFormTest, StoredValuesAreShownAndAHalfFilledKeyLosesNothingOnOk) {
  WriteKey([](TRegistry &r) {
    r.WriteString("AServer", "ntp.example.org");
    r.WriteString("AUseRAS", "kaputt"); // wrong type: the default stays
    r.WriteBool("AUseSocks5", true);
    r.WriteBool("AUseLAN", true); // several switches: the last one read wins
    r.WriteString("ASocksIP", "127.0.0.9");
    r.WriteInteger("ATimeout", 200);
    r.WriteBool("ALogging", true);
    r.WriteString("ALoggingPath", "/srv/korvane");
    r.WriteInteger("ALoggingCount", 7);
    r.WriteString("ASMTPPassword", "geheim");
  });
  auto form = Show();
  EXPECT_TRUE(Find<QRadioButton>(*form, "optLAN")->isChecked());
  EXPECT_FALSE(Find<QRadioButton>(*form, "optSocks5")->isChecked());
  EXPECT_FALSE(Find(*form, "efConnections")->isEnabled());
  EXPECT_FALSE(Find(*form, "efIP")->isEnabled());
  EXPECT_EQ(Find<QLineEdit>(*form, "efTimeout")->text(), "120");
  EXPECT_TRUE(Find<QCheckBox>(*form, "chkLogfile")->isChecked());
  for (const char *name : {"lblVerzeichnis", "efDirectory", "lblAnzahl", "efAnzahl"})
    EXPECT_TRUE(Find(*form, name)->isEnabled()) << name;
  EXPECT_EQ(Find<QLineEdit>(*form, "efDirectory")->text(), "/srv/korvane");
  EXPECT_EQ(Find<QLineEdit>(*form, "efAnzahl")->text(), "7");
  EXPECT_EQ(Find<QLineEdit>(*form, "efSMTPPort")->text(), "") << "a missing string reads as empty";

  Type(*form, "efSMTPPort", "25");
  Click(*form, "btnOK");
  ASSERT_TRUE(boxes_.Shown().empty()) << boxes_.Shown()[0].text.toStdString();
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKeyReadOnly(kv::app::kAutoKey));
  EXPECT_EQ(reg.GetValueNames().size(), 20u);
  EXPECT_TRUE(reg.ReadBool("ALogging"));
  EXPECT_EQ(reg.ReadString("ALoggingPath"), "/srv/korvane");
  EXPECT_EQ(reg.ReadInteger("ALoggingCount"), 7);
  EXPECT_EQ(reg.ReadInteger("ATimeout"), 120);
  EXPECT_EQ(reg.ReadString("ASMTPPassword"), "geheim");
  EXPECT_EQ(reg.ReadString("ASocksIP"), "127.0.0.9");
  EXPECT_TRUE(reg.ReadBool("AUseLAN"));
  EXPECT_FALSE(reg.ReadBool("AUseRAS"));
  EXPECT_FALSE(reg.ReadBool("AUseSocks5"));
}

TEST_F(ConfigFormTest, FailedChecksShowTheirMessageSelectTheTabAndFocusTheField) {
  std::filesystem::remove(prog_.file("peers/Provider A"));
  std::filesystem::remove(prog_.file("peers/Provider B"));
  auto form = Show();
  auto *pages = Find<QTabWidget>(*form, "PageControl1");
  struct Step {
    std::function<void()> act;
    const char *message;
    kv::ui::MessageIcon icon;
    int tab;
    const char *focus;
  };
  const Step steps[] = {
      {[] {}, "Bitte wählen Sie zuerst eine DFÜ-Verbindung aus oder legen Sie eine an.",
       kv::ui::MessageIcon::Warning, 0, nullptr},
      // On another tab, the proxy field's tab is shown so that the field can take the focus.
      {[&] {
         Click(*form, "optSocks5");
         Type(*form, "efIP", "");
         pages->setCurrentIndex(2);
       },
       "Bitte geben Sie die IP-Adresse des Socks-Proxy an.", kv::ui::MessageIcon::Error, 0, "efIP"},
      {[&] {
         Type(*form, "efIP", "127.0.0.1");
         Type(*form, "efTimeout", "5-");
         pages->setCurrentIndex(1);
       },
       "Bitte geben Sie das Timeout (0 bis 120) an.", kv::ui::MessageIcon::Error, 0, "efTimeout"},
      {[&] {
         Type(*form, "efTimeout", "30");
         pages->setCurrentIndex(1);
         Click(*form, "chkNetMessages");
       },
       "Bitte geben Sie Ihr Absenderadresse für den Mailversand an.", kv::ui::MessageIcon::Error, 1,
       "efSender"},
      {[&] {
         Click(*form, "chkNetMessages");
         pages->setCurrentIndex(2);
         Click(*form, "chkLogfile");
         // Text without a number is refused, not read as the minimum 1.
         Type(*form, "efAnzahl", "5-");
         pages->setCurrentIndex(0);
       },
       "Bitte geben Sie die Anzahl der zu speichernden Proktolle (0 bis 99) an.", kv::ui::MessageIcon::Error,
       2, "efAnzahl"},
  };
  for (const Step &s : steps) {
    boxes_.Clear();
    s.act();
    Click(*form, "btnOK");
    ASSERT_EQ(boxes_.Shown().size(), 1u) << s.message;
    EXPECT_EQ(boxes_.Shown()[0].text.toStdString(), s.message);
    EXPECT_EQ(boxes_.Shown()[0].caption, "Fehler");
    EXPECT_EQ(boxes_.Shown()[0].icon, s.icon) << s.message;
    EXPECT_EQ(pages->currentIndex(), s.tab) << s.message;
    if (s.focus) {
      EXPECT_EQ(form->focusWidget(), Find(*form, s.focus)) << s.message;
    }
    EXPECT_TRUE(form->isVisible());
  }
  EXPECT_FALSE(std::filesystem::exists(TRegistry::DefaultFileName()))
      << "nothing is written while a check fails";
}

TEST_F(ConfigFormTest, LogControlsFollowTheCheckBox) {
  auto form = Show();
  Find<QTabWidget>(*form, "PageControl1")->setCurrentIndex(2);
  for (int i = 0; i < 3; ++i) {
    Click(*form, "chkLogfile");
    const bool on = Find<QCheckBox>(*form, "chkLogfile")->isChecked();
    EXPECT_EQ(on, i % 2 == 0);
    for (const char *name : {"lblVerzeichnis", "efDirectory", "lblAnzahl", "efAnzahl"})
      EXPECT_EQ(Find(*form, name)->isEnabled(), on) << name;
  }
  // Calling the handler on its own cannot put them out of step either.
  form->chkLogfileClick();
  EXPECT_TRUE(Find(*form, "efDirectory")->isEnabled());
}

TEST_F(ConfigFormTest, PlannerStartsTheSchedulerWithTheProgramDirectory) {
  const std::string scheduler = prog_.file("kvnsched");
  for (const bool there : {false, true}) { // missing, then not executable
    if (there) kvtest::WriteFile(scheduler, "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" > \"$0.args\"\n", 0644);
    EXPECT_FALSE(Find(*Show(), "btnPlanner")->isEnabled()) << there;
  }
  std::filesystem::permissions(scheduler, std::filesystem::perms::owner_exec,
                               std::filesystem::perm_options::add);
  auto form = Show();
  ASSERT_TRUE(Find(*form, "btnPlanner")->isEnabled());
  Click(*form, "btnPlanner");
  ASSERT_TRUE(kvtest::WaitUntil([&] { return !kvtest::ReadFile(scheduler + ".args").empty(); }));
  EXPECT_EQ(kvtest::ReadFile(scheduler + ".args"), "1|" + prog_.path() + "/|");
  EXPECT_TRUE(boxes_.Shown().empty());
  EXPECT_TRUE(form->isVisible()) << "starting the scheduler keeps the dialog open";

  // Gone after the dialog was shown: the failed start is reported.
  std::filesystem::remove(scheduler);
  form->btnPlannerClick();
  ASSERT_EQ(boxes_.Shown().size(), 1u);
  EXPECT_EQ(boxes_.Shown()[0].text,
            "Das Planungsprogramm „" + ProgramDir() +
                "kvnsched“ konnte nicht gestartet werden.\nDie Datei ist nicht vorhanden.");
  EXPECT_EQ(boxes_.Shown()[0].icon, kv::ui::MessageIcon::Error);
}

TEST_F(ConfigFormTest, GlobalReferenceIsTheNewestInstance) {
  auto first = Show();
  EXPECT_EQ(kv::app::ConfigForm, first.get());
  auto second = Show();
  EXPECT_EQ(kv::app::ConfigForm, second.get());
  second.reset();
  EXPECT_EQ(kv::app::ConfigForm, nullptr);
}

// Each tab drawn: every control lies whole inside the window and no two fields overlap. With
// KORVANE_SHOTS_DIR set, the pictures are saved there to be looked at.
TEST_F(ConfigFormTest, EachTabLaysItsControlsOutInsideTheWindow) {
  auto form = Show();
  auto *pages = Find<QTabWidget>(*form, "PageControl1");
  const char *shots = std::getenv("KORVANE_SHOTS_DIR");
  for (int i = 0; i < pages->count(); ++i) {
    pages->setCurrentIndex(i);
    if (i == 2) Find<QCheckBox>(*form, "chkLogfile")->setChecked(true);
    const QImage image = form->grab().toImage();
    EXPECT_EQ(image.size(), form->size() * image.devicePixelRatio());
    if (shots) image.save(QString::fromLocal8Bit(shots) + QStringLiteral("/config-tab%1.png").arg(i));
    std::vector<std::pair<QRect, std::string>> fields;
    for (QWidget *w : pages->widget(i)->findChildren<QWidget *>()) {
      if (!w->isVisible() || w->objectName().isEmpty() || w->objectName().startsWith("qt_")) continue;
      const QRect r(w->mapTo(form.get(), QPoint(0, 0)), w->size());
      EXPECT_TRUE(form->rect().contains(r)) << w->objectName().toStdString();
      if (qobject_cast<QLineEdit *>(w) || qobject_cast<QComboBox *>(w) ||
          qobject_cast<QAbstractButton *>(w)) {
        for (const auto &[other, name] : fields)
          EXPECT_FALSE(other.intersects(r)) << name << " / " << w->objectName().toStdString();
        fields.emplace_back(r, w->objectName().toStdString());
      }
    }
    EXPECT_GE(fields.size(), i == 2 ? 3u : 7u);
  }
}

} // namespace
