// The configuration dialog's settings without a widget: the checks of "&OK" in their order, and
// the automatic-mode key read value by value and written whole.
#include "app/config_values.h"

#include <gtest/gtest.h>

#include <csignal>
#include <pwd.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/registry.h"
#include "test_support.h"

using kv::app::CheckConfigEntries;
using kv::app::TAutoSettings;
using kv::app::TConfigEntries;
using kv::app::TConfigTab;
using kv::platform::TRegistry;
using kv::ui::MessageIcon;

namespace {

constexpr const char *kAuto = "\\Software\\Halvern\\Korvane\\Auto";

// Entries that pass every check: dial-up with an entry, a server, sane spin edits, mail and
// logging off.
TConfigEntries Good() {
  TConfigEntries e;
  e.Values.AServer = "ntp.example.org";
  e.ConnectionChosen = true;
  e.Timeout = {"15", 15.0};
  e.LoggingCount = {"5", 5.0};
  return e;
}

struct CheckCase {
  const char *name;
  std::function<void(TConfigEntries &)> change;
  const char *message; // nullptr: every check passes
  MessageIcon icon;
  TConfigTab tab;
  const char *focus;
};

void PrintTo(const CheckCase &c, std::ostream *os) {
  *os << c.name;
}

const char *const kTimeout = "Bitte geben Sie das Timeout (0 bis 120) an.";
const char *const kCount = "Bitte geben Sie die Anzahl der zu speichernden Proktolle (0 bis 99) an.";

void MailOn(TConfigEntries &e) {
  e.Values.ANetMessage = true;
  e.Values.ANetSender = "a@example.org";
  e.Values.ANetRecipient = "b@example.org";
  e.Values.ASMTPServer = "smtp.example.org";
}
void LoggingOn(TConfigEntries &e) {
  e.Values.ALogging = true;
  e.Values.ALoggingPath = "/var/log/korvane";
}
void Socks(TConfigEntries &e) {
  e.Values.AUseRas = false;
  e.Values.AUseSocks5 = true;
  e.ConnectionChosen = false;
  e.Values.ASocksIP = "127.0.0.1";
}

class CheckTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckTest, FirstFailingCheckGivesItsMessageIconTabAndFocus) {
  const CheckCase &c = GetParam();
  TConfigEntries e = Good();
  c.change(e);
  auto fault = CheckConfigEntries(e);
  if (!c.message) {
    EXPECT_FALSE(fault) << fault->Message.toStdString();
    return;
  }
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->Message.toStdString(), c.message);
  EXPECT_EQ(fault->Icon, c.icon);
  EXPECT_EQ(fault->Tab, c.tab);
  EXPECT_EQ(fault->Focus.toStdString(), c.focus);
}

