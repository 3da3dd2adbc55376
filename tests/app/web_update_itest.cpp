// The web update against Python's http.server on loopback, over HTTP and over HTTPS with a
// certificate from a test CA: the component's events and outcomes, then the "&Update starten"
// flow through the update window with its message boxes answered by the capture (and one shown
// as a real box).
#include "app/web_update.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <gtest/gtest.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <filesystem>

#include "app/web_update_form.h"
#include "modal_driver.h"
#include "platform/ui/message_box.h"
#include "tests/peers/http_peer.h"

using namespace kv::app;
using kv::ui::MessageAnswer;

namespace {

// This binary's widgets need an application object.
class QtEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    if (!QCoreApplication::instance()) app_ = new QApplication(argc_, argv_);
  }
  void TearDown() override { delete app_; }

private:
  int argc_ = 1;
  char name_[16] = "korvane_itests";
  char *argv_[2] = {name_, nullptr};
  QApplication *app_ = nullptr;
};

[[maybe_unused]] ::testing::Environment *const g_qt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

const std::string kInstaller =
    "#!/bin/sh\n"
    "# Writes its arguments after the first, one a line, into the file named first.\n"
    "out=\"$1\"\n"
    "shift\n"
    "printf '%s\\n' \"$@\" > \"$out\"\n";

struct PageSpec {
  std::string product = "Korvane 2005";
  std::string version = "Release 28";
  std::string download; // an address
  std::string client = "korvan-setup.sh";
  std::string params;
  std::string redirection;
};

std::string Meta(const std::string &name, const std::string &content) {
  return "<META NAME=\"" + name + "\" CONTENT=\"" + content + "\">\r\n";
}

// Every event of a component, one name a line; OnDownload once for a run of chunks.
std::vector<std::string> *Record(TKvWebUpdate &w, std::vector<std::string> &events) {
  auto add = [&events](const std::string &e) {
    if (!(e == "Download" && !events.empty() && events.back() == "Download")) events.push_back(e);
  };
  w.OnBeforeGetInfo = [add](TKvWebUpdate *) { add("BeforeGetInfo"); };
  w.OnAfterGetInfo = [add](TKvWebUpdate *) { add("AfterGetInfo"); };
  w.OnDownload = [add](TKvWebUpdate *, int64_t, int64_t) { add("Download"); };
  w.OnDownloadError = [add](TKvWebUpdate *) { add("DownloadError"); };
  w.OnNoUpdateFound = [add](TKvWebUpdate *) { add("NoUpdateFound"); };
  w.OnUpdateAvailable = [add](TKvWebUpdate *, const std::string &a, const std::string &n, bool &) {
    add("UpdateAvailable " + a + " -> " + n);
  };
  w.OnBeforeDownload = [add](TKvWebUpdate *, const std::string &) { add("BeforeDownload"); };
  w.OnAfterDownload = [add](TKvWebUpdate *, const std::string &) { add("AfterDownload"); };
  w.OnCannotExecute = [add](TKvWebUpdate *) { add("CannotExecute"); };
  return &events;
}

class WebUpdateFlow : public kvtest::HttpPeersTest {
protected:
  static void SetUpTestSuite() {
    HttpPeersTest::SetUpTestSuite();
    kvtest::WriteFile(files_->file("setup.sh"), kInstaller);
    kvtest::WriteFile(files_->file("setup.tar.gz"),
                      std::string("\x1f\x8b\x08\x00", 4) + std::string(2000, 'z'));
  }

