// SNTP client: the cost of judging a reply, and the accuracy of real queries.
//
//   sntp_bench --server=127.0.0.1:11123 --count=1000 [--timeout=2000] [benchmark flags]
//
// With --server it first queries that server --count times through TSNTPSend (never setting
// the clock) and prints the distribution of offset and delay; against a server that serves this
// machine's own clock (tests/peers/chronyd.sh <dir> 127.0.0.1 <port>) the offset is the
// measurement error. Then the Google Benchmark cases run; BM_RequestTime only with --server.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "net/sntp_packet.h"
#include "net/sntp_send.h"

namespace {

std::string g_host;
std::string g_port;
int g_count = 1000;
int g_timeout = 2000;

void BM_CheckReply(benchmark::State &state) {
  const kv::platform::UtcInstant t{1796757040, 125000000};
  const kv::net::TNtpTimestamp stamp = kv::net::InstantToNtp(t);
  kv::net::TNtpPacket p;
  p.LiVnMode = 0x24;
  p.Stratum = 2;
  p.Org1 = stamp.Seconds;
  p.Org2 = stamp.Fraction;
  p.Rcv1 = p.Xmit1 = stamp.Seconds + 100;
  p.Rcv2 = p.Xmit2 = stamp.Fraction;
  const std::string datagram = kv::net::PacketToString(p);
  const kv::platform::UtcInstant T4 = kv::platform::AddSeconds(t, 0.0086);
  for (auto _ : state) {
    auto v = kv::net::CheckReply(datagram, stamp, t, T4);
    benchmark::DoNotOptimize(v);
  }
}
BENCHMARK(BM_CheckReply);

void BM_EncodeDecodeTimestamp(benchmark::State &state) {
  double value = 46000.5;
  for (auto _ : state) {
    uint32_t s = 0, f = 0;
    kv::net::EncodeTimestamp(value, s, f);
    value = kv::net::DecodeTimestamp(s, f) + 1e-9;
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_EncodeDecodeTimestamp);

void BM_RequestTime(benchmark::State &state) {
  if (g_host.empty()) {
    state.SkipWithError("no --server given");
    return;
  }
  kv::net::TSNTPSend client;
  client.TargetHost = g_host;
  client.TargetPort = g_port;
  client.Timeout = g_timeout;
  int failed = 0;
  for (auto _ : state) {
    if (!client.RequestTime()) ++failed;
  }
  state.counters["failed"] = failed;
}
BENCHMARK(BM_RequestTime)->Unit(benchmark::kMicrosecond);

double Percentile(const std::vector<double> &sorted, double p) {
  if (sorted.empty()) return NAN;
  const double rank = p / 100.0 * static_cast<double>(sorted.size() - 1);
  const size_t lo = static_cast<size_t>(std::floor(rank));
  const size_t hi = std::min(lo + 1, sorted.size() - 1);
  return sorted[lo] + (sorted[hi] - sorted[lo]) * (rank - static_cast<double>(lo));
}

void PrintDistribution(const char *name, std::vector<double> values_ms) {
  std::sort(values_ms.begin(), values_ms.end());
  std::printf("%-10s min %8.4f  p1 %8.4f  median %8.4f  p99 %8.4f  max %8.4f  (ms)\n", name,
              values_ms.front(), Percentile(values_ms, 1), Percentile(values_ms, 50),
              Percentile(values_ms, 99), values_ms.back());
}

int MeasureServer() {
  kv::net::TSNTPSend client;
  client.TargetHost = g_host;
  client.TargetPort = g_port;
  client.Timeout = g_timeout;
  std::vector<double> offsets, abs_offsets, delays;
  int failed = 0;
  for (int i = 0; i < g_count; ++i) {
    if (!client.RequestTime()) {
      ++failed;
      continue;
    }
    offsets.push_back(client.NTPOffset() * 1000);
    abs_offsets.push_back(std::fabs(client.NTPOffset()) * 1000);
    delays.push_back(client.NTPDelay() * 1000);
  }
  std::printf("%s:%s, %d queries, %zu answered, %d failed\n", g_host.c_str(), g_port.c_str(), g_count,
              offsets.size(), failed);
  if (offsets.empty()) return 1;
  PrintDistribution("offset", offsets);
  PrintDistribution("|offset|", abs_offsets);
  PrintDistribution("delay", delays);
  const auto below = std::count_if(delays.begin(), delays.end(), [](double d) { return d < 0; });
  const auto zero = std::count(delays.begin(), delays.end(), 0.0);
  std::printf("delay      below 0: %td, exactly 0: %td of %zu\n", below, zero, delays.size());
  return 0;
}

// Takes our own flags out of argv, leaving the rest for Google Benchmark.
bool ParseOwnFlags(int &argc, char **argv) {
  int out = 1;
  for (int i = 1; i < argc; ++i) {
    const char *a = argv[i];
    if (std::strncmp(a, "--server=", 9) == 0) {
      std::string server = a + 9;
      const size_t colon = server.rfind(':');
      if (colon == std::string::npos) {
        std::fprintf(stderr, "--server needs host:port\n");
        return false;
      }
      g_host = server.substr(0, colon);
      g_port = server.substr(colon + 1);
    } else if (std::strncmp(a, "--count=", 8) == 0) {
      g_count = std::max(1, std::atoi(a + 8));
    } else if (std::strncmp(a, "--timeout=", 10) == 0) {
      g_timeout = std::max(1, std::atoi(a + 10));
    } else {
      argv[out++] = argv[i];
    }
  }
  argc = out;
  return true;
}

} // namespace

int main(int argc, char **argv) {
  if (!ParseOwnFlags(argc, argv)) return 2;
  if (!g_host.empty() && MeasureServer() != 0) return 1;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
