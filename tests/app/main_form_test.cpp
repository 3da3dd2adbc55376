// The main window on the offscreen platform: its defaults, the two registry keys, the
// command-line switch and the connection-mode radio buttons.
#include "app/main_form.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolButton>
#include <QVariant>
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "net/sntp_send.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "platform/ui/message_box.h"
#include "test_support.h"

using kv::app::TMainForm;
using kv::platform::TRegistry;

namespace {

class FakeRas : public kv::net::RasBackend {
public:
  explicit FakeRas(std::vector<std::string> entries) : entries_(std::move(entries)) {}
  int EnumEntries(std::vector<std::string> &out) override {
    out = entries_;
    return 0;
  }
  int GetEntryDialParams(kv::net::RasDialParams &, bool &) override {
    return kv::net::ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
  }
  int Dial(const kv::net::RasDialParams &, kv::net::RasNotifier, kv::net::RasConnHandle &) override {
    return kv::net::ERROR_UNKNOWN;
  }
  int HangUp(kv::net::RasConnHandle) override { return kv::net::ERROR_INVALID_HANDLE; }

private:
  std::vector<std::string> entries_;
};

// One (name, file text) line of a value.
using Lines = std::vector<std::string>;

class MainFormTest : public ::testing::Test {
protected:
  void SetUp() override {
    saved_ = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
  }
  void TearDown() override { setenv("XDG_CONFIG_HOME", saved_.c_str(), 1); }

  std::unique_ptr<TMainForm> Show(QStringList args = {},
                                  std::vector<std::string> entries = {"Provider A", "Provider B"}) {
    auto form = std::make_unique<TMainForm>(dispatcher_, args, std::make_unique<FakeRas>(entries));
    // An automatic run queries a port where nothing answers, without waiting.
    form->Hooks.NtpPort = std::to_string(kvtest::FreePort());
    form->Hooks.Pause = [](int) {};
    form->Hooks.BeforeRequest = [](kv::net::TSNTPSend &c) { c.Timeout = 0; };
    QObject::connect(form.get(), &TMainForm::Closed, [this] { ++closed_; });
    form->show();
    return form;
  }

  template <class T> static T *Find(TMainForm &form, const char *name) {
    T *w = form.findChild<T *>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }

  // The value lines of a key as the file holds them, in order.
  Lines KeyLines(const std::string &key) const {
    std::istringstream in(kvtest::ReadFile(TRegistry::DefaultFileName()));
    Lines lines;
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line[0] == '[')
        inside = line == "[HKEY_CURRENT_USER" + key + "]";
      else if (inside && !line.empty())
        lines.push_back(line);
    }
    return lines;
  }

  void WriteKey(const char *key, const std::function<void(TRegistry &)> &fill) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(key, true));
    fill(reg);
  }

  bool ProcessUntilClosed(int count = 1) {
    return kvtest::WaitUntil([&] {
      QCoreApplication::processEvents();
      return closed_ >= count;
    });
  }

  kvtest::TempDir config_;
  std::string saved_;
  kv::platform::ManualDispatcher dispatcher_;
  kv::ui::MessageBoxCapture boxes_;
  int closed_ = 0;
};

const Lines DefaultTenValues(const std::string &dir) {
  return {"\"ProgramDirectory\"=\"" + dir + "\"",
          "\"Connection\"=dword:00000000",
          "\"Server\"=\"pool.ntp.org\"",
          "\"UseRas\"=dword:00000001",
          "\"UseSocks5\"=dword:00000000",
          "\"UseLAN\"=dword:00000000",
          "\"SocksIP\"=\"\"",
          "\"SocksPort\"=\"1080\"",
          "\"SocksUsername\"=\"\"",
          "\"SocksPassword\"=\"\""};
}

