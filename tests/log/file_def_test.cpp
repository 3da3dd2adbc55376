#include "log/file_def.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "test_support.h"

using kv::logging::TFLFileDef;
namespace fs = std::filesystem;

namespace {

// Names in `dir`, sorted, with the contents of regular files ("<dir>" for folders).
std::map<std::string, std::string> Listing(const kvtest::TempDir &dir) {
  std::map<std::string, std::string> out;
  for (const auto &e : fs::directory_iterator(dir.path()))
    out[e.path().filename()] = e.is_directory() ? "<dir>" : kvtest::ReadFile(e.path());
  return out;
}

TFLFileDef Def(const kvtest::TempDir &dir, int count) {
  TFLFileDef def;
  def.SetPath(dir.path());
  def.BaseName = "korvanlog";
  def.SetBackupCount(count);
  return def;
}

// Holds an exclusive lock on a file, as a running writer does.
struct HeldLock {
  explicit HeldLock(const std::string &name) : fd(open(name.c_str(), O_RDWR)) { flock(fd, LOCK_EX); }
  ~HeldLock() { close(fd); }
  int fd;
};

struct RotationCase {
  int count;
  std::vector<int> existing;
  std::string expected_name;
  std::map<std::string, std::string> expected_files; // after rotation, before the new file
};

void PrintTo(const RotationCase &c, std::ostream *os) {
  *os << "count " << c.count << ", " << c.existing.size() << " files";
}

std::string CaseName(const testing::TestParamInfo<RotationCase> &info) {
  std::string name = "Count" + std::to_string(info.param.count) + "With";
  for (int n : info.param.existing)
    name += "_" + std::to_string(n);
  return info.param.existing.empty() ? name + "None" : name;
}

class Rotation : public testing::TestWithParam<RotationCase> {};

} // namespace

TEST_P(Rotation, KeepsTheNewestRunsNumberedWithoutGaps) {
  kvtest::TempDir dir;
  for (int n : GetParam().existing) {
    char name[32];
    snprintf(name, sizeof name, "korvanlog.%03d", n);
    kvtest::WriteFile(dir.file(name), "run " + std::to_string(n));
  }
  kvtest::WriteFile(dir.file("korvanlog.log"), "plain");
  TFLFileDef def = Def(dir, GetParam().count);
  EXPECT_EQ(def.GetFileName(), dir.file(GetParam().expected_name));
  EXPECT_TRUE(def.Rotated());
  auto expected = GetParam().expected_files;
  expected["korvanlog.log"] = "plain";
  EXPECT_EQ(Listing(dir), expected);
  // The rotation runs once per definition.
  EXPECT_EQ(def.GetFileName(), dir.file(GetParam().expected_name));
  EXPECT_EQ(def.Extension(), GetParam().expected_name.substr(9));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Rotation,
    testing::Values(
        RotationCase{5, {}, "korvanlog.001", {}},
        RotationCase{5,
                     {1, 2, 3, 4, 5},
                     "korvanlog.005",
                     {{"korvanlog.001", "run 2"},
                      {"korvanlog.002", "run 3"},
                      {"korvanlog.003", "run 4"},
                      {"korvanlog.004", "run 5"}}},
        RotationCase{5, {1, 3}, "korvanlog.003", {{"korvanlog.001", "run 1"}, {"korvanlog.002", "run 3"}}},
        RotationCase{
            3, {1, 2, 3, 4, 5}, "korvanlog.003", {{"korvanlog.001", "run 4"}, {"korvanlog.002", "run 5"}}},
        RotationCase{1, {1}, "korvanlog.001", {}},
        RotationCase{3, {4, 9}, "korvanlog.003", {{"korvanlog.001", "run 4"}, {"korvanlog.002", "run 9"}}}),
    CaseName);

