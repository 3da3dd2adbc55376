// The sockets against peers that drip, stall, close, flood or lie, and against limits.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "fake_proxy.h"
#include "net/sntp_send.h"
#include "net/tcp_socket.h"
#include "net/udp_socket.h"
#include "sntp_fixtures.h"

using namespace kv::net;
using kvnettest::FakeProxy;
using kvnettest::ProxySession;
using kvtest::ElapsedMs;

namespace {

using Clock = std::chrono::steady_clock;

// Writes each piece `gap_ms` after the last (the first after one gap), as a proxy that keeps a
// connection alive with a drip, counting the pieces in `written`; stops once the client has gone.
void Drip(ProxySession &s, const std::vector<std::string> &pieces, int gap_ms, std::atomic<size_t> &written) {
  for (const std::string &piece : pieces) {
    if (!s.Pause(gap_ms)) return;
    s.Write(piece);
    ++written;
  }
}

std::vector<std::string> EachByte(const std::string &data) {
  std::vector<std::string> bytes;
  for (char c : data)
    bytes.emplace_back(1, c);
  return bytes;
}

// A proxy's answer to the request, dripped: every gap within the time-out, the whole beyond it
// by a second or more, so that a client that gives up at the time-out does so while the drip
// still runs however late a loaded machine wakes it.
struct SlowAnswer {
  bool tunnel; // an HTTP CONNECT proxy; else SOCKS5
  std::vector<std::string> pieces;
  int gap_ms;
  int timeout_ms;
};

// Connects through a proxy that drips `c`: refused with the time-out before the drip is through.
void ExpectConnectTimesOutEarly(const SlowAnswer &c) {
  std::atomic<size_t> written{0};
  FakeProxy proxy([&c, &written](ProxySession &s) {
    if (c.tunnel) {
      s.ReadUntil("\r\n\r\n");
    } else {
      s.Read(3);
      s.Write(std::string("\x05\x00", 2));
      s.Read(10);
    }
    Drip(s, c.pieces, c.gap_ms, written);
    s.WaitForClose();
  });
  TTCPBlockSocket sock;
  (c.tunnel ? sock.HTTPTunnelIP : sock.SocksIP) = "127.0.0.1";
  (c.tunnel ? sock.HTTPTunnelPort : sock.SocksPort) = proxy.port_text();
  (c.tunnel ? sock.HTTPTunnelTimeout : sock.SocksTimeout) = c.timeout_ms;
  sock.Connect("127.0.0.1", "25");
  const size_t when_given_up = written;
  EXPECT_EQ(sock.LastError(), WSAETIMEDOUT) << c.tunnel << " " << c.pieces.size();
  EXPECT_LT(when_given_up, c.pieces.size()) << c.tunnel << ": gave up only after the whole drip";
  EXPECT_FALSE(sock.HttpTunnelInUse());
}

// A listener that accepts one connection and never reads from it until told to go (or 5 s
// pass, so that a send that does not give up on its own still ends).
class NonReadingPeer {
public:
  NonReadingPeer() {
    thread_ = std::thread([this] {
      const int fd = listener_.AcceptFd(5000);
      kvtest::WaitUntil([this] { return done_.load(); }, std::chrono::seconds(5));
      if (fd >= 0) ::close(fd);
    });
  }
  ~NonReadingPeer() {
    done_ = true;
    thread_.join();
  }
  std::string port_text() const { return listener_.port_text(); }

private:
  kvnettest::TcpListener listener_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// A TCP socket whose receive call fails although bytes are waiting.
class FailingReceive : public TTCPBlockSocket {
public:
  int RecvData(void *, int) override {
    SetLastError(WSAECONNRESET);
    return SOCKET_ERROR;
  }
};

} // namespace

TEST(HostilePeer, ADripFeedingProxyCannotStretchTheTimeOutOfAnAnswer) {
  // Each answer one byte at a time, or in the pieces it is read in (SOCKS5: header, name length,
  // name, port; HTTP: line by line): the time-out bounds the whole answer, so it ends while the
  // drip goes on. What is compared is how far the drip got, not how long anything took.
  const std::string reply = kvnettest::Bytes({5, 0, 0, 3, 40}) + "a-rather-long-name.of.a.time.server.test" +
                            kvnettest::Bytes({0, 25});
  const std::vector<std::string> reply_pieces{reply.substr(0, 4), reply.substr(4, 1), reply.substr(5, 40),
                                              reply.substr(45)};
  std::vector<std::string> lines{"HTTP/1.0 200 OK\r\n"};
  for (int i = 0; i < 30; ++i)
    lines.push_back("X-Header-" + std::to_string(i) + ": v\r\n");
  lines.push_back("\r\n");
  for (const SlowAnswer &c :
       {SlowAnswer{false, EachByte(reply), 100, 300}, SlowAnswer{false, reply_pieces, 500, 600},
        SlowAnswer{true, EachByte("HTTP/1.0 200 OK\r\nProxy-agent: drip\r\n\r\n"), 60, 300},
        SlowAnswer{true, lines, 150, 300}})
    ExpectConnectTimesOutEarly(c);

  // The greeting's answer is one reply of its own, bounded the same way: its second byte comes
  // a second after the time-out.
  std::atomic<size_t> written{0};
  FakeProxy greeting([&written](ProxySession &s) {
    s.Read(3);
    Drip(s, EachByte(std::string("\x05\x00", 2)), 1100, written);
    s.WaitForClose();
  });
  TTCPBlockSocket plain; // connected straight to the proxy, then greeting it
  plain.SocksTimeout = 1200;
  plain.ConnectionTimeout = 1000;
  plain.Connect("127.0.0.1", greeting.port_text());
  ASSERT_EQ(plain.LastError(), 0);
  EXPECT_FALSE(plain.SocksGreeting());
  EXPECT_LT(written, 2u);
  EXPECT_EQ(plain.LastError(), WSAETIMEDOUT);
}

TEST(HostilePeer, ADripFeedingProxyCannotStretchAnAssociationBeyondItsLimit) {
  // The greeting's answer and the reply, one byte every 200 ms: each answer whole well within
  // SocksTimeout, all of them 2.4 s. Only the limit on the association as a whole ends it, while
  // the drip goes on.
  std::atomic<size_t> written{0};
  const std::string reply = kvnettest::Socks5Reply(kvnettest::Bytes({127, 0, 0, 1}), 4242);
  const size_t pieces = 2 + reply.size();
  FakeProxy proxy([&](ProxySession &s) {
    s.Read(3);
    Drip(s, EachByte(std::string("\x05\x00", 2)), 200, written);
    s.Read(10);
    Drip(s, EachByte(reply), 200, written);
    s.WaitForClose();
  });
  TUDPBlockSocket sock;
  sock.SocksIP = "127.0.0.1";
  sock.SocksPort = proxy.port_text();
  sock.Connect("192.0.2.7", "123");
  EXPECT_FALSE(sock.UdpAssociate(500));
  const size_t when_given_up = written;
  EXPECT_LT(when_given_up, pieces) << "gave up only after the whole drip";
  ASSERT_NE(sock.ControlSocket(), nullptr);
  EXPECT_EQ(sock.ControlSocket()->LastError(), WSAETIMEDOUT);
  EXPECT_TRUE(sock.AssociationFailedAtProxy());
}

TEST(HostilePeer, TheTunnelBoundsItsAnswerLinesWhateverTheSocketsOwnLimit) {
  for (const int own_limit : {0, 1 << 20}) {
    FakeProxy proxy([](ProxySession &s) {
      s.ReadUntil("\r\n\r\n");
      s.Write("HTTP/1.0 200 OK\r\nX-Padding: " + std::string(kTunnelMaxLineLength + 100, 'x') + "\r\n\r\n");
      s.WaitForClose();
    });
    TTCPBlockSocket sock;
    sock.MaxLineLength = own_limit;
    sock.HTTPTunnelIP = "127.0.0.1";
    sock.HTTPTunnelPort = proxy.port_text();
    sock.Connect("127.0.0.1", "25");
    EXPECT_EQ(sock.LastError(), WSAENOBUFS) << own_limit;
    EXPECT_FALSE(sock.HttpTunnelInUse());
    EXPECT_EQ(sock.MaxLineLength, own_limit) << "the socket's own limit comes back";
  }
}

TEST(HostilePeer, ASendToAPeerThatNeverReadsEndsAtTheTimeOut) {
  NonReadingPeer peer;
  TTCPBlockSocket sock;
  sock.ConnectionTimeout = 300;
  sock.Connect("127.0.0.1", peer.port_text());
  ASSERT_EQ(sock.LastError(), 0);
  const std::string data(32 << 20, 'x');
  const auto start = Clock::now();
  const int sent = sock.SendData(data.data(), static_cast<int>(data.size()));
  EXPECT_EQ(sock.LastError(), WSAETIMEDOUT);
  EXPECT_LT(sent, static_cast<int>(data.size()));
  EXPECT_LT(ElapsedMs(start), 3000);
}

// In a child with SIGPIPE as a program has it by default.
[[noreturn]] void SendTwiceToAClosedPeer() {
  signal(SIGPIPE, SIG_DFL);
  kvnettest::TcpListener listener;
  TTCPBlockSocket sock;
  sock.Connect("127.0.0.1", listener.port_text());
  const int fd = listener.AcceptFd();
  const linger reset{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  close(fd); // the peer is gone
  for (int i = 0; i < 3; ++i)
    sock.SendString("data after the peer left");
  std::exit(sock.LastError() != 0 ? 0 : 2);
}

TEST(HostilePeer, ASendToAClosedPeerFailsWithoutKillingTheProgram) {
  EXPECT_EXIT(SendTwiceToAClosedPeer(), testing::ExitedWithCode(0), "");
}

TEST(HostilePeer, AFailedStreamReceiveHandsOutNothingOfWhatWasWaiting) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
  FailingReceive sock;
  sock.AttachHandle(pair[0]);
  ASSERT_EQ(::write(pair[1], "ten bytes!", 10), 10);
  ASSERT_TRUE(kvnettest::WaitForQueued(sock));
  EXPECT_EQ(sock.RecvPacket(1000), "");
  EXPECT_EQ(sock.LastError(), WSAECONNRESET);
  sock.CloseNow();
  ::close(pair[1]);
}

TEST(HostilePeer, ADatagramIsChargedToTheLimiterForWhatItHeld) {
  kvnettest::UdpPeer peer;
  TUDPBlockSocket sock;
  sock.Connect("127.0.0.1", peer.port_text());
  sock.SendString("hello");
  std::string hello;
  int client_port = 0;
  ASSERT_TRUE(peer.Recv(hello, &client_port));
  for (int i = 0; i < 5; ++i)
    peer.SendTo(client_port, std::string(100, 'd'));
  int64_t waited = 0;
  sock.OnStatus = [&](TBlockSocket *, THookSocketReason reason, const std::string &value) {
    if (reason == HR_Wait) waited += std::stoll(value);
  };
  sock.MaxRecvBandwidth = 50000; // bytes per second: 100 bytes cost 2 ms
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(sock.RecvPacket(2000).size(), 100u);
    EXPECT_EQ(sock.LastError(), 0);
  }
  // Charged 65536 bytes each, the four pauses would come to over five seconds.
  EXPECT_LE(waited, 100);
}

TEST(HostilePeer, AQueryEndingAtItsDeadlineAmidWrongAnswersIsATimeOut) {
  using namespace sntptest;
  ScriptedResponder responder;
  TSNTPSend client;
  client.TargetHost = "127.0.0.1";
  client.TargetPort = responder.PortText();
  client.Timeout = 150;
  // Answers that name another request, without pause, until the query is over.
  std::atomic<bool> over{false};
  std::thread flood([&] {
    if (!kvtest::WaitUntil([&] { return responder.Requests() > 0 || over; }, std::chrono::seconds(5))) return;
    const std::string wrong = ServerReply({1, 2}, ReplyFields{{1796757040, 0}, {1796757040, 0}});
    while (!over)
      responder.SendToClient({wrong});
  });
  const bool answered = client.RequestTime();
  over = true;
  flood.join();
  EXPECT_FALSE(answered);
  EXPECT_EQ(client.Sock().LastError(), WSAETIMEDOUT) << Why(client);
}