TEST_F(MainFormTest, FirstStartShowsTheDefaultsAndCloseWritesTheTenValuesInOrder) {
  auto form = Show();
  EXPECT_EQ(form->windowTitle(), "Korvane 2005");
  EXPECT_EQ(form->size(), QSize(609, 441));
  EXPECT_TRUE(Find<QRadioButton>(*form, "optDUN")->isChecked());
  EXPECT_FALSE(Find<QRadioButton>(*form, "optSocks")->isChecked());
  EXPECT_EQ(Find<QLineEdit>(*form, "efPort")->text(), "1080");
  EXPECT_FALSE(Find<QLineEdit>(*form, "efIP")->isEnabled());
  EXPECT_EQ(Find<QLineEdit>(*form, "efPassword")->echoMode(), QLineEdit::Password);
  EXPECT_EQ(Find<QLabel>(*form, "ofDUNStatus")->text(), "Nicht verbunden");
  EXPECT_EQ(Find<QToolButton>(*form, "btnSync")->text(), "&Synchronisieren");
  EXPECT_EQ(Find<QToolButton>(*form, "btnSync")->focusPolicy(), Qt::NoFocus);
  auto *combo = Find<QComboBox>(*form, "efConnections");
  ASSERT_EQ(combo->count(), 2);
  EXPECT_EQ(combo->currentIndex(), 0);
  EXPECT_EQ(form->Timer->interval(), 1000);
  EXPECT_TRUE(form->Timer->isActive());
  EXPECT_EQ(form->DialUp1->DialMode, kv::net::TDialMode::dmSync);
  ASSERT_EQ(form->actions().size(), 1);
  EXPECT_EQ(form->actions()[0]->text(), "Info über...");

  const auto &f = form->Fields();
  EXPECT_TRUE(f.ModeDialUp);
  EXPECT_FALSE(f.ModeSocks5 || f.ModeLAN || f.AutoMode || f.Auto.ANetMessage || f.Auto.ALogging);
  EXPECT_EQ(f.Auto.ATimeout, 15);
  EXPECT_EQ(f.ComputerName.toStdString(), kv::platform::ComputerName());
  EXPECT_TRUE(KeyLines("\\Software\\Halvern\\Korvane").empty()) << "showing writes nothing";

  form->close();
  EXPECT_EQ(closed_, 1);
  EXPECT_EQ(KeyLines("\\Software\\Halvern\\Korvane"), DefaultTenValues(kv::platform::ProgramDirectory()));
}

TEST_F(MainFormTest, ARestartRestoresWhatCloseSaved) {
  {
    auto form = Show();
    Find<QRadioButton>(*form, "optSocks")->click();
    Find<QComboBox>(*form, "efConnections")->setCurrentIndex(1);
    Find<QLineEdit>(*form, "efAddress")->setText("ntp.test");
    Find<QLineEdit>(*form, "efIP")->setText("127.0.0.2");
    Find<QLineEdit>(*form, "efPort")->setText("1081");
    Find<QLineEdit>(*form, "efUser")->setText("user");
    Find<QLineEdit>(*form, "efPassword")->setText("pa\"ss");
    form->close();
  }
  auto form = Show();
  const auto &f = form->Fields();
  EXPECT_TRUE(f.ModeSocks5);
  EXPECT_FALSE(f.ModeDialUp || f.ModeLAN);
  EXPECT_TRUE(Find<QRadioButton>(*form, "optSocks")->isChecked());
  EXPECT_FALSE(Find<QRadioButton>(*form, "optDUN")->isChecked());
  EXPECT_TRUE(Find<QLineEdit>(*form, "efIP")->isEnabled());
  EXPECT_FALSE(Find<QComboBox>(*form, "efConnections")->isEnabled());
  EXPECT_EQ(Find<QComboBox>(*form, "efConnections")->currentIndex(), 1);
  EXPECT_EQ(form->DialUp1->Entry, "Provider B");
  EXPECT_EQ(Find<QLineEdit>(*form, "efAddress")->text(), "ntp.test");
  EXPECT_EQ(Find<QLineEdit>(*form, "efIP")->text(), "127.0.0.2");
  EXPECT_EQ(Find<QLineEdit>(*form, "efPort")->text(), "1081");
  EXPECT_EQ(Find<QLineEdit>(*form, "efUser")->text(), "user");
  EXPECT_EQ(Find<QLineEdit>(*form, "efPassword")->text(), "pa\"ss");
}