  static void WritePage(const std::string &name, const PageSpec &p) {
    std::string html = "<html><head>\r\n<title>Korvane 2005</title>\r\n";
    if (!p.product.empty()) html += Meta("kvProduct", p.product);
    if (!p.version.empty()) html += Meta("kvVersion", p.version);
    html += Meta("kvAuthor", "Halvern") + Meta("kvEmail", "update@halvern.example");
    if (!p.download.empty()) html += Meta("kvDownload", p.download);
    if (!p.client.empty()) html += Meta("kvClientSideName", p.client);
    if (!p.params.empty()) html += Meta("kvRunParameters", p.params);
    if (!p.redirection.empty()) html += Meta("kvRedirection", p.redirection);
    html += "</head><body><p>Neue Version</p></body></html>\r\n";
    kvtest::WriteFile(files_->file(name), html);
  }
  // A page offering the script installer from `installer_server`, with the marker as its first
  // run parameter.
  std::string InstallerPage(const std::string &name, kvtest::HttpPeer &installer_server,
                            const std::string &path = "/setup.sh") {
    PageSpec p;
    p.download = installer_server.Url(path);
    p.params = Marker() + " --silent zwei";
    WritePage(name, p);
    return "/" + name;
  }
  void Configure(TKvWebUpdate &w, const std::string &url) {
    w.ProductInfo.SetURL(url);
    if (&w != form_kv_) {
      w.ProductInfo.Version = "Release 27";
      w.ProductInfo.VersionFormat = vfString;
    }
    w.CAFile = certs_->CAFile();
    w.StallTimeoutMs = 10000;
    w.Terminate = [this] { ++terminated_; };
  }
  std::string Marker() const { return work_.file("marker"); }
  // Runs `action` on the GUI thread once `server` has seen a request for `path`.
  void WhenAsked(const std::string &path, QObject *context, std::function<void()> action,
                 kvtest::HttpPeer *server = plain_) {
    poll_ = [=, this] {
      if (server->CountRequests(path) > 0)
        action();
      else
        QMetaObject::invokeMethod(context, poll_, Qt::QueuedConnection);
    };
    QMetaObject::invokeMethod(context, poll_, Qt::QueuedConnection);
  }

  kvtest::TempDir tmp_, work_;
  kvtest::ScopedEnv tmpdir_{"TMPDIR", tmp_.path()};
  int terminated_ = 0;
  TKvWebUpdate *form_kv_ = nullptr; // the update window's component keeps the window's settings
  std::function<void()> poll_;
};

} // namespace

TEST_F(WebUpdateFlow, EventsInOrderAndTheInstallerStartedOverHttps) {
  TKvWebUpdate w;
  Configure(w, secure_->Url(InstallerPage("korvan.htm", *secure_)));
  std::vector<std::string> events;
  Record(w, events);
  int64_t last_total = -1, last_done = -1;
  w.OnDownload = [&, inner = w.OnDownload](TKvWebUpdate *s, int64_t total, int64_t done) {
    inner(s, total, done);
    last_total = total;
    last_done = done;
  };
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(w.CheckAndUpdate()) << w.LastTransferError();
  std::printf("[ MEASURED ] check over HTTPS with download and start: %" PRId64 " ms\n",
              kvtest::ElapsedMs(start));
  EXPECT_EQ(events, (std::vector<std::string>{"BeforeGetInfo", "Download", "AfterGetInfo",
                                              "UpdateAvailable Release 27 -> Release 28", "BeforeDownload",
                                              "Download", "AfterDownload"}));
  EXPECT_EQ(last_total, static_cast<int64_t>(kInstaller.size()));
  EXPECT_EQ(last_done, static_cast<int64_t>(kInstaller.size()));
  EXPECT_TRUE(w.DownloadVerified());
  EXPECT_EQ(w.ClientFile(), w.PrivateDirectory() + "/korvan-setup.sh");
  EXPECT_EQ(kvtest::ReadFile(w.ClientFile()), kInstaller);
  ASSERT_TRUE(kvtest::WaitUntil([&] { return !kvtest::ReadFile(Marker()).empty(); }));
  EXPECT_EQ(kvtest::ReadFile(Marker()), "--silent\nzwei\n") << "arguments without a shell";
  EXPECT_EQ(terminated_, 1);
  EXPECT_EQ(secure_->Requests().front().substr(0, secure_->Requests().front().find('|')),
            "GET /korvan.htm HTTP/1.0");
}

