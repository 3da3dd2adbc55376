// Start-up benchmarks of the time client against a bare Qt window of about the same content
// (bare_window.cpp), started alternately in the same run: from starting the program to its first
// painted main window, and its resident memory once it sits idle with the window shown. The
// programs started are korvan_probe (the time client with a probe that reports the first paint,
// see first_paint_probe.cpp) and bare_window_probe, with a private HOME so no settings of the
// user are read or written. The summary at the end gives korvan's figures as ratios to the bare
// window's and the shared libraries each program loads at start (ldd).
//
// Both run on Qt's offscreen platform; when DISPLAY names an X server (for example under
// xvfb-run), they run on it too:
//   xvfb-run -a -s -noreset build/release/bench/korvan_start_bench
// Without -noreset, Xvfb resets itself whenever its last client leaves, and every start then
// waits some 300 ms for the server to come back; a desktop's X server (with its window manager
// connected) never does that.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using namespace std::chrono_literals;

long long MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// A program built beside this benchmark.
std::string Beside(const char *name) {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return name;
  std::string path(self, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1) + name;
}

// The two programs compared.
enum class Program { Korvan, Bare };

std::string ProgramPath(Program program) {
  return Beside(program == Program::Korvan ? "korvan_probe" : "bare_window_probe");
}

// A private home for the started programs, removed at the end.
struct PrivateHome {
  PrivateHome() {
    char pattern[] = "/tmp/korvan-bench-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    path = pattern;
  }
  ~PrivateHome() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string path;
};

// True when the X server of `display` (":N") accepts a connection.
bool XServerAnswers(const char *display) {
  if (!display || display[0] != ':') return false;
  const std::string socket_path =
      "/tmp/.X11-unix/X" + std::string(display + 1).substr(0, std::strcspn(display + 1, "."));
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socket_path.c_str());
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

enum class Platform { Offscreen, X11 };

// One started program, stopped (SIGTERM, as a user's session end) when it goes.
class Started {
public:
  Started(Program which, Platform platform, const std::string &home) {
    int fds[2];
    // Both ends close on exec; the child gets the write end as descriptor 3 (dup2 clears the flag).
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    read_fd_ = fds[0];

    auto replaced = [](const std::string &entry) {
      for (const char *name :
           {"HOME=", "XDG_CONFIG_HOME=", "XDG_RUNTIME_DIR=", "QT_QPA_PLATFORM=", "KORVANE_PROBE_FD="})
        if (entry.rfind(name, 0) == 0) return true;
      return false;
    };
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e)
      if (!replaced(*e)) env.push_back(*e);
    env.push_back("HOME=" + home);
    env.push_back("XDG_CONFIG_HOME=" + home + "/.config");
    env.push_back("XDG_RUNTIME_DIR=" + home); // private (mode 0700), as Qt wants it
    env.push_back("KORVANE_PROBE_FD=3");
    if (platform == Platform::Offscreen) env.push_back("QT_QPA_PLATFORM=offscreen");
    std::vector<char *> envp;
    for (auto &e : env)
      envp.push_back(e.data());
    envp.push_back(nullptr);

    const std::string program = ProgramPath(which);
    std::vector<char *> argv{const_cast<char *>(program.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    start_ns_ = MonotonicNs();
    const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) throw std::runtime_error(program + ": " + std::strerror(rc));
  }

