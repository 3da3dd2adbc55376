// One logging run for the test of runs sharing a log folder:
//   logging_run <folder> <count> <id> <gate> [<uid>[:<gid>]]
// Opens its log (base name "korvanlog", <count> numbered files), writes the header and a first
// line, prints "opened <file>" (or "failed"), waits until the file <gate> exists, then writes
// five more lines and the footer. Exit status 0 when the log opened, 2 when it did not.
// Given a uid (and started as root), the run first becomes that user, group alike, and with a
// gid also a member of that group.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <grp.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "log/fast_log.h"

int main(int argc, char **argv) {
  if (argc != 5 && argc != 6) return 64;
  if (argc == 6) {
    const auto id = static_cast<uid_t>(std::atoi(argv[5]));
    const char *member = std::strchr(argv[5], ':');
    const gid_t group = member ? static_cast<gid_t>(std::atoi(member + 1)) : id;
    if (setgroups(member ? 1 : 0, &group) != 0 || setgid(id) != 0 || setuid(id) != 0) return 65;
  }
  const std::string id = argv[3], gate = argv[4];
  kv::logging::TFastLog log;
  log.SetTurnPause(std::chrono::milliseconds(1));
  log.Writer().FileDef().SetPath(argv[1]);
  log.Writer().FileDef().SetBackupCount(std::atoi(argv[2]));
  log.Writer().FileDef().BaseName = "korvanlog";
  const bool open = log.StartLogging();
  log.AddStrings(log.Header());
  log.Add("run " + id + " opened");
  std::printf("%s %s\n", open ? "opened" : "failed", log.Writer().FileDef().FullName().c_str());
  std::fflush(stdout);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  struct stat st {};
  while (stat(gate.c_str(), &st) != 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  for (int i = 1; i <= 5; ++i)
    log.Add("run " + id + " line " + std::to_string(i));
  log.AddStrings(log.Footer());
  return open ? 0 : 2;
}
