#include "platform/regular_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "test_support.h"

using kv::platform::OpenRegularFile;

TEST(RegularFile, OnlyARegularFileIsOpenedAndItsReadsWait) {
  kvtest::TempDir dir;
  kvtest::WriteFile(dir.file("a"), "x");
  const int fd = OpenRegularFile(dir.file("a").c_str());
  ASSERT_GE(fd, 0);
  EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
  close(fd);

  // Anything else is not even opened: an open alone can wake what waits behind a FIFO or start
  // a device.
  const std::string fifo = dir.file("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(inotify_add_watch(watch, fifo.c_str(), IN_OPEN), 0);
  EXPECT_EQ(OpenRegularFile(fifo.c_str()), -1);
  EXPECT_EQ(OpenRegularFile(dir.file("none").c_str()), -1);
  char events[256];
  EXPECT_EQ(read(watch, events, sizeof events), -1) << "the FIFO was opened";
  close(watch);
}