  ~Started() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      const auto deadline = std::chrono::steady_clock::now() + 5s;
      int status = 0;
      while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
          ::kill(pid_, SIGKILL);
          ::waitpid(pid_, &status, 0);
          break;
        }
        std::this_thread::sleep_for(5ms);
      }
    }
    ::close(read_fd_);
  }

  // Milliseconds from the start to the application object and to the first painted window.
  struct TStart {
    double Created = 0;
    double Painted = 0;
    double PaintedCpu = 0; // processor time used until then, less disturbed by a busy machine
  };

  // Waits for the first paint; throws when it takes over 20 s.
  TStart WaitForFirstPaint() {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (got.find("painted ") == std::string::npos || got.back() != '\n') {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p{read_fd_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
        throw std::runtime_error("no first paint within 20 s");
      char buffer[128];
      const ssize_t n = ::read(read_fd_, buffer, sizeof buffer);
      if (n <= 0) throw std::runtime_error("the program ended before its first paint");
      got.append(buffer, static_cast<size_t>(n));
    }
    auto at = [&](const char *what) {
      const size_t p = got.find(what);
      const long long ns = p == std::string::npos ? 0 : std::atoll(got.c_str() + p + std::strlen(what));
      return static_cast<double>(ns - start_ns_) / 1e6;
    };
    const size_t painted = got.find("painted ");
    const char *cpu = std::strchr(got.c_str() + painted + 8, ' ');
    return {at("created "), at("painted "), cpu ? static_cast<double>(std::atoll(cpu + 1)) / 1e6 : 0};
  }

  // A "Name:   1234 kB" line of /proc/<pid>/<file>, in megabytes; 0 when absent.
  double ProcMegabytes(const char *file, const char *name) const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/" + file);
    for (std::string line; std::getline(in, line);)
      if (line.rfind(name, 0) == 0) return std::atof(line.c_str() + std::strlen(name)) / 1024.0;
    return 0;
  }

private:
  pid_t pid_ = -1;
  int read_fd_ = -1;
  long long start_ns_ = 0;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Figures of one platform, for the summary.
struct TFigures {
  double korvan_ms = 0, bare_ms = 0, korvan_min_ms = 0, bare_min_ms = 0, korvan_cpu_ms = 0, bare_cpu_ms = 0;
  double korvan_rss = 0, bare_rss = 0;
};
std::vector<std::pair<std::string, TFigures>> g_figures;

TFigures &Figures(const std::string &platform) {
  for (auto &[name, f] : g_figures)
    if (name == platform) return f;
  return g_figures.emplace_back(platform, TFigures{}).second;
}

void BM_StartToFirstPaint(benchmark::State &state, Platform platform, std::string name) {
  PrivateHome home;
  // One start of each before measuring: the first reads the programs and Qt's libraries from disk.
  for (Program p : {Program::Korvan, Program::Bare})
    Started(p, platform, home.path).WaitForFirstPaint();
  std::vector<double> korvan, bare, created, korvan_cpu, bare_cpu;
  for (auto _ : state) {
    // Alternately, so a busy moment of a shared machine falls on both alike.
    const auto start = Started(Program::Korvan, platform, home.path).WaitForFirstPaint();
    korvan.push_back(start.Painted);
    korvan_cpu.push_back(start.PaintedCpu);
    created.push_back(start.Created);
    const auto floor = Started(Program::Bare, platform, home.path).WaitForFirstPaint();
    bare.push_back(floor.Painted);
    bare_cpu.push_back(floor.PaintedCpu);
    state.SetIterationTime(start.Painted / 1000.0);
  }
  // The machine may be shared: the median says more than the mean.
  state.counters["korvan_ms"] = Median(korvan);
  state.counters["bare_ms"] = Median(bare);
  state.counters["ratio"] = Median(korvan) / Median(bare);
  // Of korvan's time, the time until the application object (with its platform connection) exists.
  state.counters["app_object_ms"] = Median(created);
  Figures(name).korvan_ms = Median(korvan);
  Figures(name).bare_ms = Median(bare);
  // The fastest starts: what each costs when nothing else on the machine interferes.
  Figures(name).korvan_min_ms = *std::min_element(korvan.begin(), korvan.end());
  Figures(name).bare_min_ms = *std::min_element(bare.begin(), bare.end());
  Figures(name).korvan_cpu_ms = Median(korvan_cpu);
  Figures(name).bare_cpu_ms = Median(bare_cpu);
  state.counters["cpu_ratio"] = Median(korvan_cpu) / Median(bare_cpu);
}

