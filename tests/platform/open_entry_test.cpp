#include "platform/open_entry.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <future>

#include "test_support.h"

namespace kp = kv::platform;
using kp::OpenEntry;
using kp::TOpenResult;
using kp::TOpenStatus;

namespace {

kp::TOpenRequest Request(int flags, kp::TEntryRule accept, bool follow_links = false) {
  kp::TOpenRequest request;
  request.flags = flags;
  request.accept = accept;
  request.follow_links = follow_links;
  return request;
}

// Whether anything opened `path` since the watch began.
class OpenWatch {
public:
  explicit OpenWatch(const std::string &path) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    EXPECT_GE(inotify_add_watch(fd_, path.c_str(), IN_OPEN), 0) << path;
  }
  ~OpenWatch() { close(fd_); }
  bool Opened() {
    char events[1024];
    return read(fd_, events, sizeof events) > 0;
  }

private:
  int fd_;
};

// OpenEntry with a deadline: an open that waits on the FIFO at `name` fails the test and is then
// released, so that a regression does not hang the suite.
TOpenResult OpenInTime(const std::string &name, const kp::TOpenRequest &request) {
  auto opening = std::async(std::launch::async, [&] { return OpenEntry(name, request); });
  if (opening.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
    ADD_FAILURE() << "the open waits";
    const int release = open(name.c_str(), O_RDWR | O_NONBLOCK);
    opening.wait();
    close(release);
  }
  return opening.get();
}

void Close(const TOpenResult &result) {
  if (result.fd >= 0) close(result.fd);
}

} // namespace

TEST(OpenEntry, AnEntrySwappedInAfterTheLookIsNeitherWaitedOnNorFollowed) {
  kvtest::TempDir dir;
  const std::string name = dir.file("entry"), fifo = dir.file("pipe"), shadow = dir.file("shadow");
  kvtest::WriteFile(shadow, "secret", 0600);
  OpenWatch shadow_opens(shadow);
  struct Case {
    int flags;
    kp::TEntryRule rule;
    TOpenStatus status;
    int error;
  };
  // A FIFO the rule refuses is not even opened (that alone wakes a writer waiting behind it); one
  // it takes is opened without waiting for the other end.
  for (const Case &c : {Case{O_RDONLY, kp::RegularFile, TOpenStatus::Refused, 0},
                        Case{O_WRONLY, kp::RegularFile, TOpenStatus::Refused, 0},
                        Case{O_RDWR, kp::RegularFile, TOpenStatus::Refused, 0},
                        Case{O_RDONLY, kp::AnyEntry, TOpenStatus::Opened, 0},
                        Case{O_WRONLY, kp::AnyEntry, TOpenStatus::Failed, ENXIO}}) {
    SCOPED_TRACE(c.flags);
    unlink(name.c_str());
    kvtest::WriteFile(name, "x");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    OpenWatch fifo_opens(fifo);
    kp::TOpenEntryHook swap([&](const std::string &) { ASSERT_EQ(rename(fifo.c_str(), name.c_str()), 0); });
    const TOpenResult result = OpenInTime(name, Request(c.flags, c.rule));
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.error, c.error);
    EXPECT_TRUE(c.status != TOpenStatus::Refused || !fifo_opens.Opened()) << "the FIFO was opened";
    Close(result);
  }
  // A link is not followed, whatever the rule would say of its target.
  for (const kp::TEntryRule rule : {kp::RegularFile, kp::AnyEntry}) {
    unlink(name.c_str());
    kvtest::WriteFile(name, "x");
    kp::TOpenEntryHook swap([&](const std::string &) {
      ASSERT_EQ(unlink(name.c_str()), 0);
      ASSERT_EQ(symlink(shadow.c_str(), name.c_str()), 0);
    });
    const TOpenResult result = OpenEntry(name, Request(O_RDWR, rule));
    EXPECT_TRUE(result.Refused() && S_ISLNK(result.st.st_mode));
    Close(result);
  }
  EXPECT_FALSE(shadow_opens.Opened());
}

