// The synchronisation run of the main window, offscreen: the clock replaced, a scripted NTP
// responder on loopback, a fake dial-up backend, aiosmtpd for the notice, the real logger
// writing into a temporary folder.
#include "app/main_form.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "app/config_values.h"
#include "app/mail_notice.h"
#include "log/fast_log.h"
#include "net/ras.h"
#include "net/sntp_send.h"
#include "platform/registry.h"
#include "platform/ui/application.h"
#include "platform/ui/message_box.h"
#include "platform/ui/termination_signals.h"
#include "test_support.h"
#include "tests/net/sntp_fixtures.h"
#include "tests/peers/proxy_peers.h"
#include "tests/peers/smtp_peer.h"

using kv::app::TMainForm;
using kv::platform::TRegistry;
using Lines = std::vector<std::string>;

namespace {

// The phone book and the dials; reports come from a thread, as from a real backend.
struct FakeRasState {
  std::vector<std::string> book{"Provider {dte}"};
  int dialResult = 0;
  int dials = 0, hangUps = 0;
  std::atomic<int> reported{0};
  kv::net::RasNotifier notifier;
  std::vector<std::thread> threads;
  ~FakeRasState() {
    for (auto &t : threads)
      t.join();
  }
};

class FakeRas : public kv::net::RasBackend {
public:
  explicit FakeRas(FakeRasState &s) : s_(s) {}
  int EnumEntries(std::vector<std::string> &entries) override {
    entries = s_.book;
    return 0;
  }
  int GetEntryDialParams(kv::net::RasDialParams &p, bool &) override {
    return std::find(s_.book.begin(), s_.book.end(), p.EntryName) != s_.book.end()
               ? 0
               : kv::net::ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
  }
  int Dial(const kv::net::RasDialParams &, kv::net::RasNotifier n, kv::net::RasConnHandle &handle) override {
    ++s_.dials;
    handle = 9;
    s_.notifier = std::move(n);
    return s_.dialResult;
  }
  int HangUp(kv::net::RasConnHandle) override {
    ++s_.hangUps;
    return 0;
  }

private:
  FakeRasState &s_;
};

// How a widget was last painted: enabled, disabled, or not at all.
class PaintWatch : public QObject {
public:
  explicit PaintWatch(QWidget *widget) : QObject(widget) { widget->installEventFilter(this); }
  std::string State() const { return state_; }

protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (event->type() == QEvent::Paint)
      state_ = static_cast<QWidget *>(watched)->isEnabled() ? "enabled" : "disabled";
    return false;
  }

private:
  std::string state_ = "never";
};

// Each change of a widget's enabled state, with what had happened by then.
class EnableWatch : public QObject {
public:
  EnableWatch(QWidget *widget, std::function<std::string()> moment)
      : QObject(widget), moment_(std::move(moment)) {
    widget->installEventFilter(this);
  }
  const Lines &Changes() const { return changes_; }
  void Clear() { changes_.clear(); }

protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (event->type() == QEvent::EnabledChange)
      changes_.push_back(static_cast<QWidget *>(watched)->isEnabled() ? "enabled after " + moment_()
                                                                      : "disabled");
    return false;
  }

private:
  std::function<std::string()> moment_;
  Lines changes_;
};

class SyncRunTest : public ::testing::Test {
protected:
  void SetUp() override {
    const char *config = std::getenv("XDG_CONFIG_HOME");
    savedConfig_ = config ? config : "";
    setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
    setenv("TZ", "UTC", 1);
    tzset();
    kv::platform::SetFormatSettings({"%d.%m.%Y", "%H:%M:%S", '.', ':', ',', '.'});
    NextRun();
    responder_.SetScript(sntptest::ServerAhead(clock_, 100));
  }
  void TearDown() override {
    kv::logging::DestroyGlobalLog();
    setenv("XDG_CONFIG_HOME", savedConfig_.c_str(), 1);
  }

  // The automatic key: LAN mode against the responder, logging into log_, time-out 2 s.
  void AutoKey(const std::function<void(TRegistry &)> &more = {}) {
    TRegistry r;
    ASSERT_TRUE(r.OpenKey(kv::app::kAutoKey, true));
    r.WriteInteger("ATimeout", 2);
    r.WriteString("AServer", "127.0.0.1");
    r.WriteBool("AUseLAN", true);
    r.WriteBool("ALogging", true);
    r.WriteString("ALoggingPath", log_.path());
    r.WriteInteger("ALoggingCount", 3);
    if (more) more(r);
  }
  void MailTo(const kvtest::SmtpPeer &peer, const std::function<void(TRegistry &)> &more = {}) {
    AutoKey([&](TRegistry &r) {
      r.WriteBool("ANetMessage", true);
      r.WriteString("ANetSender", "korvane@example.org");
      r.WriteString("ANetRecipient", "admin@example.org");
      r.WriteString("ASMTPServer", "127.0.0.1");
      r.WriteString("ASMTPPort", peer.PortText());
      if (more) more(r);
    });
  }
  void StartSmtp(kvtest::SmtpPeer &peer, const kvtest::SmtpOptions &options = {}) {
    ASSERT_TRUE(peer.Start(options)) << peer.why();
  }

