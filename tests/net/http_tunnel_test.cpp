// The TCP socket's HTTP CONNECT tunnel against a scripted proxy, and connects that cannot hang.
#include "net/tcp_socket.h"
#include "net/udp_socket.h"

#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>

#include "fake_proxy.h"

using namespace kv::net;
using kvnettest::FakeProxy;
using kvnettest::ProxySession;
using kvtest::ElapsedMs;

namespace {

// Reads the CONNECT request and answers with `answer`.
FakeProxy::Script TunnelProxy(const std::string &answer) {
  return [answer](ProxySession &s) {
    s.ReadUntil("\r\n\r\n");
    s.Write(answer);
    s.WaitForClose();
  };
}

struct Tunnel {
  FakeProxy proxy;
  TTCPBlockSocket sock;
  explicit Tunnel(const std::string &answer) : proxy(TunnelProxy(answer)) {
    sock.HTTPTunnelIP = "127.0.0.1";
    sock.HTTPTunnelPort = proxy.port_text();
  }
  std::string Request() {
    sock.CloseNow();
    return proxy.transcripts(1).at(0);
  }
};

// A listener whose queue is full: further connection attempts get no answer at all.
class SilentListener {
public:
  SilentListener() : listener_(0) {
    for (int i = 0; i < 64; ++i) {
      const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      sockaddr_in a = kvnettest::Loopback(listener_.port());
      ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
      fillers_.push_back(fd);
      pollfd p{fd, POLLOUT, 0};
      if (::poll(&p, 1, 200) == 0) return; // this one hangs: the queue is full
    }
  }
  ~SilentListener() {
    for (int fd : fillers_)
      ::close(fd);
  }
  std::string port_text() const { return listener_.port_text(); }

private:
  kvnettest::TcpListener listener_;
  std::vector<int> fillers_;
};

} // namespace

TEST(HttpTunnel, AcceptedTunnelKeepsWhatFollowsTheAnswer) {
  Tunnel t("HTTP/1.0 200 Connection established\r\nProxy-agent: fake\r\n\r\n220 hello\r\n");
  t.sock.Connect("127.0.0.1", "smtp");
  EXPECT_EQ(t.sock.LastError(), 0);
  EXPECT_TRUE(t.sock.HttpTunnelInUse());
  EXPECT_FALSE(t.sock.SocksExchangeActive());
  EXPECT_EQ(t.sock.RemoteAddressText(), "127.0.0.1");
  EXPECT_EQ(t.sock.RemotePort(), 25);
  EXPECT_EQ(t.sock.RecvLine(2000), "220 hello");
  EXPECT_EQ(t.Request(), "CONNECT 127.0.0.1:25 HTTP/1.0\r\n\r\n");
}

TEST(HttpTunnel, BasicAuthenticationLineAndBracketedIPv6) {
  Tunnel t("HTTP/1.1 200 OK\r\n\r\n");
  t.sock.HTTPTunnelUser = "tuser";
  t.sock.HTTPTunnelPass = "tpass";
  t.sock.Connect("::1", "8080");
  EXPECT_EQ(t.sock.LastError(), 0);
  EXPECT_EQ(t.sock.RemoteAddressText(), "[::1]");
  EXPECT_EQ(t.Request(),
            "CONNECT [::1]:8080 HTTP/1.0\r\nProxy-Authorization: Basic dHVzZXI6dHBhc3M=\r\n\r\n");
}

TEST(HttpTunnel, RefusedTunnelIs10091) {
  Tunnel t("HTTP/1.0 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic\r\n\r\n");
  t.sock.Connect("127.0.0.1", "25");
  EXPECT_EQ(t.sock.LastError(), 10091);
  EXPECT_FALSE(t.sock.HttpTunnelInUse());
}

TEST(HttpTunnel, AnswerLinesAndTheirNumberAreBounded) {
  {
    Tunnel t("HTTP/1.0 200 OK\r\nX-Long: " + std::string(100000, 'x'));
    const auto start = std::chrono::steady_clock::now();
    t.sock.Connect("127.0.0.1", "25");
    EXPECT_EQ(t.sock.LastError(), 10055);
    EXPECT_FALSE(t.sock.HttpTunnelInUse());
    EXPECT_LT(ElapsedMs(start), 5000);
    EXPECT_EQ(t.sock.MaxLineLength, kDefaultMaxLineLength); // the owner's limit comes back
  }
  {
    std::string answer = "HTTP/1.0 200 OK\r\n";
    for (int i = 0; i < 1000; ++i)
      answer += "X-Header-" + std::to_string(i) + ": v\r\n";
    Tunnel t(answer + "\r\n");
    t.sock.Connect("127.0.0.1", "25");
    EXPECT_EQ(t.sock.LastError(), 10091);
    EXPECT_FALSE(t.sock.HttpTunnelInUse());
  }
}

TEST(ConnectTimeout, ASilentPeerCannotHoldAConnectLongerThanItsTimeout) {
  SilentListener silent;
  TTCPBlockSocket direct;
  direct.ConnectionTimeout = 300;
  auto start = std::chrono::steady_clock::now();
  direct.Connect("127.0.0.1", silent.port_text());
  EXPECT_EQ(direct.LastError(), 10060);
  EXPECT_GE(ElapsedMs(start), 290);
  EXPECT_LT(ElapsedMs(start), 3000);

  TTCPBlockSocket socks;
  socks.SocksIP = "127.0.0.1";
  socks.SocksPort = silent.port_text();
  socks.SocksTimeout = 300;
  start = std::chrono::steady_clock::now();
  socks.Connect("192.0.2.7", "25");
  EXPECT_EQ(socks.LastError(), 10060);
  EXPECT_LT(ElapsedMs(start), 3000);

  TTCPBlockSocket tunnel;
  tunnel.HTTPTunnelIP = "127.0.0.1";
  tunnel.HTTPTunnelPort = silent.port_text();
  tunnel.HTTPTunnelTimeout = 300;
  start = std::chrono::steady_clock::now();
  tunnel.Connect("192.0.2.7", "25");
  EXPECT_EQ(tunnel.LastError(), 10060);
  EXPECT_LT(ElapsedMs(start), 3000);

  kvnettest::UdpPeer target;
  TUDPBlockSocket udp;
  udp.SocksIP = "127.0.0.1";
  udp.SocksPort = silent.port_text();
  udp.SocksTimeout = 300;
  udp.Connect("127.0.0.1", target.port_text());
  start = std::chrono::steady_clock::now();
  udp.SendString("x");
  EXPECT_EQ(udp.LastError(), 11003);
  ASSERT_NE(udp.ControlSocket(), nullptr);
  EXPECT_EQ(udp.ControlSocket()->LastError(), 10060);
  EXPECT_LT(ElapsedMs(start), 3000);
}

TEST(ConnectTimeout, AProxyThatAcceptsButNeverAnswersTimesOut) {
  FakeProxy proxy([](ProxySession &s) { s.WaitForClose(); });
  TTCPBlockSocket sock;
  sock.SocksIP = "127.0.0.1";
  sock.SocksPort = proxy.port_text();
  sock.SocksTimeout = 300;
  const auto start = std::chrono::steady_clock::now();
  sock.Connect("192.0.2.7", "25");
  EXPECT_EQ(sock.LastError(), 10060);
  EXPECT_GE(ElapsedMs(start), 290);
  EXPECT_LT(ElapsedMs(start), 3000);
}
