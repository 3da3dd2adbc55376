// kvnsched: the unit and crontab texts, the choice between the systemd timer and cron, undoing
// it, the program itself as the dialog starts it (no terminal, no display), and installed.
#include "cfgtool/scheduler.h"

#include <QMessageBox>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <sys/wait.h>

#include "platform/ui/message_box.h"
#include "qt_application.h"
#include "test_support.h"
#include "tests/peers/korvan_auto.h"

using kv::cfgtool::TRunResult;
using kv::cfgtool::TSchedulerHost;

namespace {

// A host whose commands are recorded and answered from a table.
struct FakeSystem {
  kvtest::TempDir dir;
  std::vector<std::string> commands;
  std::string crontab;
  bool haveCrontab = false, cronInstalled = true;
  int systemctlStatus = 0;

  TSchedulerHost Host(bool root, bool systemd) {
    TSchedulerHost h;
    h.IsRoot = root;
    h.SystemdRunning = systemd;
    h.SystemUnitDir = dir.file("etc/systemd/system");
    h.UserUnitDir = dir.file("home/.config/systemd/user");
    h.Run = [this](const std::vector<std::string> &argv, const std::string &input) {
      std::string line;
      for (const auto &a : argv)
        line += (line.empty() ? "" : " ") + a;
      commands.push_back(line);
      if (argv[0] == "systemctl")
        return TRunResult{systemctlStatus, systemctlStatus ? "Failed to connect to bus" : ""};
      if (!cronInstalled) return TRunResult{};
      if (argv[1] == "-l")
        return haveCrontab ? TRunResult{0, crontab} : TRunResult{1, "no crontab for user\n"};
      crontab = input;
      haveCrontab = true;
      return TRunResult{0, ""};
    };
    return h;
  }
  // A program directory holding an executable korvan.
  std::string ProgramDir() {
    std::filesystem::create_directories(dir.file("prog dir"));
    kvtest::WriteFile(dir.file("prog dir/korvan"), "#!/bin/sh\n", 0755);
    return dir.file("prog dir") + "/";
  }
};

TEST(Scheduler, TextsQuoteThePathForSystemdAndCron) {
  EXPECT_EQ(kv::cfgtool::SystemdExecutable("/opt/a b/100%$$x/ü/korvan"), "\"/opt/a b/100%%$$x/ü/korvan\"");
  EXPECT_NE(kv::cfgtool::ServiceUnitText("/opt/k/korvan").find("\nExecStart=\"/opt/k/korvan\" /a\n"),
            std::string::npos);
  EXPECT_EQ(kv::cfgtool::ServiceUnitText("/o'p/korvan"), "") << "a unit without its program";
  // No quote, backslash or control character, and clean UTF-8: no stray byte, overlong form,
  // noncharacter or surrogate.
  for (const std::string path : {"/q\"q/korvan", "/b\\s/korvan", "/t\tt/korvan", "/\xff/korvan",
                                 "/\xc0\xaf/korvan", "/\xef\xbf\xbe/korvan", "/\xed\xa0\x80/korvan"})
    EXPECT_EQ(kv::cfgtool::SystemdExecutable(path), "") << path;
  // A run left waiting at a message box ends and does not hold back the next one.
  EXPECT_NE(kv::cfgtool::ServiceUnitText("/opt/k/korvan").find("\nTimeoutStartSec=30min\n"),
            std::string::npos);
  EXPECT_NE(kv::cfgtool::TimerUnitText().find("\nOnCalendar=hourly\n"), std::string::npos);
  EXPECT_NE(kv::cfgtool::TimerUnitText().find("\nWantedBy=timers.target\n"), std::string::npos);
  EXPECT_EQ(kv::cfgtool::CronLine("/o'p/5%/korvan"),
            "17 * * * * '/o'\\''p/5\\%/korvan' /a # korvane-auto (kvnsched)");
  // Old lines of ours are replaced, the user's own lines stay.
  const std::string old =
      "MAILTO=x\n0 1 * * * backup\n17 * * * * '/old/korvan' /a # korvane-auto (kvnsched)\n";
  EXPECT_EQ(kv::cfgtool::WithCronLine(old, "NEW"), "MAILTO=x\n0 1 * * * backup\nNEW\n");
  EXPECT_EQ(kv::cfgtool::WithCronLine(old, ""), "MAILTO=x\n0 1 * * * backup\n");
}

TEST(Scheduler, UserTimerWithSystemdAndItsUndo) {
  FakeSystem sys;
  const std::string prog = sys.ProgramDir();
  auto host = sys.Host(false, true);
  auto report = kv::cfgtool::Schedule(host, prog);
  ASSERT_TRUE(report.Succeeded) << report.Text;
  EXPECT_EQ(sys.commands, (std::vector<std::string>{"systemctl --user daemon-reload",
                                                    "systemctl --user enable --now korvane-auto.timer"}));
  EXPECT_EQ(kvtest::ReadFile(host.UserUnitDir + "/korvane-auto.service"),
            kv::cfgtool::ServiceUnitText(prog + "korvan"));
  EXPECT_EQ(kvtest::ReadFile(host.UserUnitDir + "/korvane-auto.timer"), kv::cfgtool::TimerUnitText());
  for (const std::string &part :
       {std::string("stündlich"), "'" + prog + "kvnsched' --remove", std::string("setcap"),
        std::string("systemctl --user disable --now korvane-auto.timer")})
    EXPECT_NE(report.Text.find(part), std::string::npos) << part << "\n" << report.Text;

  sys.commands.clear();
  report = kv::cfgtool::Unschedule(host);
  ASSERT_TRUE(report.Succeeded) << report.Text;
  EXPECT_EQ(sys.commands, (std::vector<std::string>{"systemctl --user disable --now korvane-auto.timer",
                                                    "systemctl --user daemon-reload", "crontab -l"}));
  EXPECT_FALSE(std::filesystem::exists(host.UserUnitDir + "/korvane-auto.timer"));
  EXPECT_NE(report.Text.find("nicht mehr"), std::string::npos) << report.Text;
  EXPECT_EQ(kv::cfgtool::Unschedule(host).Text, "Es war keine Ausführung von Korvane geplant.");

  // A timer that cannot be deleted (here a folder with a file in it) is named, whatever became
  // of the service beside it, and the removal does not count as done.
  std::filesystem::create_directories(host.UserUnitDir + "/korvane-auto.timer");
  kvtest::WriteFile(host.UserUnitDir + "/korvane-auto.timer/x", "");
  kvtest::WriteFile(host.UserUnitDir + "/korvane-auto.service", "");
  report = kv::cfgtool::Unschedule(host);
  EXPECT_FALSE(report.Succeeded) << report.Text;
  EXPECT_NE(
      report.Text.find("Nicht gelöscht werden konnte:\n  " + host.UserUnitDir + "/korvane-auto.timer ("),
      std::string::npos)
      << report.Text;
  EXPECT_EQ(report.Text.find("ist entfernt"), std::string::npos) << report.Text;
  EXPECT_FALSE(std::filesystem::exists(host.UserUnitDir + "/korvane-auto.service"));
}

// What a shell makes of a command that a report prints, word by word.
std::vector<std::string> ShellSplit(const kvtest::TempDir &dir, const std::string &command) {
  kvtest::ChildProcess sh;
  std::filesystem::remove(dir.file("words"));
  if (!sh.Start({"/bin/sh", "-c", "printf '%s\\n' " + command}, dir.file("words")) ||
      sh.Wait(std::chrono::seconds(10)) != 0)
    return {};
  std::vector<std::string> words;
  std::istringstream in(kvtest::ReadFile(dir.file("words")));
  for (std::string word; std::getline(in, word);)
    words.push_back(word);
  return words;
}

// For awkward program folders the commands the report prints work when copied into a shell, and
// the unit is one that systemd runs (systemd-analyze verify also finds the program by its path).
// A folder systemd runs no program from gets a crontab line, with the reason, or, without cron,
// a failure.
TEST(Scheduler, AwkwardFoldersGetWorkingCommandsAndUnits) {
  const std::string analyze = kvtest::FindProgram("systemd-analyze");
  for (const auto &[name, takes] : std::vector<std::pair<std::string, bool>>{
           {"Korvane 2005 $HOME", true}, {"d$$y ${X}%%n", true}, {"Grüße €", true}, {"o'b", false}}) {
    FakeSystem sys;
    const std::string prog = sys.dir.file(name) + "/", korvan = prog + "korvan";
    std::filesystem::create_directories(prog);
    kvtest::WriteFile(korvan, "#!/bin/sh\n", 0755);
    auto host = sys.Host(false, true);
    const auto report = kv::cfgtool::Schedule(host, prog);
    ASSERT_TRUE(report.Succeeded) << report.Text;
    std::set<std::vector<std::string>> said;
    for (const std::string &command : report.Commands)
      said.insert(ShellSplit(sys.dir, command));
    EXPECT_TRUE(said.count({"sudo", "setcap", "cap_sys_time=ep", korvan})) << report.Text;
    EXPECT_TRUE(said.count({prog + "kvnsched", "--remove"})) << report.Text;
    const std::string service = host.UserUnitDir + "/korvane-auto.service";
    EXPECT_EQ(std::filesystem::exists(service), takes) << name;
    if (!takes) {
      EXPECT_EQ(sys.crontab, kv::cfgtool::CronLine(korvan) + "\n");
      EXPECT_NE(report.Text.find("systemd startet kein Programm"), std::string::npos) << report.Text;
      sys.cronInstalled = false;
      EXPECT_FALSE(kv::cfgtool::Schedule(host, prog).Succeeded);
      continue;
    }
    EXPECT_TRUE(said.count({korvan, "/a"})) << report.Text;
    kvtest::ChildProcess verify;
    if (analyze.empty() || !verify.Start({analyze, "verify", service}, sys.dir.file("verify.log"))) continue;
    EXPECT_EQ(verify.Wait(std::chrono::seconds(60)), 0) << name;
    EXPECT_EQ(kvtest::ReadFile(sys.dir.file("verify.log")), "") << name;
  }
  if (analyze.empty()) GTEST_SKIP() << "systemd-analyze (systemd) is not installed: no unit was verified";
}

TEST(Scheduler, RootGetsTheSystemTimer) {
  FakeSystem sys;
  auto host = sys.Host(true, true);
  ASSERT_TRUE(kv::cfgtool::Schedule(host, sys.ProgramDir()).Succeeded);
  EXPECT_EQ(sys.commands[1], "systemctl enable --now korvane-auto.timer");
  EXPECT_TRUE(std::filesystem::exists(host.SystemUnitDir + "/korvane-auto.timer"));
  EXPECT_FALSE(std::filesystem::exists(host.UserUnitDir));
}

TEST(Scheduler, CronWhenSystemdIsAbsentOrRefuses) {
  for (bool systemd : {false, true}) {
    FakeSystem sys;
    sys.systemctlStatus = 1; // no user manager reachable
    sys.haveCrontab = true;
    sys.crontab = "0 1 * * * backup\n";
    const std::string prog = sys.ProgramDir();
    auto host = sys.Host(false, systemd);
    auto report = kv::cfgtool::Schedule(host, prog);
    ASSERT_TRUE(report.Succeeded) << report.Text;
    EXPECT_EQ(sys.crontab, "0 1 * * * backup\n" + kv::cfgtool::CronLine(prog + "korvan") + "\n");
    EXPECT_NE(report.Text.find(systemd ? "Failed to connect to bus" : "systemd läuft"), std::string::npos)
        << report.Text;
    EXPECT_FALSE(std::filesystem::exists(host.UserUnitDir + "/korvane-auto.timer")) << "no half-made timer";
    // Scheduling twice keeps one line.
    ASSERT_TRUE(kv::cfgtool::Schedule(host, prog).Succeeded);
    EXPECT_EQ(sys.crontab, "0 1 * * * backup\n" + kv::cfgtool::CronLine(prog + "korvan") + "\n");
    ASSERT_TRUE(kv::cfgtool::Unschedule(host).Succeeded);
    EXPECT_EQ(sys.crontab, "0 1 * * * backup\n");
  }
}

TEST(Scheduler, FailuresAreReportedInGerman) {
  FakeSystem sys;
  sys.cronInstalled = false;
  auto host = sys.Host(false, false);
  auto report = kv::cfgtool::Schedule(host, sys.ProgramDir());
  EXPECT_FALSE(report.Succeeded);
  EXPECT_NE(report.Text.find("„crontab -l“ konnte nicht ausgeführt werden."), std::string::npos)
      << report.Text;
  report = kv::cfgtool::Schedule(host, sys.dir.path() + "/nowhere/");
  EXPECT_FALSE(report.Succeeded);
  EXPECT_NE(report.Text.find("wurde nicht gefunden"), std::string::npos) << report.Text;
  EXPECT_FALSE(kv::cfgtool::Schedule(host, "relative/").Succeeded);
  EXPECT_TRUE(sys.commands.empty() || sys.commands == std::vector<std::string>{"crontab -l"});
}

// kvnsched as the dialog starts it: no terminal and no display, so the report goes to the
// standard streams; here without systemd (the systemctl stand-in refuses) and with a crontab
// stand-in on PATH that keeps the crontab in `dir`.
struct CronRun {
  int status = -1;
  std::string report, crontab;
};
CronRun RunWithCrontabStandIn(const kvtest::TempDir &dir, std::vector<std::string> kvnsched) {
  std::filesystem::create_directories(dir.file("bin"));
  kvtest::WriteFile(dir.file("bin/crontab"),
                    "#!/bin/sh\n"
                    "f=\"" +
                        dir.file("crontab") +
                        "\"\n"
                        "if [ \"$1\" = -l ]; then [ -f \"$f\" ] && exec cat \"$f\"; echo \"no crontab for "
                        "$USER\" >&2; exit 1; fi\n"
                        "cat > \"$f\"\n",
                    0755);
  kvtest::WriteFile(dir.file("bin/systemctl"), "#!/bin/sh\nexit 1\n", 0755);
  std::vector<std::string> argv = kvtest::NoDisplayEnv(dir.path());
  argv.push_back("PATH=" + dir.file("bin") + ":/usr/bin:/bin");
  argv.insert(argv.end(), kvnsched.begin(), kvnsched.end());
  kvtest::ChildProcess p;
  CronRun run;
  std::filesystem::remove(dir.file("out"));
  if (!p.Start(argv, dir.file("out"))) return run;
  const int status = p.Wait(std::chrono::seconds(30));
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.report = kvtest::ReadFile(dir.file("out"));
  run.crontab = kvtest::ReadFile(dir.file("crontab"));
  return run;
}

// Asked for help, or given an option it does not know, it shows how it is called and arranges
// nothing; given the program folder, it writes the crontab.
TEST(Scheduler, ProgramWritesTheCrontabThroughTheCrontabProgram) {
  FakeSystem sys;
  const std::string prog = sys.ProgramDir();
  const std::string kvnsched = kvtest::BuiltProgram("kvnsched");
  // Also where a display is there: the usage goes to the terminal it was asked from.
  CronRun run = RunWithCrontabStandIn(sys.dir, {"QT_QPA_PLATFORM=offscreen", kvnsched, "--help"});
  EXPECT_EQ(run.status, 0) << run.report;
  EXPECT_EQ(run.report.rfind("Aufruf: kvnsched [PROGRAMMORDNER]\n", 0), 0u) << run.report;
  run = RunWithCrontabStandIn(sys.dir, {"QT_QPA_PLATFORM=offscreen", kvnsched, "--bogus"});
  EXPECT_EQ(run.status, 2) << run.report;
  EXPECT_EQ(run.report.rfind("Unbekanntes Argument „--bogus“.\n\nAufruf: kvnsched", 0), 0u) << run.report;
  EXPECT_FALSE(std::filesystem::exists(sys.dir.file("crontab")));

  run = RunWithCrontabStandIn(sys.dir, {kvnsched, prog});
  EXPECT_EQ(run.status, 0) << run.report;
  EXPECT_EQ(run.crontab, kv::cfgtool::CronLine(prog + "korvan") + "\n");
  // The systemctl stand-in refuses, so cron is used with or without systemd.
  EXPECT_NE(run.report.find("Eingerichtet ist eine Zeile in der crontab"), std::string::npos) << run.report;
}

// `cmake --install` puts the three programs side by side, a valid desktop entry for each window
// program and the icon under the prefix, and nothing else; the installed kvnsched, started
// without a folder, plans runs of the korvan beside it. The prefix holds characters that the
// entries' Exec= must quote.
TEST(Scheduler, InstalledProgramsShareOneFolder) {
  const std::string validate = kvtest::FindProgram("desktop-file-validate");
  KV_REQUIRE_PEER(!validate.empty(), "desktop-file-validate (desktop-file-utils)");
  kvtest::TempDir dir;
  const std::string prefix = dir.file("pre fix$%");
  kvtest::ChildProcess install;
  // As the one component, so that the manifest of a real install (install_manifest.txt) stays.
  ASSERT_TRUE(install.Start({KORVANE_CMAKE_COMMAND, "--install", std::getenv("KORVANE_BUILD_DIR"), "--prefix",
                             prefix, "--component", "Unspecified"},
                            dir.file("install.log")));
  ASSERT_EQ(install.Wait(std::chrono::seconds(120)), 0) << kvtest::ReadFile(dir.file("install.log"));
  std::set<std::string> files;
  for (const auto &e : std::filesystem::recursive_directory_iterator(prefix))
    if (!e.is_directory()) files.insert(std::filesystem::relative(e.path(), prefix));
  EXPECT_EQ(files, (std::set<std::string>{
                       "bin/korvan", "bin/kvnadm", "bin/kvnsched", "share/applications/korvan.desktop",
                       "share/applications/kvnadm.desktop", "share/icons/hicolor/64x64/apps/korvane.png"}));
  for (const std::string program : {"korvan", "kvnadm"}) {
    const std::string entry = prefix + "/share/applications/" + program + ".desktop";
    const std::string exec = "\nExec=\"" + dir.path() + "/pre fix\\\\$%%/bin/" + program + "\"\n";
    EXPECT_NE(kvtest::ReadFile(entry).find(exec), std::string::npos) << kvtest::ReadFile(entry);
    kvtest::ChildProcess check;
    ASSERT_TRUE(check.Start({validate, entry}, dir.file("validate.log")));
    EXPECT_EQ(check.Wait(std::chrono::seconds(30)), 0);
    EXPECT_EQ(kvtest::ReadFile(dir.file("validate.log")), "");
  }
  const CronRun run = RunWithCrontabStandIn(dir, {prefix + "/bin/kvnsched"});
  EXPECT_EQ(run.status, 0) << run.report;
  EXPECT_EQ(run.crontab, kv::cfgtool::CronLine(prefix + "/bin/korvan") + "\n");
}

// The box keeps every command and path of the report on one line, also a long one in the middle
// of a sentence: each line of its text fits the text's width, so the layout breaks none of them.
TEST(Scheduler, TheBoxNeverBreaksACommandOrAPath) {
  FakeSystem sys;
  const std::string prog = sys.dir.file("Programme mit Leerzeichen/korvane-2005-zeitabgleich/");
  std::filesystem::create_directories(prog);
  kvtest::WriteFile(prog + "korvan", "#!/bin/sh\n", 0755);
  for (bool systemd : {false, true}) {
    sys.systemctlStatus = systemd ? 0 : 1;
    const auto report = kv::cfgtool::Schedule(sys.Host(false, true), prog);
    ASSERT_TRUE(report.Succeeded) << report.Text;
    // As from /opt/korvane: the temporary folder's name is of no account.
    const QString temp = QString::fromStdString(sys.dir.path()), opt = "/opt/korvane";
    kv::ui::MessageRequest request{QString::fromStdString(report.Text).replace(temp, opt),
                                   "Korvane - Ausführung planen", kv::ui::MessageIcon::Information};
    for (const std::string &command : report.Commands)
      request.unbroken << QString::fromStdString(command).replace(temp, opt);
    EXPECT_TRUE(request.unbroken.contains(
        "'" + opt + "/Programme mit Leerzeichen/korvane-2005-zeitabgleich/kvnsched' --remove"));
    auto box = kv::ui::MakeMessageBox(nullptr, request);
    box->show();
    QCoreApplication::processEvents();
    auto *text = box->findChild<QTextEdit *>("kvBoxText");
    ASSERT_TRUE(text);
    QStringList lines;
    EXPECT_LE(text->geometry().right(), box->width());
    for (QTextBlock block = text->document()->begin(); block.isValid(); block = block.next())
      for (int i = 0; i < block.layout()->lineCount(); ++i) {
        const QTextLine line = block.layout()->lineAt(i);
        lines << block.text().mid(line.textStart(), line.textLength());
        EXPECT_LE(line.naturalTextWidth(), text->width()) << lines.back().toStdString();
      }
    for (const QString &command : request.unbroken)
      EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const QString &l) {
        return l.contains(command);
      })) << command.toStdString();
    // Only blanks became line breaks.
    EXPECT_EQ(text->toPlainText().replace('\n', ' ').simplified(), request.text.simplified());
  }
}

} // namespace
