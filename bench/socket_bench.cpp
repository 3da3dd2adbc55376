// One UDP request and reply over loopback: through TUDPBlockSocket (SendString + RecvPacket) and
// with raw sendto/recvfrom, against the same echo peer in one run. Prints the layer's cost as a
// ratio of the raw exchange.
#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "net/udp_socket.h"

namespace {

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  return a;
}

// Answers every datagram with the same bytes, on its own thread.
class EchoPeer {
public:
  EchoPeer() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = Loopback(0);
    socklen_t len = sizeof a;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr *>(&a), &len) != 0)
      throw std::runtime_error("echo peer");
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~EchoPeer() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
  }
  uint16_t port() const { return port_; }

private:
  void Run() {
    char buf[2048];
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 50) != 1) continue;
      sockaddr_in from{};
      socklen_t len = sizeof from;
      const ssize_t n = ::recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&from), &len);
      if (n >= 0) ::sendto(fd_, buf, static_cast<size_t>(n), 0, reinterpret_cast<sockaddr *>(&from), len);
    }
  }
  int fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

EchoPeer &Peer() {
  static EchoPeer peer;
  return peer;
}

const std::string kRequest(48, '\x1B');

void BM_LayerExchange(benchmark::State &state) {
  kv::net::TUDPBlockSocket sock;
  sock.Connect("127.0.0.1", std::to_string(Peer().port()));
  for (auto _ : state) {
    sock.SendString(kRequest);
    const std::string reply = sock.RecvPacket(1000);
    if (reply.size() != kRequest.size()) state.SkipWithError("no reply");
    benchmark::DoNotOptimize(reply);
  }
}
BENCHMARK(BM_LayerExchange);

void BM_RawExchange(benchmark::State &state) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  const sockaddr_in to = Loopback(Peer().port());
  char buf[2048];
  for (auto _ : state) {
    ::sendto(fd, kRequest.data(), kRequest.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = ::recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&from), &len);
    if (n != static_cast<ssize_t>(kRequest.size())) state.SkipWithError("no reply");
    benchmark::DoNotOptimize(buf);
  }
  ::close(fd);
}
BENCHMARK(BM_RawExchange);

// Both exchanges alternately in one benchmark, so that a busy machine slows them alike; the
// counter is the layer's time over the raw time.
void BM_LayerOverRaw(benchmark::State &state) {
  kv::net::TUDPBlockSocket sock;
  sock.Connect("127.0.0.1", std::to_string(Peer().port()));
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  const sockaddr_in to = Loopback(Peer().port());
  char buf[2048];
  double layer_ns = 0, raw_ns = 0;
  constexpr int kBatch = 64;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kBatch; ++i) {
      sock.SendString(kRequest);
      benchmark::DoNotOptimize(sock.RecvPacket(1000));
    }
    auto t1 = std::chrono::steady_clock::now();
    for (int i = 0; i < kBatch; ++i) {
      ::sendto(fd, kRequest.data(), kRequest.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
      benchmark::DoNotOptimize(::recvfrom(fd, buf, sizeof buf, 0, nullptr, nullptr));
    }
    auto t2 = std::chrono::steady_clock::now();
    layer_ns += std::chrono::duration<double, std::nano>(t1 - t0).count();
    raw_ns += std::chrono::duration<double, std::nano>(t2 - t1).count();
  }
  ::close(fd);
  state.counters["ratio"] = raw_ns > 0 ? layer_ns / raw_ns : 0;
}
BENCHMARK(BM_LayerOverRaw);

// The console report, plus the ratio of the two exchanges at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &run : runs)
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        ns_[run.run_name.function_name] = run.GetAdjustedRealTime();
        const auto ratio = run.counters.find("ratio");
        if (ratio != run.counters.end()) interleaved_ = ratio->second.value;
      }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    if (ns_.count("BM_LayerExchange") && ns_.count("BM_RawExchange") && ns_["BM_RawExchange"] > 0)
      std::printf("layer / raw, separate runs: %.3f\n", ns_["BM_LayerExchange"] / ns_["BM_RawExchange"]);
    if (interleaved_ > 0) std::printf("layer / raw, interleaved:   %.3f\n", interleaved_);
  }

private:
  std::map<std::string, double> ns_;
  double interleaved_ = 0;
};

} // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