const CheckCase kCases[] = {
    {"Good", [](TConfigEntries &) {}, nullptr, {}, {}, ""},
    {"DialUpWithoutEntry", [](TConfigEntries &e) { e.ConnectionChosen = false; },
     "Bitte wählen Sie zuerst eine DFÜ-Verbindung aus oder legen Sie eine an.", MessageIcon::Warning,
     kv::app::tabNone, ""},
    {"DialUpWithoutEntryComesFirst",
     [](TConfigEntries &e) {
       e.ConnectionChosen = false;
       e.Values.AServer.clear();
       e.Timeout = {"", std::nullopt};
     },
     "Bitte wählen Sie zuerst eine DFÜ-Verbindung aus oder legen Sie eine an.", MessageIcon::Warning,
     kv::app::tabNone, ""},
    {"LanNeedsNoEntry",
     [](TConfigEntries &e) {
       e.Values.AUseRas = false;
       e.Values.AUseLAN = true;
       e.ConnectionChosen = false;
     },
     nullptr,
     {},
     {},
     ""},
    {"SocksWithoutAddress",
     [](TConfigEntries &e) {
       Socks(e);
       e.Values.ASocksIP.clear();
       e.Values.ASocksPort.clear();
     },
     "Bitte geben Sie die IP-Adresse des Socks-Proxy an.", MessageIcon::Error, kv::app::tabNone, "efIP"},
    {"SocksWithoutPort",
     [](TConfigEntries &e) {
       Socks(e);
       e.Values.ASocksPort.clear();
     },
     "Bitte geben Sie den Port des Socks-Proxy an.", MessageIcon::Error, kv::app::tabNone, "efPort"},
    {"NoServerBeforeTimeout",
     [](TConfigEntries &e) {
       e.Values.AServer.clear();
       e.Timeout = {"0", 0.0};
     },
     "Bitte geben Sie die Adresse des NTP-Servers an.", MessageIcon::Error, kv::app::tabNone, "efAddress"},
    {"TimeoutEmpty",
     [](TConfigEntries &e) {
       e.Timeout = {"", std::nullopt};
     },
     kTimeout, MessageIcon::Error, kv::app::tabConnection, "efTimeout"},
    {"TimeoutAboveMax",
     [](TConfigEntries &e) {
       e.Timeout = {"121", 121.0};
     },
     kTimeout, MessageIcon::Error, kv::app::tabConnection, "efTimeout"},
    {"TimeoutNotANumber",
     [](TConfigEntries &e) {
       e.Timeout = {"5-", std::nullopt};
     },
     kTimeout, MessageIcon::Error, kv::app::tabConnection, "efTimeout"},
    {"TimeoutTooLongANumber",
     [](TConfigEntries &e) {
       e.Timeout = {"99999999999", 99999999999.0};
     },
     kTimeout, MessageIcon::Error, kv::app::tabConnection, "efTimeout"},
    {"TimeoutBounds",
     [](TConfigEntries &e) {
       e.Timeout = {"120", 120.0};
       LoggingOn(e);
       e.LoggingCount = {"1", 1.0};
     },
     nullptr,
     {},
     {},
     ""},
    {"MailWithoutSender",
     [](TConfigEntries &e) {
       MailOn(e);
       e.Values.ANetSender.clear();
       e.Values.ASMTPPort.clear();
     },
     "Bitte geben Sie Ihr Absenderadresse für den Mailversand an.", MessageIcon::Error, kv::app::tabMail,
     "efSender"},
    {"MailWithoutRecipient",
     [](TConfigEntries &e) {
       MailOn(e);
       e.Values.ANetRecipient.clear();
     },
     "Bitte geben Sie die Zieladresse für den Mailversand an.", MessageIcon::Error, kv::app::tabMail,
     "efTarget"},
    {"MailWithoutServer",
     [](TConfigEntries &e) {
       MailOn(e);
       e.Values.ASMTPServer.clear();
     },
     "Bitte geben Sie den SMTP-Server für den Mailversand an.", MessageIcon::Error, kv::app::tabMail,
     "efSMTPServer"},
    {"MailWithoutPort",
     [](TConfigEntries &e) {
       MailOn(e);
       e.Values.ASMTPPort.clear();
     },
     "Bitte geben Sie den Port für den Mailversand an.", MessageIcon::Error, kv::app::tabMail, "efSMTPPort"},
    {"MailOffPassesEmptyFields",
     [](TConfigEntries &e) {
       e.Values.ASMTPPort.clear();
       e.Values.ANetSender.clear();
     },
     nullptr,
     {},
     {},
     ""},
    {"LoggingWithoutFolder",
     [](TConfigEntries &e) {
       e.Values.ALogging = true;
       e.LoggingCount = {"0", 0.0};
     },
     "Bitte geben Sie das Protokollverzeichnis an.", MessageIcon::Error, kv::app::tabLogging, "efDirectory"},
    {"LoggingCountZero",
     [](TConfigEntries &e) {
       LoggingOn(e);
       e.LoggingCount = {"0", 0.0};
     },
     kCount, MessageIcon::Error, kv::app::tabLogging, "efAnzahl"},
    {"LoggingCountAboveMax",
     [](TConfigEntries &e) {
       LoggingOn(e);
       e.LoggingCount = {"100", 100.0};
     },
     kCount, MessageIcon::Error, kv::app::tabLogging, "efAnzahl"},
    {"LoggingCountNotANumber",
     [](TConfigEntries &e) {
       LoggingOn(e);
       e.LoggingCount = {"-", std::nullopt};
     },
     kCount, MessageIcon::Error, kv::app::tabLogging, "efAnzahl"},
    {"LoggingOffIgnoresCount",
     [](TConfigEntries &e) {
       e.LoggingCount = {"", std::nullopt};
     },
     nullptr,
     {},
     {},
     ""},
};

INSTANTIATE_TEST_SUITE_P(Config, CheckTest, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

// The value lines of the automatic key as the file holds them, in order.
std::vector<std::string> AutoLines(const std::string &file) {
  std::istringstream in(kvtest::ReadFile(file));
  std::vector<std::string> lines;
  bool inside = false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] == '[')
      inside = line == std::string("[HKEY_CURRENT_USER") + kAuto + "]";
    else if (inside && !line.empty())
      lines.push_back(line);
  }
  return lines;
}

