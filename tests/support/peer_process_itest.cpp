// Ports and processes of test peers: a leased port or address is no other test's, a peer counts
// as started only once it alone holds its port, and a stop ends all its processes.
#include "peer_process.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <deque>
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

// A socket of this process bound to address:port (TCP: listening); -1 when the bind fails.
int BindAddress(const std::string &address, int port, bool udp) {
  const int fd = ::socket(AF_INET, (udp ? SOCK_DGRAM : SOCK_STREAM) | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
  a.sin_port = htons(static_cast<uint16_t>(port));
  if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || (!udp && ::listen(fd, 4) != 0)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

int BindLoopback(int port, bool udp) {
  return BindAddress("127.0.0.1", port, udp);
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
  // This machine's range, and one that leaves no port above 1023 (common in containers): ports
  // below 1024 serve then, where this process may bind them.
  kvtest::TempDir dir;
  kvtest::WriteFile(dir.file("wide"), "1024\t65535\n");
  for (const std::string &range : {std::string("/proc/sys/net/ipv4/ip_local_port_range"), dir.file("wide")}) {
    SCOPED_TRACE(range);
    if (range == dir.file("wide") && !kvtest::MayBindLowPorts()) continue;
    int low = 0, high = 0;
    std::ifstream(range) >> low >> high;
    std::deque<kvtest::PortLease> leases;
    std::set<int> ports;
    for (int i = 0; i < 20; ++i) {
      const int port = leases.emplace_back(range).Port();
      ports.insert(port);
      EXPECT_TRUE(port < low || port > high) << port;
      for (const bool udp : {false, true}) {
        const int fd = BindLoopback(port, udp);
        EXPECT_GE(fd, 0) << port;
        ::close(fd);
      }
    }
    EXPECT_EQ(ports.size(), leases.size());
    EXPECT_EQ(ports.count(kvtest::FreePort()), 0u);
  }
}

TEST(PeerPorts, AnAddressIsLeasedOnlyWhileNothingHoldsItsPort) {
  // Addresses the default leases never hand out; binding port 123 needs root.
  if (::geteuid() != 0) GTEST_SKIP() << "binding port 123 needs root";
  const std::vector<std::string> addresses{"127.78.0.1"};
  for (const bool udp : {false, true}) {
    const int fd = BindAddress(addresses[0], kvtest::kLeasedAddressPort, udp);
    ASSERT_GE(fd, 0);
    EXPECT_THROW(kvtest::AddressLease{addresses}, std::runtime_error) << udp;
    ::close(fd);
  }
  EXPECT_EQ(kvtest::AddressLease(addresses).Address(), addresses[0]);
}

TEST(PeerProcesses, StopEndsTheWholeGroupEvenMembersThatOutliveTheirLeader) {
  // The leader leaves a helper behind that ignores SIGTERM, as a server's forked workers may.
  kvtest::TempDir dir;
  kvtest::ChildProcess peer;
  ASSERT_TRUE(
      peer.Start({"/bin/sh", "-c",
                  "(trap '' TERM; exec sleep 300) & echo $! >" + dir.file("helper") + "; exec sleep 300"}));
  ASSERT_TRUE(kvtest::WaitUntil([&] { return std::atoi(kvtest::ReadFile(dir.file("helper")).c_str()) > 0; }));
  const int group = peer.pid(); // the helper's too
  peer.Stop(SIGTERM, std::chrono::milliseconds(300));
  EXPECT_FALSE(kvtest::GroupAlive(group));
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
