#pragma once
// Plain POSIX peers on 127.0.0.1 for the socket tests: a UDP socket, a TCP listener and its
// connections. They use the system calls directly, so what the layer sends and receives is seen
// byte for byte.

#include <arpa/inet.h>
#include <initializer_list>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include "test_support.h"

namespace kvnettest {

inline sockaddr_in Loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  return a;
}

inline int LocalPortOf(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
  return ntohs(a.sin_port);
}

inline bool WaitReadable(int fd, int timeout_ms) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, timeout_ms) == 1;
}

// Waits until something is queued for `sock` to read.
template <class Socket> bool WaitForQueued(Socket &sock, int timeout_ms = 2000) {
  return kvtest::WaitUntil([&] { return sock.PendingBytes() > 0; }, std::chrono::milliseconds(timeout_ms));
}

class UdpPeer {
public:
  UdpPeer() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(0);
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0)
      throw std::runtime_error("udp peer");
    port_ = LocalPortOf(fd_);
  }
  ~UdpPeer() { ::close(fd_); }
  UdpPeer(const UdpPeer &) = delete;
  UdpPeer &operator=(const UdpPeer &) = delete;

  int port() const { return port_; }
  std::string port_text() const { return std::to_string(port_); }

  void SendTo(int port, const std::string &data) const {
    sockaddr_in a = Loopback(port);
    ::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr *>(&a), sizeof a);
  }
  // The next datagram within `timeout_ms`; false on time-out. `from_port` gets the sender's port.
  bool Recv(std::string &data, int *from_port = nullptr, int timeout_ms = 5000) const {
    if (!WaitReadable(fd_, timeout_ms)) return false;
    char buf[65536];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = ::recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&from), &len);
    if (n < 0) return false;
    data.assign(buf, static_cast<size_t>(n));
    if (from_port) *from_port = ntohs(from.sin_port);
    return true;
  }

private:
  int fd_ = -1;
  int port_ = 0;
};

class TcpConn {
public:
  explicit TcpConn(int fd) : fd_(fd) {}
  ~TcpConn() { Close(); }
  TcpConn(const TcpConn &) = delete;
  TcpConn &operator=(const TcpConn &) = delete;

  int fd() const { return fd_; }
  bool Send(const std::string &data) const {
    size_t done = 0;
    while (done < data.size()) {
      const ssize_t n = ::send(fd_, data.data() + done, data.size() - done, MSG_NOSIGNAL);
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }
  // Reads until `count` bytes came, the peer closed, or `timeout_ms` passed without data.
  std::string Recv(size_t count, int timeout_ms = 5000) const {
    std::string out;
    char buf[65536];
    while (out.size() < count && WaitReadable(fd_, timeout_ms)) {
      const ssize_t n = ::recv(fd_, buf, std::min(sizeof buf, count - out.size()), 0);
      if (n <= 0) break;
      out.append(buf, static_cast<size_t>(n));
    }
    return out;
  }
  void ShutdownWrite() const { ::shutdown(fd_, SHUT_WR); }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

private:
  int fd_ = -1;
};

class TcpListener {
public:
  explicit TcpListener(int backlog = 16) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = Loopback(0);
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
        ::listen(fd_, backlog) != 0)
      throw std::runtime_error("tcp listener");
    port_ = LocalPortOf(fd_);
  }
  ~TcpListener() { ::close(fd_); }
  TcpListener(const TcpListener &) = delete;
  TcpListener &operator=(const TcpListener &) = delete;

  int fd() const { return fd_; }
  int port() const { return port_; }
  std::string port_text() const { return std::to_string(port_); }
  // The next connection, or -1 when none came within `timeout_ms`.
  int AcceptFd(int timeout_ms = 5000) const {
    if (!WaitReadable(fd_, timeout_ms)) return -1;
    return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  }

private:
  int fd_ = -1;
  int port_ = 0;
};

// The bytes of `values`, each 0..255, as they go on the wire.
inline std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values)
    s.push_back(static_cast<char>(v));
  return s;
}

} // namespace kvnettest
