// The SMTP client against a scripted server on loopback: what real servers will not send
// (over-long or endless replies, garbage, silence) and the exact command lines.

#include "net/smtp_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "net/net_util.h"
#include "tests/net/loopback_peer.h"

using namespace kv::net;
using kvnettest::TcpConn;
using kvnettest::TcpListener;

namespace {

// One scripted session on its own thread: `script` gets the accepted connection.
class ScriptedServer {
public:
  explicit ScriptedServer(std::function<void(TcpConn &)> script)
      : thread_([this, script = std::move(script)] {
          const int fd = listener_.AcceptFd(10000);
          if (fd < 0) return;
          TcpConn conn(fd);
          script(conn);
        }) {}
  ~ScriptedServer() { thread_.join(); }
  std::string Port() const { return listener_.port_text(); }

private:
  TcpListener listener_;
  std::thread thread_;
};

// Reads one command line (up to CR LF) within 5 s.
std::string ReadCommand(TcpConn &c) {
  std::string line;
  while (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0) {
    const std::string b = c.Recv(1);
    if (b.empty()) return line;
    line += b;
  }
  return line.substr(0, line.size() - 2);
}

std::unique_ptr<TSmtpClient> ClientFor(const ScriptedServer &server, int timeout = 3000) {
  auto c = std::make_unique<TSmtpClient>();
  c->Host = "127.0.0.1";
  c->Port = server.Port();
  c->Timeout = timeout;
  return c;
}

std::string FailureOf(const std::function<void()> &f) {
  return kvtest::FailureText<ESmtpError>(f);
}

} // namespace

TEST(SmtpDotStuff, DoublesLeadingDotsAndEndsEveryLineWithCrLf) {
  EXPECT_EQ(TSmtpClient::DotStuff("a\r\n.b\r\n..c\r\n"), "a\r\n..b\r\n...c\r\n.\r\n");
  EXPECT_EQ(TSmtpClient::DotStuff(".\r\n"), "..\r\n.\r\n");
  EXPECT_EQ(TSmtpClient::DotStuff("bare\rcr\nlf"), "bare\r\ncr\r\nlf\r\n.\r\n");
  EXPECT_EQ(TSmtpClient::DotStuff("a. b\r\n"), "a. b\r\n.\r\n");
  EXPECT_EQ(TSmtpClient::DotStuff(""), ".\r\n");
}

TEST(SmtpClient, SpeaksTheDialogueLineByLineAndFallsBackToHelo) {
  std::vector<std::string> seen;
  std::string data;
  {
    ScriptedServer server([&](TcpConn &c) {
      c.Send("220-first greeting line\r\n220 mail.test ready\r\n");
      seen.push_back(ReadCommand(c));
      c.Send("502 5.5.1 EHLO not implemented\r\n");
      seen.push_back(ReadCommand(c));
      c.Send("250 mail.test\r\n");
      for (int i = 0; i < 3; ++i) {
        seen.push_back(ReadCommand(c));
        c.Send("250 OK\r\n");
      }
      seen.push_back(ReadCommand(c));
      c.Send("354 go ahead\r\n");
      for (std::string line; (line = ReadCommand(c)) != ".";)
        data += line + "\n";
      c.Send("250 queued\r\n");
      seen.push_back(ReadCommand(c));
      c.Send("221 bye\r\n");
    });
    auto client = ClientFor(server);
    client->HeloName = "bad name\r\nRSET";
    client->Connect();
    EXPECT_TRUE(client->Extensions().empty());
    EXPECT_FALSE(client->Offers("LOGIN"));
    client->Send("s@x.test", {"a@x.test", "b@x.test"}, "Subject: s\r\n\r\n.dot\r\nend\r\n");
    client->Disconnect();
    EXPECT_FALSE(client->Connected());
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"EHLO localhost", "HELO localhost", "MAIL FROM:<s@x.test>",
                                            "RCPT TO:<a@x.test>", "RCPT TO:<b@x.test>", "DATA", "QUIT"}));
  EXPECT_EQ(data, "Subject: s\n\n..dot\nend\n");
}

