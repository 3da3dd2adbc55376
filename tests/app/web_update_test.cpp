// The web update component without a network: reading the META lines, comparing releases,
// addresses and client file names, the overwrite rules; the information window, the update
// window's settings and Esc rule, the about box, and the application's terminate operation.
#include "app/web_update.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include "app/about_box.h"
#include "app/web_update_form.h"
#include "app/web_update_info.h"
#include "net/http_get.h"
#include "platform/datetime.h"
#include "platform/ui/application.h"
#include "platform/ui/message_box.h"
#include "platform/version.h"
#include "test_support.h"

using namespace kv::app;

namespace {

// Values read from `lines`, in the order of TKvTagInfo's declaration.
std::vector<std::string> Parse(const std::vector<std::string> &lines) {
  TKvWebUpdate w;
  w.Lines() = lines;
  w.ParseInfo();
  return {w.Author(),      w.Email(),          w.ClientFileName(), w.DownloadURL(),
          w.ProductName(), w.RedirectionURL(), w.RunParameters(),  w.WebVersion()};
}

std::string Meta(const std::string &name, const std::string &content) {
  return "<META NAME=\"" + name + "\" CONTENT=\"" + content + "\">";
}

// A TMPDIR of its own, so private folders land in a folder the test removes.
struct PrivateTmp {
  kvtest::TempDir dir;
  kvtest::ScopedEnv env{"TMPDIR", dir.path()};
};

} // namespace

TEST(WebUpdateMeta, LinesGiveThePageValues) {
  const std::vector<std::string> page = {
      "<html><head>",
      Meta("kvProduct", "Korvane 2005"),
      Meta("kvVersion", "Release 28"),
      Meta("kvAuthor", "Halvern"),
      Meta("kvEmail", "info@halvern.example"),
      Meta("kvDownload", "https://h.example/setup.sh"),
      Meta("kvClientSideName", "setup.sh"),
      Meta("kvRunParameters", "--silent"),
      Meta("kvRedirection", "https://h.example/other.htm"),
      "</head></html>",
  };
  EXPECT_EQ(Parse(page), (std::vector<std::string>{"Halvern", "info@halvern.example", "setup.sh",
                                                   "https://h.example/setup.sh", "Korvane 2005",
                                                   "https://h.example/other.htm", "--silent", "Release 28"}));

  struct Case {
    std::vector<std::string> lines;
    std::string version; // the web version read
  } cases[] = {
      {{"<meta name=\"kvVersion\" content=\"Release 28\">"}, ""},           // lower-case META NAME is not one
      {{"<META NAME=\"kvVersion\" content=\"Release 28\">"}, "Release 28"}, // CONTENT= in any case
      {{"<META NAME=\"kvVersion\" CoNtEnT=\"Release 28\">"}, "Release 28"},
      {{Meta("kvVersion", "Release 28"), Meta("kvVersion", "Release 29")}, "Release 29"}, // later wins
      {{"<META NAME=\"kvversion\" CONTENT=\"Release 28\">"}, ""},     // names match exactly
      {{"  x <META NAME=\"kvVersion\" CONTENT=\"R 30\"> y"}, "R 30"}, // anywhere in the line
      {{"<META NAME=\"kvVersion\" CONTENT=\"no end"}, ""},            // no closing quote
      {{"<META NAME=\"kvVersion\">"}, ""},                            // no CONTENT=
      {{"<META NAME=\"kvVersion\" CONTENT=\"" + std::string(254, 'v') + "\">"}, std::string(254, 'v')},
      {{"<META NAME=\"kvVersion\" CONTENT=\"" + std::string(255, 'v') + "\">"}, ""}, // quote past 255
      {{"<META NAME=\"" + std::string(300, 'n') + "\" CONTENT=\"x\">"}, ""},
  };
  for (const Case &c : cases)
    EXPECT_EQ(Parse(c.lines)[7], c.version) << c.lines[0].substr(0, 60);
}

