#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv::platform {

int OpenRegularFile(const char *path) {
  // Looked at before the open, which alone could start a device; and again through the open
  // file, as the path may name another by then.
  struct stat status {};
  if (::stat(path, &status) != 0 || !S_ISREG(status.st_mode)) return -1;
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  int flags = 0;
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && (flags = ::fcntl(fd, F_GETFL)) != -1 &&
      ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0)
    return fd;
  ::close(fd);
  return -1;
}

} // namespace kv::platform
