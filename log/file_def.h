#pragma once
// Which file the log goes to: directory, base name and extension, and, when numbered files are
// wanted, the rotation that keeps the last n runs as <base>.001 (oldest) to <base>.00n (newest).
//
// Runs that share a folder (several "korvan /a" at once) take turns: choosing the name, rotating
// and creating the new file happen under an exclusive lock on "<Path>.<BaseName>.lock", so each
// run gets a number of its own and the numbers stay without gaps. A log that another run still
// writes (it holds a lock on its log from before the log has its name until it is written, so
// even a run that went on without the folder's lock never finds it unlocked) is renamed along
// with the others, which on Linux leaves its writer writing under the new name, but it is never
// deleted: the folder may then hold more than n numbered logs for a while, and each run, when it
// closes its log, deletes the surplus that is no longer in use, so that the newest n remain.
//
// The series is renumbered only by a run that may delete and rename every log it would have to
// touch. In a folder with the sticky bit (/tmp-like, 1777) a run may do so only with its own
// logs, unless it owns the folder or may act as any file's owner (CAP_FOWNER); a run that may
// not leaves the series as it is and writes a fallback log instead, "<base>.~og" or, when that
// exists, "<base>.~og-" and six random characters, always a new file. When it makes its fallback
// log and when it closes it, a run keeps its own and the newest n - 1 others of its user's (n is
// the count, at least one), and deletes no log that a run still writes; another user's fallback
// logs it never touches.
//
// A shared folder may hold anything another user put there. Every name in it is opened through
// the platform's one opener, so none in a way that could wait (a FIFO, a device) or follow a
// link, and a log is written only into a file that is surely this run's: one it made afresh, or
// a regular file of its user with no other name. What the opener refuses is not this run's to
// take (a fallback log serves instead); what fails to open (an append-only or unwritable log of
// its own) is an error.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kv::logging {

class TFLFileDef {
public:
  // Directory and name of the program file, extension ".log", no numbered files.
  TFLFileDef();

  // Directory of the log, always ending in "/".
  const std::string &Path() const { return path_; }
  // An empty text is ignored; a missing trailing "/" is added.
  void SetPath(const std::string &path);
  // Number of numbered files to keep, 0 (plain "<base>.log") to 999. The count is taken as an
  // unsigned 16-bit number (-3 is 65533, 65536 is 0), and values of 1000 and more give 999.
  uint16_t BackupCount() const { return backup_count_; }
  void SetBackupCount(int count);
  // File name without directory and extension; callers may set it directly.
  std::string BaseName;
  // Extension with its leading dot.
  const std::string &Extension() const { return ext_; }
  // The name chosen by GetFileName ("" before).
  const std::string &FullName() const { return full_name_; }
  bool Rotated() const { return rotated_; }

  // The file to write: Path + BaseName + ".log" without numbered files; otherwise runs the
  // rotation once and gives the new numbered name (or the ".~og" fallback).
  std::string GetFileName();
  // True when the file exists and another holder has it open for writing (it holds the lock
  // every writer of a log takes), or it cannot be opened for reading and writing, or it is no
  // regular file with one name (never probed, never taken).
  static bool IsFileLocked(const std::string &name);

  // Creates the log file for writing, locked against other writers, and returns its descriptor
  // (-1 on failure, with errno). A new numbered name is created exclusively (an existing file is
  // never taken over). The plain ".log" (no numbered files) is truncated when it is this run's
  // user's file with one name, and written as it is when it is a pipe or a terminal of that user
  // or root's; a log another writer holds is not taken. Failing those, a new fallback log serves
  // (see above). FullName() then names the file created.
  int CreateLogFile();
  // Called, when set, as soon as a new numbered log has its name, inside CreateLogFile: tests
  // play another run there.
  std::function<void()> OnNewLogNamed;
  // Tests: acts as on a file system without unnamed files (O_TMPFILE), so that a new numbered
  // log is made under a hidden name first.
  bool NoUnnamedFiles = false;
  // Called, when set, in CloseLogFile before anything else: tests play another run ending at the
  // same time, or a hung disk, there.
  std::function<void()> OnClosing;
  // The program's stop request, when set: the waits for the folder's lock end early once it is.
  const std::atomic<bool> *StopSource = nullptr;
  // How long a run waits for the folder's lock (another run holds it only for moments, but any
  // user may hold it for good) before it goes on without it.
  std::chrono::milliseconds FolderLockWait = std::chrono::seconds(10);
  // The lock file the runs sharing the folder take turns on.
  std::string LockName() const { return path_ + "." + BaseName + ".lock"; }
  // True when CreateLogFile waited the full FolderLockWait in vain; CloseLogFile then tries the
  // lock only once. Read it on the writer's thread, or once the log is open.
  bool LockWaitGaveUp() const { return lock_gave_up_; }
  // Closes the log file and, with numbered files, deletes the oldest ones beyond BackupCount
  // that no run writes any more and renumbers the rest without gaps, when this run may touch all
  // of them; a fallback log's run keeps its user's newest fallback logs.
  void CloseLogFile(int fd);

private:
  // Full names of the entries in Path whose names start with `start` (by default "<BaseName>.")
  // and go on; throws when the folder cannot be listed.
  std::vector<std::string> ListEntries(const std::string &start = {}) const;
  // Start of the hidden names a new log has before it is named, where unnamed files cannot be made.
  std::string HiddenPrefix() const { return "." + BaseName + ".new-"; }
  std::string BuildRotatedName();
  // Returns the extension (with its dot) of the new file.
  std::string RotateBackups(const std::vector<std::string> &names);
  void SplitFullName(const std::string &name);
  // Fallback name, also used when the rotation fails.
  std::string FallbackName() const { return path_ + BaseName + ".~og"; }
  // The fallback name, or it with "-" and random characters.
  bool IsFallbackName(const std::string &full_name) const;
  // Creates a new fallback log (see CreateLogFile) and names it; -1 when none can be had.
  int OpenFallback();
  // Keeps this run's fallback log (open as `own_fd`) and the newest n - 1 other fallback logs of
  // its user's (n: the count, at least 1), and deletes the rest of them that no run writes.
  void TrimFallbacks(int own_fd) const;

  std::string path_;
  std::string ext_ = ".log";
  std::string full_name_;
  uint16_t backup_count_ = 0;
  bool rotated_ = false;
  bool fresh_numbered_ = false; // the chosen name is a new numbered file
  bool fallback_ = false;       // the log made is a fallback log
  bool lock_gave_up_ = false;
};

} // namespace kv::logging