TEST(WebUpdateVersions, ComparisonTable) {
  const struct {
    TKvVersionFormat format;
    const char *local, *web;
    bool newer;
  } cases[] = {
      // As written down for the component.
      {vfStandard, "1.2", "1.10", true},
      {vfStandard, "2.0", "1.9", false},
      {vfString, "Release 27", "Release 28", true},
      {vfString, "Release 27", "Release 27", false},
      {vfNumber, "1.5", "abc", false},
      // Digit runs by value: no downgrade offered, a three-digit release is newer.
      {vfString, "Release 27", "Release 100", true},
      {vfString, "Release 27", "Release 3", false},
      {vfString, "Release 27", "Release 027", false},
      {vfString, "Release 27", "Release 27a", true},
      {vfString, "Release 27", "release 28", true}, // 'r' sorts after 'R'
      {vfString, "Release 27", "", false},
      // Standard: missing numbers count as 0, anything unreadable too.
      {vfStandard, "1.0", "1", false},
      {vfStandard, "3.1", "3", false},
      {vfStandard, "1", "1.5", true},
      {vfStandard, "1.0", "1.0.1", true},
      {vfStandard, "1.x", "1.1", true},
      {vfStandard, "1.0", "1.0", false},
      {vfStandard, "9", "10", true},
      // Number: the whole text, "." as decimal point.
      {vfNumber, "1.5", "1.25", false},
      {vfNumber, "1.5", "1.75", true},
      {vfNumber, "1,5", "2", false},
      {vfNumber, "1.5", "2 x", false},
      {vfNumber, "1.5", "inf", false},
      {vfNumber, "1.5", " 2 ", true},
  };
  for (const auto &c : cases) {
    TKvWebUpdate w;
    int none = 0;
    w.OnNoUpdateFound = [&](TKvWebUpdate *) { ++none; };
    w.ProductInfo.Version = c.local;
    w.ProductInfo.VersionFormat = c.format;
    w.Lines() = {Meta("kvVersion", c.web)};
    w.ParseInfo();
    EXPECT_EQ(w.IsNewerVersion(), c.newer) << c.format << " local " << c.local << " web " << c.web;
    EXPECT_EQ(none, c.newer ? 0 : 1) << c.local << " / " << c.web;
  }
}

TEST(WebUpdateAddresses, ProductUrlAndSplitting) {
  TKvProductInfo info;
  EXPECT_EQ(info.URL(), "http://");
  for (const auto &[in, out] : std::vector<std::pair<std::string, std::string>>{
           {"www.example.org/update/korvan.htm", "http://www.example.org/update/korvan.htm"},
           {"HTTP://h/p", "HTTP://h/p"},
           {"https://h/p", "https://h/p"},
           {"ftp://h/p", "http://ftp://h/p"}}) {
    info.SetURL(in);
    EXPECT_EQ(info.URL(), out);
  }

  struct Case {
    const char *url;
    bool ok;
    const char *text; // put back together
  } cases[] = {
      {"https://h.example/update/korvan.htm", true, "https://h.example/update/korvan.htm"},
      {"http://h.example", true, "http://h.example/"},
      {"h.example/x", true, "http://h.example/x"},
      {"HTTPS://H.example:8443/a?b=1#frag", true, "https://H.example:8443/a?b=1"},
      {"https://h:443/", true, "https://h/"},
      {"http://[::1]:81/x", true, "http://[::1]:81/x"},
      {"http:///x", false, ""},
      {"ftp://h/x", false, ""},
      {"http://user:pw@h/x", false, ""},
      {"http://h:65536/", false, ""},
      {"http://h:8o/", false, ""},
      {"http://h/a b", false, ""},
  };
  TKvWebUpdate w;
  for (const Case &c : cases) {
    TKvURLParts parts;
    EXPECT_EQ(w.SplitURL(c.url, parts), c.ok) << c.url;
    if (c.ok) {
      EXPECT_EQ(parts.Text(), c.text) << c.url;
    }
  }
}

