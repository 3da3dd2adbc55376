#include "platform/regular_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "test_support.h"

using kv::platform::OpenRegularFile;

TEST(RegularFile, OnlyTheRegularFileLookedAtIsOpenedAndItsReadsWait) {
  kvtest::TempDir dir;
  const std::string file = dir.file("a");
  kvtest::WriteFile(file, "x");
  int fd = OpenRegularFile(file.c_str());
  ASSERT_GE(fd, 0);
  EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
  close(fd);

  // Anything else is not even opened: an open alone can wake what waits behind a FIFO or start
  // a device.
  const std::string fifo = dir.file("pipe"), link = dir.file("link");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(symlink(fifo.c_str(), link.c_str()), 0);
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(inotify_add_watch(watch, fifo.c_str(), IN_OPEN), 0);
  for (const std::string &other : {fifo, link, dir.file("none"), dir.path(), std::string("/dev/null")})
    EXPECT_EQ(OpenRegularFile(other.c_str()), -1) << other;

  // The path names the FIFO once the file has been looked at: the file looked at is the one read.
  fd = OpenRegularFile(file.c_str(), [&] { ASSERT_EQ(std::rename(fifo.c_str(), file.c_str()), 0); });
  char text[4] = {};
  EXPECT_EQ(fd < 0 ? -1 : read(fd, text, sizeof text), 1) << "the file looked at is gone from the path only";
  EXPECT_STREQ(text, "x");
  if (fd >= 0) close(fd);
  EXPECT_EQ(OpenRegularFile(file.c_str()), -1) << "the path now names the FIFO";
  char events[256];
  EXPECT_EQ(read(watch, events, sizeof events), -1) << "the FIFO was opened";
  close(watch);
}
