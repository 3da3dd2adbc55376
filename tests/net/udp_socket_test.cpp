// The UDP socket without a proxy, against a plain UDP peer on loopback.
#include "net/udp_socket.h"

#include <chrono>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "loopback_peer.h"

using namespace kv::net;
using kvnettest::UdpPeer;
using kvtest::ElapsedMs;

namespace {

struct Event {
  THookSocketReason reason;
  std::string value;
  bool operator==(const Event &o) const { return reason == o.reason && value == o.value; }
};

std::vector<THookSocketReason> Reasons(const std::vector<Event> &events) {
  std::vector<THookSocketReason> r;
  for (const auto &e : events)
    r.push_back(e.reason);
  return r;
}

// Connects `sock` to `server` and sends it one datagram; returns the port the server saw it
// come from (0 if none came).
int Introduce(TUDPBlockSocket &sock, const UdpPeer &server) {
  sock.Connect("127.0.0.1", server.port_text());
  sock.SendString("q");
  std::string got;
  int client_port = 0;
  return server.Recv(got, &client_port) ? client_port : 0;
}

} // namespace

TEST(UdpSocket, ExchangesDatagramsWithExactCountsAndReportsEachStep) {
  UdpPeer server;
  TUDPBlockSocket sock;
  std::vector<Event> events;
  sock.OnStatus = [&](TBlockSocket *, THookSocketReason r, const std::string &v) {
    events.push_back({r, v});
  };

  sock.Bind("0.0.0.0", "0"); // deferred: nothing exists yet, nothing is reported
  EXPECT_EQ(sock.Socket(), INVALID_SOCKET);
  EXPECT_TRUE(events.empty());

  sock.Connect("127.0.0.1", server.port_text());
  EXPECT_EQ(sock.LastError(), 0);
  const std::string request(48, '\x1B');
  sock.SendString(request);
  EXPECT_EQ(sock.LastError(), 0);

  std::string got;
  int client_port = 0;
  ASSERT_TRUE(server.Recv(got, &client_port));
  EXPECT_EQ(got, request);

  const std::string reply(60, '\x1C');
  server.SendTo(client_port, reply);
  EXPECT_EQ(sock.RecvPacket(2000), reply);
  EXPECT_EQ(sock.LastError(), 0);
  EXPECT_EQ(sock.RemoteAddressText(), "127.0.0.1");
  EXPECT_EQ(sock.RemotePort(), server.port());

  const std::string endpoint = "127.0.0.1:" + server.port_text();
  EXPECT_EQ(Reasons(events),
            (std::vector<THookSocketReason>{HR_ResolvingBegin, HR_ResolvingEnd, HR_SocketCreate, HR_Connect,
                                            HR_WriteCount, HR_ReadCount}));
  EXPECT_EQ(events[0].value, endpoint);
  EXPECT_EQ(events[2].value, "IPv4");
  EXPECT_EQ(events[3].value, endpoint);
  EXPECT_EQ(events[4].value, "48");
  EXPECT_EQ(events[5].value, "60");
}

TEST(UdpSocket, ServiceNamesResolveToTheirPorts) {
  TUDPBlockSocket sock;
  EXPECT_EQ(sock.ResolveServicePort("ntp"), 123);
  EXPECT_EQ(sock.ResolveServicePort("4711"), 4711);
  EXPECT_EQ(sock.ResolveServicePort("no-such-service"), 0);
  sock.Connect("127.0.0.1", "ntp");
  EXPECT_EQ(sock.LastError(), 0);
  EXPECT_EQ(sock.RemotePort(), 123);
}

TEST(UdpSocket, SilenceTimesOutWith10060AfterAboutTheTimeout) {
  UdpPeer server;
  TUDPBlockSocket sock;
  std::vector<Event> events;
  sock.OnStatus = [&](TBlockSocket *, THookSocketReason r, const std::string &v) {
    events.push_back({r, v});
  };
  sock.Connect("127.0.0.1", server.port_text());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(sock.RecvPacket(300), "");
  const int64_t elapsed = ElapsedMs(start);
  EXPECT_EQ(sock.LastError(), 10060);
  EXPECT_EQ(sock.LastErrorDesc(), "Connection timed out");
  EXPECT_GE(elapsed, 290);
  EXPECT_LT(elapsed, 2000);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), (Event{HR_Error, "10060,Connection timed out"}));
}

TEST(UdpSocket, AnEmptyDatagramIsConsumedAsAnEmptyPacket) {
  UdpPeer server;
  TUDPBlockSocket sock;
  const int client_port = Introduce(sock, server);
  ASSERT_NE(client_port, 0);
  server.SendTo(client_port, "");
  server.SendTo(client_port, "after");
  // Without consuming it, the empty datagram would block the queue and read as a closed peer.
  EXPECT_EQ(sock.RecvPacket(2000), "");
  EXPECT_EQ(sock.LastError(), 0);
  EXPECT_EQ(sock.RecvPacket(2000), "after");
  EXPECT_EQ(sock.LastError(), 0);
}

TEST(UdpSocket, OnceConnectedOnlyThePeersDatagramsAreTaken) {
  UdpPeer server;
  UdpPeer stranger;
  TUDPBlockSocket sock;
  const int client_port = Introduce(sock, server);
  ASSERT_NE(client_port, 0);
  stranger.SendTo(client_port, "forged");
  ASSERT_TRUE(kvnettest::WaitForQueued(sock)); // the forged datagram is queued first
  server.SendTo(client_port, "genuine");
  EXPECT_EQ(sock.RecvPacket(2000), "genuine");
  EXPECT_EQ(sock.RemotePort(), server.port());
  // Only a stranger: nothing is taken, and the wait ends as a time-out.
  stranger.SendTo(client_port, "forged again");
  EXPECT_EQ(sock.RecvPacket(200), "");
  EXPECT_EQ(sock.LastError(), 10060);
}

