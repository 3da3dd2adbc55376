// Ports of test peers: a leased port is no other test's, and a peer counts as started only
// once it alone holds its port.
#include "peer_process.h"

#include <arpa/inet.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <set>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// A socket of this process bound to 127.0.0.1:port (TCP: listening); -1 when the bind fails.
int BindLoopback(int port, bool udp) {
  const int fd = ::socket(AF_INET, (udp ? SOCK_DGRAM : SOCK_STREAM) | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || (!udp && ::listen(fd, 4) != 0)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Python's http.server on 127.0.0.1 and a leased port; `before_start` runs once the port is
// chosen, before the server is started on it.
class HttpServerOnLeasedPort : public kvtest::PeerProcess {
public:
  bool Start(const std::function<void(int port)> &before_start) {
    return LaunchOn("127.0.0.1", 0, false,
                    [&](const std::string &port) {
                      before_start(std::stoi(port));
                      return std::vector<std::string>{"/usr/bin/python3", "-m",        "http.server",
                                                      "--bind",           "127.0.0.1", port};
                    },
                    {});
  }
};

} // namespace

TEST(PeerPorts, LeasedPortsAreDistinctUnboundAndNeverHandedOutForPortZero) {
  int low = 0, high = 0;
  std::ifstream("/proc/sys/net/ipv4/ip_local_port_range") >> low >> high;
  std::vector<kvtest::PortLease> leases(20);
  std::set<int> ports;
  for (const auto &lease : leases) {
    ports.insert(lease.Port());
    EXPECT_TRUE(lease.Port() < low || lease.Port() > high) << lease.Port();
    for (const bool udp : {false, true}) {
      const int fd = BindLoopback(lease.Port(), udp);
      EXPECT_GE(fd, 0) << lease.Port();
      ::close(fd);
    }
  }
  EXPECT_EQ(ports.size(), leases.size());
  EXPECT_EQ(ports.count(kvtest::FreePort()), 0u);
}

TEST(PeerPorts, OnlyThePeersOwnSocketMakesItsPortOurs) {
  const int port = kvtest::PortLease().Port(); // free, and for this test alone
  for (const bool udp : {false, true}) {
    EXPECT_EQ(kvtest::WhoHolds("127.0.0.1", port, udp, ::getpid()), kvtest::PortHolder::Nobody);
    const int fd = BindLoopback(port, udp);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(kvtest::WhoHolds("127.0.0.1", port, udp, ::getpid()), kvtest::PortHolder::Ours);
    EXPECT_EQ(kvtest::WhoHolds("127.0.0.2", port, udp, ::getpid()), kvtest::PortHolder::Nobody);
    kvtest::ChildProcess other;
    ASSERT_TRUE(other.Start({"sleep", "30"}));
    EXPECT_EQ(kvtest::WhoHolds("127.0.0.1", port, udp, other.pid()), kvtest::PortHolder::Others);
    ::close(fd);
  }
}

TEST(PeerPorts, APeerWhosePortWasTakenStartsAgainOnAnother) {
  KV_REQUIRE_PEER(::access("/usr/bin/python3", X_OK) == 0, "/usr/bin/python3");
  // Another program takes the first port between its lease and the peer's start: the peer
  // cannot bind it, while the port still accepts connections.
  int taken_port = 0, taken_fd = -1;
  HttpServerOnLeasedPort peer;
  ASSERT_TRUE(peer.Start([&](int port) {
    if (taken_fd >= 0) return;
    taken_port = port;
    taken_fd = BindLoopback(port, false);
  })) << peer.why();
  ASSERT_GE(taken_fd, 0);
  EXPECT_NE(peer.Port(), taken_port);
  EXPECT_EQ(peer.Address(), "127.0.0.1");
  ::close(taken_fd);
}
