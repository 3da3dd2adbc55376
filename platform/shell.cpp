#include "platform/shell.h"

#include <cerrno>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace kv::platform {

std::string ShellResult::Describe() const {
  if (error != 0) return std::string("could not start: ") + std::strerror(error);
  if (signal != 0) return "ended by signal " + std::to_string(signal);
  if (exit_code > 0) return "exit code " + std::to_string(exit_code);
  if (exit_code == 0) return "done";
  return "started";
}

namespace {

// Fills `result` from a waitpid status.
void TakeStatus(int status, ShellResult &result) {
  if (WIFEXITED(status))
    result.exit_code = WEXITSTATUS(status);
  else if (WIFSIGNALED(status))
    result.signal = WTERMSIG(status);
}

} // namespace

ShellResult ShellSpawn(const std::string &program, const std::vector<std::string> &args,
                       const std::string &directory, std::chrono::milliseconds wait) {
  ShellResult result;
  if (program.empty()) {
    result.error = ENOENT;
    return result;
  }
  std::vector<std::string> strings;
  strings.push_back(program);
  strings.insert(strings.end(), args.begin(), args.end());
  std::vector<char *> argv;
  for (auto &s : strings)
    argv.push_back(s.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  // The started program gets standard input, output and error only: none of this process's
  // files and sockets, whichever thread or library opened them and however they were opened.
  if (const int rc = posix_spawn_file_actions_addclosefrom_np(&actions, 3)) {
    posix_spawn_file_actions_destroy(&actions);
    result.error = rc;
    return result;
  }
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // The child starts with default signal handling, whatever handlers this program installed.
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigdefault(&attr, &all);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  pid_t pid = -1;
  int rc = program.find('/') == std::string::npos
               ? posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), environ)
               : posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    result.error = rc;
    return result;
  }

  auto deadline = std::chrono::steady_clock::now() + wait;
  while (true) {
    int status = 0;
    pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      TakeStatus(status, result);
      return result;
    }
    if (done < 0 && errno != EINTR) return result;
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  // Still running: reap it when it ends so it leaves no zombie behind.
  std::thread([pid] {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return result;
}

ShellResult ShellOpen(const std::string &target, std::chrono::milliseconds wait) {
  return ShellSpawn("xdg-open", {target}, "", wait);
}

} // namespace kv::platform