TEST_F(WebUpdateFlow, RedirectionsAreFollowedFiveTimesInARow) {
  for (int i = 0; i < 5; ++i) {
    PageSpec p;
    p.version = "Release " + std::to_string(100 + i); // replaced by the next page's values
    p.redirection = secure_->Url("/chain" + std::to_string(i + 1) + ".htm");
    WritePage("chain" + std::to_string(i) + ".htm", p);
  }
  PageSpec last;
  last.version = "Release 27";
  WritePage("chain5.htm", last);
  TKvWebUpdate w;
  Configure(w, secure_->Url("/chain0.htm"));
  std::vector<std::string> events;
  Record(w, events);
  EXPECT_FALSE(w.CheckAndUpdate());
  EXPECT_EQ(w.WebVersion(), "Release 27");
  EXPECT_EQ(events, (std::vector<std::string>{"BeforeGetInfo", "Download", "AfterGetInfo", "NoUpdateFound"}));

  // A page naming itself: the first fetch and five more, then the fetch fails.
  PageSpec loop;
  loop.redirection = secure_->Url("/self.htm");
  WritePage("self.htm", loop);
  events.clear();
  Configure(w, secure_->Url("/self.htm"));
  EXPECT_FALSE(w.CheckAndUpdate());
  EXPECT_EQ(secure_->CountRequests("/self.htm"), 6);
  EXPECT_EQ(events, (std::vector<std::string>{"BeforeGetInfo", "Download", "DownloadError", "AfterGetInfo",
                                              "DownloadError"}));
  EXPECT_EQ(w.WebVersion(), "");
}

TEST_F(WebUpdateFlow, FailedFetchesGiveTheErrorTwiceAPageWithoutProductOnce) {
  PageSpec big;
  big.product = std::string(300, 'p');
  WritePage("big.htm", big);
  PageSpec bare;
  bare.product = "";
  WritePage("bare.htm", bare);
  struct Case {
    std::string url;
    int64_t page_cap;
    int errors;
  } cases[] = {
      {"http://127.0.0.1:" + std::to_string(kvtest::FreePort()) + "/update/korvan.htm", 1 << 20, 2},
      {plain_->Url("/big.htm"), 500, 2},
      {plain_->Url("/bare.htm"), 1 << 20, 1}, // fetched, but without a product
  };
  for (const Case &c : cases) {
    TKvWebUpdate w;
    Configure(w, c.url);
    w.MaxPageSize = c.page_cap;
    std::vector<std::string> events;
    Record(w, events);
    EXPECT_FALSE(w.CheckAndUpdate()) << c.url;
    EXPECT_EQ(std::count(events.begin(), events.end(), "DownloadError"), c.errors)
        << c.url << " " << w.LastTransferError();
    EXPECT_EQ(std::count(events.begin(), events.end(), "AfterGetInfo"), 1) << c.url;
    EXPECT_EQ(events.back(), "DownloadError") << c.url;
  }
}

TEST_F(WebUpdateFlow, UnauthenticatedDownloadsAreKeptNotStarted) {
  // Plain page, HTTPS installer; HTTPS page, plain installer; HTTPS page that hands over to a
  // plain page offering an HTTPS installer.
  InstallerPage("to-secure.htm", *secure_);
  InstallerPage("to-plain.htm", *plain_);
  PageSpec hop;
  hop.redirection = plain_->Url("/to-secure.htm");
  WritePage("hop.htm", hop);
  for (const std::string &url :
       {plain_->Url("/to-secure.htm"), secure_->Url("/to-plain.htm"), secure_->Url("/hop.htm")}) {
    TKvWebUpdate w;
    Configure(w, url);
    std::vector<std::string> events;
    Record(w, events);
    EXPECT_FALSE(w.CheckAndUpdate()) << url;
    EXPECT_EQ(events.back(), "AfterDownload") << url;
    EXPECT_TRUE(w.Success()) << url;
    EXPECT_FALSE(w.DownloadVerified()) << url;
    EXPECT_EQ(kvtest::ReadFile(w.ClientFile()), kInstaller) << "kept: " << url;
    EXPECT_EQ(terminated_, 0);
  }
  EXPECT_TRUE(kvtest::ReadFile(Marker()).empty()) << "nothing was started";
}

