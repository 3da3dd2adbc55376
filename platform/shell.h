#pragma once
// Opening documents and starting programs, never through a shell: documents and URLs go to the
// desktop's opener (xdg-open), programs are started directly with posix_spawn.

#include <chrono>
#include <string>
#include <vector>

namespace kv::platform {

// What became of a start.
struct ShellResult {
  int error = 0;      // errno when the program could not be started, else 0
  int exit_code = -1; // its exit code when it ended within the wait; -1 while it still runs
  int signal = 0;     // the signal that ended it within the wait, else 0

  // Started, and did not fail within the wait.
  bool Succeeded() const { return error == 0 && signal == 0 && (exit_code == -1 || exit_code == 0); }
  // A short English description for logs and messages.
  std::string Describe() const;
};

// Starts `program` (a path, or a name looked up in PATH) with `args`, in `directory` when it is
// not empty; of this process's descriptors it inherits 0 to 2 only. Waits up to `wait` for it to
// end so an early failure is reported; a program still running after that is left running and
// reaped in the background.
ShellResult ShellSpawn(const std::string &program, const std::vector<std::string> &args,
                       const std::string &directory = "",
                       std::chrono::milliseconds wait = std::chrono::milliseconds(0));

// Opens a document, folder or URL with xdg-open. Waits up to `wait` for the opener's verdict.
ShellResult ShellOpen(const std::string &target,
                      std::chrono::milliseconds wait = std::chrono::milliseconds(2000));

} // namespace kv::platform
