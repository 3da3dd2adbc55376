// "korvan /a" end to end, as cron or a systemd timer starts it: offscreen, a private home, no
// right to set the clock; chronyd on port 123 of a loopback address, aiosmtpd for the notice,
// danted as the SOCKS5 proxy; the log written into a temporary folder.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/main_form.h"
#include "platform/registry.h"
#include "test_support.h"
#include "tests/peers/korvan_auto.h"
#include "tests/peers/proxy_peers.h"
#include "tests/peers/smtp_peer.h"

using Lines = std::vector<std::string>;

namespace {

bool StartsWith(const std::string &text, const std::string &prefix) {
  return text.rfind(prefix, 0) == 0;
}

class KorvanAutoTest : public kvtest::KorvanAutoAgainstChronyd {
protected:
  // The automatic settings: LAN mode against chronyd, time-out 1 s, log into log_, the notice to
  // `smtp`.
  void WriteSettings(const kvtest::SmtpPeer &smtp,
                     const std::function<void(kv::platform::TRegistry &)> &more = {}) {
    kv::platform::TRegistry r(home_.path() + "/.config/korvane/registry.reg");
    ASSERT_TRUE(r.OpenKey(kv::app::kAutoKey, true));
    r.WriteInteger("ATimeout", 1);
    r.WriteString("AServer", address_);
    r.WriteBool("AUseRAS", false);
    r.WriteBool("AUseSocks5", false);
    r.WriteBool("AUseLAN", true);
    r.WriteBool("ANetMessage", true);
    r.WriteString("ANetSender", "korvane@example.org");
    r.WriteString("ANetRecipient", "admin@example.org");
    r.WriteString("ASMTPServer", "127.0.0.1");
    r.WriteString("ASMTPPort", smtp.PortText());
    r.WriteBool("ALogging", true);
    r.WriteString("ALoggingPath", log_.path());
    r.WriteInteger("ALoggingCount", 3);
    if (more) more(r);
  }

  // Starts "korvan /a" with exactly the environment a systemd service without User= has (no
  // HOME, no XDG_RUNTIME_DIR, no locale, no display). The user database is replaced through
  // nss_wrapper, so root's home is home_; the settings must be found there.
  bool StartAsService(kvtest::ChildProcess &p) {
    kvtest::WriteFile(home_.file("passwd"), "root:x:0:0:root:" + home_.path() + ":/bin/sh\n");
    kvtest::WriteFile(home_.file("group"), "root:x:0:\n");
    const char *asan = std::getenv("ASAN_OPTIONS");
    return p.Start(
        {"env", "-i", "PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin",
         "INVOCATION_ID=0123456789abcdef0123456789abcdef", "JOURNAL_STREAM=8:12345",
         "LD_PRELOAD=" + nss_wrapper_, "NSS_WRAPPER_PASSWD=" + home_.file("passwd"),
         "NSS_WRAPPER_GROUP=" + home_.file("group"),
         // The sanitizer runtime refuses libc loaded with RTLD_DEEPBIND.
         "NSS_WRAPPER_DISABLE_DEEPBIND=1",
         // The sanitizer build's runtime would refuse a library loaded before it.
         std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") + "verify_asan_link_order=0",
         "setpriv", "--inh-caps=-sys_time", "--bounding-set=-sys_time", kvtest::BuiltProgram("korvan"), "/a"},
        home_.file("stderr"));
  }
  std::string nss_wrapper_ = "/usr/lib/x86_64-linux-gnu/libnss_wrapper.so";

  // The one log file's lines.
  Lines LogFile() {
    const std::string text = LogText();
    Lines lines;
    for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
      lines.push_back(text.substr(start, end - start));
    return lines;
  }

  // Checks the log: header, `run` (each a line's beginning), footer.
  void ExpectLog(const Lines &run) {
    const Lines lines = LogFile();
    ASSERT_EQ(lines.size(), 6 + run.size() + 4) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines[1], std::string(80, '*'));
    EXPECT_TRUE(StartsWith(lines[2], ">>>> Start korvan  v 2005.0.0.27")) << lines[2];
    EXPECT_EQ(lines[2].size(), 80u);
    for (size_t i = 0; i < run.size(); ++i)
      EXPECT_TRUE(StartsWith(lines[6 + i], run[i])) << lines[6 + i];
    EXPECT_TRUE(StartsWith(lines[6 + run.size() + 1], "<<<< Stop  korvan")) << lines[6 + run.size() + 1];
    EXPECT_EQ(lines[6 + run.size() + 2], std::string(80, '*'));
  }

