// The update's installer download, 64 MiB over loopback from a server in this process, three
// ways in turn: the bare transfer writing the file (as `curl -o` does), the web update component
// alone, and the component inside the update window with its progress bar. The summary gives the
// window against the component and the component against the bare transfer (medians).
// Offscreen by default; under xvfb-run (with QT_QPA_PLATFORM unset) the window paints for real.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/web_update_form.h"
#include "net/http_get.h"

namespace {

constexpr size_t kSize = size_t(64) << 20;

// Serves the same body for every request until it goes.
class Server {
public:
  Server() : body_(kSize, 'k') {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr *>(&addr), len) != 0 || ::listen(fd_, 8) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
      std::perror("web_update_bench: server");
      std::exit(1);
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~Server() {
    stop_ = true;
    ::shutdown(fd_, SHUT_RDWR);
    thread_.join();
    ::close(fd_);
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/korvan-setup.bin"; }

private:
  void Run() {
    while (!stop_) {
      const int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) continue;
      std::string request;
      char buffer[1024];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(c, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, static_cast<size_t>(n));
      }
      const std::string head = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(kSize) + "\r\n\r\n";
      for (std::string_view out : {std::string_view(head), std::string_view(body_)}) {
        while (!out.empty()) {
          const ssize_t n = ::send(c, out.data(), out.size(), MSG_NOSIGNAL);
          if (n <= 0) break;
          out.remove_prefix(static_cast<size_t>(n));
        }
      }
      ::close(c);
    }
  }

  std::string body_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

Server *g_server = nullptr;
std::string g_dir;
double g_ratio_window = 0, g_ratio_component = 0, g_min_ratio_window = 0, g_cpu_ratio_window = 0;

// Processor time of the calling thread, which runs the transfer, the component and the window
// (the server has a thread of its own); a busy machine disturbs it far less than the wall clock.
double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The three ways in every iteration, so a busy moment of a shared machine falls on all alike.
void BM_Download(benchmark::State &state) {
  const std::string path = g_dir + "/korvan-setup.bin";
  const std::string url = g_server->Url();
  kv::app::TKvWebUpdate alone;
  kv::app::TWebUpdateForm form;
  form.show();
  QApplication::processEvents();

  auto bare = [&] {
    kv::net::THttpRequest request;
    request.Url = url;
    request.MaxBytes = int64_t(256) << 20;
    request.RequireLength = true;
    std::FILE *out = std::fopen(path.c_str(), "wb");
    kv::net::THttpTransfer transfer(request);
    const bool ok = transfer
                        .Perform(
                            [&](std::string_view chunk) {
                              return std::fwrite(chunk.data(), 1, chunk.size(), out) == chunk.size();
                            },
                            [] { return true; })
                        .Ok;
    return std::fclose(out) == 0 && ok;
  };
  auto component = [&] {
    alone.HttpGet(url, "", path, true, true, "");
    return alone.Success();
  };
  auto window = [&] {
    form.kvWebUpdate->HttpGet(url, "", path, true, true, "");
    return form.kvWebUpdate->Success();
  };
  const std::function<bool()> ways[3] = {bare, component, window};
  std::vector<double> times[3], cpu[3];
  int first = 0;
  for (auto _ : state) {
    // Each way in turn, starting with another one each time: none always follows the same.
    double total = 0;
    for (int i = 0; i < 3; ++i) {
      const int way = (first + i) % 3;
      std::remove(path.c_str());
      const auto start = std::chrono::steady_clock::now();
      const double cpu_start = ThreadSeconds();
      if (!ways[way]()) state.SkipWithError("a download failed");
      const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      times[way].push_back(took);
      cpu[way].push_back(ThreadSeconds() - cpu_start);
      total += took;
    }
    first = (first + 1) % 3;
    state.SetIterationTime(total);
  }
  std::remove(path.c_str());
  state.counters["bare_ms"] = Median(times[0]) * 1000;
  state.counters["component_ms"] = Median(times[1]) * 1000;
  state.counters["window_ms"] = Median(times[2]) * 1000;
  g_ratio_window = Median(times[2]) / Median(times[1]);
  g_ratio_component = Median(times[1]) / Median(times[0]);
  g_cpu_ratio_window = Median(cpu[2]) / Median(cpu[1]);
  state.counters["component_cpu_ms"] = Median(cpu[1]) * 1000;
  state.counters["window_cpu_ms"] = Median(cpu[2]) * 1000;
  // The fastest run of each is what it costs when nothing else on the machine interferes.
  g_min_ratio_window = *std::min_element(times[2].begin(), times[2].end()) /
                       *std::min_element(times[1].begin(), times[1].end());
}

} // namespace

int main(int argc, char **argv) {
  setenv("no_proxy", "*", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  char pattern[] = "/tmp/korvan-update-bench-XXXXXX";
  if (!::mkdtemp(pattern)) return 1;
  g_dir = pattern;
  Server server;
  g_server = &server;
  benchmark::RegisterBenchmark("BM_Download", BM_Download)
      ->UseManualTime()
      ->Iterations(21)
      ->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  ::rmdir(g_dir.c_str());
  if (g_ratio_window > 0)
    std::printf("\n64 MiB on %s: window / component = %.2fx (fastest runs %.2fx, processor time %.2fx; "
                "target <= 1.10x), component / bare transfer = %.2fx\n",
                QGuiApplication::platformName().toLocal8Bit().constData(), g_ratio_window, g_min_ratio_window,
                g_cpu_ratio_window, g_ratio_component);
}
