#include "log/file_def.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <optional>
#include <random>
#include <stdexcept>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <tuple>
#include <unistd.h>

#include "log/program_info.h"
#include "platform/open_entry.h"

namespace kv::logging {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// "." + n with at least three digits.
std::string NumberExtension(size_t n) {
  char buf[32];
  std::snprintf(buf, sizeof buf, ".%03zu", n);
  return buf;
}

bool Exists(const std::string &name) {
  struct stat st {};
  return lstat(name.c_str(), &st) == 0;
}

// Renames without ever replacing an existing file.
bool RenameNoReplace(const std::string &from, const std::string &to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without RENAME_NOREPLACE: a hard link fails on an existing target too.
  if (link(from.c_str(), to.c_str()) != 0) return false;
  if (unlink(from.c_str()) != 0) {
    unlink(to.c_str());
    return false;
  }
  return true;
}

struct Numbered {
  std::string name;   // full name
  std::string number; // the three digits
  uid_t owner;
};

// Sort order of numbered files: their number texts compared without regard to case.
bool CompareBackupNumbers(const Numbered &a, const Numbered &b) {
  return strcasecmp(a.number.c_str(), b.number.c_str()) < 0;
}

// The plain log: this run's user's file, or a pipe or terminal that user (or root) put there.
bool PlainLogEntry(const struct stat &st) {
  const bool stream = S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode);
  return platform::OwnSingleRegular(st) || (stream && (st.st_uid == geteuid() || st.st_uid == 0));
}

// Closes `fd`, keeping errno; returns -1.
int CloseKeepingErrno(int fd) {
  const int err = errno;
  close(fd);
  errno = err;
  return -1;
}

// Opens an entry of the log folder with `flags` (access and creation), taking an existing one
// only when `accept` does; a file the open makes gets mode 0644 (less the umask).
platform::TOpenResult Open(const std::string &name, int flags, platform::TEntryRule accept) {
  platform::TOpenRequest request;
  request.flags = flags;
  request.mode = 0644;
  request.accept = accept;
  return platform::OpenEntry(name, request);
}

// Opens an entry for flock (`create`: O_CREAT to make it when missing). A lock needs no write
// access: a file another user made (root's timer and a user's run sharing a folder) is opened
// read-only, so both still take turns.
platform::TOpenResult OpenToLock(const std::string &name, platform::TEntryRule accept, int create = 0) {
  platform::TOpenResult opened = Open(name, O_RDWR | create, accept);
  if (opened.status == platform::TOpenStatus::Failed && opened.error == EACCES)
    opened = Open(name, O_RDONLY, accept);
  return opened;
}

// Takes an opened log for this run: locked against other writers (the stand-in for opening
// without sharing), emptied when it is a file, and positioned at its end. Returns `fd`, or -1
// (closed, errno set; EWOULDBLOCK when another writer holds it).
int Claim(int fd, const struct stat &st) {
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 ||
      (S_ISREG(st.st_mode) && (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_END) < 0)))
    return CloseKeepingErrno(fd);
  return fd;
}

// The plain log: made afresh, or an earlier one taken over (see PlainLogEntry), and claimed.
// Refused when what is there is not this run's to write, or another run still writes it.
platform::TOpenResult OpenPlainLog(const std::string &name) {
  platform::TOpenResult plain = Open(name, O_RDWR | O_CREAT, PlainLogEntry);
  if (!plain.Opened()) return plain;
  const bool other_device = S_ISCHR(plain.st.st_mode) && !isatty(plain.fd);
  plain.fd = other_device ? CloseKeepingErrno(plain.fd) : Claim(plain.fd, plain.st);
  if (plain.fd >= 0) return plain;
  const bool refused = other_device || errno == EWOULDBLOCK;
  plain.status = refused ? platform::TOpenStatus::Refused : platform::TOpenStatus::Failed;
  plain.error = refused ? 0 : errno;
  return plain;
}

// Characters after "<base>.~og-" in a further fallback log's name.
constexpr size_t kRandomChars = 6;

constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

bool IsRandomChar(char c) {
  return c != 0 && std::strchr(kChars, c) != nullptr;
}