TEST(FileDef, CountZeroWritesThePlainLogAndTruncatesIt) {
  kvtest::TempDir dir;
  kvtest::WriteFile(dir.file("korvanlog.log"), "old contents");
  kvtest::WriteFile(dir.file("korvanlog.001"), "numbered");
  TFLFileDef def = Def(dir, 0);
  EXPECT_EQ(def.GetFileName(), dir.file("korvanlog.log"));
  int fd = def.CreateLogFile();
  ASSERT_GE(fd, 0);
  close(fd);
  EXPECT_EQ(kvtest::ReadFile(dir.file("korvanlog.log")), "");
  EXPECT_EQ(kvtest::ReadFile(dir.file("korvanlog.001")), "numbered");
}

TEST(FileDef, OnlyRegularFilesWithExactlyThreeDigitsCount) {
  kvtest::TempDir dir;
  kvtest::WriteFile(dir.file("korvanlog.001"), "a");
  kvtest::WriteFile(dir.file("korvanlog.bak001"), "b");
  kvtest::WriteFile(dir.file("korvanlog.1000"), "c");
  kvtest::WriteFile(dir.file("korvanlog.x.002"), "d");
  kvtest::WriteFile(dir.file("korvanlog.-01"), "e");
  kvtest::WriteFile(dir.file("korvanlogx.003"), "f");
  fs::create_directory(dir.file("korvanlog.004"));
  TFLFileDef def = Def(dir, 1);
  // Only "korvanlog.001" is a numbered log: it is deleted and the new log takes its number.
  EXPECT_EQ(def.GetFileName(), dir.file("korvanlog.001"));
  auto files = Listing(dir);
  EXPECT_EQ(files.count("korvanlog.001"), 0u);
  EXPECT_EQ(files["korvanlog.bak001"], "b");
  EXPECT_EQ(files["korvanlog.1000"], "c");
  EXPECT_EQ(files["korvanlog.x.002"], "d");
  EXPECT_EQ(files["korvanlog.-01"], "e");
  EXPECT_EQ(files["korvanlogx.003"], "f");
  EXPECT_EQ(files["korvanlog.004"], "<dir>");
}

TEST(FileDef, RenumberingNeverReplacesAnExistingFile) {
  kvtest::TempDir dir;
  kvtest::WriteFile(dir.file("korvanlog.000"), "zero");
  kvtest::WriteFile(dir.file("korvanlog.001"), "one");
  TFLFileDef def = Def(dir, 5);
  // ".000" would become ".001", which exists: the rename fails and the fallback name is used.
  EXPECT_EQ(def.GetFileName(), dir.file("korvanlog.~og"));
  auto files = Listing(dir);
  EXPECT_EQ(files.size(), 2u);
  std::vector<std::string> contents;
  for (auto &[name, text] : files)
    contents.push_back(text);
  std::sort(contents.begin(), contents.end());
  EXPECT_EQ(contents, (std::vector<std::string>{"one", "zero"}));
}

TEST(FileDef, AFileAnotherWriterHoldsIsRenumberedButNeverDeleted) {
  kvtest::TempDir dir;
  kvtest::WriteFile(dir.file("korvanlog.002"), "busy");
  HeldLock lock(dir.file("korvanlog.002"));
  EXPECT_TRUE(TFLFileDef::IsFileLocked(dir.file("korvanlog.002")));
  TFLFileDef def = Def(dir, 5);
  // Its writer goes on writing under the new number.
  EXPECT_EQ(def.GetFileName(), dir.file("korvanlog.002"));
  lseek(lock.fd, 0, SEEK_END);
  ASSERT_EQ(write(lock.fd, " and more", 9), 9);
  EXPECT_EQ(kvtest::ReadFile(dir.file("korvanlog.001")), "busy and more");

  kvtest::TempDir dir2;
  kvtest::WriteFile(dir2.file("korvanlog.001"), "busy");
  HeldLock lock2(dir2.file("korvanlog.001"));
  TFLFileDef def2 = Def(dir2, 1);
  // Deleting the held file fails, it stays numbered 1, and the new log is number 2.
  EXPECT_EQ(def2.GetFileName(), dir2.file("korvanlog.002"));
  EXPECT_EQ(kvtest::ReadFile(dir2.file("korvanlog.001")), "busy");
}