TEST_F(WebUpdateFlow, OtherFilesGoToTheOpenerAndAFailedStartDoesNotEndTheProgram) {
  // A desktop opener of our own that notes what it was asked to open.
  kvtest::WriteFile(work_.file("xdg-open"),
                    "#!/bin/sh\necho \"$1\" > \"" + work_.file("opened") + "\"\nexit \"$(cat " +
                        work_.file("status") + ")\"\n",
                    0755);
  const std::string saved_path = std::getenv("PATH");
  setenv("PATH", (work_.path() + ":" + saved_path).c_str(), 1);
  PageSpec archive;
  archive.download = secure_->Url("/setup.tar.gz");
  archive.client = "korvan.tar.gz";
  WritePage("archive.htm", archive);
  for (const auto &[status, started] : std::vector<std::pair<std::string, bool>>{{"0", true}, {"1", false}}) {
    kvtest::WriteFile(work_.file("status"), status);
    TKvWebUpdate w;
    Configure(w, secure_->Url("/archive.htm"));
    std::vector<std::string> events;
    Record(w, events);
    EXPECT_EQ(w.CheckAndUpdate(), started) << status;
    EXPECT_EQ(kvtest::ReadFile(work_.file("opened")), w.ClientFile() + "\n");
    EXPECT_EQ(events.back(), started ? "AfterDownload" : "CannotExecute");
    EXPECT_EQ(terminated_, 1) << "the program ends only after a started installer";
  }
  // An installer that fails at once is not started either.
  kvtest::WriteFile(files_->file("fails.sh"), "#!/bin/sh\nexit 3\n");
  PageSpec failing;
  failing.download = secure_->Url("/fails.sh");
  WritePage("fails.htm", failing);
  TKvWebUpdate w;
  Configure(w, secure_->Url("/fails.htm"));
  std::vector<std::string> events;
  Record(w, events);
  EXPECT_FALSE(w.CheckAndUpdate());
  EXPECT_EQ(events.back(), "CannotExecute");
  EXPECT_EQ(terminated_, 1);
  setenv("PATH", saved_path.c_str(), 1);
}

TEST_F(WebUpdateFlow, TransfersAreBoundedAsAWholeAndSizesAreSixtyFourBit) {
  // A page that comes a byte every 100 ms: each gap is far within the stall time, the whole is
  // too slow.
  kvtest::WriteFile(files_->file("drip.htm"), std::string(60, 'd'));
  TKvWebUpdate w;
  Configure(w, plain_->Url("/drip/100/drip.htm"));
  w.StallTimeoutMs = 2000;
  w.RateGraceMs = 300;
  w.MinBytesPerSecond = 100;
  EXPECT_FALSE(w.CheckAndUpdate());
  EXPECT_EQ(w.LastTransferError(), "slower than 100 bytes a second on average");

  // An announced length above the cap is refused at the headers; below it (cap raised), sizes
  // past 2 GiB reach the progress event whole.
  const int64_t announced = int64_t(3) << 30;
  const std::string url = plain_->Url("/announce/" + std::to_string(announced) + "/setup.sh");
  TKvWebUpdate big;
  Configure(big, url);
  std::vector<int64_t> totals;
  big.OnDownload = [&](TKvWebUpdate *, int64_t total, int64_t) { totals.push_back(total); };
  big.HttpGet(url, "", tmp_.file("refused.sh"), true, true, "");
  EXPECT_EQ(big.LastTransferError(), "announces 3221225472 bytes, more than 268435456");
  EXPECT_TRUE(totals.empty());
  big.MaxInstallerSize = int64_t(4) << 30;
  big.HttpGet(url, "", tmp_.file("cut.sh"), true, true, "");
  EXPECT_EQ(big.LastTransferError(),
            "cut short: " + std::to_string(kInstaller.size()) + " of 3221225472 bytes");
  EXPECT_EQ(totals, std::vector<int64_t>{announced});
  EXPECT_EQ(big.Total(), announced);
}