// Letters and digits that nobody can guess.
std::string RandomSuffix() {
  std::random_device random;
  std::string suffix;
  for (size_t i = 0; i < kRandomChars; ++i)
    suffix += kChars[random() % (sizeof kChars - 1)];
  return suffix;
}

// Only regular files with one name, named exactly <base>.<three digits>, are numbered logs;
// sorted oldest first.
std::vector<Numbered> NumberedLogs(const std::vector<std::string> &names, size_t base_len) {
  std::vector<Numbered> numbered;
  for (const auto &n : names) {
    if (n.size() != base_len + 3 || !IsDigit(n[base_len]) || !IsDigit(n[base_len + 1]) ||
        !IsDigit(n[base_len + 2]))
      continue;
    struct stat st {};
    if (lstat(n.c_str(), &st) != 0 || !platform::SingleRegular(st)) continue;
    numbered.push_back({n, n.substr(base_len), st.st_uid});
  }
  std::sort(numbered.begin(), numbered.end(), CompareBackupNumbers);
  return numbered;
}

// True when this thread may act as the owner of any file (CAP_FOWNER in its effective set).
bool ActsAsAnyOwner() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
  if (syscall(SYS_capget, &header, data) != 0) return false;
  return (data[CAP_TO_INDEX(CAP_FOWNER)].effective & CAP_TO_MASK(CAP_FOWNER)) != 0;
}

// Whose entries of a folder this run may delete and rename: in a folder with the sticky bit only
// its own, unless it owns the folder or acts as any file's owner; elsewhere everyone's (where it
// may not write the folder at all, the deletes and renames themselves fail).
class RemoveRight {
public:
  explicit RemoveRight(const std::string &dir) {
    struct stat st {};
    any_ = stat(dir.c_str(), &st) != 0 || (st.st_mode & S_ISVTX) == 0 || st.st_uid == geteuid() ||
           ActsAsAnyOwner();
  }
  bool operator()(uid_t owner) const { return any_ || owner == geteuid(); }

private:
  bool any_;
};

enum class Renumbered { Done, RenameFailed, NotPermitted };

// Deletes the oldest logs until `reserve` more fit within `count`, then renumbers the rest from
// 1 (`stem` is path and base name). Nothing is touched when a log to be deleted or renamed is
// not `may`'s to touch: a series changed only in part would keep a gap for good.
Renumbered TrimAndRenumber(std::vector<Numbered> &numbered, const std::string &stem, size_t count,
                           size_t reserve, const RemoveRight &may) {
  const int64_t excess = static_cast<int64_t>(numbered.size() + reserve) - static_cast<int64_t>(count);
  // A log another run still writes stays.
  std::vector<bool> drop(numbered.size());
  for (size_t i = 0; static_cast<int64_t>(i) < excess && i < numbered.size(); ++i)
    drop[i] = !TFLFileDef::IsFileLocked(numbered[i].name);
  for (size_t i = 0, number = 0; i < numbered.size(); ++i) {
    if (!drop[i]) ++number; // the number it will have
    const bool touched = drop[i] || numbered[i].name != stem + NumberExtension(number);
    if (touched && !may(numbered[i].owner)) return Renumbered::NotPermitted;
  }
  std::vector<Numbered> kept;
  for (size_t i = 0; i < numbered.size(); ++i) // one that cannot be deleted stays too
    if (!drop[i] || unlink(numbered[i].name.c_str()) != 0) kept.push_back(numbered[i]);
  numbered.swap(kept);
  // A log in use is renamed too: its writer goes on writing it under the new name.
  bool all_renamed = true;
  for (size_t i = 0; i < numbered.size(); ++i) {
    const std::string target = stem + NumberExtension(i + 1);
    if (target != numbered[i].name && !RenameNoReplace(numbered[i].name, target)) all_renamed = false;
  }
  return all_renamed ? Renumbered::Done : Renumbered::RenameFailed;
}