  std::unique_ptr<TMainForm> Show(QStringList args = {"/a"}) {
    auto form = std::make_unique<TMainForm>(gui_, args, std::make_unique<FakeRas>(ras_));
    auto *sync = Find<QToolButton>(*form, "btnSync");
    auto *painted = new PaintWatch(sync);
    enables_ = new EnableWatch(sync, [this] {
      return std::to_string(requests_.size()) + " queries, " + std::to_string(boxes_.Shown().size()) +
             " boxes, " + std::to_string(ras_.hangUps) + " hang-ups";
    });
    // A silent run queries a port where nothing listens and does not wait for it.
    form->Hooks.NtpPort = silent_ ? std::to_string(kvtest::FreePort()) : responder_.PortText();
    form->Hooks.DialDeadlineMs = 300;
    form->Hooks.Pause = [this](int ms) { pauses_.push_back(ms); };
    form->Hooks.BeforeRequest = [this, sync, painted](kv::net::TSNTPSend &c) {
      requests_.push_back({c.Timeout, c.SyncTime});
      const QCursor *cursor = QGuiApplication::overrideCursor();
      blocked_.push_back(std::string(cursor && cursor->shape() == Qt::WaitCursor ? "wait" : "usual") +
                         (sync->isEnabled() ? " enabled" : " disabled") + ", painted " + painted->State());
      socks_.push_back(c.Sock().SocksIP + ":" + c.Sock().SocksPort + " " + c.Sock().SocksUsername + " " +
                       (c.Sock().SocksResolver ? "resolver" : "local"));
      if (!throw_.empty()) throw std::runtime_error(throw_);
      if (silent_) c.Timeout = 0;
    };
    QObject::connect(form.get(), &TMainForm::Closed, [this] { ++closed_; });
    form->show();
    return form;
  }
  // Prepares one more run in the same test: a new logger, nothing recorded.
  void NextRun() {
    kv::logging::DestroyGlobalLog();
    kv::logging::CreateGlobalLog();
    kv::logging::GlobalLog()->SetTurnPause(std::chrono::milliseconds(0));
    closed_ = 0;
    boxes_.Clear();
    requests_.clear();
    blocked_.clear();
    pauses_.clear();
  }
  bool ProcessUntilClosed() {
    return kvtest::WaitUntil([&] {
      QCoreApplication::processEvents();
      return closed_ > 0;
    });
  }
  // Delivers the fake's reports on the "GUI thread" until all have been handed over.
  void Report(std::vector<std::pair<int, int>> reports) {
    const int target = ras_.reported + static_cast<int>(reports.size());
    ras_.threads.emplace_back([this, reports, n = ras_.notifier] {
      for (auto [state, error] : reports) {
        n(kv::net::WM_RASDIALEVENT, state, error);
        ++ras_.reported;
      }
    });
    ASSERT_TRUE(kvtest::WaitUntil([&] {
      gui_.RunPending();
      return ras_.reported == target && gui_.Pending() == 0;
    }));
  }

  // The run's log lines, the header and the footer shown as "<header>" and "<footer>". Ends
  // the logger so that everything is written, and removes the file for the next run.
  Lines LogLines() {
    kv::logging::DestroyGlobalLog();
    Lines lines;
    std::string text;
    if (DIR *d = opendir(log_.path().c_str())) {
      while (dirent *e = readdir(d)) {
        if (std::string(e->d_name).rfind("korvanlog.", 0) != 0) continue;
        text += kvtest::ReadFile(log_.file(e->d_name));
        std::remove(log_.file(e->d_name).c_str());
      }
      closedir(d);
    }
    for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
      const std::string line = text.substr(start, end - start);
      if (line.rfind(">>>> Start", 0) == 0)
        lines.push_back("<header>");
      else if (line.rfind("<<<< Stop", 0) == 0)
        lines.push_back("<footer>");
      else if (!line.empty() && line.find_first_not_of('*') != std::string::npos &&
               line.find("From : ") == std::string::npos && line.find("Prms : ") == std::string::npos)
        lines.push_back(line);
    }
    return lines;
  }

  template <class T> static T *Find(TMainForm &form, const char *name) { return form.findChild<T *>(name); }
  static QString Label(TMainForm &form, const char *name) { return Find<QLabel>(form, name)->text(); }
  // What the status bar shows: a passing message, else its panel's text.
  static QString Status(TMainForm &form) {
    const QString passing = Find<QStatusBar>(form, "StatusBar")->currentMessage();
    return passing.isEmpty() ? Label(form, "StatusText") : passing;
  }
  std::vector<QString> BoxTexts() const {
    std::vector<QString> texts;
    for (const auto &b : boxes_.Shown())
      texts.push_back(b.caption + ": " + b.text);
    return texts;
  }
  // BoxTexts() of a run that could not reach 127.0.0.1: one box, its cause on the second line.
  static std::vector<QString> Unreachable(const std::string &cause) {
    return {QString::fromStdString("Fehler: Der Server 127.0.0.1 konnte nicht erreicht werden.\n" + cause)};
  }

  std::string savedConfig_;
  kvtest::TempDir config_, log_;
  sntptest::FakeClock clock_{{1700000000, 250000000}}; // 2023-11-14 22:13:20.250 UTC
  sntptest::ScopedClock scoped_{clock_};
  sntptest::ScriptedResponder responder_;
  FakeRasState ras_;
  kv::platform::ManualDispatcher gui_;
  kv::ui::MessageBoxCapture boxes_;
  std::vector<std::pair<int, bool>> requests_; // time-out and clock switch of each query
  Lines blocked_;                  // the pointer and "Synchronisieren" as each query begins to wait
  std::vector<std::string> socks_; // proxy settings of each query
  std::vector<int> pauses_;
  EnableWatch *enables_ = nullptr; // "Synchronisieren" of the last window shown
  int closed_ = 0;
  bool silent_ = false;
  std::string throw_; // a query throws this
};

const std::string kServerTime = "14.11.2023 22:15:00.250"; // 100 s ahead, as text below
const std::string kShown = "14.11.2023 22:15:00";

