#include "platform/system.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kv::platform {

namespace {

std::string WithSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

// The running program's file (from /proc/self/exe); empty when the link cannot be read.
std::string ProgramFile() {
  std::vector<char> buf(PATH_MAX);
  while (true) {
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return "";
    if (static_cast<size_t>(n) < buf.size()) {
      std::string exe(buf.data(), static_cast<size_t>(n));
      // The file was replaced while the program runs (an update, a rebuild).
      constexpr std::string_view kDeleted = " (deleted)";
      if (exe.ends_with(kDeleted)) exe.resize(exe.size() - kDeleted.size());
      return exe;
    }
    buf.resize(buf.size() * 2);
  }
}

} // namespace

std::string ProgramDirectory() {
  const std::string exe = ProgramFile();
  if (const size_t slash = exe.rfind('/'); slash != std::string::npos) return WithSlash(exe.substr(0, slash));
  char cwd[PATH_MAX];
  return WithSlash(::getcwd(cwd, sizeof cwd) ? cwd : ".");
}

const std::string &ProgramName() {
  static const std::string name = [] {
    const std::string exe = ProgramFile();
    return exe.empty() ? std::string(program_invocation_short_name) : exe.substr(exe.rfind('/') + 1);
  }();
  return name;
}

void SayOnStandardError(const std::string &text) {
  // One write for the whole line, so that lines of two threads do not mix.
  const std::string line = ProgramName() + ": " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

std::string HomeDirectory() {
  if (const char *home = std::getenv("HOME"); home && *home) return home;
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buf(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd entry{};
  passwd *found = nullptr;
  while (::getpwuid_r(::getuid(), &entry, buf.data(), buf.size(), &found) == ERANGE &&
         buf.size() < (1u << 20))
    buf.resize(buf.size() * 2);
  return found && found->pw_dir ? found->pw_dir : "";
}

std::string StateDirectory() {
  if (const char *state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/') return WithSlash(state);
  // Without a home, "/.local/state/" would be a folder at the root that is nobody's.
  const std::string home = HomeDirectory();
  return home.empty() ? "" : WithSlash(home + "/.local/state");
}

int MakeDirectories(const std::string &dir) {
  struct stat st {};
  if (dir.empty() || ::stat(dir.c_str(), &st) == 0) return 0;
  const size_t end = dir.find_last_not_of('/');
  const size_t slash = end == std::string::npos ? std::string::npos : dir.rfind('/', end);
  if (slash != std::string::npos && slash > 0)
    if (const int err = MakeDirectories(dir.substr(0, slash))) return err;
  return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST ? 0 : errno;
}

std::string ErrorTextGerman(int error) {
  switch (error) {
  case EACCES:
  case EPERM:
    return "Zugriff verweigert";
  case EROFS:
    return "das Dateisystem ist schreibgeschützt";
  case ENOTDIR:
    return "ein Teil des Pfades ist kein Ordner";
  case ENOSPC:
    return "der Datenträger ist voll";
  case EDQUOT:
    return "das Speicherkontingent ist erschöpft";
  case EFBIG:
    return "die Größenbegrenzung für Dateien ist erreicht";
  case EIO:
    return "Ein-/Ausgabefehler";
  default: {
    char buf[256];
    return "Fehler " + std::to_string(error) + ": " + ::strerror_r(error, buf, sizeof buf);
  }
  }
}

std::string ShortComputerName(const std::string &host_name) {
  std::string name = host_name.substr(0, host_name.find('.'));
  if (name.size() > 15) name.resize(15);
  return name;
}

std::string ComputerName() {
  char host[HOST_NAME_MAX + 1] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return "";
  return ShortComputerName(host);
}

} // namespace kv::platform