// Creates `name` exclusively (failing with EEXIST when it exists) and already locked, so another
// run's trim never finds it unlocked and takes it for an old log. The file is made unnamed in the
// folder, locked, and then linked to its name, so a run that ends in between leaves nothing.
// `unnamed` false acts as a file system without unnamed files.
int CreateLocked(const std::string &name, const std::string &dir, const std::string &hidden_stem,
                 bool unnamed) {
  int fd = unnamed ? open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0644) : -1;
  if (!unnamed) errno = EOPNOTSUPP;
  if (fd >= 0) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
      return fd;
    CloseKeepingErrno(fd);
    if (errno == EEXIST) return -1;
    // Without /proc the file cannot be linked: the hidden name below serves then.
  } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    return -1;
  }
  // File systems without unnamed files: made and locked under a hidden name that no rotation
  // looks at, and only then renamed. One left by a run that ended is removed by a later trim.
  static std::atomic<unsigned> serial{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temp = hidden_stem + std::to_string(getpid()) + "-" + std::to_string(serial++);
    const platform::TOpenResult made = Open(temp, O_RDWR | O_CREAT | O_EXCL, platform::AnyEntry);
    if (!made.Opened() && made.error == EEXIST) continue; // left by an ended run that had our process id
    if (!made.Opened()) {
      errno = made.error;
      return -1;
    }
    fd = made.fd;
    struct stat st {};
    // When this run went on without the folder's lock, a trim that holds it may have taken the
    // file, not yet locked, for an abandoned one: it is gone then, or about to be, and another
    // name is tried.
    const bool locked = flock(fd, LOCK_EX | LOCK_NB) == 0;
    const bool taken = locked ? fstat(fd, &st) == 0 && st.st_nlink == 0 : errno == EWOULDBLOCK;
    if (taken) {
      unlink(temp.c_str());
      close(fd);
      continue;
    }
    if (locked && RenameNoReplace(temp, name)) return fd;
    const int err = errno;
    unlink(temp.c_str());
    close(fd);
    errno = err;
    return -1;
  }
  errno = EEXIST;
  return -1;
}

// Removes the hidden files of new logs (`hidden` names them) that runs which ended before naming
// them left behind: each creator holds its file's lock, so one that can be locked is abandoned.
void RemoveAbandoned(const std::vector<std::string> &hidden) {
  for (const std::string &name : hidden) {
    const platform::TOpenResult hidden_file = OpenToLock(name, platform::SingleRegular);
    if (!hidden_file.Opened()) continue;
    if (flock(hidden_file.fd, LOCK_EX | LOCK_NB) == 0) unlink(name.c_str()); // still locked while it goes
    close(hidden_file.fd);
  }
}

// An exclusive lock on a lock file, for as long as the object lives. Waits at most `wait` for
// another holder, less when `stop` is raised meanwhile; after that, or when the file cannot be
// made or is no plain lock file, it goes on without the lock (a new numbered log is still
// created exclusively, so nothing is overwritten).
class FolderLock {
public:
  FolderLock(const std::string &name, const std::atomic<bool> *stop, std::chrono::milliseconds wait) {
    // The lock file is every user's, so its mode is set outright rather than left to the umask
    // (a root service's may be 077, which would shut out every other user's run). Reading would
    // do for flock on a local disk, but on NFS an exclusive flock is a write lock that needs the
    // file open for writing; the file holds nothing, so anyone may write it. Another user's lock
    // file serves as well as ours, but only a regular file with one name: a FIFO, a device or a
    // link there is no lock file. An existing one is opened up only when it is surely just a lock
    // file of ours: under root, a name linked to another file (a hard link to /etc/shadow, say)
    // must not make that file writable.
    const platform::TOpenResult lock = OpenToLock(name, platform::SingleRegular, O_CREAT);
    if (!lock.Opened()) return;
    fd_ = lock.fd;
    const struct stat &st = lock.st;
    if (st.st_size == 0 && st.st_uid == geteuid() && (st.st_mode & 07777) != kMode) fchmod(fd_, kMode);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    auto pause = std::chrono::milliseconds(1);
    while (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      gave_up_ = errno == EWOULDBLOCK && std::chrono::steady_clock::now() >= deadline;
      if ((errno != EWOULDBLOCK && errno != EINTR) || gave_up_ || (stop && stop->load())) {
        close(fd_);
        fd_ = -1;
        return;
      }
      std::this_thread::sleep_for(pause);
      pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
  }
  bool Held() const { return fd_ >= 0; }
  // Another holder kept it for the whole wait.
  bool GaveUp() const { return gave_up_; }
  ~FolderLock() {
    if (fd_ >= 0) close(fd_); // releases the lock
  }
  FolderLock(const FolderLock &) = delete;
  FolderLock &operator=(const FolderLock &) = delete;

private:
  static constexpr mode_t kMode = 0666;
  int fd_ = -1;
  bool gave_up_ = false;
};

} // namespace