// The update window, as the user clicks through it.
class WebUpdateWindowFlow : public WebUpdateFlow {
protected:
  void SetUp() override {
    WebUpdateFlow::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    form_ = std::make_unique<TWebUpdateForm>();
    form_kv_ = form_->kvWebUpdate.get();
    form_->show();
  }
  void TearDown() override {
    form_.reset();
    WebUpdateFlow::TearDown();
  }
  void Click(const std::string &page_url) {
    Configure(*form_->kvWebUpdate, page_url);
    form_->findChild<QPushButton *>("btn_Update")->click();
  }
  QString Label(const char *name) const { return form_->findChild<QLabel *>(name)->text(); }
  bool ButtonsEnabled() const {
    return form_->findChild<QPushButton *>("btn_Update")->isEnabled() &&
           form_->findChild<QPushButton *>("btn_Exit")->isEnabled();
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto &m : boxes_.Shown())
      texts.push_back(m.caption.toStdString() + ": " + m.text.toStdString());
    return texts;
  }
  static std::string Question(const std::string &version) {
    return "Informationen: Die neue Version Korvane 2005 " + version +
           " ist nun zum Download verfügbar.\r\nSoll das Update von Korvane 2005 jetzt durchgeführt werden?";
  }

  kv::ui::MessageBoxCapture boxes_;
  std::unique_ptr<TWebUpdateForm> form_;
};

TEST_F(WebUpdateWindowFlow, NoNewRelease) {
  PageSpec same;
  same.version = "Release 27";
  WritePage("same.htm", same);
  Click(secure_->Url("/same.htm"));
  EXPECT_EQ(Texts(), std::vector<std::string>{"Informationen: Es ist keine neue Version verfügbar!"});
  EXPECT_EQ(Label("lbl_YourVersion"), "Release 27");
  EXPECT_EQ(Label("lbl_WebVersion"), "Release 27");
  EXPECT_TRUE(ButtonsEnabled());
  EXPECT_TRUE(form_->isVisible());
}

TEST_F(WebUpdateWindowFlow, UpdateDeclinedClosesTheWindow) {
  boxes_.SetNextAnswer(MessageAnswer::No);
  Click(secure_->Url(InstallerPage("korvan.htm", *secure_)));
  EXPECT_EQ(Texts(), std::vector<std::string>{Question("Release 28")});
  EXPECT_FALSE(form_->isVisible());
  EXPECT_EQ(form_->result(), QDialog::Rejected);
  EXPECT_EQ(secure_->CountRequests("/setup.sh"), 0);
  EXPECT_TRUE(kvtest::ReadFile(Marker()).empty());
}

TEST_F(WebUpdateWindowFlow, UpdateOverHttpIsKeptButNotStarted) {
  boxes_.SetNextAnswer(MessageAnswer::Yes);
  Click(plain_->Url(InstallerPage("korvan.htm", *plain_)));
  const std::string file = form_->kvWebUpdate->ClientFile();
  ASSERT_EQ(Texts().size(), 2u);
  EXPECT_EQ(Texts()[0], Question("Release 28"));
  EXPECT_EQ(Texts()[1],
            "Informationen: Das Update wurde heruntergeladen, aber nicht gestartet, weil es nicht über "
            "eine gesicherte Verbindung (HTTPS mit geprüftem Zertifikat) geladen wurde.\r\n"
            "Sie finden die Datei hier:\r\n" +
                file);
  EXPECT_EQ(kvtest::ReadFile(file), kInstaller);
  EXPECT_TRUE(kvtest::ReadFile(Marker()).empty());
  EXPECT_EQ(terminated_, 0);
  EXPECT_TRUE(ButtonsEnabled());
  EXPECT_EQ(Label("lbl_File"), "korvan-setup.sh");
}