TEST(AutoSettings, FirstUseWritesAllTwentyValuesInOrderAndType) {
  kvtest::TempDir dir;
  TRegistry reg(dir.file("registry.reg"));
  TAutoSettings v;
  v.AServer = "pool.ntp.org";
  v.ALoggingPath = "/opt/korvane/log/";
  kv::app::WriteAutoSettings(reg, v);
  EXPECT_EQ(AutoLines(dir.file("registry.reg")),
            (std::vector<std::string>{"\"AConnection\"=dword:00000000",
                                      "\"AServer\"=\"pool.ntp.org\"",
                                      "\"ANetMessage\"=dword:00000000",
                                      "\"ANetRecipient\"=\"\"",
                                      "\"ANetSender\"=\"\"",
                                      "\"ASMTPServer\"=\"\"",
                                      "\"ASMTPPort\"=\"25\"",
                                      "\"ASMTPUser\"=\"\"",
                                      "\"ASMTPPassword\"=\"\"",
                                      "\"AUseLAN\"=dword:00000000",
                                      "\"AUseRas\"=dword:00000001",
                                      "\"AUseSocks5\"=dword:00000000",
                                      "\"ASocksIP\"=\"\"",
                                      "\"ASocksPort\"=\"1080\"",
                                      "\"ASocksUsername\"=\"\"",
                                      "\"ASocksPassword\"=\"\"",
                                      "\"ATimeout\"=dword:0000000f",
                                      "\"ALogging\"=dword:00000000",
                                      "\"ALoggingPath\"=\"/opt/korvane/log/\"",
                                      "\"ALoggingCount\"=dword:00000005"}));
}

TEST(AutoSettings, HalfFilledKeyKeepsEveryValueThroughReadAndWrite) {
  kvtest::TempDir dir;
  const std::string file = dir.file("registry.reg");
  // Written by hand or by an older program: some values missing, one of the wrong type, the
  // dial-up switch under the other spelling.
  kvtest::WriteFile(file,
                    "[HKEY_CURRENT_USER\\Software\\Halvern\\Korvane\\Auto]\n"
                    "\"AServer\"=\"ntp.example.org\"\n"
                    "\"AUSERAS\"=dword:00000000\n"
                    "\"AUseLAN\"=dword:00000001\n"
                    "\"ANetMessage\"=\"ja\"\n"
                    "\"ALogging\"=dword:00000001\n"
                    "\"ALoggingPath\"=\"/srv/log\"\n"
                    "\"ALoggingCount\"=dword:00000030\n"
                    "\"ATimeout\"=dword:000000c8\n"
                    "\"ASMTPPassword\"=\"geh eim\\\"\"\n",
                    0600);
  TRegistry reg(file);
  ASSERT_TRUE(reg.OpenKeyReadOnly(kAuto));
  TAutoSettings v;
  v.AConnection = 1; // the dialog's defaults, as its controls show them before reading
  v.ALoggingPath = "/prog/log/";
  kv::app::ReadAutoSettings(reg, v);
  EXPECT_EQ(v.AConnection, 1) << "missing integer keeps the default";
  EXPECT_FALSE(v.ANetMessage) << "wrong-typed switch keeps the default";
  EXPECT_FALSE(v.AUseRas);
  EXPECT_TRUE(v.AUseLAN);
  EXPECT_TRUE(v.ALogging);
  EXPECT_EQ(v.ALoggingPath, "/srv/log");
  EXPECT_EQ(v.ALoggingCount, 48);
  EXPECT_EQ(v.ATimeout, 200) << "the spin edit clamps when shown, not the reading";
  EXPECT_EQ(v.ASMTPPassword, "geh eim\"");
  EXPECT_EQ(v.ASMTPPort, "") << "a missing string reads as empty, as the main window reads it";

  TRegistry out(file);
  ASSERT_TRUE(out.OpenKey(kAuto, false));
  kv::app::WriteAutoSettings(out, v);
  out.CloseKey();
  TRegistry back(file);
  ASSERT_TRUE(back.OpenKeyReadOnly(kAuto));
  EXPECT_EQ(back.GetValueNames().size(), 20u) << "one value per name, whatever its spelling";
  EXPECT_TRUE(back.ReadBool("ALogging"));
  EXPECT_EQ(back.ReadString("ALoggingPath"), "/srv/log");
  EXPECT_EQ(back.ReadInteger("ALoggingCount"), 48);
  EXPECT_TRUE(back.ReadBool("AUseLAN"));
  EXPECT_FALSE(back.ReadBool("AUseRAS"));
  EXPECT_EQ(back.ReadString("AServer"), "ntp.example.org");
  EXPECT_EQ(back.ReadString("ASMTPPassword"), "geh eim\"");
  EXPECT_EQ(back.ReadInteger("AConnection"), 1);
}