TFLFileDef::TFLFileDef() {
  const std::string program = CurrentProgramInfo().FilePath;
  SetPath(DirectoryOf(program));
  BaseName = BaseNameOf(program);
}

void TFLFileDef::SetPath(const std::string &path) {
  if (path.empty()) return;
  path_ = path.back() == '/' ? path : path + "/";
}

void TFLFileDef::SetBackupCount(int count) {
  backup_count_ = std::min<uint16_t>(static_cast<uint16_t>(count), 999);
}

std::string TFLFileDef::GetFileName() {
  if (backup_count_ == 0 || rotated_) {
    if (full_name_.empty()) full_name_ = path_ + BaseName + ext_;
    return full_name_;
  }
  return BuildRotatedName();
}

bool TFLFileDef::IsFileLocked(const std::string &name) {
  if (!Exists(name)) return false;
  const platform::TOpenResult probe = OpenToLock(name, platform::SingleRegular);
  if (!probe.Opened()) return true;
  bool locked = flock(probe.fd, LOCK_EX | LOCK_NB) != 0;
  close(probe.fd); // also releases the probe's lock
  return locked;
}

std::vector<std::string> TFLFileDef::ListEntries(const std::string &start) const {
  DIR *dir = opendir(path_.c_str());
  if (!dir) throw std::runtime_error("cannot list the log directory");
  std::vector<std::string> found;
  const std::string prefix = start.empty() ? BaseName + "." : start;
  while (dirent *e = readdir(dir)) {
    std::string entry = e->d_name;
    if (entry.size() > prefix.size() && entry.compare(0, prefix.size(), prefix) == 0)
      found.push_back(path_ + entry);
  }
  closedir(dir);
  return found;
}

std::string TFLFileDef::BuildRotatedName() {
  std::string name;
  try {
    std::vector<std::string> found = ListEntries();
    name = found.empty() ? path_ + BaseName + ".001" : path_ + BaseName + RotateBackups(found);
  } catch (...) {
    name = FallbackName();
  }
  rotated_ = true;
  fresh_numbered_ = name != FallbackName();
  SplitFullName(name);
  return full_name_;
}

std::string TFLFileDef::RotateBackups(const std::vector<std::string> &names) {
  try {
    std::vector<Numbered> numbered = NumberedLogs(names, path_.size() + BaseName.size() + 1);
    if (numbered.empty()) return ".001";
    if (TrimAndRenumber(numbered, path_ + BaseName, backup_count_, 1, RemoveRight(path_)) ==
        Renumbered::Done) {
      const std::string ext = NumberExtension(numbered.size() + 1);
      const std::string candidate = path_ + BaseName + ext;
      if (!Exists(candidate) && !IsFileLocked(candidate)) return ext;
    }
  } catch (...) {
  }
  return ".~og";
}

void TFLFileDef::SplitFullName(const std::string &name) {
  full_name_ = name;
  path_ = DirectoryOf(name);
  std::string file = FileNameOf(name);
  size_t dot = file.rfind('.');
  BaseName = dot == std::string::npos ? file : file.substr(0, dot);
  ext_ = dot == std::string::npos ? std::string() : file.substr(dot);
}

