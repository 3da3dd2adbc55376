#pragma once
// A scripted proxy for what real proxies will not send: a thread with a listening socket on
// 127.0.0.1 that hands each connection to the test's script, records every byte the script
// read, and a UDP socket the test can use as the relay of an association.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "loopback_peer.h"

namespace kvnettest {

class ProxySession {
public:
  explicit ProxySession(TcpConn &conn) : conn_(conn) {}
  // Reads exactly `n` bytes (fewer when the client stops sending) and records them.
  std::string Read(size_t n) {
    std::string data = conn_.Recv(n, 5000);
    transcript_ += data;
    return data;
  }
  // Reads up to and including `end`, at most `limit` bytes.
  std::string ReadUntil(const std::string &end, size_t limit = 65536) {
    std::string data;
    while (data.size() < limit &&
           (data.size() < end.size() || data.compare(data.size() - end.size(), end.size(), end) != 0)) {
      const std::string c = conn_.Recv(1, 5000);
      if (c.empty()) break;
      data += c;
    }
    transcript_ += data;
    return data;
  }
  void Write(const std::string &data) { conn_.Send(data); }
  // Waits `ms` milliseconds; false as soon as the client closes (or sends) instead.
  bool Pause(int ms) { return !WaitReadable(conn_.fd(), ms); }
  // Waits until the client closes the connection (or 10 s pass).
  void WaitForClose() {
    while (!conn_.Recv(1, 10000).empty()) {
    }
  }
  const std::string &transcript() const { return transcript_; }

private:
  TcpConn &conn_;
  std::string transcript_;
};

class FakeProxy {
public:
  using Script = std::function<void(ProxySession &)>;

  explicit FakeProxy(Script script) : script_(std::move(script)) {
    thread_ = std::thread([this] { Run(); });
  }
  ~FakeProxy() {
    stop_ = true;
    thread_.join();
  }
  FakeProxy(const FakeProxy &) = delete;
  FakeProxy &operator=(const FakeProxy &) = delete;

  int port() const { return listener_.port(); }
  std::string port_text() const { return listener_.port_text(); }
  // The relay socket a script can name in its UDP ASSOCIATE reply.
  UdpPeer &relay() { return relay_; }
  int connections() const { return connections_; }
  // What the script read on each connection, in order; waits up to 5 s for `count` of them.
  std::vector<std::string> transcripts(size_t count = 0) {
    kvtest::WaitUntil(
        [&] {
          std::lock_guard<std::mutex> lock(mutex_);
          return transcripts_.size() >= count;
        },
        std::chrono::seconds(5));
    std::lock_guard<std::mutex> lock(mutex_);
    return transcripts_;
  }

private:
  void Run() {
    while (!stop_) {
      const int fd = listener_.AcceptFd(50);
      if (fd < 0) continue;
      ++connections_;
      TcpConn conn(fd);
      ProxySession session(conn);
      script_(session);
      std::lock_guard<std::mutex> lock(mutex_);
      transcripts_.push_back(session.transcript());
    }
  }

  Script script_;
  TcpListener listener_;
  UdpPeer relay_;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::mutex mutex_;
  std::vector<std::string> transcripts_;
  std::thread thread_;
};

// Bytes of a SOCKS5 reply: granted (or `code`), bound to IPv4 `ip` (4 bytes) and `port`.
inline std::string Socks5Reply(const std::string &ip4_bytes, int port, char code = 0) {
  return std::string("\x05", 1) + code + std::string("\x00\x01", 2) + ip4_bytes +
         static_cast<char>(port >> 8) + static_cast<char>(port & 0xFF);
}

} // namespace kvnettest