TEST_F(SyncRunTest, AutomaticLanRunWarmsUpSetsTheClockLogsAndMailsTheNotice) {
  // The server holds each request 0.25 ms while our frozen clock stands: -0.00025 s measured,
  // shown and logged as 0.
  responder_.SetScript([this](const std::string &request) {
    const auto t = sntptest::AddSeconds(clock_.Now(), 100);
    return std::vector<sntptest::Datagram>{
        {sntptest::ServerReply(sntptest::TransmitOf(request), {t, sntptest::AddSeconds(t, 0.00025)}), false}};
  });
  kvtest::SmtpPeer peer;
  StartSmtp(peer);
  MailTo(peer);
  auto form = Show();
  ASSERT_TRUE(ProcessUntilClosed());

  using P = std::pair<int, bool>;
  EXPECT_EQ(requests_, (std::vector<P>{{5000, false}, {5000, false}, {5000, false}, {2000, true}}));
  EXPECT_EQ(pauses_, (std::vector<int>{1000, 1000, 1000}));
  ASSERT_EQ(clock_.Sets().size(), 1u);
  EXPECT_NEAR(sntptest::Seconds(clock_.Sets()[0]), 1700000100.25, 0.002);
  EXPECT_EQ(form->ExitStatus(), 0);
  EXPECT_EQ(Label(*form, "ofSystemTime").toStdString(), " 14.11.2023 22:13:20 UTC");
  EXPECT_EQ(Label(*form, "ofNTPTime").toStdString(), " " + kShown + " UTC");
  EXPECT_EQ(Status(*form), "Delay 0,00000 s");
  EXPECT_TRUE(boxes_.Shown().empty());

  EXPECT_EQ(LogLines(),
            (Lines{"<header>", "LAN mode selected.", "NTP Sync started with 127.0.0.1... ",
                   "NTP time was " + kShown + " UTC.", "NTP delay was 0,00000 s.", "SMTP mail active.",
                   "SMTP connecting host 127.0.0.1 Port " + peer.PortText() + "...",
                   "SMTP sending mail to admin@example.org...", "SMTP disconnected.", "<footer>"}));

  ASSERT_TRUE(peer.WaitForMessages(1));
  const kvtest::SmtpMessage m = peer.Messages()[0];
  EXPECT_EQ(m.MailFrom, "korvane@example.org");
  EXPECT_EQ(m.RcptTo, Lines{"admin@example.org"});
  EXPECT_EQ(m.Login, "");
  const std::string name = form->Fields().ComputerName.toStdString();
  const std::string headers = m.Data.substr(0, m.Data.find("\r\n\r\n") + 2);
  for (const std::string &h :
       Lines{"From: Korvane Service <korvane@example.org>\r\n", "Reply-To: korvane@example.org\r\n",
             "To: admin@example.org\r\n", "Subject: Korvane Mitteilung\r\n",
             "Date: Tue, 14 Nov 2023 22:13:20 +0000\r\n",
             "Message-ID: " + form->GetMsgId().toStdString() + "\r\n",
             "X-Mailer: Korvane 2005 Rel. 27 SMTP Service\r\n"})
    EXPECT_NE(headers.find(h), std::string::npos) << h << headers;
  EXPECT_EQ(form->GetMsgId().toStdString(), "<73883880000250@" + (name.empty() ? "localhost" : name) + ">");
  EXPECT_EQ(m.Data.substr(m.Data.find("\r\n\r\n") + 4), kv::app::NoticeBody(kShown, name, "127.0.0.1"));
}

TEST_F(SyncRunTest, AClockThatWasNotSetIsReportedAndNotMailedAsUpdated) {
  struct Case {
    double ahead;
    int refusal;
    std::string logged, boxed;
  };
  for (const Case &c :
       {Case{8 * 86400.0, 0, "offset of 691200.000 s exceeds the limit of 604800 s.",
             "Die Abweichung von 691200,000 s ist größer als die erlaubten 604800 s (sieben Tage)."},
        Case{100, EPERM,
             "the system refused the change (Operation not permitted); korvan needs root or the "
             "capability cap_sys_time.",
             "Das Betriebssystem hat die Änderung abgelehnt: Es fehlt die Berechtigung (korvan braucht "
             "Root-Rechte oder die Fähigkeit cap_sys_time)."}}) {
    SCOPED_TRACE(c.logged);
    kvtest::SmtpPeer peer;
    StartSmtp(peer);
    MailTo(peer);
    clock_.RefuseSetWith(c.refusal);
    responder_.SetScript(sntptest::ServerAhead(clock_, c.ahead));
    NextRun();
    auto form = Show();
    ASSERT_TRUE(ProcessUntilClosed());

    EXPECT_EQ(form->ExitStatus(), 1);
    EXPECT_FALSE(Label(*form, "ofNTPTime").contains("Nicht")) << "the answer is still shown";
    EXPECT_EQ(BoxTexts(), std::vector<QString>{"Fehler: Die Systemzeit wurde nicht gesetzt.\n" +
                                               QString::fromStdString(c.boxed)});
    const Lines lines = LogLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "System clock not set: " + c.logged), lines.end());
    EXPECT_EQ(lines.back(), "<footer>");
    ASSERT_TRUE(peer.WaitForMessages(1));
    const std::string data = peer.Messages()[0].Data;
    EXPECT_EQ(data.find("aktualisiert"), std::string::npos) << data;
    EXPECT_NE(data.find("konnte nicht\r\nvia NTP vom Server 127.0.0.1 gestellt werden.\r\nGrund: "),
              std::string::npos)
        << data;
  }
}

TEST_F(SyncRunTest, InteractiveLanShowsBothTimesAndTheDelayAfterOneQuery) {
  responder_.SetScript([this](const std::string &request) {
    // The server took 0.25 s; with the frozen clock the delay reads negative.
    const auto t = sntptest::AddSeconds(clock_.Now(), 100);
    return std::vector<sntptest::Datagram>{
        {sntptest::ServerReply(sntptest::TransmitOf(request), {t, sntptest::AddSeconds(t, 0.25)}), false}};
  });
  auto form = Show({});
  Find<QLineEdit>(*form, "efAddress")->setText("127.0.0.1");
  Find<QRadioButton>(*form, "optLAN")->click();
  Find<QToolButton>(*form, "btnSync")->click();

  EXPECT_EQ(requests_, (std::vector<std::pair<int, bool>>{{5000, true}}));
  EXPECT_TRUE(pauses_.empty());
  EXPECT_EQ(Label(*form, "ofSystemTime").toStdString(), " 14.11.2023 22:13:20 UTC");
  EXPECT_EQ(Label(*form, "ofNTPTime").toStdString(), " 14.11.2023 22:15:00 UTC");
  EXPECT_EQ(Status(*form), "Delay 0,00000 s"); // not below 0
  // The pointer passing over "Info über..." in the window's menu leaves the delay standing.
  form->actions()[0]->showStatusText(form.get());
  EXPECT_EQ(Status(*form), "Delay 0,00000 s");
  EXPECT_TRUE(Find<QToolButton>(*form, "btnSync")->isEnabled());
  EXPECT_TRUE(boxes_.Shown().empty());
  EXPECT_EQ(form->ExitStatus(), 0);
  EXPECT_EQ(LogLines(), Lines{}) << "the interactive mode writes no log";
}