int TFLFileDef::CreateLogFile() {
  std::optional<FolderLock> lock;
  if (backup_count_ > 0) {
    lock.emplace(LockName(), StopSource, FolderLockWait);
    lock_gave_up_ = lock->GaveUp();
  }
  const std::string name = GetFileName();
  if (fresh_numbered_) {
    const int fd = CreateLocked(name, path_, path_ + HiddenPrefix(), !NoUnnamedFiles);
    if (fd >= 0) {
      if (OnNewLogNamed) OnNewLogNamed();
      return fd;
    }
    if (errno != EEXIST) return -1;
    fresh_numbered_ = false; // someone else took the name in the meantime
  } else if (backup_count_ == 0) {
    const platform::TOpenResult plain = OpenPlainLog(name);
    if (plain.Opened()) return plain.fd;
    if (!plain.Refused()) {
      errno = plain.error;
      return -1;
    }
    // Not this run's, or another run still writes it: a fallback log serves.
  }
  return OpenFallback();
}

bool TFLFileDef::IsFallbackName(const std::string &name) const {
  const std::string stem = FallbackName();
  if (name.compare(0, stem.size(), stem) != 0) return false;
  if (name.size() == stem.size()) return true;
  return name.size() == stem.size() + 1 + kRandomChars && name[stem.size()] == '-' &&
         std::all_of(name.begin() + long(stem.size()) + 1, name.end(), IsRandomChar);
}

int TFLFileDef::OpenFallback() {
  // Always a new file: an earlier fallback log holds an earlier run's lines, or another user's
  // file, a link or a FIFO stands there.
  for (int attempt = 0; attempt <= 8; ++attempt) {
    const std::string name = attempt == 0 ? FallbackName() : FallbackName() + "-" + RandomSuffix();
    const int fd = CreateLocked(name, path_, path_ + HiddenPrefix(), !NoUnnamedFiles);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) return -1;
    fallback_ = true;
    SplitFullName(name);
    TrimFallbacks(fd);
    return fd;
  }
  errno = EEXIST;
  return -1;
}

void TFLFileDef::TrimFallbacks(int own_fd) const {
  try {
    struct stat own {};
    if (fstat(own_fd, &own) != 0) return;
    struct Fallback {
      struct timespec modified;
      std::string name;
    };
    std::vector<Fallback> others;
    for (const std::string &name : ListEntries()) {
      struct stat st {};
      if (!IsFallbackName(name) || lstat(name.c_str(), &st) != 0 || !platform::OwnSingleRegular(st)) continue;
      if (st.st_dev != own.st_dev || st.st_ino != own.st_ino) others.push_back({st.st_mtim, name});
    }
    // Newest first.
    std::sort(others.begin(), others.end(), [](const Fallback &a, const Fallback &b) {
      return std::tie(b.modified.tv_sec, b.modified.tv_nsec, b.name) <
             std::tie(a.modified.tv_sec, a.modified.tv_nsec, a.name);
    });
    const size_t keep = std::max<size_t>(backup_count_, 1) - 1; // beside this run's own
    for (size_t i = keep; i < others.size(); ++i)               // one that a run still writes stays
      if (!IsFileLocked(others[i].name)) unlink(others[i].name.c_str());
  } catch (...) {
  }
}

void TFLFileDef::CloseLogFile(int fd) {
  if (OnClosing) OnClosing();
  std::optional<FolderLock> lock;
  try {
    // Whoever kept the lock for the whole wait at the start may keep it for good: one try then.
    if (backup_count_ > 0)
      lock.emplace(LockName(), StopSource, lock_gave_up_ ? std::chrono::milliseconds(0) : FolderLockWait);
    // A fallback log stays locked while its run trims, so that no other run, trimming at the same
    // time, takes it for a finished one and deletes it.
    if (fallback_ && fd >= 0) TrimFallbacks(fd);
  } catch (...) {
  }
  if (fd >= 0) close(fd);
  if (!lock) return;
  try {
    if (lock->Held()) RemoveAbandoned(ListEntries(HiddenPrefix()));
    std::vector<Numbered> numbered = NumberedLogs(ListEntries(), path_.size() + BaseName.size() + 1);
    TrimAndRenumber(numbered, path_ + BaseName, backup_count_, 0, RemoveRight(path_));
  } catch (...) {
  }
}

} // namespace kv::logging
