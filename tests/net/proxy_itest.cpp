// The SOCKS client, the UDP relay and the HTTP tunnel against real proxies on loopback:
// danted (CONNECT, BIND, UDP ASSOCIATE), microsocks (login) and tinyproxy (HTTP CONNECT).
#include "net/tcp_socket.h"
#include "net/udp_socket.h"

#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

#include "loopback_peer.h"
#include "tests/peers/proxy_peers.h"

using namespace kv::net;

namespace {

// Echo servers the proxies lead to: TCP answers every line with itself, UDP every datagram
// with "echo:" and the datagram.
class EchoServers {
public:
  EchoServers() {
    threads_.emplace_back([this] { ServeTcp(); });
    threads_.emplace_back([this] { ServeUdp(); });
  }
  ~EchoServers() {
    stop_ = true;
    for (auto &t : threads_)
      t.join();
  }
  std::string tcp_port() const { return tcp_.port_text(); }
  std::string udp_port() const { return udp_.port_text(); }

private:
  void ServeTcp() {
    while (!stop_) {
      const int fd = tcp_.AcceptFd(50);
      if (fd < 0) continue;
      threads_tcp_.emplace_back([this, fd] {
        kvnettest::TcpConn conn(fd);
        while (!stop_) {
          if (!kvnettest::WaitReadable(fd, 50)) continue;
          const std::string data = conn.Recv(1, 50);
          if (data.empty()) break;
          conn.Send(data);
        }
      });
    }
    for (auto &t : threads_tcp_)
      t.join();
  }
  void ServeUdp() {
    while (!stop_) {
      std::string data;
      int from = 0;
      if (udp_.Recv(data, &from, 50)) udp_.SendTo(from, "echo:" + data);
    }
  }
  kvnettest::TcpListener tcp_;
  kvnettest::UdpPeer udp_;
  std::atomic<bool> stop_{false};
  std::vector<std::thread> threads_tcp_;
  std::vector<std::thread> threads_;
};

template <class Peer> class WithPeer : public ::testing::Test {
protected:
  void SetUp() override { echo_ = std::make_unique<EchoServers>(); }
  Peer peer_;
  std::unique_ptr<EchoServers> echo_;
};

// Starts the fixture's peer; skips the test (fails it under CI) when the peer cannot run here.
#define START_PEER(call) KV_REQUIRE_PEER(peer_.call, peer_.why())

using Danted = WithPeer<kvtest::DantedPeer>;
using Microsocks = WithPeer<kvtest::MicrosocksPeer>;
using Tinyproxy = WithPeer<kvtest::TinyproxyPeer>;

} // namespace

TEST_F(Danted, ConnectCarriesAStreamToTheTarget) {
  START_PEER(Start());
  for (const char *target : {"127.0.0.1", "localhost"}) {
    TTCPBlockSocket sock;
    sock.SocksIP = "127.0.0.1";
    sock.SocksPort = peer_.PortText();
    sock.Connect(target, echo_->tcp_port());
    ASSERT_EQ(sock.LastError(), 0) << target << "\n" << peer_.Log();
    EXPECT_TRUE(sock.UsingSocks());
    EXPECT_EQ(sock.RemoteAddressText(), target);
    EXPECT_EQ(sock.RemotePort(), std::stoi(echo_->tcp_port()));
    EXPECT_EQ(sock.LocalAddressText(), "127.0.0.1"); // where danted connected from
    sock.SendString("through danted\r\n");
    EXPECT_EQ(sock.RecvLine(5000), "through danted");
  }
}

TEST_F(Danted, ConnectToAClosedPortFails) {
  START_PEER(Start());
  TTCPBlockSocket sock;
  sock.SocksIP = "127.0.0.1";
  sock.SocksPort = peer_.PortText();
  sock.Connect("127.0.0.1", std::to_string(kvtest::FreePort()));
  EXPECT_EQ(sock.LastError(), 10091);
  EXPECT_EQ(sock.SocksLastError(), 5) << peer_.Log(); // the proxy's own reason: connection refused
}

TEST_F(Danted, UdpAssociateRelaysQueriesAndAnswers) {
  START_PEER(Start());
  TUDPBlockSocket sock;
  sock.SocksIP = "127.0.0.1";
  sock.SocksPort = peer_.PortText();
  sock.Connect("127.0.0.1", echo_->udp_port());
  for (const char *query : {"first", "second"}) {
    sock.SendString(query);
    ASSERT_EQ(sock.LastError(), 0) << peer_.Log();
    EXPECT_TRUE(sock.UsingSocks());
    EXPECT_EQ(sock.RecvPacket(5000), std::string("echo:") + query) << peer_.Log();
    EXPECT_EQ(sock.LastError(), 0);
    EXPECT_EQ(sock.RemoteAddressText(), "127.0.0.1");
    EXPECT_EQ(sock.RemotePort(), std::stoi(echo_->udp_port()));
  }
  // An association set up ahead of the send serves it.
  ASSERT_TRUE(sock.UdpAssociate());
  sock.SendString("prepared");
  EXPECT_EQ(sock.RecvPacket(5000), "echo:prepared");
}

