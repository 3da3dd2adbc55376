// The SMTP client against aiosmtpd on loopback: plain, with AUTH LOGIN, with STARTTLS (trusted,
// untrusted and misnamed certificates) and through a SOCKS5 proxy with login (microsocks).

#include "net/smtp_client.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "net/tcp_socket.h"
#include "tests/peers/proxy_peers.h"
#include "tests/peers/smtp_peer.h"

using namespace kv::net;
using kvtest::SmtpOptions;
using kvtest::SmtpPeer;

namespace {

const std::string kMessage =
    "Subject: test\r\n\r\nfirst line\r\n.starts with a dot\r\n..two dots\r\n.\r\nlast\r\n";
// What the server stores: the message after the dot-unstuffing of DATA.
const std::string kReceived = kMessage;

void StartPeer(SmtpPeer &peer, const SmtpOptions &options = {}) {
  ASSERT_TRUE(peer.Start(options)) << peer.why();
}

// A client aimed at the peer.
struct PeerClient : TSmtpClient {
  explicit PeerClient(const SmtpPeer &peer) {
    Host = peer.Host();
    Port = peer.PortText();
    Timeout = 10000;
  }
};

std::string Failure(const std::function<void()> &f) {
  return kvtest::FailureText<ESmtpError>(f);
}

} // namespace

TEST(SmtpClientPeer, SendsEnvelopeAndMessageWithoutLoginWhenNoneIsOffered) {
  SmtpPeer peer;
  StartPeer(peer);
  PeerClient client(peer);
  client.Connect();
  EXPECT_FALSE(client.Offers("LOGIN"));
  EXPECT_FALSE(client.TlsActive());
  client.Send("korvane@example.org", {"admin@example.org", "ops@example.org"}, kMessage);
  client.Disconnect();

  ASSERT_TRUE(peer.WaitForMessages(1));
  const auto m = peer.Messages().at(0);
  EXPECT_EQ(m.MailFrom, "korvane@example.org");
  EXPECT_EQ(m.RcptTo, (std::vector<std::string>{"admin@example.org", "ops@example.org"}));
  EXPECT_EQ(m.Login, "");
  EXPECT_EQ(m.Data, kReceived);
}

TEST(SmtpClientPeer, LogsInWithAuthLoginWhenOfferedAndReportsAWrongPassword) {
  SmtpPeer peer;
  StartPeer(peer, SmtpOptions().WithAuth("korv:geheim", "LOGIN"));
  {
    PeerClient client(peer);
    client.Username = "korv";
    client.Password = "geheim";
    client.Connect();
    EXPECT_EQ(client.AuthMechanisms(), std::vector<std::string>{"LOGIN"});
    client.Authenticate();
    client.Send("s@example.org", {"r@example.org"}, kMessage);
    client.Disconnect();
    ASSERT_TRUE(peer.WaitForMessages(1));
    EXPECT_EQ(peer.Messages().at(0).Login, "korv");
  }
  {
    PeerClient client(peer);
    client.Username = "korv";
    client.Password = "falsch";
    client.Connect();
    try {
      client.Authenticate();
      FAIL() << "login accepted";
    } catch (const ESmtpError &e) {
      EXPECT_EQ(e.Reply().Code, 535) << e.what();
      EXPECT_EQ(std::string(e.what()).find("falsch"), std::string::npos);
    }
    client.Disconnect();
  }
}

TEST(SmtpClientPeer, RefusedRecipientIsAFailureWithTheReply) {
  SmtpPeer peer;
  StartPeer(peer, SmtpOptions().Rejecting("nobody@example.org"));
  PeerClient client(peer);
  client.Connect();
  const std::string failure =
      Failure([&] { client.Send("s@example.org", {"nobody@example.org"}, kMessage); });
  EXPECT_NE(failure.find("recipient <nobody@example.org> refused: 550"), std::string::npos) << failure;
  client.Disconnect();
  EXPECT_TRUE(peer.Messages().empty());
}

class SmtpClientTls : public ::testing::Test {
protected:
  void SetUp() override {
    KV_REQUIRE_PEER(kvtest::MakeSelfSignedCertificate(dir.path(), "localhost"), "openssl");
    ASSERT_TRUE(kvtest::MakeSelfSignedCertificate(dir.path(), "elsewhere.test"));
  }
  SmtpOptions TlsOptions(const std::string &name) {
    return SmtpOptions()
        .WithAuth("korv:geheim", "LOGIN")
        .WithTls(dir.file(name + ".crt"), dir.file(name + ".key"));
  }
  kvtest::TempDir dir;
};

TEST_F(SmtpClientTls, UpgradesBeforeLoginWhenTheCertificateIsTrusted) {
  SmtpPeer peer;
  StartPeer(peer, TlsOptions("localhost"));
  PeerClient client(peer);
  client.Host = "localhost";
  client.CAFile = dir.file("localhost.crt");
  client.Username = "korv";
  client.Password = "geheim";
  client.Connect();
  EXPECT_TRUE(client.TlsActive());
  EXPECT_TRUE(client.Offers("LOGIN"));
  client.Authenticate();
  client.Send("s@example.org", {"r@example.org"}, kMessage);
  client.Disconnect();
  ASSERT_TRUE(peer.WaitForMessages(1));
  const auto m = peer.Messages().at(0);
  EXPECT_TRUE(m.Tls);
  EXPECT_EQ(m.Login, "korv");
  EXPECT_EQ(m.Data, kReceived);
}

TEST_F(SmtpClientTls, RefusesAnUntrustedOrMisnamedCertificate) {
  SmtpPeer peer;
  StartPeer(peer, TlsOptions("elsewhere.test"));
  {
    // Checked against the system's CA store, which does not know this certificate.
    PeerClient client(peer);
    client.Host = "localhost";
    const std::string failure = Failure([&] { client.Connect(); });
    EXPECT_NE(failure.find("TLS with localhost:" + peer.PortText() +
                           " failed: certificate of localhost not trusted"),
              std::string::npos)
        << failure;
    EXPECT_FALSE(client.Connected());
  }
  {
    // Trusted, but issued for another name.
    PeerClient client(peer);
    client.Host = "localhost";
    client.CAFile = dir.file("elsewhere.test.crt");
    EXPECT_NE(Failure([&] { client.Connect(); }).find("not trusted"), std::string::npos);
  }
  EXPECT_TRUE(peer.Messages().empty());
}

TEST(SmtpClientPeer, GoesThroughASocks5ProxyWithLogin) {
  SmtpPeer peer;
  StartPeer(peer);
  kvtest::MicrosocksPeer proxy;
  KV_REQUIRE_PEER(proxy.Start("sockuser", "sockpass"), proxy.why());

  PeerClient client(peer);
  client.SocksIP = "127.0.0.1";
  client.SocksPort = proxy.PortText();
  client.SocksUsername = "sockuser";
  client.SocksPassword = "sockpass";
  client.Connect();
  EXPECT_TRUE(client.Sock().UsingSocks());
  client.Send("s@example.org", {"r@example.org"}, kMessage);
  client.Disconnect();
  ASSERT_TRUE(peer.WaitForMessages(1));
  EXPECT_EQ(peer.Messages().at(0).Data, kReceived);

  PeerClient refused(peer);
  refused.SocksIP = "127.0.0.1";
  refused.SocksPort = proxy.PortText();
  refused.SocksUsername = "sockuser";
  refused.SocksPassword = "wrong";
  EXPECT_NE(Failure([&] { refused.Connect(); }).find("through SOCKS5 proxy 127.0.0.1"), std::string::npos);
}