  // The notice: envelope, headers and the body saying why the clock was not set.
  void ExpectNotice(const kvtest::SmtpPeer &smtp, const std::string &login) {
    ASSERT_TRUE(smtp.WaitForMessages(1));
    const kvtest::SmtpMessage m = smtp.Messages()[0];
    EXPECT_EQ(m.MailFrom, "korvane@example.org");
    EXPECT_EQ(m.RcptTo, Lines{"admin@example.org"});
    EXPECT_EQ(m.Login, login);
    for (const std::string &h :
         Lines{"From: Korvane Service <korvane@example.org>\r\n", "Reply-To: korvane@example.org\r\n",
               "To: admin@example.org\r\n", "Subject: Korvane Mitteilung\r\n", "Date: ", "Message-ID: <",
               "X-Mailer: Korvane 2005 Rel. 27 SMTP Service\r\n",
               "Content-Type: text/plain; charset=UTF-8\r\n"})
      EXPECT_NE(("\r\n" + m.Data).find("\r\n" + h), std::string::npos) << h << m.Data;
    EXPECT_NE(m.Data.find(" konnte nicht\r\nvia NTP vom Server " + address_ +
                          " gestellt werden.\r\nGrund: Das Betrieb"),
              std::string::npos)
        << m.Data;
    EXPECT_EQ(m.Data.find("aktualisiert"), std::string::npos);
  }
};

const std::string kNotSet = "System clock not set: the system refused the change (Operation not permitted)";
const std::string kNotSetMessage =
    "korvan: Fehler: Die Systemzeit wurde nicht gesetzt.\nDas Betriebssystem hat die Änderung abgelehnt: Es "
    "fehlt "
    "die Berechtigung (korvan braucht Root-Rechte oder die Fähigkeit cap_sys_time).\n";

// True once the process catches `sig`: its handlers are in place.
bool Catches(int pid, int sig) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("SigCgt:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> (sig - 1)) & 1;
  return false;
}

// A UDP socket on address:123 that takes the queries and never answers.
class SilentServer {
public:
  explicit SilentServer(const std::string &address) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(123);
    ok_ = fd_ >= 0 && ::inet_pton(AF_INET, address.c_str(), &a.sin_addr) == 1 &&
          ::bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
  }
  ~SilentServer() { ::close(fd_); }
  bool ok() const { return ok_; }

private:
  int fd_ = -1;
  bool ok_ = false;
};

TEST_F(KorvanAutoTest, LanModeLogsTheRunMailsTheNoticeWithLoginAndExitsOne) {
  kvtest::SmtpPeer smtp;
  ASSERT_TRUE(smtp.Start(kvtest::SmtpOptions().WithAuth("mailer:geheim", "LOGIN"))) << smtp.why();
  WriteSettings(smtp, [](kv::platform::TRegistry &r) {
    r.WriteString("ASMTPUser", "mailer");
    r.WriteString("ASMTPPassword", "geheim");
  });
  EXPECT_EQ(RunKorvan(), 1) << Stderr();
  ExpectLog({"LAN mode selected.", "NTP Sync started with " + address_ + "... ", "NTP time was ",
             "NTP delay was ", kNotSet, "SMTP mail active.",
             "SMTP connecting host 127.0.0.1 Port " + smtp.PortText() + "...", "SMTP authenticating...",
             "SMTP sending mail to admin@example.org...", "SMTP disconnected."});
  ExpectNotice(smtp, "mailer");
  EXPECT_NE(Stderr().find("Fehler: Die Systemzeit wurde nicht gesetzt."), std::string::npos) << Stderr();
}