TEST(FileDef, AnExistingCandidateGivesTheFallback) {
  kvtest::TempDir dir;
  kvtest::WriteFile(dir.file("korvanlog.001"), "a");
  fs::create_directory(dir.file("korvanlog.002")); // not a log, but the name is taken
  TFLFileDef def = Def(dir, 5);
  EXPECT_EQ(def.GetFileName(), dir.file("korvanlog.~og"));
  EXPECT_EQ(def.BaseName, "korvanlog");
  EXPECT_EQ(def.Extension(), ".~og");
  EXPECT_EQ(def.Path(), dir.path() + "/");
}

TEST(FileDef, LockedAndFreeFiles) {
  kvtest::TempDir dir;
  EXPECT_FALSE(TFLFileDef::IsFileLocked(dir.file("missing")));
  kvtest::WriteFile(dir.file("free"), "x");
  EXPECT_FALSE(TFLFileDef::IsFileLocked(dir.file("free")));
  {
    HeldLock lock(dir.file("free"));
    EXPECT_TRUE(TFLFileDef::IsFileLocked(dir.file("free")));
  }
  EXPECT_FALSE(TFLFileDef::IsFileLocked(dir.file("free")));
  EXPECT_TRUE(TFLFileDef::IsFileLocked(dir.path())); // a folder cannot be opened for writing
}

// Count 0: a run while another still writes the plain log gets a new fallback log of its own and
// neither takes nor empties the other's.
TEST(FileDef, APlainLogAnotherRunWritesSendsTheRunToANewFallbackLog) {
  kvtest::TempDir dir;
  kvtest::WriteFile(dir.file("korvanlog.log"), "first run");
  HeldLock first(dir.file("korvanlog.log"));
  TFLFileDef second = Def(dir, 0);
  const int fd = second.CreateLogFile();
  ASSERT_GE(fd, 0);
  EXPECT_EQ(second.FullName(), dir.file("korvanlog.~og"));
  ASSERT_EQ(write(fd, "second run", 10), 10);
  second.CloseLogFile(fd);
  EXPECT_EQ(Listing(dir), (std::map<std::string, std::string>{{"korvanlog.log", "first run"},
                                                              {"korvanlog.~og", "second run"}}));
}