TEST_F(WebUpdateWindowFlow, UpdateOverHttpsIsStarted) {
  boxes_.SetNextAnswer(MessageAnswer::Yes);
  const auto start = std::chrono::steady_clock::now();
  Click(secure_->Url(InstallerPage("korvan.htm", *secure_)));
  std::printf("[ MEASURED ] click to started installer over HTTPS: %" PRId64 " ms\n",
              kvtest::ElapsedMs(start));
  EXPECT_EQ(Texts(), (std::vector<std::string>{Question("Release 28"),
                                               "Informationen: Das Update wurde heruntergeladen und wird nun "
                                               "installiert."}));
  ASSERT_TRUE(kvtest::WaitUntil([&] { return !kvtest::ReadFile(Marker()).empty(); }));
  EXPECT_EQ(kvtest::ReadFile(Marker()), "--silent\nzwei\n");
  EXPECT_EQ(terminated_, 1);
  EXPECT_EQ(Label("lbl_File"), "korvan-setup.sh");
  auto *bar = form_->findChild<QProgressBar *>("ProgressBar");
  EXPECT_EQ(bar->maximum(), static_cast<int>(kInstaller.size()));
  EXPECT_EQ(bar->value(), static_cast<int>(kInstaller.size()));
}

TEST_F(WebUpdateWindowFlow, FailedFetchShowsTheErrorTwice) {
  Click(plain_->Url("/status/404/update/korvan.htm"));
  const std::string error = "Fehler: Die Daten konnten nicht aus dem Internet geladen werden!";
  EXPECT_EQ(Texts(), (std::vector<std::string>{error, error}));
  EXPECT_EQ(Label("lbl_WebVersion"), "unbekannt");
  EXPECT_TRUE(ButtonsEnabled());
}

// Each check starts from an empty bar and no file name, so a check that fails or finds no new
// release after a download does not show that download; the bar is the file's, not the page's.
TEST_F(WebUpdateWindowFlow, EachCheckStartsWithoutTheLastDownload) {
  auto *bar = form_->findChild<QProgressBar *>("ProgressBar");
  PageSpec same;
  same.version = "Release 27";
  WritePage("same.htm", same);
  for (const std::string &next : {plain_->Url("/status/404/update/korvan.htm"), secure_->Url("/same.htm")}) {
    SCOPED_TRACE(next);
    boxes_.SetNextAnswer(MessageAnswer::Yes);
    Click(plain_->Url(InstallerPage("korvan.htm", *plain_)));
    ASSERT_EQ(Label("lbl_File"), "korvan-setup.sh");
    ASSERT_EQ(bar->value(), static_cast<int>(kInstaller.size()));
    ASSERT_EQ(bar->maximum(), bar->value());
    Click(next);
    EXPECT_EQ(Label("lbl_File"), "");
    EXPECT_EQ(bar->value(), 0);
    EXPECT_GT(bar->maximum(), 0) << "an empty bar, not a busy one";
    EXPECT_TRUE(ButtonsEnabled());
  }
}

TEST_F(WebUpdateWindowFlow, FailedDownloadIsNotReportedAsInstalled) {
  boxes_.SetNextAnswer(MessageAnswer::Yes);
  Click(secure_->Url(InstallerPage("korvan.htm", *secure_, "/short/setup.sh")));
  EXPECT_EQ(Texts(),
            (std::vector<std::string>{Question("Release 28"),
                                      "Fehler: Die Daten konnten nicht aus dem Internet geladen werden!"}));
  EXPECT_TRUE(ButtonsEnabled());
  EXPECT_EQ(terminated_, 0);
  const std::string dir = form_->kvWebUpdate->PrivateDirectory();
  EXPECT_TRUE(!std::filesystem::exists(dir) || std::filesystem::is_empty(dir)) << "the partial file is gone";
}