TEST_F(KorvanAutoTest, Socks5ModeGoesThroughDantedForTimeAndMail) {
  kvtest::DantedPeer danted;
  KV_REQUIRE_PEER(danted.Start(), danted.why());
  kvtest::SmtpPeer smtp;
  ASSERT_TRUE(smtp.Start()) << smtp.why();
  WriteSettings(smtp, [&](kv::platform::TRegistry &r) {
    r.WriteBool("AUseLAN", false);
    r.WriteBool("AUseSocks5", true);
    r.WriteString("ASocksIP", "127.0.0.1");
    r.WriteString("ASocksPort", danted.PortText());
  });
  EXPECT_EQ(RunKorvan(), 1) << Stderr();
  ExpectLog({"SOCKS5 mode selected.", "SOCKS5 server 127.0.0.1 port " + danted.PortText() + " is used.",
             "NTP Sync started with " + address_ + "... ", "NTP time was ", "NTP delay was ", kNotSet,
             "SMTP mail active.", "SMTP connecting host 127.0.0.1 Port " + smtp.PortText() + "...",
             "SMTP sending mail to admin@example.org...", "SMTP disconnected."});
  ExpectNotice(smtp, "");

  // Without the proxy the same run reaches nothing: the time did come through it.
  danted.Stop();
  EXPECT_EQ(RunKorvan(), 1);
  // Standard error (a cron mail) names the proxy as the cause.
  EXPECT_NE(Stderr().find("Fehler: Der Server " + address_ +
                          " konnte nicht erreicht werden.\nDer SOCKS5-Proxy "
                          "127.0.0.1 (Port " +
                          danted.PortText() + ") hat die Verbindung abgelehnt."),
            std::string::npos)
      << Stderr();
  EXPECT_EQ(smtp.Messages().size(), 1u);
  // The log says that the proxy, not the time server, failed.
  const Lines lines = LogFile();
  const auto failed = std::find(lines.begin(), lines.end(), "NTP connection failed!");
  ASSERT_NE(failed, lines.end());
  ASSERT_NE(failed + 1, lines.end());
  EXPECT_EQ(failed[1], "Cause: the SOCKS5 proxy 127.0.0.1 port " + danted.PortText() +
                           " failed: Connection refused (10061).");
}

TEST_F(KorvanAutoTest, AStopSignalEndsARunAgainstASilentServerAtOnceWithTheLineAndTheFooter) {
  // The second address of this test, where only a silent socket listens.
  const kvtest::AddressLease silent_lease;
  const std::string &silent = silent_lease.Address();
  SilentServer server(silent);
  ASSERT_TRUE(server.ok()) << silent;
  kvtest::SmtpPeer smtp;
  ASSERT_TRUE(smtp.Start()) << smtp.why();
  for (int sig : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(sig);
    // A hand-written time-out of 68 years: capped at 120 s, and a signal still ends the run.
    WriteSettings(smtp, [&](kv::platform::TRegistry &r) {
      r.WriteString("AServer", silent);
      r.WriteInteger("ATimeout", 0x7fffffff);
    });
    // Each run starts with an empty log folder and an empty standard error.
    if (DIR *d = opendir(log_.path().c_str())) {
      while (dirent *e = readdir(d))
        if (StartsWith(e->d_name, "korvanlog.")) std::remove(log_.file(e->d_name).c_str());
      closedir(d);
    }
    std::remove(home_.file("stderr").c_str());

    kvtest::ChildProcess p;
    ASSERT_TRUE(p.Start(kvtest::KorvanAutoCommand(home_.path()), home_.file("stderr")));
    // Under way: the handlers are in place and the warm-up has begun.
    ASSERT_TRUE(kvtest::WaitUntil([&] {
      const Lines lines = LogFile();
      return Catches(p.pid(), sig) &&
             std::find(lines.begin(), lines.end(), "LAN mode selected.") != lines.end();
    })) << Stderr();
    const auto sent = std::chrono::steady_clock::now();
    const int status = p.Stop(sig, std::chrono::seconds(10));
    const int64_t ms = kvtest::ElapsedMs(sent);
    RecordProperty("ms_from_signal_" + std::to_string(sig) + "_to_exit", std::to_string(ms));
    EXPECT_LT(ms, 2000);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    ExpectLog({"Time-out of 2147483647 s in the settings is above the maximum of 120 s; 120 s is used.",
               "LAN mode selected.", "Automatic run stopped by signal " + std::to_string(sig) + "."});
    // No box about the server: the user stopped the run, the server did not fail.
    EXPECT_EQ(Stderr(), "korvan: Der automatische Lauf wurde durch das Signal " + std::to_string(sig) +
                            " beendet; die Systemzeit wurde nicht gesetzt.\n");
  }
  EXPECT_TRUE(smtp.Messages().empty());
}