void BM_IdleMemory(benchmark::State &state, Platform platform, std::string name) {
  PrivateHome home;
  std::vector<double> rss[2], pss[2];
  for (auto _ : state) {
    for (Program p : {Program::Korvan, Program::Bare}) {
      Started program(p, platform, home.path);
      program.WaitForFirstPaint();
      // The window sits idle: korvan's timer ticks once a second and nothing else happens.
      std::this_thread::sleep_for(2s);
      rss[static_cast<int>(p)].push_back(program.ProcMegabytes("status", "VmRSS:"));
      pss[static_cast<int>(p)].push_back(program.ProcMegabytes("smaps_rollup", "Pss:"));
    }
  }
  state.counters["korvan_rss_MB"] = Median(rss[0]);
  state.counters["bare_rss_MB"] = Median(rss[1]);
  state.counters["korvan_pss_MB"] = Median(pss[0]);
  state.counters["bare_pss_MB"] = Median(pss[1]);
  state.counters["rss_ratio"] = Median(rss[0]) / Median(rss[1]);
  Figures(name).korvan_rss = Median(rss[0]);
  Figures(name).bare_rss = Median(rss[1]);
}

// The shared libraries `ldd` lists for a program, and how many of them are libcurl.
std::pair<int, int> LinkedLibraries(const std::string &program) {
  int all = 0, curl = 0;
  if (FILE *out = ::popen(("ldd '" + program + "'").c_str(), "r")) {
    char line[1024];
    while (std::fgets(line, sizeof line, out)) {
      ++all;
      if (std::strstr(line, "libcurl")) ++curl;
    }
    ::pclose(out);
  }
  return {all, curl};
}

} // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  std::vector<std::pair<const char *, Platform>> platforms{{"offscreen", Platform::Offscreen}};
  if (XServerAnswers(std::getenv("DISPLAY"))) platforms.emplace_back("xcb", Platform::X11);
  for (auto [name, platform] : platforms) {
    benchmark::RegisterBenchmark((std::string("BM_StartToFirstPaint/") + name).c_str(), BM_StartToFirstPaint,
                                 platform, name)
        ->UseManualTime()
        ->Iterations(20)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("BM_IdleMemory/") + name).c_str(), BM_IdleMemory, platform,
                                 name)
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  std::printf("\nkorvan against the bare window (targets: start <= 1.25x, idle RSS <= 1.15x)\n");
  for (const auto &[name, f] : g_figures) {
    if (f.korvan_ms > 0)
      std::printf(
          "  %-9s start to first paint  %6.1f ms / %6.1f ms = %.2fx (fastest %.1f / %.1f ms = %.2fx)\n",
          name.c_str(), f.korvan_ms, f.bare_ms, f.korvan_ms / f.bare_ms, f.korvan_min_ms, f.bare_min_ms,
          f.korvan_min_ms / f.bare_min_ms);
    if (f.korvan_cpu_ms > 0)
      std::printf("  %-9s processor time to it  %6.1f ms / %6.1f ms = %.2fx\n", name.c_str(), f.korvan_cpu_ms,
                  f.bare_cpu_ms, f.korvan_cpu_ms / f.bare_cpu_ms);
    if (f.korvan_rss > 0)
      std::printf("  %-9s idle RSS              %6.1f MB / %6.1f MB = %.2fx\n", name.c_str(), f.korvan_rss,
                  f.bare_rss, f.korvan_rss / f.bare_rss);
  }
  const auto korvan = LinkedLibraries(Beside("../app/korvan"));
  const auto bare = LinkedLibraries(ProgramPath(Program::Bare));
  std::printf("  ldd lists %d libraries for korvan (%d of them libcurl), %d for the bare window\n",
              korvan.first, korvan.second, bare.first);
}