TEST(UdpSocket, WithoutConnectTheSenderBecomesTheRemoteAddress) {
  UdpPeer a;
  TUDPBlockSocket sock;
  sock.Bind("127.0.0.1", "0");
  ASSERT_EQ(sock.LastError(), 0);
  ASSERT_NE(sock.LocalPort(), 0);
  a.SendTo(sock.LocalPort(), "ping");
  EXPECT_EQ(sock.RecvPacket(2000), "ping");
  EXPECT_EQ(sock.RemotePort(), a.port());
  sock.SendString("pong"); // answers whoever sent last
  std::string got;
  ASSERT_TRUE(a.Recv(got));
  EXPECT_EQ(got, "pong");
}

TEST(UdpSocket, AStoppedReceiveReturnsNothingAndLosesNoDatagram) {
  UdpPeer server;
  TUDPBlockSocket sock;
  const int client_port = Introduce(sock, server);
  ASSERT_NE(client_port, 0);
  server.SendTo(client_port, "0123456789");
  ASSERT_TRUE(kvnettest::WaitForQueued(sock));
  sock.StopFlag = true;
  // The failed read gives an empty result, not the bytes of a buffer it never filled.
  EXPECT_EQ(sock.RecvPacket(1000), "");
  EXPECT_EQ(sock.LastError(), 10053);
  EXPECT_FALSE(sock.StopFlag);
  EXPECT_EQ(sock.RecvPacket(1000), "0123456789");
  EXPECT_EQ(sock.LastError(), 0);
}

TEST(UdpSocket, AnUnresolvableDestinationIsReportedByEveryLaterOperation) {
  TUDPBlockSocket sock;
  sock.SetFamily(SF_IP6); // an IPv4 literal cannot be had as IPv6: fails without asking any server
  sock.Connect("127.0.0.2", "123");
  const int code = sock.LastError();
  EXPECT_TRUE(code == 11001 || code == 11004) << code;
  sock.SendString("x");
  EXPECT_EQ(sock.LastError(), code);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(sock.RecvPacket(2000), "");
  EXPECT_EQ(sock.LastError(), code);
  EXPECT_LT(ElapsedMs(start), 500); // reported at once, not after a wait as a time-out
  EXPECT_FALSE(sock.CanRead(100));
  EXPECT_EQ(sock.LastError(), code);

  // A name with a blank fails locally as well.
  TUDPBlockSocket named;
  named.Connect("no such host", "123");
  EXPECT_EQ(named.LastError(), 11001);
  named.SendString("x");
  EXPECT_EQ(named.LastError(), 11001);
  // A later Connect that resolves makes the socket usable again.
  UdpPeer server;
  named.Connect("127.0.0.1", server.port_text());
  EXPECT_EQ(named.LastError(), 0);
  named.SendString("x");
  EXPECT_EQ(named.LastError(), 0);
}

TEST(UdpSocket, ASocketThatCouldNotBeCreatedReportsWhy) {
  // The same calls once with descriptors to spare, so that nothing but the socket itself (the
  // sanitizers' checks, say) needs one when none is left.
  TUDPBlockSocket sock;
  {
    TUDPBlockSocket warm_up;
    warm_up.Connect("127.0.0.1", "123");
    warm_up.SendString("");
    warm_up.RecvPacket(0);
    sock.SendString("x");
    sock.RecvPacket(0);
  }
  // No descriptor left for a new socket.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = 64;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  std::vector<int> fillers;
  for (int fd = ::dup(0); fd >= 0; fd = ::dup(0))
    fillers.push_back(fd);
  sock.Connect("127.0.0.1", "123");
  const int connect_error = sock.LastError();
  sock.SendString("x");
  const int send_error = sock.LastError();
  sock.RecvPacket(1000);
  const int recv_error = sock.LastError();
  for (int fd : fillers)
    ::close(fd);
  ::setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(connect_error, 10024);
  EXPECT_EQ(send_error, 10024); // not 10038 for the socket that is not there
  EXPECT_EQ(recv_error, 10024);
  EXPECT_EQ(TBlockSocket::GetErrorDesc(10024), "Too many open files");
}

TEST(UdpSocket, RaiseExceptTurnsAReportedErrorIntoAnException) {
  UdpPeer server;
  TUDPBlockSocket sock;
  sock.Connect("127.0.0.1", server.port_text());
  EXPECT_NO_THROW(sock.RecvPacket(50));
  sock.RaiseExcept = true;
  try {
    sock.RecvPacket(50);
    FAIL() << "no exception";
  } catch (const ESocketError &e) {
    EXPECT_EQ(e.ErrorCode, 10060);
    EXPECT_EQ(e.ErrorMessage, "Connection timed out");
    EXPECT_STREQ(e.what(), "TCP/IP Socket error 10060: Connection timed out");
  }
}

TEST(UdpSocket, DrainInputDropsWhatIsQueuedAndEndsAtOnce) {
  UdpPeer server;
  TUDPBlockSocket sock;
  const int client_port = Introduce(sock, server);
  ASSERT_NE(client_port, 0);
  for (int i = 0; i < 5; ++i)
    server.SendTo(client_port, "stale " + std::to_string(i));
  ASSERT_TRUE(kvnettest::WaitForQueued(sock));
  sock.DrainInput();
  EXPECT_EQ(sock.LastError(), 0);
  server.SendTo(client_port, "fresh");
  EXPECT_EQ(sock.RecvPacket(2000), "fresh");
}