TEST_F(KorvanAutoTest, AsAServiceWithoutHomeOrLocaleItFindsRootsSettingsAndSaysOnlyWhatWentWrong) {
  KV_REQUIRE_PEER(::access(nss_wrapper_.c_str(), R_OK) == 0, "nss_wrapper (libnss-wrapper)");
  kvtest::SmtpPeer smtp;
  ASSERT_TRUE(smtp.Start()) << smtp.why();
  WriteSettings(smtp, [](kv::platform::TRegistry &r) { r.WriteBool("ANetMessage", false); });
  kvtest::ChildProcess p;
  ASSERT_TRUE(StartAsService(p));
  const int status = p.Wait(std::chrono::seconds(60));
  ASSERT_TRUE(WIFEXITED(status)) << status << Stderr();
  EXPECT_EQ(WEXITSTATUS(status), 1);
  // The settings of the user database's home were read: the run logged where they say.
  ExpectLog({"LAN mode selected.", "NTP Sync started with " + address_ + "... ", "NTP time was ",
             "NTP delay was ", kNotSet});
  // Standard error holds the one thing to report: Qt's notice about XDG_RUNTIME_DIR is not there.
  EXPECT_EQ(Stderr(), kNotSetMessage);
}

// True once the process has a thread named `name`.
bool HasThread(int pid, const std::string &name) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  bool found = false;
  if (DIR *d = opendir(tasks.c_str())) {
    while (dirent *e = readdir(d))
      if (e->d_name[0] != '.' && kvtest::ReadFile(tasks + "/" + e->d_name + "/comm") == name + "\n")
        found = true;
    closedir(d);
  }
  return found;
}

// The plain log is a FIFO the user put there, full, and nobody reads it: the log's first write
// never returns. A stop signal still ends the run within seconds, which says why its log ends.
TEST_F(KorvanAutoTest, AStopSignalEndsARunWhoseLogWriteNeverReturns) {
  const kvtest::AddressLease silent_lease;
  SilentServer server(silent_lease.Address());
  ASSERT_TRUE(server.ok()) << silent_lease.Address();
  kvtest::SmtpPeer smtp;
  ASSERT_TRUE(smtp.Start()) << smtp.why();
  WriteSettings(smtp, [&](kv::platform::TRegistry &r) {
    r.WriteString("AServer", silent_lease.Address());
    r.WriteInteger("ATimeout", 120);
    r.WriteInteger("ALoggingCount", 0);
  });
  const std::string fifo = log_.file("korvanlog.log");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int held = open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(held, 0);
  const std::string block(4096, 'x');
  while (write(held, block.data(), block.size()) > 0) {
  }

  kvtest::ChildProcess p;
  ASSERT_TRUE(p.Start(kvtest::KorvanAutoCommand(home_.path()), home_.file("stderr")));
  // Under way: the handlers are in place and the log has started.
  ASSERT_TRUE(kvtest::WaitUntil([&] {
    return Catches(p.pid(), SIGTERM) && HasThread(p.pid(), "kv-log-writer");
  })) << Stderr();
  const auto sent = std::chrono::steady_clock::now();
  const int status = p.Stop(SIGTERM, std::chrono::seconds(30));
  const int64_t ms = kvtest::ElapsedMs(sent);
  close(held);
  RecordProperty("ms_from_signal_to_exit", std::to_string(ms));
  ASSERT_TRUE(WIFEXITED(status)) << status << Stderr();
  EXPECT_EQ(WEXITSTATUS(status), 1);
  // The logger is given up after three seconds without progress; the rest is a wide margin.
  EXPECT_LT(ms, 10000);
  EXPECT_EQ(Stderr(),
            "korvan: Der automatische Lauf wurde durch das Signal 15 beendet; die Systemzeit wurde nicht "
            "gesetzt.\nkorvan: Das Protokoll konnte nicht zu Ende geschrieben werden (in die "
            "Protokolldatei " +
                fifo +
                " ließ sich 3 Sekunden lang nichts schreiben); der Lauf endet ohne die "
                "restlichen Zeilen.\n");
}

} // namespace
