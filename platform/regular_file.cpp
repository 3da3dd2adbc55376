#include "platform/regular_file.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kv::platform {

int OpenRegularFile(const char *path) {
  return OpenRegularFile(path, {});
}

int OpenRegularFile(const char *path, const std::function<void()> &between) {
  // Looked at before anything is opened: an open alone could start a device or wake what waits
  // behind a FIFO.
  struct stat status {};
  if (::stat(path, &status) != 0 || !S_ISREG(status.st_mode)) return -1;
  // The path may name another file by now. A path handle opens nothing, so the file is held,
  // looked at again and opened through the handle: the file read is the one looked at.
  const int held = ::open(path, O_PATH | O_CLOEXEC);
  if (held < 0) return -1;
  int fd = -1;
  if (::fstat(held, &status) == 0 && S_ISREG(status.st_mode)) {
    if (between) between();
    // Not waiting for another's lease on the file to end.
    constexpr int kFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    fd = ::open(("/proc/self/fd/" + std::to_string(held)).c_str(), kFlags);
    // Without /proc, by the path once more; what it names then must be the file held.
    if (fd < 0 && errno == ENOENT) fd = ::open(path, kFlags);
  }
  ::close(held);
  if (fd < 0) return -1;
  struct stat opened {};
  int flags = 0;
  if (::fstat(fd, &opened) == 0 && opened.st_dev == status.st_dev && opened.st_ino == status.st_ino &&
      (flags = ::fcntl(fd, F_GETFL)) != -1 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0)
    return fd;
  ::close(fd);
  return -1;
}

} // namespace kv::platform
