#pragma once
// platform/open_entry.h -- the one opener for names that another user or program may have prepared:
// the log folder's entries, picture files, the settings file and its lock. No open here waits (for
// the other end of a FIFO, for a device, for another's lease), follows a symbolic link unless asked
// to, or makes a terminal the controlling one. An existing entry is judged by the caller's rule
// before the open, so that a refused one is never opened at all (opening a device can act by
// itself), and again through the open file, since the name may stand for another entry by then.

#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>

namespace kv::platform {

// Which existing entries a caller takes, judged on their status (lstat; stat when links are followed).
using TEntryRule = bool (*)(const struct stat &);
bool AnyEntry(const struct stat &st);
bool RegularFile(const struct stat &st);
// A regular file with no second name: a hard link may stand for any file on the disk.
bool SingleRegular(const struct stat &st);
// ... that belongs to this process's effective user.
bool OwnSingleRegular(const struct stat &st);

struct TOpenRequest {
  int flags = O_RDONLY; // O_RDONLY / O_WRONLY / O_RDWR, with O_CREAT and O_EXCL as wanted (no O_TRUNC:
                        // the caller empties a file only once it has judged it; with it, EINVAL)
  mode_t mode = 0600;   // of a file the open creates (the umask applies)
  TEntryRule accept = AnyEntry; // for an existing entry; a file this open created is always taken
  bool follow_links = false;    // false: a symbolic link is refused, at the name and swapped in later
  bool non_blocking = false;    // keep O_NONBLOCK on the descriptor (else reads and writes wait again)
};

enum class TOpenStatus { Opened, Refused, Failed };

struct TOpenResult {
  TOpenStatus status = TOpenStatus::Failed;
  int fd = -1;          // when Opened; the caller closes it
  int error = 0;        // errno when Failed (ENOENT, EEXIST with O_EXCL, EACCES, ...); 0 otherwise
  bool created = false; // the open made the file
  struct stat st {};    // when Opened: the open file's status; when Refused: the entry as judged
  bool Opened() const { return status == TOpenStatus::Opened; }
  bool Refused() const { return status == TOpenStatus::Refused; }
};

// Opens `name` as `request` says. With O_CREAT (without O_EXCL) an existing entry is judged and
// opened like one named without it; with O_CREAT|O_EXCL only a new file is taken.
TOpenResult OpenEntry(const std::string &name, const TOpenRequest &request);

// A regular file for reading, links followed, reads that wait: the descriptor, or -1.
int OpenRegularFile(const std::string &path);

// Tests: while one lives, `between` runs in every OpenEntry (any thread) with the name, after the
// existing entry was looked at and before it is opened. One at a time.
class TOpenEntryHook {
public:
  explicit TOpenEntryHook(std::function<void(const std::string &name)> between);
  ~TOpenEntryHook();
  TOpenEntryHook(const TOpenEntryHook &) = delete;
  TOpenEntryHook &operator=(const TOpenEntryHook &) = delete;
};

} // namespace kv::platform
