// kvnadm: the built program file (display check, version record, what it links) and its
// program block on the offscreen platform.
#include "cfgtool/config_tool.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <array>
#include <sys/wait.h>

#include "platform/ui/application.h"
#include "platform/version.h"
#include "qt_application.h"
#include "test_support.h"
#include "tests/peers/korvan_auto.h"

namespace {

std::string Program(const char *name) {
  return std::string(std::getenv("KORVANE_BUILD_DIR")) + "/app/" + name;
}

TEST(Kvnadm, WithoutADisplayItSaysSoInGermanAndEndsWithOne) {
  kvtest::TempDir home;
  kvtest::ChildProcess p;
  std::vector<std::string> argv = kvtest::NoDisplayEnv(home.path());
  argv.push_back(Program("kvnadm"));
  ASSERT_TRUE(p.Start(argv, home.file("out")));
  const int status = p.Wait(std::chrono::seconds(20));
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const std::string out = kvtest::ReadFile(home.file("out"));
  EXPECT_NE(out.find("kvnadm: Es ist keine grafische Oberfläche verfügbar"), std::string::npos) << out;
  EXPECT_EQ(out.find("/a"), std::string::npos) << "kvnadm has no automatic mode to offer: " << out;
}

TEST(Kvnadm, CarriesItsOwnVersionAndDescription) {
  std::array<uint16_t, 4> numbers{};
  ASSERT_EQ(kv::platform::ReadFileVersion(Program("kvnadm"), numbers), kv::platform::VersionRead::Found);
  EXPECT_EQ(numbers, (std::array<uint16_t, 4>{3, 0, 0, 16}));
  std::string description;
  ASSERT_EQ(kv::platform::ReadFileDescription(Program("kvnadm"), description),
            kv::platform::VersionRead::Found);
  EXPECT_EQ(description, "Korvane 2005 Konfiguration Automatik-Modus");
  ASSERT_EQ(kv::platform::ReadFileVersion(Program("korvan"), numbers), kv::platform::VersionRead::Found);
  EXPECT_EQ(numbers, (std::array<uint16_t, 4>{2005, 0, 0, 27}));
  EXPECT_EQ(kv::platform::ReadFileDescription(Program("korvan"), description),
            kv::platform::VersionRead::NoRecord);
}

// The configuration tool shares the dialog and the phone-book listing, nothing of the time
// client's run: no query, dialler, logger, mail, update or main window code is in the file.
TEST(Kvnadm, LinksNothingOfTheTimeClientsRun) {
  const std::string image = kvtest::ReadFile(Program("kvnadm"));
  ASSERT_NE(image.find("TConfigForm"), std::string::npos);
  ASSERT_NE(image.find("TDialUp"), std::string::npos);
  for (const char *name : {"TSNTPSend", "TBlockSocket", "TPppdRasBackend", "TFastLog", "TSmtpClient",
                           "THttpTransfer", "TKvWebUpdate", "TMainForm", "TAboutBox"})
    EXPECT_EQ(image.find(name), std::string::npos) << name;
  EXPECT_EQ(image.find("libcurl"), std::string::npos);
}

TEST(Kvnadm, ProgramBlockShowsTheDialogAsMainWindowAndEndsWithIt) {
  std::unique_ptr<kv::app::TConfigForm> form = kv::cfgtool::StartConfigTool();
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(kv::ui::Application().Title(), "Korvane - Konfiguration");
  const QString help = kv::ui::Application().HelpFile();
  EXPECT_TRUE(help.startsWith('/') && help.endsWith("/korvan.hlp")) << help.toStdString();
  // "&Abbrechen" ends the message loop.
  QTimer::singleShot(0, form.get(), [&] { form->findChild<QPushButton *>("btnCancel")->click(); });
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(2); });
  guard.start(20000);
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_FALSE(form->isVisible());
}

} // namespace