TEST_F(MainFormTest, OfSeveralTrueModeValuesTheLastReadWins) {
  struct Case {
    int ras, socks, lan;
    const char *winner;
  };
  for (Case c : {Case{1, 1, 0, "optSocks"}, Case{1, 0, 1, "optLAN"}, Case{1, 1, 1, "optLAN"},
                 Case{0, 1, 1, "optLAN"}, Case{0, 0, 1, "optLAN"}, Case{1, 0, 0, "optDUN"}}) {
    WriteKey(kv::app::kInteractiveKey, [&](TRegistry &r) {
      r.WriteBool("UseRAS", c.ras);
      r.WriteBool("UseSocks5", c.socks);
      r.WriteBool("UseLAN", c.lan);
    });
    auto form = Show();
    const auto &f = form->Fields();
    const std::string winner = c.winner;
    EXPECT_EQ(f.ModeDialUp, winner == "optDUN") << winner;
    EXPECT_EQ(f.ModeSocks5, winner == "optSocks") << winner;
    EXPECT_EQ(f.ModeLAN, winner == "optLAN") << winner;
    for (const char *name : {"optDUN", "optSocks", "optLAN"})
      EXPECT_EQ(Find<QRadioButton>(*form, name)->isChecked(), winner == name) << winner << " " << name;
  }
}

TEST_F(MainFormTest, AllModeValuesFalseLeaveNoModeAndNoButtonChecked) {
  WriteKey(kv::app::kInteractiveKey, [](TRegistry &r) {
    r.WriteBool("UseRAS", false);
    r.WriteBool("UseSocks5", false);
    r.WriteBool("UseLAN", false);
  });
  auto form = Show();
  const auto &f = form->Fields();
  EXPECT_FALSE(f.ModeDialUp || f.ModeSocks5 || f.ModeLAN);
  for (const char *name : {"optDUN", "optSocks", "optLAN"})
    EXPECT_FALSE(Find<QRadioButton>(*form, name)->isChecked()) << name;
  // A click afterwards still selects exactly one mode.
  Find<QRadioButton>(*form, "optLAN")->click();
  EXPECT_TRUE(f.ModeLAN && !f.ModeDialUp && !f.ModeSocks5);
  Find<QRadioButton>(*form, "optDUN")->click();
  EXPECT_FALSE(Find<QRadioButton>(*form, "optLAN")->isChecked());
  EXPECT_TRUE(f.ModeDialUp && !f.ModeLAN);
}

TEST_F(MainFormTest, RadioHandlersEnableTheirControls) {
  auto form = Show();
  auto enabled = [&](const char *name) { return Find<QWidget>(*form, name)->isEnabled(); };
  Find<QRadioButton>(*form, "optSocks")->click();
  for (const char *n : {"Label1", "Label6", "Label7", "Label8", "efIP", "efPort", "efUser", "efPassword"})
    EXPECT_TRUE(enabled(n)) << n;
  for (const char *n : {"efConnections", "ofDUNStatus", "Label2"})
    EXPECT_FALSE(enabled(n)) << n;
  Find<QRadioButton>(*form, "optLAN")->click();
  for (const char *n : {"efIP", "efPassword", "efConnections", "Label2"})
    EXPECT_FALSE(enabled(n)) << n;
  Find<QRadioButton>(*form, "optDUN")->click();
  for (const char *n : {"efConnections", "ofDUNStatus", "Label2"})
    EXPECT_TRUE(enabled(n)) << n;
  EXPECT_FALSE(enabled("efUser"));
}