// A run that blocks puts up the wait cursor and greys "Synchronisieren", both on the screen
// before the wait begins; after an answer, a failure with its box and an exception, both are back.
TEST_F(SyncRunTest, TheWaitCursorAndTheGreyedButtonLastAsLongAsTheRunBlocks) {
  auto form = Show({});
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  Find<QLineEdit>(*form, "efAddress")->setText("127.0.0.1");
  Find<QRadioButton>(*form, "optLAN")->click();
  auto *sync = Find<QToolButton>(*form, "btnSync");
  for (const char *outcome : {"answered", "unanswered", "exception"}) {
    SCOPED_TRACE(outcome);
    NextRun();
    silent_ = outcome == std::string("unanswered");
    form->Hooks.NtpPort = silent_ ? std::to_string(kvtest::FreePort()) : responder_.PortText();
    throw_ = outcome == std::string("exception") ? "kaputt" : "";
    sync->click();
    EXPECT_EQ(blocked_, Lines{"wait disabled, painted disabled"});
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(sync->isEnabled());
    EXPECT_EQ(boxes_.Shown().size(), outcome == std::string("answered") ? 0u : 1u);
  }
}

TEST_F(SyncRunTest, InteractiveSocks5WarmsUpSixteenTimesThroughTheProxyAndChecksItsFields) {
  const std::string closed = std::to_string(kvtest::FreePort());
  auto form = Show({});
  Find<QRadioButton>(*form, "optSocks")->click();
  Find<QLineEdit>(*form, "efAddress")->setText("127.0.0.1");
  Find<QLineEdit>(*form, "efIP")->setText("");
  Find<QToolButton>(*form, "btnSync")->click();
  Find<QLineEdit>(*form, "efIP")->setText("127.0.0.1");
  Find<QLineEdit>(*form, "efPort")->setText("");
  Find<QToolButton>(*form, "btnSync")->click();
  EXPECT_TRUE(requests_.empty());
  EXPECT_EQ(BoxTexts(), (std::vector<QString>{"Fehler: Bitte geben Sie die IP-Adresse des Socks-Proxy an.",
                                              "Fehler: Bitte geben Sie den Port des Socks-Proxy an."}));
  EXPECT_TRUE(Find<QToolButton>(*form, "btnSync")->isEnabled());

  boxes_.Clear();
  Find<QLineEdit>(*form, "efPort")->setText(QString::fromStdString(closed)); // nothing listens there
  Find<QLineEdit>(*form, "efUser")->setText("su");
  Find<QToolButton>(*form, "btnSync")->click();
  ASSERT_EQ(requests_.size(), 17u);
  for (size_t i = 0; i < 16; ++i)
    EXPECT_EQ(requests_[i], std::make_pair(5000, false)) << i;
  for (const std::string &query : blocked_)
    EXPECT_EQ(query.substr(0, 13), "wait disabled") << "warm-ups included";
  EXPECT_EQ(requests_[16], std::make_pair(15000, true));
  EXPECT_EQ(pauses_.size(), 16u);
  EXPECT_EQ(socks_.back(), "127.0.0.1:" + closed + " su local");
  EXPECT_EQ(Label(*form, "ofNTPTime"), " Nicht verbunden");
  // The proxy refused, not the time server: the second line says so.
  EXPECT_EQ(BoxTexts(),
            Unreachable("Der SOCKS5-Proxy 127.0.0.1 (Port " + closed + ") hat die Verbindung abgelehnt."));
}

// A proxy that accepted the connection and then failed (here: refused the UDP association; a
// silent one alike, as the socket tells) fails every warm-up alike: after the first the real
// query follows at once, without a pause, and names the proxy. One that cannot be reached at all
// (a closed port, above) keeps the whole warm-up.
TEST_F(SyncRunTest, AProxyThatFailsAfterAcceptingEndsTheWarmUpAtItsFirstQuery) {
  // microsocks refuses the UDP association; the interactive run's time-out is 15 s.
  kvtest::MicrosocksPeer refusing;
  KV_REQUIRE_PEER(refusing.Start("su", "geheim"), refusing.why());
  auto form = Show({});
  Find<QRadioButton>(*form, "optSocks")->click();
  Find<QLineEdit>(*form, "efAddress")->setText("127.0.0.1");
  Find<QLineEdit>(*form, "efIP")->setText("127.0.0.1");
  Find<QLineEdit>(*form, "efPort")->setText(QString::fromStdString(refusing.PortText()));
  Find<QLineEdit>(*form, "efUser")->setText("su");
  Find<QLineEdit>(*form, "efPassword")->setText("geheim");
  Find<QToolButton>(*form, "btnSync")->click();
  EXPECT_EQ(requests_, (std::vector<std::pair<int, bool>>{{5000, false}, {15000, true}}));
  EXPECT_TRUE(pauses_.empty());
  EXPECT_EQ(BoxTexts(), Unreachable("Der SOCKS5-Proxy 127.0.0.1 (Port " + refusing.PortText() +
                                    ") hat die UDP-Weiterleitung abgelehnt: Antwort 7 (Befehl nicht "
                                    "unterstützt)."));
}

TEST_F(SyncRunTest, AutomaticRunsThatFailStillEndWithFooterAndStatusOne) {
  // A query that fails, with the time-out 0 of the edge case; an exception; no mode at all.
  AutoKey([](TRegistry &r) { r.WriteInteger("ATimeout", 0); });
  silent_ = true;
  auto form = Show();
  ASSERT_TRUE(ProcessUntilClosed());
  EXPECT_EQ(requests_, (std::vector<std::pair<int, bool>>{{5000, false}, {0, true}}));
  EXPECT_EQ(pauses_, std::vector<int>{1000});
  EXPECT_EQ(BoxTexts(), Unreachable("Von 127.0.0.1 (Port " + form->Hooks.NtpPort +
                                    ") kam innerhalb von 0 Sekunden keine Antwort."));
  EXPECT_EQ(Label(*form, "ofNTPTime"), " Nicht verbunden");
  EXPECT_EQ(form->ExitStatus(), 1);
  // The line after the failure names its cause.
  EXPECT_EQ(
      LogLines(),
      (Lines{"<header>", "LAN mode selected.", "NTP connection failed!",
             "Cause: no answer from 127.0.0.1 port " + form->Hooks.NtpPort + " within 0 ms.", "<footer>"}));

  NextRun();
  throw_ = "out of luck";
  auto failing = Show();
  ASSERT_TRUE(ProcessUntilClosed());
  EXPECT_EQ(BoxTexts(), std::vector<QString>{"Fehler: Die Synchronisation ist fehlgeschlagen:\nout of luck"});
  EXPECT_TRUE(Find<QToolButton>(*failing, "btnSync")->isEnabled());
  EXPECT_EQ(failing->ExitStatus(), 1);
  EXPECT_EQ(LogLines(),
            (Lines{"<header>", "LAN mode selected.", "Synchronisation failed: out of luck", "<footer>"}));

  NextRun();
  AutoKey([](TRegistry &r) {
    r.WriteBool("AUseLAN", false);
    r.WriteBool("AUseRAS", false);
  });
  auto none = Show();
  ASSERT_TRUE(ProcessUntilClosed());
  EXPECT_TRUE(requests_.empty());
  EXPECT_TRUE(Find<QToolButton>(*none, "btnSync")->isEnabled());
  EXPECT_EQ(none->ExitStatus(), 1);
  EXPECT_EQ(LogLines(),
            (Lines{"<header>", "Synchronisation not started: no connection mode is selected.", "<footer>"}));
}

