// The TCP socket's SSL layer against `openssl s_server` with certificates made by the test.
#include "net/tcp_socket.h"

#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <thread>

#include "tests/peers/proxy_peers.h"

using namespace kv::net;

namespace {

// One s_server per certificate kind, shared by the tests of the suite.
class SslServer : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    local_ = new kvtest::OpensslServerPeer;
    if (!local_->Start("localhost", "DNS:localhost,IP:127.0.0.1")) why_ = local_->why();
    other_ = new kvtest::OpensslServerPeer;
    if (why_.empty() && !other_->Start("other.test", "DNS:other.test")) why_ = other_->why();
  }
  static void TearDownTestSuite() {
    delete local_;
    delete other_;
    local_ = other_ = nullptr;
  }
  void SetUp() override { KV_REQUIRE_PEER(why_.empty(), why_); }

  static inline kvtest::OpensslServerPeer *local_ = nullptr;
  static inline kvtest::OpensslServerPeer *other_ = nullptr;
  static inline std::string why_;
};

} // namespace

TEST_F(SslServer, EncryptedExchangeOverTls) {
  TTCPBlockSocket sock;
  sock.SetSslEnabled(true);
  ASSERT_EQ(sock.LastError(), 0);
  sock.Connect("127.0.0.1", local_->PortText());
  ASSERT_EQ(sock.LastError(), 0) << sock.SSLLastErrorDesc();
  EXPECT_TRUE(sock.SSLEnabled());
  sock.SendString("hello korvane\n");
  EXPECT_EQ(sock.RecvTerminated(5000, "\n"), "enavrok olleh");
  EXPECT_EQ(sock.LastError(), 0);
  // A silent server: the receive still ends at its time-out.
  EXPECT_EQ(sock.RecvLine(300), "");
  EXPECT_EQ(sock.LastError(), 10060);
  sock.Close();
  EXPECT_FALSE(sock.SSLEnabled());
  EXPECT_EQ(sock.LastError(), 0);
}

TEST_F(SslServer, SslConnectAfterAPlainConnect) {
  TTCPBlockSocket sock;
  sock.Connect("127.0.0.1", local_->PortText());
  ASSERT_EQ(sock.LastError(), 0);
  sock.SslConnect();
  ASSERT_EQ(sock.LastError(), 0) << sock.SSLLastErrorDesc();
  sock.SendString("abc\n");
  EXPECT_EQ(sock.RecvTerminated(5000, "\n"), "cba");
}

TEST_F(SslServer, VerifiedCertificateMustNameTheHostAskedFor) {
  for (const char *host : {"127.0.0.1", "localhost"}) {
    TTCPBlockSocket sock;
    sock.SSLverifyCert = true;
    sock.SSLCertCAFile = local_->CertFile();
    sock.SetSslEnabled(true);
    sock.Connect(host, local_->PortText());
    EXPECT_EQ(sock.LastError(), 0) << host << ": " << sock.SSLLastErrorDesc();
    EXPECT_EQ(sock.SslVerifyResult(), 0);
  }
  // A valid certificate for another name is refused.
  TTCPBlockSocket wrong_name;
  wrong_name.SSLverifyCert = true;
  wrong_name.SSLCertCAFile = other_->CertFile();
  wrong_name.SetSslEnabled(true);
  wrong_name.Connect("127.0.0.1", other_->PortText());
  EXPECT_EQ(wrong_name.LastError(), 10013);
  EXPECT_EQ(wrong_name.LastErrorDesc(), "Permission denied");
  EXPECT_FALSE(wrong_name.SSLEnabled());
  // Without verification the same server is accepted.
  TTCPBlockSocket unverified;
  unverified.SetSslEnabled(true);
  unverified.Connect("127.0.0.1", other_->PortText());
  EXPECT_EQ(unverified.LastError(), 0);
}

TEST_F(SslServer, AnUntrustedCertificateFailsVerification) {
  TTCPBlockSocket sock;
  sock.SSLverifyCert = true;
  sock.SSLCertCAFile = other_->CertFile(); // trusts only the other certificate
  sock.SetSslEnabled(true);
  sock.Connect("127.0.0.1", local_->PortText());
  EXPECT_EQ(sock.LastError(), 10013);
  EXPECT_NE(sock.SslVerifyResult(), 0);
}

