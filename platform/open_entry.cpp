#include "platform/open_entry.h"

#include <atomic>
#include <cerrno>
#include <mutex>
#include <unistd.h>

namespace kv::platform {

namespace {

std::mutex hook_mutex;
std::function<void(const std::string &)> hook;
std::atomic<bool> hooked{false};

void RunHook(const std::string &name) {
  if (!hooked.load(std::memory_order_acquire)) return;
  std::function<void(const std::string &)> between;
  {
    std::lock_guard lock(hook_mutex);
    between = hook;
  }
  if (between) between(name);
}

TOpenResult Failed(int error) {
  TOpenResult result;
  result.error = error;
  return result;
}

TOpenResult Refused(const struct stat &st) {
  TOpenResult result;
  result.status = TOpenStatus::Refused;
  result.st = st;
  return result;
}

// Closes `fd` and fails with the errno of the step that went wrong.
TOpenResult CloseFailed(int fd) {
  const int error = errno;
  ::close(fd);
  return Failed(error);
}

// Takes an open descriptor: its status, and reads and writes that wait again unless the caller
// keeps O_NONBLOCK.
TOpenResult Opened(int fd, const TOpenRequest &request, bool created) {
  TOpenResult result;
  int flags = 0;
  if (::fstat(fd, &result.st) != 0 || (flags = ::fcntl(fd, F_GETFL)) == -1) return CloseFailed(fd);
  if (!request.non_blocking && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return CloseFailed(fd);
  result.status = TOpenStatus::Opened;
  result.fd = fd;
  result.created = created;
  return result;
}

// Links are taken only when the caller follows them; a link seen here is one it does not.
bool Judge(const struct stat &st, const TOpenRequest &request) {
  return !S_ISLNK(st.st_mode) && (!request.accept || request.accept(st));
}

bool SameFile(const struct stat &a, const struct stat &b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

TOpenResult OpenExisting(const std::string &name, const TOpenRequest &request) {
  struct stat st {};
  const int looked = request.follow_links ? ::stat(name.c_str(), &st) : ::lstat(name.c_str(), &st);
  if (looked != 0) return Failed(errno);
  // A refused entry is not opened at all: an open alone can start a device or wake what waits
  // behind a FIFO.
  if (!Judge(st, request)) return Refused(st);
  RunHook(name);
  // The name may stand for another entry by now. A path handle opens nothing, so the entry it
  // holds is judged before anything is opened, and the open through the handle gets that entry.
  const int held = ::open(name.c_str(), O_PATH | O_CLOEXEC | (request.follow_links ? 0 : O_NOFOLLOW));
  if (held < 0) return Failed(errno);
  if (::fstat(held, &st) != 0) return CloseFailed(held);
  if (!Judge(st, request)) {
    ::close(held);
    return Refused(st);
  }
  // Not waiting for a FIFO's other end or another's lease on the file.
  const int flags = (request.flags & ~(O_CREAT | O_EXCL)) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = ::open(("/proc/self/fd/" + std::to_string(held)).c_str(), flags);
  // Without /proc by the name once more, and only the entry held is taken.
  if (fd < 0 && errno == ENOENT) fd = ::open(name.c_str(), flags | (request.follow_links ? 0 : O_NOFOLLOW));
  if (fd < 0) return CloseFailed(held);
  const struct stat handle = st;
  ::close(held);
  if (::fstat(fd, &st) != 0) return CloseFailed(fd);
  if (!SameFile(st, handle) || !Judge(st, request)) {
    ::close(fd);
    return Refused(st);
  }
  return Opened(fd, request, false);
}

} // namespace

bool AnyEntry(const struct stat &) {
  return true;
}

bool RegularFile(const struct stat &st) {
  return S_ISREG(st.st_mode);
}

bool SingleRegular(const struct stat &st) {
  return S_ISREG(st.st_mode) && st.st_nlink == 1;
}

bool OwnSingleRegular(const struct stat &st) {
  return SingleRegular(st) && st.st_uid == ::geteuid();
}

TOpenResult OpenEntry(const std::string &name, const TOpenRequest &request) {
  if (request.flags & O_TRUNC) return Failed(EINVAL);
  if (!(request.flags & O_CREAT)) return OpenExisting(name, request);
  const int create = (request.flags & ~O_CREAT & ~O_EXCL) | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK |
                     O_NOCTTY | O_CLOEXEC;
  TOpenResult result = Failed(ENOENT);
  // An entry that goes away between the create and its open is made anew.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int fd = ::open(name.c_str(), create, request.mode);
    if (fd >= 0) return Opened(fd, request, true);
    if (errno != EEXIST || (request.flags & O_EXCL)) return Failed(errno);
    result = OpenExisting(name, request);
    if (result.status != TOpenStatus::Failed || result.error != ENOENT) break;
  }
  return result;
}

int OpenRegularFile(const std::string &path) {
  TOpenRequest request;
  request.accept = RegularFile;
  request.follow_links = true;
  return OpenEntry(path, request).fd;
}

TOpenEntryHook::TOpenEntryHook(std::function<void(const std::string &name)> between) {
  std::lock_guard lock(hook_mutex);
  hook = std::move(between);
  hooked.store(true, std::memory_order_release);
}

TOpenEntryHook::~TOpenEntryHook() {
  std::lock_guard lock(hook_mutex);
  hooked.store(false, std::memory_order_release);
  hook = nullptr;
}

} // namespace kv::platform