TEST_F(SyncRunTest, NoticeFailuresAreLoggedAndTheRunStillEnds) {
  kvtest::SmtpPeer peer;
  StartSmtp(peer, kvtest::SmtpOptions().WithAuth("mailer:geheim", "LOGIN").Rejecting("nobody@example.org"));
  struct Case {
    std::function<void(TRegistry &)> settings;
    Lines expected; // the notice's lines in the log
    std::string login;
    std::vector<QString> boxes; // what the user reads
  };
  const std::string port = peer.PortText();
  const std::string connecting = "SMTP connecting host 127.0.0.1 Port " + port + "...";
  // A port of 400 digits is quoted with its first 120 only, in the log and in the message.
  const std::string shown = std::string(120, '9') + "...";
  const std::vector<Case> cases = {
      {[](TRegistry &r) { r.WriteString("ASMTPPort", std::string(400, '9')); },
       {"SMTP mail active.", "SMTP mail failed: SMTP port \"" + shown + "\" is not a number from 1 to 65535"},
       "",
       {QString::fromStdString(
           "Fehler: Die E-Mail-Benachrichtigung konnte nicht gesendet werden:\nDer SMTP-Port \"" + shown +
           "\" ist keine Zahl von 1 bis 65535.")}},
      {[](TRegistry &r) { r.WriteString("ANetRecipient", "nobody@example.org"); },
       {"SMTP mail active.", connecting, "SMTP disconnected.",
        "SMTP mail failed: recipient <nobody@example.org> refused: 550 5.1.1 <nobody@example.org>: Recipient "
        "address "
        "rejected"},
       "",
       {"Fehler: Die E-Mail-Benachrichtigung konnte nicht gesendet werden:\nDer Mailserver hat den Empfänger "
        "nobody@example.org abgelehnt: 550 5.1.1 <nobody@example.org>: Recipient address rejected"}},
      // A user without a password sets no credentials, so no login is tried.
      {[](TRegistry &r) { r.WriteString("ASMTPUser", "mailer"); },
       {"SMTP mail active.", connecting, "SMTP sending mail to admin@example.org...", "SMTP disconnected."},
       "",
       {}},
      {[](TRegistry &r) {
         r.WriteString("ASMTPUser", "mailer");
         r.WriteString("ASMTPPassword", "geheim");
       },
       {"SMTP mail active.", connecting, "SMTP authenticating...",
        "SMTP sending mail to admin@example.org...", "SMTP disconnected."},
       "mailer",
       {}},
  };
  size_t sent = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.expected.back());
    MailTo(peer, c.settings);
    NextRun();
    auto form = Show();
    ASSERT_TRUE(ProcessUntilClosed());
    EXPECT_EQ(form->ExitStatus(), 0) << "the clock was set";
    Lines lines = LogLines();
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(Lines(lines.begin() + 5, lines.end() - 1), c.expected);
    EXPECT_EQ(lines.back(), "<footer>");
    EXPECT_EQ(BoxTexts(), c.boxes);
    // "Synchronisieren" stays greyed through the notice and its box, and comes back once.
    EXPECT_EQ(enables_->Changes(),
              (Lines{"disabled",
                     "enabled after 4 queries, " + std::to_string(c.boxes.size()) + " boxes, 0 hang-ups"}));
    if (c.expected.back() == "SMTP disconnected." && c.expected[1] == connecting) {
      ASSERT_TRUE(peer.WaitForMessages(++sent));
      EXPECT_EQ(peer.Messages().back().Login, c.login);
    }
    std::remove(TRegistry::DefaultFileName().c_str());
  }
}

TEST_F(SyncRunTest, AutomaticDialUpRunQueriesWhenConnectedThenHangsUpAndCloses) {
  kvtest::SmtpPeer peer;
  StartSmtp(peer);
  MailTo(peer, [](TRegistry &r) {
    r.WriteBool("AUseLAN", false);
    r.WriteBool("AUseRAS", true);
    r.WriteInteger("AConnection", 0);
  });
  auto form = Show();
  EXPECT_EQ(ras_.dials, 1);
  form->TimerTimer(); // not connected yet: nothing happens
  EXPECT_TRUE(requests_.empty());
  EXPECT_TRUE(form->Timer->isActive());
  EXPECT_EQ(enables_->Changes(), Lines{"disabled"}) << "greyed while dialling";
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "no wait cursor while only dialling";

  Report({{kv::net::RASCS_OpenPort, 0}, {kv::net::RASCS_Connected, 0}});
  EXPECT_EQ(Status(*form), "Connected");
  form->TimerTimer();
  ASSERT_TRUE(ProcessUntilClosed());
  EXPECT_EQ(requests_, (std::vector<std::pair<int, bool>>{{2000, true}})) << "no warm-up";
  ASSERT_EQ(blocked_.size(), 1u);
  EXPECT_EQ(blocked_[0].substr(0, 13), "wait disabled") << "the query from the poll blocks too";
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(ras_.hangUps, 1);
  EXPECT_EQ(form->DialUp1->ConnectionState, kv::net::RASCS_Disconnected);
  EXPECT_EQ(Label(*form, "ofDUNStatus"), " Nicht verbunden") << "after the hang-up";
  EXPECT_EQ(enables_->Changes(), (Lines{"disabled", "enabled after 1 queries, 0 boxes, 1 hang-ups"}));
  EXPECT_EQ(Status(*form), "");
  EXPECT_EQ(form->ExitStatus(), 0);
  EXPECT_EQ(LogLines(),
            (Lines{"<header>", "DUN mode selected. Dialing Provider {dte}.", "DUN dialing started...",
                   "<footer>", "DUN connection established.", "NTP target host: 127.0.0.1",
                   "NTP Sync started with 127.0.0.1... ", "NTP time was " + kShown + " UTC.",
                   "NTP delay was 0,00000 s.", "SMTP mail active.",
                   "SMTP connecting host 127.0.0.1 Port " + peer.PortText() + "...",
                   "SMTP sending mail to admin@example.org...", "SMTP disconnected.", "DUN disconnected.",
                   "<footer>"}));
  EXPECT_TRUE(peer.WaitForMessages(1));
}

