// End to end, as a user sets it up: kvnadm's dialog filled in with the keyboard and the mouse
// and saved with "&OK", then "korvan /a" run as cron would (without the right to set the clock)
// against chronyd on a loopback address, writing its log where the dialog said.
#include "cfgtool/config_tool.h"

#include <QApplication>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include "qt_application.h"
#include "test_support.h"
#include "tests/peers/chronyd_peer.h"
#include "tests/peers/korvan_auto.h"

namespace {

// The text of every file in `dir` whose name starts with `prefix`.
std::string FilesStartingWith(const std::string &dir, const std::string &prefix) {
  std::string text;
  if (DIR *d = opendir(dir.c_str())) {
    while (dirent *e = readdir(d))
      if (std::string(e->d_name).rfind(prefix, 0) == 0) text += kvtest::ReadFile(dir + "/" + e->d_name);
    closedir(d);
  }
  return text;
}

class ConfigToolEndToEnd : public ::testing::Test {
protected:
  void SetUp() override {
    KV_REQUIRE_PEER(::geteuid() == 0, "root: the time server must listen on port 123");
    KV_REQUIRE_PEER(!kvtest::FindProgram("setpriv").empty(), "setpriv (util-linux)");
    KV_REQUIRE_PEER(chronyd_.Start(address_, 123), "chronyd on " + address_ + ":123: " + chronyd_.why());
  }

  kvtest::TempDir home_, log_;
  kvtest::ScopedEnv home_env_{"HOME", home_.path()},
      config_env_{"XDG_CONFIG_HOME", home_.path() + "/.config"};
  // An address of its own, so that other tests on this machine do not meet on port 123.
  kvtest::AddressLease lease_;
  const std::string address_ = lease_.Address();
  kvtest::ChronydPeer chronyd_;
};

template <class T = QWidget> T *Child(QWidget *form, const char *name) {
  return form->findChild<T *>(name);
}

void Click(QWidget *w) {
  QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(8, w->height() / 2));
}

void Type(QWidget *w, const QString &text) {
  w->setFocus();
  QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(w, Qt::Key_Delete);
  QTest::keyClicks(w, text);
}

TEST_F(ConfigToolEndToEnd, SettingsSavedInKvnadmDriveTheAutomaticRun) {
  std::unique_ptr<kv::app::TConfigForm> form = kv::cfgtool::StartConfigTool();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  QTimer::singleShot(0, form.get(), [&] {
    QWidget *f = form.get();
    auto *pages = Child<QTabWidget>(f, "PageControl1");
    Click(Child(f, "optLAN"));
    Type(Child(f, "efAddress"), QString::fromStdString(address_));
    Type(Child(f, "efTimeout"), "1");
    QTest::mouseClick(pages->tabBar(), Qt::LeftButton, {}, pages->tabBar()->tabRect(2).center());
    Click(Child(f, "chkLogfile"));
    Type(Child(f, "efDirectory"), QString::fromStdString(log_.path()));
    Type(Child(f, "efAnzahl"), "3");
    QTest::mouseClick(Child(f, "btnOK"), Qt::LeftButton);
  });
  QTimer guard;
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(2); });
  guard.start(30000);
  ASSERT_EQ(QApplication::exec(), 0) << "the dialog did not end";
  ASSERT_EQ(form->result(), QDialog::Accepted);

  kvtest::ChildProcess korvan;
  ASSERT_TRUE(korvan.Start(kvtest::KorvanAutoCommand(home_.path()), home_.file("stderr")));
  const int status = korvan.Wait(std::chrono::seconds(60));
  const std::string err = kvtest::ReadFile(home_.file("stderr"));
  ASSERT_TRUE(WIFEXITED(status)) << status << err;
  EXPECT_EQ(WEXITSTATUS(status), 1) << "the clock may not be set here: " << err;

  const std::string log = FilesStartingWith(log_.path(), "korvanlog.");
  ASSERT_FALSE(log.empty()) << "no log file in " << log_.path() << ": " << err;
  for (const std::string &line : {std::string("LAN mode selected."), "NTP Sync started with " + address_,
                                  std::string("NTP time was "), std::string("System clock not set: ")})
    EXPECT_NE(log.find("\r\n" + line), std::string::npos) << line << "\n" << log;
}

} // namespace