TEST_F(MainFormTest, AutomaticModeReadsItsKeyWithTheThreeGuardedValuesAndCloses) {
  WriteKey(kv::app::kInteractiveKey, [](TRegistry &r) {
    r.WriteInteger("Connection", 0);
    r.WriteString("Server", "interactive.test");
    r.WriteBool("UseRAS", true);
    r.WriteBool("UseSocks5", false);
    r.WriteBool("UseLAN", false);
  });
  WriteKey(kv::app::kAutoKey, [](TRegistry &r) {
    r.WriteInteger("AConnection", 1);
    r.WriteInteger("ATimeout", 0);
    r.WriteString("AServer", "127.0.0.9");
    r.WriteBool("ANetMessage", true);
    r.WriteString("ANetRecipient", "admin@example.org");
    r.WriteString("ANetSender", "korvane@example.org");
    r.WriteString("ASMTPServer", "127.0.0.1");
    r.WriteString("ASMTPPort", "2525");
    r.WriteString("ASMTPUser", "mailer");
    r.WriteString("ASMTPPassword", "secret");
    r.WriteBool("AUseRAS", false);
    r.WriteBool("AUseSocks5", false);
    r.WriteBool("AUseLAN", true);
    r.WriteString("ASocksIP", "127.0.0.3");
    r.WriteString("ASocksPort", "1082");
    r.WriteString("ASocksUsername", "su");
    r.WriteString("ASocksPassword", "sp");
    // "ALogging" and "ALoggingCount" missing, "ALoggingPath" of the wrong type.
    r.WriteInteger("ALoggingPath", 3);
  });
  const Lines interactiveBefore = KeyLines("\\Software\\Halvern\\Korvane");

  auto form = Show({"/a", "more", "args"});
  const auto &f = form->Fields();
  EXPECT_EQ(form->windowTitle(), "Korvane  * Automatik-Modus *");
  EXPECT_TRUE(f.AutoMode);
  EXPECT_EQ(f.Auto.ATimeout, 0);
  EXPECT_EQ(Find<QLineEdit>(*form, "efAddress")->text(), "127.0.0.9");
  EXPECT_TRUE(f.Auto.ANetMessage);
  EXPECT_EQ(f.Auto.ANetRecipient, "admin@example.org");
  EXPECT_EQ(f.Auto.ANetSender, "korvane@example.org");
  EXPECT_EQ(f.Auto.ASMTPServer, "127.0.0.1");
  EXPECT_EQ(f.Auto.ASMTPPort, "2525");
  EXPECT_EQ(f.Auto.ASMTPUser, "mailer");
  EXPECT_EQ(f.Auto.ASMTPPassword, "secret");
  EXPECT_TRUE(f.ModeLAN && !f.ModeDialUp && !f.ModeSocks5);
  EXPECT_EQ(Find<QComboBox>(*form, "efConnections")->currentIndex(), 1);
  EXPECT_EQ(form->DialUp1->Entry, "Provider B");
  EXPECT_EQ(Find<QLineEdit>(*form, "efIP")->text(), "127.0.0.3");
  EXPECT_EQ(Find<QLineEdit>(*form, "efPort")->text(), "1082");
  EXPECT_EQ(Find<QLineEdit>(*form, "efUser")->text(), "su");
  EXPECT_EQ(Find<QLineEdit>(*form, "efPassword")->text(), "sp");
  EXPECT_FALSE(f.Auto.ALogging);
  EXPECT_EQ(f.Auto.ALoggingPath,
            kv::app::DefaultLoggingPath(QString::fromStdString(kv::platform::ProgramDirectory())));
  EXPECT_EQ(f.Auto.ALoggingCount, 5);

  // The automatic mode ends by itself and leaves the interactive settings alone.
  ASSERT_TRUE(ProcessUntilClosed());
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(KeyLines("\\Software\\Halvern\\Korvane"), interactiveBefore);
}