TEST_F(SyncRunTest, AutomaticDialUpFailuresHangUpLogTheReasonAndClose) {
  MailTo(kvtest::SmtpPeer(), [](TRegistry &r) {
    r.WriteBool("AUseLAN", false);
    r.WriteBool("AUseRAS", true);
    r.WriteInteger("AConnection", 0);
    r.WriteString("ASMTPPort", "none");
  });
  // A failed query with mail on; a failed notice; an exception; an error report; a dial that
  // never reports.
  enum Kind { FailedQuery, FailedNotice, Exception, ErrorReport, Silence };
  for (Kind kind : {FailedQuery, FailedNotice, Exception, ErrorReport, Silence}) {
    SCOPED_TRACE(kind);
    NextRun();
    ras_.hangUps = 0;
    silent_ = kind != FailedNotice;
    throw_ = kind == Exception ? "out of luck" : "";
    auto form = Show();
    Lines tail;
    if (kind == FailedQuery) {
      Report({{kv::net::RASCS_Connected, 0}});
      form->TimerTimer();
      EXPECT_EQ(Label(*form, "ofDUNStatus"), " Nicht verbunden");
      tail = {"NTP target host: 127.0.0.1", "NTP connection failed!",
              "Cause: no answer from 127.0.0.1 port " + form->Hooks.NtpPort + " within 0 ms.",
              "DUN disconnected.", "<footer>"};
    } else if (kind == FailedNotice || kind == Exception) {
      Report({{kv::net::RASCS_Connected, 0}});
      form->TimerTimer();
      EXPECT_EQ(Label(*form, "ofDUNStatus"), " Nicht verbunden");
      if (kind == FailedNotice)
        tail = {"SMTP mail active.", "SMTP mail failed: SMTP port \"none\" is not a number from 1 to 65535",
                "DUN disconnected.", "<footer>"};
      else
        tail = {"NTP target host: 127.0.0.1", "Synchronisation failed: out of luck", "DUN disconnected.",
                "<footer>"};
    } else if (kind == ErrorReport) {
      Report({{kv::net::RASCS_OpenPort, kv::net::ERROR_PORT_NOT_AVAILABLE}});
      EXPECT_EQ(Label(*form, "ofDUNStatus"), " Fehler. Bitte erneut versuchen.");
      // The user reads the dial-up stand-in's text in German; the log keeps its English twin.
      EXPECT_EQ(Status(*form).toStdString(), kv::net::RasErrorTextGerman(kv::net::ERROR_PORT_NOT_AVAILABLE));
      tail = {"DUN dialing failed: The port or device cannot be opened. (error 633).", "<footer>"};
    } else {
      tail = {"DUN dialing timed out after 0.3 s.", "<footer>"};
    }
    ASSERT_TRUE(ProcessUntilClosed());
    EXPECT_EQ(ras_.hangUps, 1);
    const int queries = kind == ErrorReport || kind == Silence ? 0 : 1;
    EXPECT_EQ(enables_->Changes(),
              (Lines{"disabled", "enabled after " + std::to_string(queries) + " queries, " +
                                     std::to_string(queries) + " boxes, 1 hang-ups"}));
    EXPECT_TRUE(form->Timer->isActive());
    EXPECT_EQ(form->ExitStatus(), kind == FailedNotice ? 0 : 1);
    const Lines lines = LogLines();
    ASSERT_GE(lines.size(), tail.size());
    EXPECT_EQ(Lines(lines.end() - static_cast<long>(tail.size()), lines.end()), tail);
  }
}

TEST_F(SyncRunTest, ASignalDuringAnAutomaticDialHangsUpLogsWhyAndCloses) {
  AutoKey([](TRegistry &r) {
    r.WriteBool("AUseLAN", false);
    r.WriteBool("AUseRAS", true);
    r.WriteInteger("AConnection", 0);
  });
  ras_.hangUps = 0;
  auto form = Show();
  form->StopRequested(15);
  ASSERT_TRUE(ProcessUntilClosed());
  EXPECT_EQ(ras_.hangUps, 1);
  EXPECT_EQ(Label(*form, "ofDUNStatus"), " Nicht verbunden");
  EXPECT_EQ(enables_->Changes(), (Lines{"disabled", "enabled after 0 queries, 0 boxes, 1 hang-ups"}));
  EXPECT_EQ(form->ExitStatus(), 1);
  const Lines lines = LogLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(Lines(lines.end() - 2, lines.end()), (Lines{"Automatic run stopped by signal 15.", "<footer>"}));
}

