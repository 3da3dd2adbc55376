#pragma once
// Test fixtures for the SNTP client: a clock that tests control, reply builders, and a scripted
// UDP responder on loopback that answers with the bytes a test chooses, from the server's address
// or from a foreign one.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "loopback_peer.h"
#include "net/sntp_packet.h"
#include "net/sntp_send.h"
#include "platform/clock.h"

namespace sntptest {

using kv::platform::AddSeconds;
using kv::platform::UtcInstant;

// A clock for tests. Frozen at a chosen time, or (Follow) the real time shifted by an amount;
// scripted reads, while any are left, come first. Setting it never touches the machine: it
// records the time asked for and returns the errno the test chose.
class FakeClock : public kv::platform::Clock {
public:
  explicit FakeClock(UtcInstant frozen = {1700000000, 250000000}) : frozen_(frozen) {}
  static FakeClock Follow(double shift_seconds) {
    FakeClock c;
    c.follow_ = true;
    c.shift_ = shift_seconds;
    return c;
  }
  FakeClock(const FakeClock &o) : frozen_(o.frozen_), follow_(o.follow_), shift_(o.shift_) {}

  UtcInstant Now() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!reads_.empty()) {
      const UtcInstant next = reads_.front();
      reads_.erase(reads_.begin());
      return next;
    }
    if (!follow_) return frozen_;
    return AddSeconds(kv::platform::SystemClock().Now(), shift_);
  }
  int Set(const UtcInstant &t) override {
    std::lock_guard<std::mutex> lock(mutex_);
    sets_.push_back(t);
    return set_result_;
  }
  void Freeze(UtcInstant t) {
    std::lock_guard<std::mutex> lock(mutex_);
    frozen_ = t;
    follow_ = false;
  }
  // The next reads return these, in order.
  void ScriptReads(std::vector<UtcInstant> reads) {
    std::lock_guard<std::mutex> lock(mutex_);
    reads_ = std::move(reads);
  }
  void RefuseSetWith(int err) {
    std::lock_guard<std::mutex> lock(mutex_);
    set_result_ = err;
  }
  std::vector<UtcInstant> Sets() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sets_;
  }

private:
  std::mutex mutex_;
  UtcInstant frozen_;
  std::vector<UtcInstant> reads_;
  bool follow_ = false;
  double shift_ = 0;
  int set_result_ = 0;
  std::vector<UtcInstant> sets_;
};

// Installs a clock for the lifetime of the object; the real clock comes back afterwards.
class ScopedClock {
public:
  explicit ScopedClock(kv::platform::Clock &c) { kv::platform::SetCurrentClock(&c); }
  ~ScopedClock() { kv::platform::SetCurrentClock(nullptr); }
  ScopedClock(const ScopedClock &) = delete;
  ScopedClock &operator=(const ScopedClock &) = delete;
};

inline double Seconds(const UtcInstant &t) {
  return static_cast<double>(t.seconds) + t.nanoseconds / 1e9;
}

// The transmit timestamp (bytes 40..47) of a request.
inline kv::net::TNtpTimestamp TransmitOf(const std::string &request) {
  kv::net::TNtpPacket p;
  if (!kv::net::PacketFromString(request, p)) return {};
  return {p.Xmit1, p.Xmit2};
}

// Why a query failed, for test messages: the socket's error and the verdict on the last datagram.
inline std::string Why(const kv::net::TSNTPSend &client) {
  return "socket error " + std::to_string(client.Sock().LastError()) + ", " +
         (client.LastCheck() ? kv::net::ReplyCheckName(*client.LastCheck()) : "no datagram");
}

// Fields of a server reply; defaults make an acceptable one (LI 0, version 4, mode 4, stratum 2).
struct ReplyFields {
  UtcInstant receive;  // T2
  UtcInstant transmit; // T3
  uint8_t li_vn_mode = 0x24;
  uint8_t stratum = 2;
};

