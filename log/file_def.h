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
// A shared folder may hold anything another user put there. No name in it is opened in a way
// that could wait (a FIFO, a device), and a log is written only into a file that is surely this
// run's: one it made afresh, or a regular file of its user with no other name.

#include <atomic>
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
  // or root's; a log another writer holds is refused. Failing those, the ".~og" fallback serves:
  // an earlier one of this run's user that no run writes is truncated, or else a fresh file is
  // made under ".~og-" and random characters. FullName() then names the file created.
  int CreateLogFile();
  // Called, when set, as soon as a new numbered log has its name, inside CreateLogFile: tests
  // play another run there.
  std::function<void()> OnNewLogNamed;
  // Tests: acts as on a file system without unnamed files (O_TMPFILE), so that a new numbered
  // log is made under a hidden name first.
  bool NoUnnamedFiles = false;
  // The program's stop request, when set: the waits for the folder's lock end early once it is.
  const std::atomic<bool> *StopSource = nullptr;
  // Closes the log file and, with numbered files, deletes the oldest ones beyond BackupCount
  // that no run writes any more and renumbers the rest without gaps.
  void CloseLogFile(int fd);

private:
  // Full names of the entries in Path whose names start with `start` (by default "<BaseName>.")
  // and go on; throws when the folder cannot be listed.
  std::vector<std::string> ListEntries(const std::string &start = {}) const;
  std::string LockName() const { return path_ + "." + BaseName + ".lock"; }
  // Start of the hidden names a new log has before it is named, where unnamed files cannot be made.
  std::string HiddenPrefix() const { return "." + BaseName + ".new-"; }
  std::string BuildRotatedName();
  // Returns the extension (with its dot) of the new file.
  std::string RotateBackups(const std::vector<std::string> &names);
  void SplitFullName(const std::string &name);
  // Fallback name, also used when the rotation fails.
  std::string FallbackName() const { return path_ + BaseName + ".~og"; }
  // Opens the fallback log (see CreateLogFile) and names it; -1 when none can be had.
  int OpenFallback();

  std::string path_;
  std::string ext_ = ".log";
  std::string full_name_;
  uint16_t backup_count_ = 0;
  bool rotated_ = false;
  bool fresh_numbered_ = false; // the chosen name is a new numbered file
};

} // namespace kv::logging