TEST_F(SyncRunTest, DialUpWithoutEntriesOrWithAnEntryThatCannotBeDialled) {
  AutoKey([](TRegistry &r) {
    r.WriteBool("AUseLAN", false);
    r.WriteBool("AUseRAS", true);
  });
  ras_.book.clear();
  auto empty = Show();
  ASSERT_TRUE(ProcessUntilClosed()) << "the automatic mode ends even with an empty phone book";
  EXPECT_EQ(ras_.dials, 0);
  ASSERT_EQ(boxes_.Shown().size(), 1u);
  EXPECT_EQ(boxes_.Shown()[0].icon, kv::ui::MessageIcon::Warning);
  EXPECT_EQ(BoxTexts()[0], "Fehler: Bitte wählen Sie zuerst eine DFÜ-Verbindung aus oder legen Sie eine an.");
  EXPECT_EQ(empty->ExitStatus(), 1);
  EXPECT_EQ(enables_->Changes(), (Lines{"disabled", "enabled after 0 queries, 1 boxes, 0 hang-ups"}));
  EXPECT_EQ(LogLines(),
            (Lines{"<header>", "DUN dialing not started: no dial-up connection is set up.", "<footer>"}));

  // Interactive: a dial that cannot start, then an error report; the window stays.
  ras_.book = {"isp"};
  ras_.dialResult = kv::net::ERROR_PORT_ALREADY_OPEN;
  boxes_.Clear();
  closed_ = 0;
  auto form = Show({});
  Find<QToolButton>(*form, "btnSync")->click();
  EXPECT_EQ(Label(*form, "ofDUNStatus"), " Fehler");
  EXPECT_EQ(enables_->Changes(), (Lines{"disabled", "enabled after 0 queries, 0 boxes, 1 hang-ups"}));
  EXPECT_EQ(form->DialUp1->ConnectionState, kv::net::RASCS_Disconnected);
  ras_.dialResult = 0;
  Find<QToolButton>(*form, "btnSync")->click();
  Report({{kv::net::RASCS_Authenticate, kv::net::ERROR_AUTHENTICATION_FAILURE}});
  EXPECT_EQ(BoxTexts(), std::vector<QString>{"Fehler: " + Status(*form)});
  EXPECT_EQ(Label(*form, "ofDUNStatus"), " Fehler. Bitte erneut versuchen.");
  ASSERT_EQ(enables_->Changes().size(), 4u);
  EXPECT_EQ(enables_->Changes()[2], "disabled");
  EXPECT_EQ(enables_->Changes()[3].substr(0, 21), "enabled after 0 queri");
  EXPECT_GE(ras_.hangUps, 1);
  QCoreApplication::processEvents();
  EXPECT_EQ(closed_, 0);
}

TEST_F(SyncRunTest, InteractiveDialUpRunHangsUpAndKeepsTheWindow) {
  auto form = Show({});
  Find<QLineEdit>(*form, "efAddress")->setText("127.0.0.1");
  Find<QToolButton>(*form, "btnSync")->click();
  EXPECT_EQ(Label(*form, "ofDUNStatus"), " Wähle...");
  Report({{kv::net::RASCS_Connected, 0}});
  form->TimerTimer();
  EXPECT_EQ(requests_, (std::vector<std::pair<int, bool>>{{15000, true}}));
  EXPECT_EQ(enables_->Changes(), (Lines{"disabled", "enabled after 1 queries, 0 boxes, 1 hang-ups"}));
  EXPECT_EQ(Status(*form), "");
  EXPECT_EQ(ras_.hangUps, 1);
  EXPECT_EQ(Label(*form, "ofDUNStatus"), " Nicht verbunden");
  EXPECT_EQ(Label(*form, "ofNTPTime").toStdString(), " " + kShown + " UTC");
  QCoreApplication::processEvents();
  EXPECT_EQ(closed_, 0);
  EXPECT_TRUE(form->isVisible());

  // A run started while the button was greyed leaves it greyed, a dial-up run and a LAN run alike.
  auto *sync = Find<QToolButton>(*form, "btnSync");
  sync->setEnabled(false);
  enables_->Clear();
  form->NTPSync();
  Report({{kv::net::RASCS_Connected, 0}});
  form->TimerTimer();
  Find<QRadioButton>(*form, "optLAN")->click();
  form->NTPSync();
  EXPECT_EQ(requests_.size(), 3u);
  EXPECT_TRUE(enables_->Changes().empty()) << ::testing::PrintToString(enables_->Changes());
  EXPECT_FALSE(sync->isEnabled());
}

} // namespace

namespace {

TEST_F(SyncRunTest, AHandWrittenTimeoutOutsideTheDialogsBoundsIsBroughtWithinAndLogged) {
  struct Case {
    int32_t written, used;
    const char *line;
  };
  for (Case c : {Case{200, 120, "above the maximum of 120 s; 120 s is used."},
                 Case{-1, 1, "below the minimum of 1 s; 1 s is used."}}) {
    NextRun();
    AutoKey([&](TRegistry &r) { r.WriteInteger("ATimeout", c.written); }); // -1: dword:ffffffff
    auto form = Show();
    ASSERT_TRUE(ProcessUntilClosed());
    EXPECT_EQ(form->Fields().Auto.ATimeout, c.used);
    ASSERT_EQ(requests_.size(), size_t(c.used) + 2) << "the warm-ups and the query";
    EXPECT_EQ(requests_.back(), std::make_pair(c.used * 1000, true));
    const Lines lines = LogLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1], "Time-out of " + std::to_string(c.written) + " s in the settings is " + c.line);
    EXPECT_EQ(lines[2], "LAN mode selected.");
  }
}