// Each value of the table, unlike the window's own, reaches the window's fields, and those the run
// reads from controls also reach the controls.
TEST_F(MainFormTest, EveryAutomaticValueReachesTheWindow) {
  kv::app::TAutoSettings key;
  int n = 0;
  kv::app::ForEachAutoValue(key, [&](const char *, auto &value) {
    using T = std::decay_t<decltype(value)>;
    if constexpr (std::is_same_v<T, bool>)
      value = !value;
    else if constexpr (std::is_same_v<T, QString>)
      value = QStringLiteral("v%1").arg(++n);
    else
      value = ++n;
  });
  // The run this starts asks loopback only, in LAN mode, and logs into a folder of its own.
  kvtest::TempDir log;
  key.AServer = "127.0.0.9";
  key.AUseSocks5 = false;
  key.AConnection = 1;
  key.ALoggingPath = QString::fromStdString(log.path());
  TRegistry reg;
  kv::app::WriteAutoSettings(reg, key);
  auto texts = [](kv::app::TAutoSettings v) {
    std::vector<std::string> out;
    kv::app::ForEachAutoValue(v, [&](const char *name, const auto &value) {
      out.push_back(name + ("=" + QVariant(value).toString().toStdString()));
    });
    return out;
  };
  auto form = Show({"/a"});
  ASSERT_TRUE(ProcessUntilClosed());
  EXPECT_EQ(texts(form->Fields().Auto), texts(key));
  // The run reads these from the controls.
  for (auto [name, value] : {std::pair{"efAddress", key.AServer},
                             {"efIP", key.ASocksIP},
                             {"efPort", key.ASocksPort},
                             {"efUser", key.ASocksUsername},
                             {"efPassword", key.ASocksPassword}})
    EXPECT_EQ(Find<QLineEdit>(*form, name)->text(), value) << name;
  EXPECT_EQ(Find<QComboBox>(*form, "efConnections")->currentIndex(), 1);
  EXPECT_EQ(form->DialUp1->Entry, "Provider B");
  EXPECT_TRUE(form->Fields().ModeLAN && !form->Fields().ModeDialUp && !form->Fields().ModeSocks5);
  EXPECT_TRUE(Find<QRadioButton>(*form, "optLAN")->isChecked());
}

TEST_F(MainFormTest, AStatusTipLeavesTheRunsStatusInView) {
  auto form = Show();
  auto *status = Find<QLabel>(*form, "StatusText");
  status->setText("Delay 0,01234 s");
  const QString tip = "Öffnet die Konfiguration des Automatik-Modus";
  QStatusTipEvent event(tip);
  QCoreApplication::sendEvent(form.get(), &event);
  QCoreApplication::processEvents();
  EXPECT_EQ(Find<QStatusBar>(*form, "StatusBar")->currentMessage(), tip);
  EXPECT_TRUE(status->isVisible());
  EXPECT_EQ(status->text(), "Delay 0,01234 s");
  EXPECT_GT(status->x(), status->fontMetrics().horizontalAdvance(tip)) << "the tip has room beside it";
}

TEST_F(MainFormTest, OnlyAnExactFirstArgumentSelectsTheAutomaticMode) {
  for (const char *arg : {"/A", "/a"}) {
    auto form = Show({arg});
    EXPECT_TRUE(form->Fields().AutoMode) << arg;
  }
  for (QStringList args : {QStringList{"-a"}, QStringList{"a"}, QStringList{"x", "/a"}, QStringList{"/a "}}) {
    auto form = Show(args);
    EXPECT_FALSE(form->Fields().AutoMode) << args.join(' ').toStdString();
    EXPECT_EQ(form->windowTitle(), "Korvane 2005");
  }
}

TEST_F(MainFormTest, AutomaticModeWithoutItsKeyKeepsTheInteractiveSettings) {
  WriteKey(kv::app::kInteractiveKey, [](TRegistry &r) {
    r.WriteString("Server", "interactive.test");
    r.WriteBool("UseRAS", false);
    r.WriteBool("UseSocks5", true);
    r.WriteBool("UseLAN", false);
  });
  auto form = Show({"/a"});
  const auto &f = form->Fields();
  EXPECT_TRUE(f.ModeSocks5);
  EXPECT_EQ(f.Auto.ATimeout, 15);
  EXPECT_FALSE(f.Auto.ANetMessage || f.Auto.ALogging);
  EXPECT_EQ(Find<QLineEdit>(*form, "efAddress")->text(), "interactive.test");
  EXPECT_TRUE(ProcessUntilClosed());
}