// A 48-byte reply to `originate` (the request's transmit timestamp).
inline std::string ServerReply(const kv::net::TNtpTimestamp &originate, const ReplyFields &fields) {
  kv::net::TNtpPacket p;
  p.LiVnMode = fields.li_vn_mode;
  p.Stratum = fields.stratum;
  p.Poll = 6;
  p.Precision = static_cast<uint8_t>(-20);
  p.RefID = 0x7F7F0101;
  p.Org1 = originate.Seconds;
  p.Org2 = originate.Fraction;
  const auto rcv = kv::net::InstantToNtp(fields.receive);
  const auto xmit = kv::net::InstantToNtp(fields.transmit);
  p.Ref1 = rcv.Seconds - 16;
  p.Rcv1 = rcv.Seconds;
  p.Rcv2 = rcv.Fraction;
  p.Xmit1 = xmit.Seconds;
  p.Xmit2 = xmit.Fraction;
  return kv::net::PacketToString(p);
}

// One datagram the responder sends: the bytes, and whether it comes from the foreign socket
// (another port on loopback) instead of the server's.
struct Datagram {
  std::string bytes;
  bool foreign = false;
};

// A UDP "server" on 127.0.0.1 run by a thread. For each request it calls the script and sends
// whatever datagrams the script returns, in order. Requests are recorded.
class ScriptedResponder {
public:
  using Script = std::function<std::vector<Datagram>(const std::string &request)>;

  explicit ScriptedResponder(Script script = {}) : script_(std::move(script)) {
    fd_ = OpenLoopback(port_);
    foreign_fd_ = OpenLoopback(foreign_port_);
    thread_ = std::thread([this] { Run(); });
  }
  ~ScriptedResponder() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
    ::close(foreign_fd_);
  }
  ScriptedResponder(const ScriptedResponder &) = delete;
  ScriptedResponder &operator=(const ScriptedResponder &) = delete;

  int Port() const { return port_; }
  std::string PortText() const { return std::to_string(port_); }
  int ForeignPort() const { return foreign_port_; }

  void SetScript(Script script) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_ = std::move(script);
  }
  // Sends a datagram to the client of the last request, outside any script.
  void SendToClient(const Datagram &d) {
    std::lock_guard<std::mutex> lock(mutex_);
    SendLocked(d);
  }
  int Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(requests_.size());
  }
  std::string Request(int i) {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.at(static_cast<size_t>(i));
  }
  int ClientPort() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ntohs(client_.sin_port);
  }

  // A UDP socket on 127.0.0.1 and a port the system picks.
  static int OpenLoopback(int &port) {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = kvnettest::Loopback(0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0)
      throw std::runtime_error("responder socket");
    port = kvnettest::LocalPortOf(fd);
    return fd;
  }

private:
  void SendLocked(const Datagram &d) {
    ::sendto(d.foreign ? foreign_fd_ : fd_, d.bytes.data(), d.bytes.size(), 0,
             reinterpret_cast<const sockaddr *>(&client_), sizeof client_);
  }

  void Run() {
    char buf[2048];
    while (!stop_) {
      if (!kvnettest::WaitReadable(fd_, 20)) continue; // re-check the stop flag now and then
      sockaddr_in from{};
      socklen_t len = sizeof from;
      ssize_t n = ::recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&from), &len);
      if (n < 0) continue;
      std::lock_guard<std::mutex> lock(mutex_);
      client_ = from;
      requests_.emplace_back(buf, static_cast<size_t>(n));
      if (!script_) continue;
      for (const Datagram &d : script_(requests_.back()))
        SendLocked(d);
    }
  }

  std::mutex mutex_;
  Script script_;
  int fd_ = -1, foreign_fd_ = -1;
  int port_ = 0, foreign_port_ = 0;
  sockaddr_in client_{};
  std::vector<std::string> requests_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A SOCKS5 proxy on 127.0.0.1 that offers only UDP ASSOCIATE without login, answers the
