#pragma once
// chronyd as a test peer: started through tests/peers/chronyd.sh on a loopback address and a
// leased port, ready once it alone holds the port and answers a query, stopped by process id.
// It never sets the clock.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "peer_process.h"

namespace kvtest {

// Sends one client request (48 bytes, first byte 0x1B) to address:port and waits up to
// `timeout_ms` for a datagram back. Returns the answer, or "" when none came.
inline std::string QueryNtpOnce(const std::string &address, int port, int timeout_ms = 200) {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return {};
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  std::string answer;
  if (::inet_pton(AF_INET, address.c_str(), &to.sin_addr) == 1) {
    std::string request(48, '\0');
    request[0] = 0x1B;
    request[47] = 1; // a non-zero transmit timestamp, as servers expect
    ::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, timeout_ms) == 1) {
      char buf[512];
      ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n > 0) answer.assign(buf, static_cast<size_t>(n));
    }
  }
  ::close(fd);
  return answer;
}

class ChronydPeer : public PeerProcess {
public:
  // Starts chronyd on `address` and `port` (0: a leased one) and waits (up to 10 s) until it
  // alone holds that port and answers. Returns false with the reason in why() when it cannot
  // run here.
  bool Start(const std::string &address = "127.0.0.1", int port = 0) {
    if (::geteuid() != 0) return Fail("chronyd serves only when started as root");
    const std::string chronyd = FindProgram("chronyd", {PeersDir() + "/usr/sbin", "/usr/sbin"});
    if (chronyd.empty()) return Fail("chronyd not found (scripts/fetch-peers unpacks it into build/peers)");
    return LaunchOn(
        address, port, true,
        [&](const std::string &port_text) {
          return std::vector<std::string>{
              "bash", SourceDir() + "/tests/peers/chronyd.sh", Dir(), address, port_text, chronyd};
        },
        {}, [this] { return !QueryNtpOnce(Address(), Port()).empty(); });
  }
};

} // namespace kvtest