TEST(SmtpClient, ReadsMechanismsFromEhloInBothSpellings) {
  std::vector<std::string> seen;
  ScriptedServer server([&](TcpConn &c) {
    c.Send("220 ready\r\n");
    seen.push_back(ReadCommand(c));
    c.Send("250-mail.test\r\n250-SIZE 1000\r\n250-AUTH=login\r\n250 AUTH PLAIN CRAM-MD5\r\n");
    seen.push_back(ReadCommand(c));
    c.Send("334 VXNlcm5hbWU6\r\n");
    seen.push_back(ReadCommand(c));
    c.Send("334 UGFzc3dvcmQ6\r\n");
    seen.push_back(ReadCommand(c));
    c.Send("235 2.7.0 Authentication successful\r\n");
  });
  auto client = ClientFor(server);
  client->HeloName = "pc-01.example";
  client->Username = "user";
  client->Password = "p\xC3\xA4ss";
  client->Connect();
  EXPECT_EQ(client->Extensions(), (std::vector<std::string>{"SIZE", "AUTH", "AUTH"}));
  EXPECT_EQ(client->AuthMechanisms(), (std::vector<std::string>{"LOGIN", "PLAIN", "CRAM-MD5"}));
  EXPECT_TRUE(client->Offers("login"));
  client->Authenticate();
  EXPECT_FALSE(client->TlsActive());
  client.reset();
  EXPECT_EQ(seen, (std::vector<std::string>{"EHLO pc-01.example", "AUTH LOGIN", EncodeBase64("user"),
                                            EncodeBase64("p\xC3\xA4ss")}));
}

TEST(SmtpClient, RepliesAreBoundedInLengthLinesAndTime) {
  {
    ScriptedServer server([](TcpConn &c) { c.Send("220 " + std::string(5000, 'x') + "\r\n"); });
    auto client = ClientFor(server);
    EXPECT_EQ(FailureOf([&] { client->Connect(); }), "reply line longer than 2048 characters");
    EXPECT_FALSE(client->Connected());
  }
  {
    ScriptedServer server([](TcpConn &c) {
      std::string endless;
      for (int i = 0; i < 150; ++i)
        endless += "220-more\r\n";
      c.Send(endless);
      c.Recv(1, 3000);
    });
    auto client = ClientFor(server);
    EXPECT_EQ(FailureOf([&] { client->Connect(); }), "reply of more than 100 lines");
  }
  {
    ScriptedServer server([](TcpConn &c) {
      c.Send("220 ready\r\n");
      c.Recv(1000, 2000); // never answers EHLO
    });
    auto client = ClientFor(server, 300);
    const uint64_t start = TickNow();
    EXPECT_EQ(FailureOf([&] { client->Connect(); }), "no reply within 300 ms");
    EXPECT_LT(TickDifference(start, TickNow()), 2000u);
  }
}

TEST(SmtpClient, GarbageAndClosedConnectionsAreFailures) {
  for (const std::string bad : {"hello there\r\n", "2x0 ready\r\n", "220+ready\r\n", "099 low\r\n"}) {
    ScriptedServer server([&](TcpConn &c) { c.Send(bad); });
    auto client = ClientFor(server);
    EXPECT_EQ(FailureOf([&] { client->Connect(); }).rfind("malformed reply", 0), 0u) << bad;
  }
  {
    ScriptedServer server([](TcpConn &c) { c.Send("220-a\r\n221 b\r\n"); });
    auto client = ClientFor(server);
    EXPECT_EQ(FailureOf([&] { client->Connect(); }).rfind("malformed reply", 0), 0u);
  }
  {
    ScriptedServer server([](TcpConn &c) { c.Send("554 5.7.1 go away\r\n"); });
    auto client = ClientFor(server);
    const std::string failure = FailureOf([&] { client->Connect(); });
    EXPECT_NE(failure.find("refused the session: 554 5.7.1 go away"), std::string::npos) << failure;
  }
  {
    ScriptedServer server([](TcpConn &c) {
      c.Send("220 ready\r\n");
      ReadCommand(c);
      c.Close();
    });
    auto client = ClientFor(server);
    EXPECT_EQ(FailureOf([&] { client->Connect(); }).rfind("connection lost while waiting for a reply", 0),
              0u);
  }
  // A refusal after the greeting closes the connection too, as any failed Connect does.
  for (const std::string answer : {"554 5.7.1 no EHLO for you\r\n", "250-mail.test\r\n250 STARTTLS\r\n"}) {
    ScriptedServer server([&](TcpConn &c) {
      c.Send("220 ready\r\n");
      ReadCommand(c);
      c.Send(answer);
      ReadCommand(c); // STARTTLS, when offered
      c.Send("454 4.7.0 TLS not available\r\n");
    });
    auto client = ClientFor(server);
    const std::string failure = FailureOf([&] { client->Connect(); });
    EXPECT_TRUE(failure.rfind("EHLO refused", 0) == 0 || failure.rfind("STARTTLS refused", 0) == 0)
        << failure;
    EXPECT_FALSE(client->Connected()) << answer;
  }
  {
    const int port = kvtest::FreePort();
    TSmtpClient client;
    client.Host = "127.0.0.1";
    client.Port = std::to_string(port);
    EXPECT_EQ(
        FailureOf([&] { client.Connect(); }).rfind("cannot connect to 127.0.0.1:" + std::to_string(port), 0),
        0u);
    // A name from the settings is quoted cut, whatever its length (here through a proxy that
    // refuses, so the name is never looked up).
    client.Host = std::string(400, 'h');
    client.SocksIP = "127.0.0.1";
    client.SocksPort = client.Port;
    EXPECT_EQ(
        FailureOf([&] { client.Connect(); }).rfind("cannot connect to " + std::string(120, 'h') + "...:", 0),
        0u);
  }
}