TEST_F(SslServer, APlainServerFailsTheHandshakeWithinTheTimeout) {
  kvtest::TempDir dir;
  // A listener that accepts and never speaks TLS: the handshake gives up after ConnectionTimeout.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(fd, 4), 0);
  ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
  TTCPBlockSocket sock;
  sock.ConnectionTimeout = 300;
  sock.SetSslEnabled(true);
  const auto start = std::chrono::steady_clock::now();
  sock.Connect("127.0.0.1", std::to_string(ntohs(a.sin_port)));
  EXPECT_EQ(sock.LastError(), 10060);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  ::close(fd);
}

TEST_F(SslServer, ARecordSentOnlyInPartEndsAtTheTimeOut) {
  TTCPBlockSocket sock;
  sock.SetSslEnabled(true);
  sock.Connect("127.0.0.1", local_->PortText());
  ASSERT_EQ(sock.LastError(), 0) << sock.SSLLastErrorDesc();
  // The session's descriptor now leads to a peer that announces a 32-byte record and sends
  // only its header. The receive timeout on that end keeps a faulty client from hanging here.
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
  const timeval limit{2, 0};
  ::setsockopt(pair[0], SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  ASSERT_EQ(::dup2(pair[0], sock.Socket()), sock.Socket());
  ::close(pair[0]);
  ASSERT_EQ(::write(pair[1], "\x17\x03\x03\x00\x20", 5), 5);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(sock.RecvPacket(300), "");
  EXPECT_EQ(sock.LastError(), 10060);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
  sock.CloseNow();
  ::close(pair[1]);
}

namespace {

// Puts a socket pair's end in place of the session's descriptor; the other end is returned.
int ReplaceDescriptor(TTCPBlockSocket &sock) {
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return -1;
  ::dup2(pair[0], sock.Socket());
  ::close(pair[0]);
  return pair[1];
}

} // namespace

TEST_F(SslServer, AWriteToAPeerThatNeverReadsEndsAtTheTimeOut) {
  TTCPBlockSocket sock;
  sock.SetSslEnabled(true);
  sock.Connect("127.0.0.1", local_->PortText());
  ASSERT_EQ(sock.LastError(), 0) << sock.SSLLastErrorDesc();
  // The session now leads to a peer that takes nothing; after 5 s it goes, so that a write that
  // does not give up on its own still ends.
  const int peer = ReplaceDescriptor(sock);
  ASSERT_GE(peer, 0);
  std::atomic<bool> done{false};
  std::thread guard([peer, &done] {
    kvtest::WaitUntil([&] { return done.load(); }, std::chrono::seconds(5));
    ::shutdown(peer, SHUT_RDWR);
  });
  sock.ConnectionTimeout = 300;
  const std::string data(8 << 20, 'x');
  const auto start = std::chrono::steady_clock::now();
  const int sent = sock.SendData(data.data(), static_cast<int>(data.size()));
  EXPECT_EQ(sock.LastError(), 10060);
  EXPECT_LT(sent, static_cast<int>(data.size()));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  done = true;
  guard.join();
  sock.CloseNow();
  ::close(peer);
}

// In a child with SIGPIPE as a program has it by default.
[[noreturn]] void WriteTlsToAPeerThatLeft(const std::string &port) {
  signal(SIGPIPE, SIG_DFL);
  TTCPBlockSocket sock;
  sock.SetSslEnabled(true);
  sock.Connect("127.0.0.1", port);
  if (sock.LastError() != 0) std::exit(3);
  ::close(ReplaceDescriptor(sock)); // the peer is gone
  for (int i = 0; i < 3; ++i)
    sock.SendString("data after the peer left");
  std::exit(sock.LastError() != 0 ? 0 : 2);
}

TEST_F(SslServer, AWriteToAPeerThatLeftFailsWithoutKillingTheProgram) {
  EXPECT_EXIT(WriteTlsToAPeerThatLeft(local_->PortText()), testing::ExitedWithCode(0), "");
}