// association request after `association_delay_ms` (a slow proxy), and relays IPv4 datagrams.
class SlowSocksRelay {
public:
  explicit SlowSocksRelay(int association_delay_ms) : delay_ms_(association_delay_ms) {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = kvnettest::Loopback(0);
    if (::bind(listen_fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(listen_fd_, 4) != 0)
      throw std::runtime_error("proxy listen failed");
    port_ = kvnettest::LocalPortOf(listen_fd_);
    int relay_port = 0;
    relay_fd_ = ScriptedResponder::OpenLoopback(relay_port);
    relay_port_ = relay_port;
    thread_ = std::thread([this] { Run(); });
  }
  ~SlowSocksRelay() {
    stop_ = true;
    thread_.join();
    if (control_fd_ >= 0) ::close(control_fd_);
    ::close(listen_fd_);
    ::close(relay_fd_);
  }
  SlowSocksRelay(const SlowSocksRelay &) = delete;
  SlowSocksRelay &operator=(const SlowSocksRelay &) = delete;

  int Port() const { return port_; }
  int RelayPort() const { return relay_port_; }
  int Associations() const { return associations_; }

private:
  // Reads exactly n bytes from the control connection (1 s at most).
  static bool ReadExact(int fd, unsigned char *buf, size_t n) {
    size_t got = 0;
    while (got < n) {
      if (!kvnettest::WaitReadable(fd, 1000)) return false;
      ssize_t r = ::recv(fd, buf + got, n - got, 0);
      if (r <= 0) return false;
      got += static_cast<size_t>(r);
    }
    return true;
  }

  void Associate(int fd) {
    unsigned char buf[32];
    if (!ReadExact(fd, buf, 2) || buf[0] != 5 || !ReadExact(fd, buf + 2, buf[1])) return;
    const unsigned char method[] = {5, 0};
    ::send(fd, method, 2, MSG_NOSIGNAL);
    // 05 03 00 01 + IPv4 address + port
    if (!ReadExact(fd, buf, 10) || buf[1] != 3 || buf[3] != 1) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms_)); // the proxy is slow
    const auto high = static_cast<unsigned char>(relay_port_ >> 8),
               low = static_cast<unsigned char>(relay_port_);
    const unsigned char reply[10] = {5, 0, 0, 1, 127, 0, 0, 1, high, low};
    ::send(fd, reply, sizeof reply, MSG_NOSIGNAL);
    ++associations_;
  }

  void Relay() {
    unsigned char buf[2048];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t n = ::recvfrom(relay_fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&from), &len);
    if (n < 0) return;
    const bool from_target =
        have_target_ && from.sin_port == target_.sin_port && from.sin_addr.s_addr == target_.sin_addr.s_addr;
    if (from_target) {
      std::string out("\0\0\0\x01", 4);
      out.append(reinterpret_cast<const char *>(&from.sin_addr), 4);
      out.append(reinterpret_cast<const char *>(&from.sin_port), 2);
      out.append(reinterpret_cast<const char *>(buf), static_cast<size_t>(n));
      ::sendto(relay_fd_, out.data(), out.size(), 0, reinterpret_cast<sockaddr *>(&client_), sizeof client_);
      return;
    }
    if (n < 10 || buf[2] != 0 || buf[3] != 1) return; // IPv4 targets only
    client_ = from;
    target_ = sockaddr_in{};
    target_.sin_family = AF_INET;
    std::memcpy(&target_.sin_addr, buf + 4, 4);
    std::memcpy(&target_.sin_port, buf + 8, 2);
    have_target_ = true;
    ::sendto(relay_fd_, buf + 10, static_cast<size_t>(n - 10), 0, reinterpret_cast<sockaddr *>(&target_),
             sizeof target_);
  }

  void Run() {
    while (!stop_) {
      pollfd pfd[2] = {{listen_fd_, POLLIN, 0}, {relay_fd_, POLLIN, 0}};
      if (::poll(pfd, 2, 20) <= 0) continue; // re-check the stop flag now and then
      if (pfd[0].revents & POLLIN) {
        int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
          if (control_fd_ >= 0) ::close(control_fd_); // one association at a time
          control_fd_ = fd;
          Associate(fd);
        }
      }
      if (pfd[1].revents & POLLIN) Relay();
    }
  }

  const int delay_ms_;
  int listen_fd_ = -1, relay_fd_ = -1, control_fd_ = -1;
  int port_ = 0, relay_port_ = 0;
  sockaddr_in client_{}, target_{};
  bool have_target_ = false;
  std::atomic<int> associations_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A script: one acceptable reply from a server whose clock reads `clock` shifted by `ahead`
// seconds, received and sent at the same instant.
inline ScriptedResponder::Script ServerAhead(kv::platform::Clock &clock, double ahead) {
  return [&clock, ahead](const std::string &request) {
    const UtcInstant t = AddSeconds(clock.Now(), ahead);
    return std::vector<Datagram>{{ServerReply(TransmitOf(request), {t, t}), false}};
  };
}

} // namespace sntptest