// Where every run falls back (the next numbered name is taken), each makes a new fallback log,
// never empties an earlier one, and keeps its own and the newest n - 1 others of its user's, and
// every one that a run still writes. Another user's fallback logs, and names that only look like
// ours, stay.
TEST(FileDef, FallbackLogsAreNewFilesAndTheNewestOfTheUsersOwnRemain) {
  kvtest::TempDir dir;
  kvtest::WriteFile(dir.file("korvanlog.001"), "numbered");
  fs::create_directory(dir.file("korvanlog.002"));
  const bool root = geteuid() == 0; // can give a file to another user
  if (root) {
    kvtest::WriteFile(dir.file("korvanlog.~og-Theirs"), "another user's");
    ASSERT_EQ(chown(dir.file("korvanlog.~og-Theirs").c_str(), 65534, 65534), 0);
  }
  kvtest::WriteFile(dir.file("korvanlog.~og-longer1"), "not a fallback log");
  // Runs come minutes apart; each one's log is given its own time, the oldest first.
  const auto age = [&](const std::string &name, int minutes_ago) {
    const timespec t[2] = {{time(nullptr) - minutes_ago * 60, 0}, {time(nullptr) - minutes_ago * 60, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, name.c_str(), t, 0), 0);
  };
  for (const auto &e : fs::directory_iterator(dir.path()))
    age(e.path(), 100);

  TFLFileDef held = Def(dir, 3);
  const int held_fd = held.CreateLogFile();
  ASSERT_GE(held_fd, 0);
  EXPECT_EQ(held.FullName(), dir.file("korvanlog.~og"));
  age(held.FullName(), 50);
  std::vector<std::string> runs;
  for (int i = 1; i <= 6; ++i) {
    TFLFileDef run = Def(dir, 3);
    const int fd = run.CreateLogFile();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(run.FullName().rfind(dir.file("korvanlog.~og-"), 0), 0u) << run.FullName();
    const std::string text = "run " + std::to_string(i);
    ASSERT_EQ(write(fd, text.data(), text.size()), ssize_t(text.size()));
    run.CloseLogFile(fd);
    age(run.FullName(), 50 - i);
    runs.push_back(fs::path(run.FullName()).filename());
  }
  std::map<std::string, std::string> expected = {{".korvanlog.lock", ""},
                                                 {"korvanlog.001", "numbered"},
                                                 {"korvanlog.002", "<dir>"},
                                                 {"korvanlog.~og", ""},
                                                 {"korvanlog.~og-longer1", "not a fallback log"},
                                                 {runs[3], "run 4"},
                                                 {runs[4], "run 5"},
                                                 {runs[5], "run 6"}};
  if (root) expected["korvanlog.~og-Theirs"] = "another user's";
  EXPECT_EQ(Listing(dir), expected);
  // The run that was still writing, once done, keeps its own and the newest two others.
  held.CloseLogFile(held_fd);
  expected.erase(runs[3]);
  EXPECT_EQ(Listing(dir), expected);

  // Two runs that keep one log end at the same time, one trimming while the other closes: the
  // one that ends last keeps its log.
  kvtest::TempDir dir2;
  fs::create_directory(dir2.file("korvanlog.001"));
  TFLFileDef early = Def(dir2, 1), late = Def(dir2, 1);
  const int early_fd = early.CreateLogFile(), late_fd = late.CreateLogFile();
  ASSERT_GE(early_fd, 0);
  ASSERT_GE(late_fd, 0);
  late.OnClosing = [&] { early.CloseLogFile(early_fd); };
  late.CloseLogFile(late_fd);
  EXPECT_EQ(Listing(dir2), (std::map<std::string, std::string>{{".korvanlog.lock", ""},
                                                               {"korvanlog.001", "<dir>"},
                                                               {fs::path(late.FullName()).filename(), ""}}));
}

TEST(FileDef, PathAndCountSetters) {
  TFLFileDef def;
  // Defaults: the program's folder and name.
  EXPECT_EQ(def.Path().back(), '/');
  EXPECT_EQ(def.BaseName, "log_tests");
  EXPECT_EQ(def.Extension(), ".log");
  EXPECT_EQ(def.BackupCount(), 0);
  def.SetPath("/var/tmp/logs");
  EXPECT_EQ(def.Path(), "/var/tmp/logs/");
  def.SetPath("");
  EXPECT_EQ(def.Path(), "/var/tmp/logs/");
  def.SetPath("/srv/");
  EXPECT_EQ(def.Path(), "/srv/");
  def.SetBackupCount(5000);
  EXPECT_EQ(def.BackupCount(), 999);
  def.SetBackupCount(999);
  EXPECT_EQ(def.BackupCount(), 999);
  // The count is an unsigned 16-bit number: 70000 is 4464, -3 is 65533, 65536 is 0.
  def.SetBackupCount(70000);
  EXPECT_EQ(def.BackupCount(), 999);
  def.SetBackupCount(-3);
  EXPECT_EQ(def.BackupCount(), 999);
  def.SetBackupCount(65536);
  EXPECT_EQ(def.BackupCount(), 0);
  def.SetBackupCount(65536 + 12);
  EXPECT_EQ(def.BackupCount(), 12);
  def.SetBackupCount(7);
  EXPECT_EQ(def.BackupCount(), 7);
}