TEST_F(Danted, BindAcceptsAConnectionThroughTheProxy) {
  START_PEER(Start());
  TTCPBlockSocket server;
  server.SocksIP = "127.0.0.1";
  server.SocksPort = peer_.PortText();
  server.Bind("127.0.0.1", "0");
  server.Listen();
  ASSERT_EQ(server.LastError(), 0) << peer_.Log();
  ASSERT_FALSE(server.SocksLocalIP().empty());
  ASSERT_NE(server.LocalPort(), 0);

  TTCPBlockSocket client;
  client.Connect(server.LocalAddressText(), std::to_string(server.LocalPort()));
  ASSERT_EQ(client.LastError(), 0);
  EXPECT_EQ(server.Accept(), server.Socket());
  EXPECT_EQ(server.LastError(), 0);
  EXPECT_EQ(server.RemoteAddressText(), "127.0.0.1");
  client.SendString("hello binder\r\n");
  EXPECT_EQ(server.RecvLine(5000), "hello binder");
  server.SendString("hello client\r\n");
  EXPECT_EQ(client.RecvLine(5000), "hello client");
}

TEST_F(Danted, SslThroughTheProxy) {
  START_PEER(Start());
  kvtest::OpensslServerPeer tls;
  KV_REQUIRE_PEER(tls.Start("localhost", "DNS:localhost,IP:127.0.0.1"), tls.why());
  TTCPBlockSocket sock;
  sock.SocksIP = "127.0.0.1";
  sock.SocksPort = peer_.PortText();
  sock.SSLverifyCert = true;
  sock.SSLCertCAFile = tls.CertFile();
  sock.SetSslEnabled(true);
  sock.Connect("127.0.0.1", tls.PortText());
  ASSERT_EQ(sock.LastError(), 0) << sock.SSLLastErrorDesc();
  sock.SendString("secret\n");
  EXPECT_EQ(sock.RecvTerminated(5000, "\n"), "terces");
}

TEST_F(Microsocks, LoginWithUserNameAndPassword) {
  START_PEER(Start("kvuser", "kvpass"));
  TTCPBlockSocket sock;
  sock.SocksIP = "127.0.0.1";
  sock.SocksPort = peer_.PortText();
  sock.SocksUsername = "kvuser";
  sock.SocksPassword = "kvpass";
  sock.Connect("127.0.0.1", echo_->tcp_port());
  ASSERT_EQ(sock.LastError(), 0) << peer_.Log();
  sock.SendString("logged in\r\n");
  EXPECT_EQ(sock.RecvLine(5000), "logged in");

  for (const char *password : {"wrong", ""}) {
    TTCPBlockSocket refused;
    refused.SocksIP = "127.0.0.1";
    refused.SocksPort = peer_.PortText();
    refused.SocksUsername = "kvuser";
    refused.SocksPassword = password;
    refused.Connect("127.0.0.1", echo_->tcp_port());
    EXPECT_EQ(refused.LastError(), 10091) << password;
    EXPECT_FALSE(refused.UsingSocks());
  }

  // Without a user name no acceptable method is offered.
  TTCPBlockSocket anonymous;
  anonymous.SocksIP = "127.0.0.1";
  anonymous.SocksPort = peer_.PortText();
  anonymous.Connect("127.0.0.1", echo_->tcp_port());
  EXPECT_EQ(anonymous.LastError(), 10091);
}

TEST_F(Tinyproxy, TunnelWithoutAuthentication) {
  START_PEER(Start(std::stoi(echo_->tcp_port())));
  TTCPBlockSocket sock;
  sock.HTTPTunnelIP = "127.0.0.1";
  sock.HTTPTunnelPort = peer_.PortText();
  sock.Connect("127.0.0.1", echo_->tcp_port());
  ASSERT_EQ(sock.LastError(), 0) << peer_.Log();
  EXPECT_TRUE(sock.HttpTunnelInUse());
  sock.SendString("tunnelled\r\n");
  EXPECT_EQ(sock.RecvLine(5000), "tunnelled");

  // A port where a server listens but the proxy does not allow: refused by the proxy's rule
  // (403), not because nothing answers there (500).
  kvnettest::TcpListener listening;
  TTCPBlockSocket other;
  other.HTTPTunnelIP = "127.0.0.1";
  other.HTTPTunnelPort = peer_.PortText();
  other.Connect("127.0.0.1", listening.port_text());
  EXPECT_EQ(other.LastError(), 10091);
  EXPECT_FALSE(other.HttpTunnelInUse());
  EXPECT_NE(peer_.Log().find("Refused CONNECT method on port " + listening.port_text()), std::string::npos)
      << peer_.Log();
}

TEST_F(Tinyproxy, TunnelWithBasicAuthentication) {
  START_PEER(Start(std::stoi(echo_->tcp_port()), "tuser", "tpass"));
  struct Case {
    const char *user, *password;
    int error;
  };
  for (const Case c : {Case{"tuser", "tpass", 0}, Case{"", "", 10091}, Case{"tuser", "nope", 10091}}) {
    TTCPBlockSocket sock;
    sock.HTTPTunnelIP = "127.0.0.1";
    sock.HTTPTunnelPort = peer_.PortText();
    sock.HTTPTunnelUser = c.user;
    sock.HTTPTunnelPass = c.password;
    sock.Connect("127.0.0.1", echo_->tcp_port());
    EXPECT_EQ(sock.LastError(), c.error) << c.user << ":" << c.password << "\n" << peer_.Log();
    EXPECT_EQ(sock.HttpTunnelInUse(), c.error == 0);
    if (c.error == 0) {
      sock.SendString("authorised\r\n");
      EXPECT_EQ(sock.RecvLine(5000), "authorised");
    }
  }
}