// A run makes a default log folder when it is missing, also one offered in another environment
// and the one a key without a folder means; a folder the user typed is not made, and the box
// names it.
TEST_F(SyncRunTest, DefaultLogFoldersAreMadeWhereverTheyWereOfferedTypedOnesAreNot) {
  kvtest::TempDir state, elsewhere;
  kvtest::ScopedEnv env("XDG_STATE_HOME", state.path());
  const std::string typed = state.file("typed");
  AutoKey([&](TRegistry &r) { r.WriteString("ALoggingPath", typed); });
  auto form = Show();
  ASSERT_TRUE(ProcessUntilClosed());
  EXPECT_NE(::access(typed.c_str(), F_OK), 0);
  EXPECT_EQ(BoxTexts(), std::vector<QString>{QString::fromStdString(
                            "Fehler: Die Protokolldatei im Ordner " + typed +
                            "/ konnte nicht angelegt werden; der Lauf wird nicht protokolliert.")});

  // Without a folder in the key: the default folder, which the dialog offers. Then one the
  // dialog offered while XDG_STATE_HOME named another state folder, not there yet either; and one
  // with "..", made as its text resolves, with no stray folder on the way.
  const std::string offered =
      kv::app::DefaultLoggingPath(kv::ui::Application().ProgramDirectory()).toStdString();
  const std::string other = elsewhere.file("state/korvane/log/");
  const std::string dotted = elsewhere.file("a/b/../s/korvane/log/");
  struct Case {
    std::string folder;
    Lines made; // with mode 0700; the last holds the log
  };
  for (const Case &c :
       {Case{offered, {offered}},
        Case{other, {elsewhere.file("state/"), elsewhere.file("state/korvane/"), other}},
        Case{dotted,
             {elsewhere.file("a/"), elsewhere.file("a/s/korvane/"), elsewhere.file("a/s/korvane/log/")}}}) {
    SCOPED_TRACE(c.folder);
    NextRun();
    AutoKey([&](TRegistry &r) {
      if (c.folder == offered)
        r.DeleteValue("ALoggingPath");
      else
        r.WriteString("ALoggingPath", c.folder);
    });
    form = Show();
    ASSERT_TRUE(ProcessUntilClosed());
    kv::logging::DestroyGlobalLog();
    EXPECT_TRUE(boxes_.Shown().empty());
    EXPECT_EQ(::unlink((c.made.back() + "korvanlog.001").c_str()), 0) << "the run's log is there";
    for (const std::string &made : c.made) {
      struct stat st {};
      ASSERT_EQ(::stat(made.c_str(), &st), 0) << made;
      EXPECT_EQ(st.st_mode & 07777, 0700u) << made;
    }
    ::rmdir(c.folder.c_str()); // beside the test program, for a user other than root
  }
  EXPECT_NE(::access(elsewhere.file("a/b").c_str(), F_OK), 0) << "a stray folder was made";

  // A default folder that cannot be made: the box names it and tells why. Root's lies in the
  // state folder, here below a file; another user's beside this program, which that user may
  // write.
  if (::geteuid() != 0) return;
  NextRun();
  kvtest::WriteFile(state.file("file"), "");
  kvtest::ScopedEnv blocked("XDG_STATE_HOME", state.file("file"));
  const QString unmade = kv::app::DefaultLoggingPath(kv::ui::Application().ProgramDirectory());
  AutoKey([&](TRegistry &r) { r.DeleteValue("ALoggingPath"); });
  form = Show();
  ASSERT_TRUE(ProcessUntilClosed());
  EXPECT_EQ(BoxTexts(), std::vector<QString>{"Fehler: Die Protokolldatei im Ordner " + unmade +
                                             " konnte nicht angelegt werden (der Ordner ließ sich nicht "
                                             "anlegen: ein Teil des Pfades ist kein Ordner); der Lauf wird "
                                             "nicht protokolliert."});
}

TEST_F(SyncRunTest, AStopSignalEndsTheRunAtItsNextStepWithoutABox) {
  // The signal comes during the second warm-up query; its socket fails at once, and the run
  // neither queries again nor blames the server.
  AutoKey([](TRegistry &r) { r.WriteInteger("ATimeout", 120); });
  kv::ui::TerminationSignals stop([](int) {});
  auto form = std::make_unique<TMainForm>(gui_, QStringList{"/a"}, std::make_unique<FakeRas>(ras_));
  form->Hooks.NtpPort = responder_.PortText();
  int requests = 0;
  bool unstoppable = true;
  form->Hooks.BeforeRequest = [&](kv::net::TSNTPSend &c) {
    if (++requests == 2) ::raise(SIGTERM);
    unstoppable = c.Sock().StopSource == nullptr;
  };
  form->Hooks.Pause = [](int) {};
  QObject::connect(form.get(), &TMainForm::Closed, [this] { ++closed_; });
  form->show();
  ASSERT_TRUE(ProcessUntilClosed());
  EXPECT_EQ(requests, 2);
  EXPECT_FALSE(unstoppable) << "every query's socket listens to the stop request";
  EXPECT_EQ(kv::ui::StopSignal(), SIGTERM);
  EXPECT_TRUE(boxes_.Shown().empty());
  EXPECT_TRUE(clock_.Sets().empty());
  EXPECT_EQ(form->ExitStatus(), 1);
  EXPECT_EQ(LogLines(),
            (Lines{"<header>", "LAN mode selected.", "Automatic run stopped by signal 15.", "<footer>"}));
}

// Another process holds the log folder's lock for good: the run waits for it, goes on without
// it, and its log says so right after the header; the end of the run does not wait the full time
// again.
TEST_F(SyncRunTest, ARunThatWaitedInVainForTheLogFoldersLockSaysSoInItsLogAndWaitsOnlyOnce) {
  const std::string lock = log_.file(".korvanlog.lock");
  kvtest::WriteFile(lock, "");
  const int other = ::open(lock.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_EQ(::flock(other, LOCK_EX), 0);
  kv::logging::GlobalLog()->Writer().FileDef().FolderLockWait = std::chrono::seconds(1);
  AutoKey();
  auto form = Show();
  ASSERT_TRUE(ProcessUntilClosed());
  // Were the end to wait the full time again, closing the log would take a minute.
  kv::logging::GlobalLog()->Writer().FileDef().FolderLockWait = std::chrono::seconds(60);
  const auto end = std::chrono::steady_clock::now();
  const Lines lines = LogLines();
  EXPECT_LT(kvtest::ElapsedMs(end), 30000);
  ::close(other);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "<header>");
  EXPECT_EQ(lines[1], "The log folder's lock file " + lock +
                          " was held by another process for 1 s; this run went on without it.");
}

TEST_F(SyncRunTest, ARejectedAnswerIsLoggedWithItsCause) {
  // A kiss-o'-death: stratum 0 and the code in the reference identifier.
  responder_.SetScript([this](const std::string &request) {
    sntptest::ReplyFields fields{clock_.Now(), clock_.Now()};
    fields.stratum = 0;
    std::string reply = sntptest::ServerReply(sntptest::TransmitOf(request), fields);
    reply.replace(12, 4, "RATE");
    return std::vector<sntptest::Datagram>{{reply, false}};
  });
  AutoKey([](TRegistry &r) { r.WriteInteger("ATimeout", 1); });
  auto form = Show();
  ASSERT_TRUE(ProcessUntilClosed());
  EXPECT_EQ(BoxTexts(),
            Unreachable("Die Antwort von 127.0.0.1 (Port " + form->Hooks.NtpPort +
                        ") wurde verworfen: die Stratum-Angabe ist ungültig (Kiss-o'-Death-Code RATE)."));
  EXPECT_EQ(LogLines(), (Lines{"<header>", "LAN mode selected.", "NTP connection failed!",
                               "Cause: the answer of 127.0.0.1 port " + form->Hooks.NtpPort +
                                   " was rejected: stratum out of range (kiss-o'-death RATE).",
                               "<footer>"}));
}

} // namespace