// The configuration tool creates "\Auto" and with it an empty parent key. Missing or
// wrong-typed values must read as the defaults, and the automatic mode must still end.
TEST_F(MainFormTest, MissingOrWrongTypedValuesReadAsDefaultsAndTheAutomaticModeStillEnds) {
  WriteKey(kv::app::kAutoKey, [](TRegistry &r) {
    r.WriteString("ATimeout", "20"); // wrong type
    r.WriteString("AServer", "127.0.0.9");
    r.WriteBool("AUseLAN", true); // "AUseRAS" and "AUseSocks5" missing
    r.WriteBool("ALogging", true);
    r.WriteString("ALoggingPath", "/var/tmp/kv");
    r.WriteInteger("ALoggingCount", 9);
  });
  auto form = Show({"/a"});
  const auto &f = form->Fields();
  EXPECT_EQ(f.Auto.ATimeout, 15);
  EXPECT_FALSE(f.Auto.ANetMessage);
  EXPECT_EQ(Find<QLineEdit>(*form, "efAddress")->text(), "127.0.0.9");
  EXPECT_TRUE(f.ModeLAN && !f.ModeDialUp && !f.ModeSocks5);
  EXPECT_EQ(Find<QComboBox>(*form, "efConnections")->currentIndex(), 0) << "connection default kept";
  EXPECT_EQ(Find<QLineEdit>(*form, "efPort")->text(), "") << "a missing string reads empty";
  EXPECT_TRUE(f.Auto.ALogging);
  EXPECT_EQ(f.Auto.ALoggingPath, "/var/tmp/kv");
  EXPECT_EQ(f.Auto.ALoggingCount, 9);
  EXPECT_TRUE(ProcessUntilClosed());
  EXPECT_EQ(boxes_.Shown().size(), 1u) << "only the unanswered query";
}

TEST_F(MainFormTest, InteractiveValuesOfTheWrongTypeOrOutOfRangeKeepTheDefaults) {
  WriteKey(kv::app::kInteractiveKey, [](TRegistry &r) {
    r.WriteString("Connection", "1");
    r.WriteInteger("Server", 5);
    r.WriteString("UseRAS", "0");
    r.WriteBool("UseSocks5", false);
  });
  {
    auto form = Show();
    EXPECT_EQ(Find<QComboBox>(*form, "efConnections")->currentIndex(), 0);
    EXPECT_EQ(Find<QLineEdit>(*form, "efAddress")->text(), "pool.ntp.org");
    EXPECT_TRUE(form->Fields().ModeDialUp);
    EXPECT_TRUE(Find<QRadioButton>(*form, "optDUN")->isChecked());
  }
  WriteKey(kv::app::kInteractiveKey, [](TRegistry &r) { r.WriteInteger("Connection", 7); });
  auto form = Show();
  EXPECT_EQ(Find<QComboBox>(*form, "efConnections")->currentIndex(), -1);
  EXPECT_EQ(form->DialUp1->Entry, "");
  form->close();
  const Lines lines = KeyLines("\\Software\\Halvern\\Korvane");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "\"Connection\"=dword:ffffffff"), lines.end());
}

TEST_F(MainFormTest, ASaveThatFailsIsReportedNotSwallowed) {
  kvtest::WriteFile(config_.file("korvane"), "a file where the folder should be");
  auto form = Show({}, {});
  EXPECT_EQ(Find<QComboBox>(*form, "efConnections")->count(), 0);
  form->close();
  ASSERT_EQ(boxes_.Shown().size(), 1u);
  EXPECT_EQ(boxes_.Shown()[0].caption, "Fehler");
  EXPECT_TRUE(boxes_.Shown()[0].text.startsWith("Die Einstellungen konnten nicht gespeichert werden."));
}

} // namespace