TEST(OpenEntry, ARefusalIsTheResultsOwnAndAFailureKeepsItsErrno) {
  kvtest::TempDir dir;
  const std::string file = dir.file("file"), second = dir.file("second"), fifo = dir.file("pipe");
  const std::string link = dir.file("link");
  kvtest::WriteFile(file, "x", 0600);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
  TOpenResult result = OpenEntry(link, Request(O_RDWR, kp::OwnSingleRegular, true));
  ASSERT_TRUE(result.Opened()) << "a link is taken when followed";
  EXPECT_EQ(fcntl(result.fd, F_GETFL) & O_NONBLOCK, 0) << "reads and writes wait again";
  Close(result);

  ASSERT_EQ(::link(file.c_str(), second.c_str()), 0);
  const std::pair<std::string, kp::TEntryRule> refused[] = {{fifo, kp::RegularFile},
                                                            {link, kp::AnyEntry},
                                                            {file, kp::SingleRegular},
                                                            {"/dev/null", kp::RegularFile}};
  for (const auto &[name, rule] : refused) {
    result = OpenEntry(name, Request(O_WRONLY, rule));
    EXPECT_TRUE(result.Refused() && result.error == 0 && result.fd == -1) << name;
  }
  unlink(second.c_str());
  result = OpenEntry(dir.file("none"), Request(O_RDONLY, kp::AnyEntry));
  EXPECT_TRUE(result.status == TOpenStatus::Failed && result.error == ENOENT);

  // An append-only file refuses a write that does not append: the system's EPERM, no refusal.
  if (kvtest::SetAppendOnly(file, true)) {
    result = OpenEntry(file, Request(O_WRONLY, kp::RegularFile));
    kvtest::SetAppendOnly(file, false);
    EXPECT_TRUE(result.status == TOpenStatus::Failed && result.error == EPERM) << result.error;
    Close(result);
  } else {
    std::printf("no append-only files here: that case is skipped\n");
  }
  // Another user's file: EACCES (checked in a child that gives up root, if it has it).
  chmod(dir.path().c_str(), 0755);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && setresuid(65534, 65534, 65534) != 0) _exit(2);
    const TOpenResult denied = OpenEntry(file, Request(O_RDONLY, kp::RegularFile));
    _exit(denied.status == TOpenStatus::Failed && denied.error == EACCES ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0);

  // The reader of program and picture files: regular files, links followed.
  const int fd = kp::OpenRegularFile(link);
  EXPECT_GE(fd, 0);
  close(fd);
  for (const std::string &other : {fifo, dir.path(), std::string("/dev/null")})
    EXPECT_EQ(kp::OpenRegularFile(other), -1) << other;
}

TEST(OpenEntry, CreatesANewFileWithItsModeButNeverThroughALink) {
  kvtest::TempDir dir;
  const std::string file = dir.file("new"), link = dir.file("link"), target = dir.file("target");
  const mode_t umask_before = umask(022);
  kp::TOpenRequest request = Request(O_RDWR | O_CREAT, kp::OwnSingleRegular);
  request.mode = 0640;
  TOpenResult result = OpenEntry(file, request);
  umask(umask_before);
  ASSERT_TRUE(result.Opened() && result.created);
  EXPECT_EQ(result.st.st_mode & 07777, 0640u);
  EXPECT_EQ(fcntl(result.fd, F_GETFL) & (O_NONBLOCK | O_ACCMODE), O_RDWR);
  Close(result);
  result = OpenEntry(file, request);
  EXPECT_TRUE(result.Opened() && !result.created);
  Close(result);
  result = OpenEntry(file, Request(O_RDWR | O_CREAT | O_EXCL, kp::AnyEntry));
  EXPECT_TRUE(result.status == TOpenStatus::Failed && result.error == EEXIST);
  {
    // Gone between the create and the open of what was there: made anew.
    kp::TOpenEntryHook remove([&](const std::string &) { unlink(file.c_str()); });
    result = OpenEntry(file, request);
  }
  EXPECT_TRUE(result.Opened() && result.created);
  Close(result);

  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  for (const kp::TEntryRule rule : {kp::RegularFile, kp::AnyEntry})
    EXPECT_TRUE(OpenEntry(link, Request(O_RDWR | O_CREAT, rule)).Refused());
  struct stat st {};
  EXPECT_NE(lstat(target.c_str(), &st), 0) << "the link's target was made";
}