TEST(FileDef, AnUnlistableFolderGivesTheFallbackName) {
  kvtest::TempDir dir;
  TFLFileDef def;
  def.SetPath(dir.file("missing"));
  def.BaseName = "korvanlog";
  def.SetBackupCount(3);
  EXPECT_EQ(def.GetFileName(), dir.file("missing/korvanlog.~og"));
  EXPECT_LT(def.CreateLogFile(), 0);
}

// Under umask 077 (a root service's) the folder's lock file is still made open to every user's
// run, and one left closed to them is opened up; but not one with a second name, which may be
// a link to any file of ours.
TEST(FileDef, TheFolderLockFileIsOpenToEveryUser) {
  kvtest::TempDir dir;
  const std::string lock = dir.file(".korvanlog.lock");
  TFLFileDef def = Def(dir, 2);
  const mode_t old = umask(077);
  const int fd = def.CreateLogFile();
  umask(old);
  EXPECT_EQ(fs::status(lock).permissions(), fs::perms(0666));
  fs::permissions(lock, fs::perms(0600));
  def.CloseLogFile(fd);
  EXPECT_EQ(fs::status(lock).permissions(), fs::perms(0666));
  fs::permissions(lock, fs::perms(0600));
  fs::create_hard_link(lock, dir.file("secret"));
  Def(dir, 2).CloseLogFile(-1);
  EXPECT_EQ(fs::status(dir.file("secret")).permissions(), fs::perms(0600));
}

// A run that could not have the folder's lock (its name is taken by a folder here) creates its
// log; before it returns, a second run rotates to keep one log. The second run finds the new log
// locked already, spares it and takes the next number; no hidden file is left behind. So also
// where unnamed files cannot be made and a new log is made under a hidden name first.
TEST(FileDef, ANewLogIsLockedBeforeAnotherRunsTrimSeesIt) {
  for (const bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed files" : "hidden names");
    kvtest::TempDir dir;
    fs::create_directory(dir.file(".korvanlog.lock"));
    TFLFileDef first = Def(dir, 1), second = Def(dir, 1);
    first.NoUnnamedFiles = second.NoUnnamedFiles = !unnamed;
    int second_fd = -1;
    first.OnNewLogNamed = [&] { second_fd = second.CreateLogFile(); };
    const int first_fd = first.CreateLogFile();
    struct stat st {};
    EXPECT_TRUE(fstat(first_fd, &st) == 0 && st.st_nlink == 1) << "the first run's new log was deleted";
    EXPECT_EQ(second.FullName(), dir.file("korvanlog.002"));
    EXPECT_EQ(Listing(dir), (std::map<std::string, std::string>{
                                {".korvanlog.lock", "<dir>"}, {"korvanlog.001", ""}, {"korvanlog.002", ""}}));
    EXPECT_TRUE(TFLFileDef::IsFileLocked(dir.file("korvanlog.001")));
    close(first_fd);
    close(second_fd);
  }
}

// A run that ended before its new log had a name (where unnamed files cannot be made) left a
// hidden file; the next run's trim removes it, but not one whose creator still holds it.
TEST(FileDef, AnAbandonedNewLogIsRemoved) {
  kvtest::TempDir dir;
  kvtest::WriteFile(dir.file(".korvanlog.new-1-0"), "");
  kvtest::WriteFile(dir.file(".korvanlog.new-1-1"), "");
  HeldLock creating(dir.file(".korvanlog.new-1-1"));
  TFLFileDef def = Def(dir, 2);
  def.CloseLogFile(def.CreateLogFile());
  EXPECT_EQ(Listing(dir), (std::map<std::string, std::string>{
                              {".korvanlog.lock", ""}, {".korvanlog.new-1-1", ""}, {"korvanlog.001", ""}}));
}