TEST(SmtpClient, EnvelopeAddressesCannotInjectCommands) {
  ScriptedServer server([](TcpConn &c) {
    c.Send("220 ready\r\n");
    ReadCommand(c);
    c.Send("250 mail.test\r\n");
    EXPECT_EQ(ReadCommand(c), "QUIT");
    c.Send("221 bye\r\n");
  });
  auto client = ClientFor(server);
  client->Connect();
  EXPECT_EQ(FailureOf([&] { client->Send("a@x>\r\nRSET", {"b@x"}, "x"); }).rfind("invalid sender address", 0),
            0u);
  EXPECT_EQ(
      FailureOf([&] { client->Send("a@x", {"b@x\r\nDATA"}, "x"); }).rfind("invalid recipient address", 0),
      0u);
  EXPECT_EQ(FailureOf([&] { client->Send("a@x", {}, "x"); }), "no recipient");
  client->Disconnect();
}

// An EHLO reply with `lines` AUTH lines of distinct four-letter names (about 400 a line), LOGIN
// last; `names` counts them.
std::string AuthFlood(int lines, int &names) {
  std::string ehlo = "250-mail.test\r\n";
  names = 0;
  for (int line = 0; line < lines; ++line) {
    std::string text = "250-AUTH";
    while (text.size() < 2000) {
      const int n = names++;
      text += std::string(" ") + static_cast<char>('A' + n % 26) + static_cast<char>('A' + n / 26 % 26) +
              static_cast<char>('A' + n / 676 % 26) + static_cast<char>('A' + n / 17576 % 26);
    }
    ehlo += text + "\r\n";
  }
  return ehlo + "250 AUTH LOGIN\r\n";
}

// Processor time (microseconds) of this thread, the client's, while `Connect` reads `ehlo` as the
// answer to EHLO: the best of three. Waiting for the server costs none, so neither the
// machine's load nor the server's thread counts.
int64_t ConnectMicros(const std::string &ehlo) {
  int64_t best = INT64_MAX;
  for (int i = 0; i < 3; ++i) {
    ScriptedServer server([&](TcpConn &c) {
      c.Send("220 ready\r\n");
      ReadCommand(c);
      c.Send(ehlo);
      ReadCommand(c);
    });
    auto client = ClientFor(server);
    const int64_t start = kvtest::ThreadCpuMicros();
    client->Connect();
    best = std::min(best, kvtest::ThreadCpuMicros() - start);
    EXPECT_TRUE(client->Offers("LOGIN"));
    client->Disconnect();
  }
  return best;
}

TEST(SmtpClient, AFloodOfMechanismsCostsLinearTimeAndAHugeRefusalIsQuotedShort) {
  // Ten times the mechanisms (some 39000) may cost about ten times as much processor time, never
  // a hundred times as a pairwise duplicate check would. Compared within one run, so the
  // machine's speed does not matter.
  int few = 0, many = 0;
  const std::string small = AuthFlood(10, few), large = AuthFlood(98, many);
  const int64_t small_micros = ConnectMicros(small), large_micros = ConnectMicros(large);
  EXPECT_LT(large_micros, 40 * small_micros) << small_micros << " us, " << large_micros << " us";

  const std::string refusal = "550-" + std::string(2000, 'r') + "\r\n550 " + std::string(2000, 's') + "\r\n";
  ScriptedServer server([&](TcpConn &c) {
    c.Send("220 ready\r\n");
    ReadCommand(c);
    c.Send(large);
    ReadCommand(c);
    c.Send(refusal);
    ReadCommand(c);
  });
  auto client = ClientFor(server);
  client->Connect();
  EXPECT_EQ(client->AuthMechanisms().size(), many + 1u);

  const std::string failure = FailureOf([&] { client->Send("a@x", {"b@x"}, "x"); });
  EXPECT_EQ(failure.rfind("sender <a@x> refused: 550 rrr", 0), 0u) << failure.substr(0, 80);
  EXPECT_LT(failure.size(), 600u);
  EXPECT_EQ(failure.substr(failure.size() - 3), "...");
  client->Disconnect();
}