TEST_F(WebUpdateWindowFlow, ALargeDownloadMovesTheBarAtMostOnceAnInterval) {
  // 8 MiB come in some 500 chunks of libcurl's; the bar (and the event processing with it)
  // follows once a ProgressIntervalMs and at the end.
  const int size = 8 << 20;
  kvtest::WriteFile(files_->file("large.bin"), std::string(size, 'l'));
  PageSpec large;
  large.download = plain_->Url("/large.bin");
  large.client = "large.bin";
  WritePage("large.htm", large);
  auto *bar = form_->findChild<QProgressBar *>("ProgressBar");
  int moves = 0;
  QObject::connect(bar, &QProgressBar::valueChanged, [&] { ++moves; });
  boxes_.SetNextAnswer(MessageAnswer::Yes);
  const auto start = std::chrono::steady_clock::now();
  Click(plain_->Url("/large.htm"));
  const int64_t took = kvtest::ElapsedMs(start);
  std::printf("[ MEASURED ] 8 MiB through the window in %" PRId64 " ms, the bar moved %d times\n", took,
              moves);
  EXPECT_TRUE(form_->kvWebUpdate->Success()) << form_->kvWebUpdate->LastTransferError();
  EXPECT_EQ(bar->value(), size);
  // The page's last count, the reset before the question and the installer's last count, plus
  // one an interval.
  EXPECT_LE(moves, 3 + took / form_->kvWebUpdate->ProgressIntervalMs);
}

TEST_F(WebUpdateWindowFlow, TheUserCanLeaveWhileTheServerStalls) {
  QPushButton *exit = form_->findChild<QPushButton *>("btn_Exit");
  bool exit_enabled = false;
  std::chrono::steady_clock::time_point clicked;
  WhenAsked("/stall/update/korvan.htm", form_.get(), [&] {
    exit_enabled = exit->isEnabled();
    clicked = std::chrono::steady_clock::now();
    exit->click();
  });
  Configure(*form_->kvWebUpdate, plain_->Url("/stall/update/korvan.htm"));
  form_->kvWebUpdate->StallTimeoutMs = 60000;
  form_->findChild<QPushButton *>("btn_Update")->click();
  const int64_t took = kvtest::ElapsedMs(clicked);
  std::printf("[ MEASURED ] Schliessen during a stalled fetch closed the window after %" PRId64 " ms\n",
              took);
  EXPECT_TRUE(exit_enabled) << "Schließen is usable while a check runs";
  EXPECT_FALSE(form_->isVisible());
  EXPECT_LT(took, 15000) << "long before the server's silence would have ended it (60 s)";
  EXPECT_TRUE(Texts().empty()) << "leaving is not an error";
}

TEST_F(WebUpdateWindowFlow, PageTextIsShownPlainAndShort) {
  PageSpec odd;
  odd.version = "Release <b>99</b> " + std::string(80, 'x');
  WritePage("odd.htm", odd);
  // The question as the real box shows it, answered "&Nein".
  kv::ui::RealMessageBoxes real;
  QString question;
  Qt::TextFormat format = Qt::AutoText;
  kvtest::ModalDriver answer([&](QDialog &d) {
    auto *box = qobject_cast<QMessageBox *>(&d);
    if (!box) return false;
    question = box->text();
    format = box->textFormat();
    for (QAbstractButton *button : box->buttons())
      if (button->text() == "&Nein") button->click();
    return true;
  });
  Click(secure_->Url("/odd.htm"));
  const QString shown = QStringLiteral("Release <b>99</b> ") + QString(21, 'x') + QChar(0x2026);
  EXPECT_EQ(Label("lbl_WebVersion"), shown);
  EXPECT_TRUE(question.contains(shown)) << question.toStdString();
  EXPECT_EQ(format, Qt::PlainText) << "page text is never read as mark-up";
  EXPECT_FALSE(answer.TimedOut());
  EXPECT_FALSE(form_->isVisible()) << "declined";
  EXPECT_TRUE(boxes_.Shown().empty());
}