// While kvnadm saves, an automatic run may read the key: it must find the old set or the new one,
// never a mix (or no connection mode at all).
TEST(AutoSettings, AReaderSeesOneWholeSetWhileAnotherProcessSavesAgainAndAgain) {
  kvtest::TempDir dir;
  const std::string file = dir.file("registry.reg");
  TAutoSettings a, b;
  a.AServer = "a.example.org";
  a.ALoggingPath = "/srv/a";
  b = {1,     "b.example.org", true,        "to@b", "from@b", "smtp.b", "2525", "ub", "pb",     true,
       false, false,           "127.0.0.2", "1081", "sb",     "qb",     30,     true, "/srv/b", 9};
  TRegistry reg(file);
  kv::app::WriteAutoSettings(reg, a);

  const pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    try {
      TRegistry own(file);
      for (int i = 0; i < 300; ++i)
        kv::app::WriteAutoSettings(own, i % 2 ? a : b);
    } catch (...) {
      _exit(1);
    }
    _exit(0);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  int reads = 0, mixed = 0, status = 0;
  while (waitpid(writer, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(writer, SIGKILL);
      waitpid(writer, &status, 0);
      FAIL() << "the writer did not finish in time";
    }
    TAutoSettings read;
    TRegistry other(file);
    ASSERT_TRUE(kv::app::ReadAutoSettings(other, read));
    ++reads;
    if (!(read == a) && !(read == b)) ++mixed;
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(mixed, 0) << "of " << reads << " reads";
  EXPECT_GT(reads, 0);
}

// A program folder this user may write (and is not root) gets "log/" beside the program; any
// other, an installed program's, the state folder, which follows XDG_STATE_HOME or HOME. Runs
// know such a folder by its shape.
TEST(DefaultLoggingPath, BesideAProgramFolderOfOnesOwnElseInTheStateFolder) {
  kvtest::TempDir program, state;
  auto path = [](const std::string &dir) {
    return kv::app::DefaultLoggingPath(QString::fromStdString(dir)).toStdString();
  };
  const std::string inState = state.path() + "/korvane/log/";
  {
    kvtest::ScopedEnv env("XDG_STATE_HOME", state.path());
    EXPECT_EQ(path("/nonexistent/bin/"), inState);
    EXPECT_EQ(path(program.path() + "/"), ::geteuid() == 0 ? inState : program.path() + "/log/");
  }
  // Known by its shape, whatever state folder the environment names now: a run from cron lacks
  // the XDG_STATE_HOME the dialog saw.
  for (const char *offered : {"/home/u/.local/state/korvane/log/", "/elsewhere/korvane/log", "/opt/kv/log/",
                              "/opt/kv/log", "/opt/kv/x/../log/", "/srv//korvane/./log/"})
    EXPECT_TRUE(kv::app::IsDefaultLoggingPath(offered, "/opt/kv/")) << offered;
  for (const char *typed : {"", "korvane/log", "/var/log/korvane", "/srv/korvane/logs", "/srv/xkorvane/log",
                            "/srv/korvane/log/typed", "/opt/kv/", "/opt/log/"})
    EXPECT_FALSE(kv::app::IsDefaultLoggingPath(typed, "/opt/kv/")) << typed;
  kvtest::ScopedEnv relative("XDG_STATE_HOME", "state"), home("HOME", state.path());
  EXPECT_EQ(path("/nonexistent/bin/"), state.path() + "/.local/state/korvane/log/");

  // No HOME and a user the user database does not know (a service's bare uid): beside the
  // program, never a folder at the root.
  if (::geteuid() != 0) return;
  uid_t stranger = 40000;
  while (::getpwuid(stranger))
    ++stranger;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::unsetenv("HOME");
    ::unsetenv("XDG_STATE_HOME");
    ::_exit(::setuid(stranger) == 0 && path("/nonexistent/bin/") == "/nonexistent/bin/log/" ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0);
}

} // namespace
