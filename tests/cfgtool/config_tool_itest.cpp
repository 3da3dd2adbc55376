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

#include "qt_application.h"
#include "test_support.h"
#include "tests/peers/korvan_auto.h"

namespace {

class ConfigToolEndToEnd : public kvtest::KorvanAutoAgainstChronyd {
protected:
  // kvnadm, run in this process, saves into the same home.
  kvtest::ScopedEnv home_env_{"HOME", home_.path()},
      config_env_{"XDG_CONFIG_HOME", home_.path() + "/.config"};
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

  EXPECT_EQ(RunKorvan(), 1) << "the clock may not be set here: " << Stderr();
  const std::string log = LogText();
  ASSERT_FALSE(log.empty()) << "no log file in " << log_.path() << ": " << Stderr();
  for (const std::string &line : {std::string("LAN mode selected."), "NTP Sync started with " + address_,
                                  std::string("NTP time was "), std::string("System clock not set: ")})
    EXPECT_NE(log.find("\r\n" + line), std::string::npos) << line << "\n" << log;
}

} // namespace