TEST(WebUpdateComponent, ClientFileNameIsTheLastComponentInAPrivateFolder) {
  PrivateTmp tmp;
  struct Case {
    const char *page_name;
    const char *file; // "" when refused
  } cases[] = {
      {"setup.sh", "setup.sh"},
      {"../../.bashrc", ".bashrc"},
      {"/etc/passwd", "passwd"},
      {"a/b/korvan.deb", "korvan.deb"},
      {"", ""},
      {".", ""},
      {"..", ""},
      {"dir/", ""},
      {"x/..", ""},
      {"tab\tname", ""},
  };
  TKvWebUpdate w;
  for (const Case &c : cases) {
    w.Lines() = {Meta("kvClientSideName", c.page_name)};
    w.ParseInfo();
    std::string file;
    w.GetClientFileName(file);
    if (*c.file == 0) {
      EXPECT_EQ(file, "") << c.page_name;
      continue;
    }
    EXPECT_EQ(file, w.PrivateDirectory() + "/" + c.file) << c.page_name;
  }
  ASSERT_EQ(w.PrivateDirectory().rfind(tmp.dir.path() + "/korvane-update-", 0), 0u) << w.PrivateDirectory();
  struct stat st {};
  ASSERT_EQ(::stat(w.PrivateDirectory().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(WebUpdateComponent, OverwritingOnlyInThePrivateFolderAndNeverThroughALink) {
  PrivateTmp tmp;
  const std::string outside = tmp.dir.file("outside.txt");
  kvtest::WriteFile(outside, "keep me");
  std::string private_dir;
  {
    TKvWebUpdate w;
    // The transfer itself fails at once: nothing listens there.
    w.Lines() = {Meta("kvClientSideName", "setup.sh"),
                 Meta("kvDownload", "http://127.0.0.1:" + std::to_string(kvtest::FreePort()) + "/setup.sh")};
    w.ParseInfo();
    std::vector<std::string> events;
    w.OnClientFileExists = [&](TKvWebUpdate *, std::string &, bool &overwrite) {
      events.push_back(overwrite ? "exists:overwrite" : "exists:keep");
    };
    w.OnDownloadError = [&](TKvWebUpdate *) { events.push_back("error"); };
    w.OnBeforeDownload = [&](TKvWebUpdate *, const std::string &) { events.push_back("before"); };
    w.OnAfterDownload = [&](TKvWebUpdate *, const std::string &) { events.push_back("after"); };

    // A link planted under the client name: without uoOverwrite the download is refused...
    std::string file;
    w.GetClientFileName(file);
    private_dir = w.PrivateDirectory();
    ASSERT_EQ(::symlink(outside.c_str(), file.c_str()), 0);
    w.DownloadUpdate();
    EXPECT_EQ(events, (std::vector<std::string>{"exists:keep", "error"}));
    // ...with it the link goes, not what it points to.
    events.clear();
    w.Options.insert(uoOverwrite);
    w.DownloadUpdate();
    EXPECT_EQ(events, (std::vector<std::string>{"exists:overwrite", "before", "error", "after"}));
    EXPECT_EQ(kvtest::ReadFile(outside), "keep me");
    struct stat st {};
    EXPECT_NE(::lstat(file.c_str(), &st), 0) << "nothing is left of a failed download";

    // A path outside the private folder is never overwritten, whatever the handler says.
    events.clear();
    w.OnGetClientFileName = [&](TKvWebUpdate *, std::string &name) { name = outside; };
    w.OnClientFileExists = [&](TKvWebUpdate *, std::string &, bool &overwrite) {
      events.push_back(overwrite ? "exists:overwrite" : "exists:keep");
      overwrite = true;
    };
    w.DownloadUpdate();
    EXPECT_EQ(events, (std::vector<std::string>{"exists:keep", "error"}));
    EXPECT_EQ(kvtest::ReadFile(outside), "keep me");
    EXPECT_FALSE(w.Success());
  }
  struct stat st {};
  EXPECT_NE(::stat(private_dir.c_str(), &st), 0) << "an empty private folder is removed";
}

TEST(WebUpdateInfoWindow, ButtonsCentredAndNothingLoaded) {
  Tfrm_ShowInfoUpdate f;
  EXPECT_FALSE(f.windowFlags() & Qt::WindowCloseButtonHint);
  auto *panel = f.findChild<QWidget *>("Panel_Bottom");
  ASSERT_NE(panel, nullptr);
  for (const auto &[width, ok_left] :
       std::vector<std::pair<int, int>>{{530, 187}, {156, 0}, {101, -27}, {300, 72}}) {
    panel->resize(width, 41);
    f.Panel_BottomResize();
    EXPECT_EQ(f.btn_OK()->x(), ok_left) << width;
    EXPECT_EQ(f.btn_Cancel()->x(), ok_left + 78) << width;
  }
  EXPECT_EQ(f.btn_OK()->size(), QSize(75, 25));
  EXPECT_TRUE(f.chk_FutureUpdate()->isChecked());
  EXPECT_FALSE(
      f.WebBrowser()->loadResource(QTextDocument::ImageResource, QUrl("file:///etc/hostname")).isValid());
  EXPECT_FALSE(f.WebBrowser()
                   ->loadResource(QTextDocument::StyleSheetResource, QUrl("http://127.0.0.1/x.css"))
                   .isValid());
  f.Navigate("http://h/p", "");
  EXPECT_TRUE(f.WebBrowser()->toPlainText().contains("http://h/p"));
}

TEST(WebUpdateInfoWindow, ShowInfoSetsCaptionsAndReturnsTheAnswer) {
  TKvWebUpdate w;
  w.OnBeforeShowInfo = [&](TKvWebUpdate *, bool &show, bool &) { show = false; };
  EXPECT_TRUE(w.ShowInfo());
  EXPECT_EQ(w.InfoWindow(), nullptr) << "not shown, not made";

  w.ProductInfo.SetURL("https://h.example/update/korvan.htm");
  w.InfoCaption = {"&OK", "Abbre&chen", "in Zukunft auf &Updates prüfen"};
  w.Lines() = {"<html><body><h1>Release 28</h1>", "</body></html>"};
  for (const bool ok : {true, false}) {
    std::vector<bool> after;
    w.OnBeforeShowInfo = [&](TKvWebUpdate *, bool &, bool &check) { check = ok; };
    w.OnAfterShowInfo = [&](TKvWebUpdate *s, bool check) {
      after.push_back(check);
      Tfrm_ShowInfoUpdate *f = s->InfoWindow();
      QMetaObject::invokeMethod(
          f, [f, ok] { (ok ? f->btn_OK() : f->btn_Cancel())->click(); }, Qt::QueuedConnection);
    };
    EXPECT_EQ(w.ShowInfo(), ok);
    EXPECT_EQ(after, std::vector<bool>{ok});
  }
  Tfrm_ShowInfoUpdate *f = w.InfoWindow();
  EXPECT_EQ(f->btn_Cancel()->text(), "Abbre&chen");
  EXPECT_EQ(f->chk_FutureUpdate()->text(), "in Zukunft auf &Updates prüfen");
  EXPECT_EQ(f->NavigatedURL(), "https://h.example/update/korvan.htm");
  EXPECT_TRUE(f->WebBrowser()->toPlainText().contains("Release 28"));
}

TEST(WebUpdateWindow, PlainLabelsAndEsc) {
  TWebUpdateForm f;
  EXPECT_FALSE(f.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint));
  EXPECT_EQ(f.kvWebUpdate->ProductInfo.URL(), UpdatePageURL());
  EXPECT_EQ(UpdatePageURL().rfind("https://", 0), 0u) << "the default host is an https address";
  for (const char *name : {"lbl_YourVersion", "lbl_WebVersion", "lbl_File"}) {
    auto *label = f.findChild<QLabel *>(name);
    ASSERT_NE(label, nullptr) << name;
    EXPECT_EQ(label->textFormat(), Qt::PlainText) << name;
  }
  EXPECT_EQ(f.findChild<QLabel *>("lbl_WebVersion")->text(), "unbekannt");

  auto *exit = f.findChild<QPushButton *>("btn_Exit");
  f.show();
  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  exit->setEnabled(false);
  QApplication::sendEvent(&f, &esc);
  EXPECT_TRUE(f.isVisible()) << "Esc does nothing while Schließen is disabled";
  exit->setEnabled(true);
  QApplication::sendEvent(&f, &esc);
  EXPECT_FALSE(f.isVisible());
  EXPECT_EQ(f.result(), QDialog::Rejected);

  EXPECT_EQ(PageText("Release 28"), "Release 28");
  EXPECT_EQ(PageText("a\tb\x1b[31m\xe2\x80\xae"), "a b [31m ");
  EXPECT_EQ(PageText(std::string(100, 'x')), QString(39, 'x') + QChar(0x2026));
}

TEST(WebUpdateWindow, LongFileNamesAndSizesFitTheWindow) {
  TWebUpdateForm f;
  f.show();
  // A 243-character name loses its middle, never its end.
  const std::string name = std::string(240, 'n') + ".sh";
  f.kvWebUpdateBeforeDownload(nullptr, "/tmp/korvane-update-x/" + name);
  auto *label = f.findChild<QLabel *>("lbl_File");
  const QString shown = label->text();
  EXPECT_TRUE(shown.startsWith("nnn") && shown.endsWith("n.sh") && shown.contains(QChar(0x2026)))
      << shown.toStdString();
  EXPECT_LE(label->fontMetrics().horizontalAdvance(shown), label->contentsRect().width());

  // 3 GiB of which half arrived: the bar, which counts in int, is half full.
  f.kvWebUpdateDownload(nullptr, int64_t(3) << 30, int64_t(3) << 29);
  auto *bar = f.findChild<QProgressBar *>("ProgressBar");
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum() / 2);
}

TEST(WebUpdateWindow, AnUnusableTransferLibraryIsExplainedWithFittingAdvice) {
  const std::string saved = kv::net::HttpLibraryName();
  const std::string any = ". Bitte installieren Sie libcurl (unter Debian das Paket libcurl4) und ";
  const std::string recent =
      ". Bitte installieren Sie libcurl ab Version 7.85 (unter Debian das Paket libcurl4) ";
  struct {
    std::string name;
    unsigned version; // pretended
    std::string why;  // how the loader's message starts
    std::string advice;
  } const rows[] = {
      {"libcurl-missing.so.4", 0, "Die Bibliothek libcurl-missing.so.4 lässt sich nicht laden (", any},
      {"libz.so.1", 0, "Der Bibliothek libz.so.1 fehlt die Funktion curl_", recent},
      {saved, 0x075400, "Die Bibliothek " + saved + " ist zu alt (", recent},
  };
  TWebUpdateForm f;
  f.show();
  for (const auto &row : rows) {
    kv::net::SetHttpLibraryName(row.name);
    kv::net::PretendHttpLibraryVersion(row.version);
    kv::ui::MessageBoxCapture boxes;
    f.findChild<QPushButton *>("btn_Update")->click();
    ASSERT_EQ(boxes.Shown().size(), 1u) << row.name;
    EXPECT_EQ(boxes.Shown()[0].caption, "Fehler");
    const std::string text = boxes.Shown()[0].text.toStdString();
    EXPECT_EQ(text.rfind("Für Internet-Übertragungen braucht Korvane die Bibliothek libcurl. " + row.why, 0),
              0u)
        << text;
    EXPECT_NE(text.find(row.advice), std::string::npos) << text;
  }
  EXPECT_TRUE(f.findChild<QPushButton *>("btn_Update")->isEnabled());
  // A transfer gives the library's message alone.
  TKvWebUpdate w;
  kv::net::SetHttpLibraryName(rows[0].name);
  kv::net::PretendHttpLibraryVersion(0);
  w.HttpGet("http://127.0.0.1:9/korvan.htm", "", "", false, false, "");
  kv::net::SetHttpLibraryName(saved);
  EXPECT_FALSE(w.Success());
  EXPECT_EQ(w.LastTransferError().rfind(rows[0].why, 0), 0u) << w.LastTransferError();
  EXPECT_TRUE(kv::net::LoadHttpLibrary()) << "found again by its own name";
}

namespace {

// A file that carries the version record `numbers`, between other bytes.
void WriteProgramFile(const std::string &path, std::array<uint16_t, 4> numbers) {
  kv::platform::FixedVersionRecord record{KV_VERSION_SIGNATURE,
                                          {numbers[0], numbers[1], numbers[2], numbers[3]}};
  std::string bytes(3000, '\x7f');
  bytes.append(reinterpret_cast<const char *>(&record), sizeof record);
  bytes.append(100, '\0');
  kvtest::WriteFile(path, bytes, 0755);
}

// Sets the modification time of `path` to 2024-04-09 12:00 local time.
void SetDate(const std::string &path) {
  std::tm t{};
  t.tm_year = 124;
  t.tm_mon = 3;
  t.tm_mday = 9;
  t.tm_hour = 12;
  t.tm_isdst = -1;
  const time_t when = std::mktime(&t);
  utimbuf times{when, when};
  ASSERT_EQ(::utime(path.c_str(), &times), 0);
}

} // namespace

TEST(AboutBox, ReadVersionNumbersSaysWhetherItRead) {
  kvtest::TempDir dir;
  WriteProgramFile(dir.file("korvan"), {2005, 1, 2, 27});
  uint16_t n[4] = {9, 9, 9, 9};
  EXPECT_TRUE(TAboutBox::ReadVersionNumbers(dir.file("korvan"), n[0], n[1], n[2], n[3]));
  EXPECT_EQ(std::vector<uint16_t>(n, n + 4), (std::vector<uint16_t>{2005, 1, 2, 27}));
  kvtest::WriteFile(dir.file("plain"), std::string(5000, 'a'));
  for (const std::string &file : {dir.file("plain"), dir.file("missing"), dir.path()}) {
    uint16_t m[4] = {9, 9, 9, 9};
    EXPECT_FALSE(TAboutBox::ReadVersionNumbers(file, m[0], m[1], m[2], m[3])) << file;
    EXPECT_EQ(std::vector<uint16_t>(m, m + 4), (std::vector<uint16_t>{9, 9, 9, 9})) << "left untouched";
  }
}

TEST(AboutBox, VersionLabelFromTheProgramFileBesideIt) {
  kv::platform::FormatSettings fs;
  fs.ShortDateFormat = "%d.%m.%Y";
  kv::platform::SetFormatSettings(fs);
  kvtest::TempDir with, without, missing;
  WriteProgramFile(with.file("korvan"), {2005, 0, 0, 27});
  kvtest::WriteFile(without.file("korvan"), "no record here");
  SetDate(with.file("korvan"));
  SetDate(without.file("korvan"));
  for (const auto &[dir, text] : std::vector<std::pair<std::string, std::string>>{
           {with.path(), "Rel. 27 vom 09.04.2024 (2005-27, Linux/Qt)"},
           {without.path(), "Rel. 0 vom 09.04.2024 (0-0, Linux/Qt)"},
           {missing.path(), "Rel. 0 vom unbekannt (0-0, Linux/Qt)"}}) {
    TAboutBox box(nullptr, QString::fromStdString(dir + "/"));
    EXPECT_EQ(box.findChild<QLabel *>("Version")->text().toStdString(), text);
  }
  kv::platform::SetFormatSettings(kv::platform::FormatSettings{});

  TAboutBox box;
  EXPECT_FALSE(box.findChild<QLabel *>("Image1")->pixmap().isNull());
  // The built program carries the project's version.
  const char *build = std::getenv("KORVANE_BUILD_DIR");
  if (build && ::access((std::string(build) + "/app/korvan").c_str(), R_OK) == 0) {
    TAboutBox real(nullptr, QString(build) + "/app/");
    EXPECT_TRUE(real.findChild<QLabel *>("Version")->text().startsWith("Rel. 27 vom "));
    EXPECT_TRUE(real.findChild<QLabel *>("Version")->text().endsWith(" (2005-27, Linux/Qt)"));
  }
  box.show();
  box.findChild<QPushButton *>("Button1")->click();
  EXPECT_FALSE(box.isVisible());
}

TEST(ApplicationTerminate, ClosesTheMainWindowAndEndsEveryLoop) {
  class Main : public QMainWindow {
  public:
    int closed = 0;

  protected:
    void closeEvent(QCloseEvent *e) override {
      ++closed;
      QMainWindow::closeEvent(e);
    }
  } main;
  main.show();
  bool dialog_ended = false;
  QMetaObject::invokeMethod(
      &main,
      [&] {
        QDialog dialog(&main);
        kv::ui::Application().Terminate();
        dialog.exec(); // ends with the program
        dialog_ended = true;
      },
      Qt::QueuedConnection);
  QCoreApplication::exec();
  EXPECT_TRUE(dialog_ended);
  EXPECT_EQ(main.closed, 1);
  EXPECT_FALSE(main.isVisible());
}
