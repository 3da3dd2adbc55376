// The reading of a reply's header lines: the status line and the announced length.
#include <gtest/gtest.h>

#include "net/http_get.h"

TEST(HttpReplyHead, ReadsStatusAndLengthAndDistrustsLengthsThatDiffer) {
  kv::net::THttpReplyHead head;
  for (const char *line : {"HTTP/1.1 302 Found\r\n", "Content-Length: 0\r\n", "http/1.0 200\r\n",
                           "content-length:\t5000 \r\n", "Content-Length: 5000\r\n"})
    head.Take(line);
  EXPECT_TRUE(head.Status == 200 && head.ContentLength == 5000 && !head.BadLength);
  head.Take("Content-Length: 4990\r\n");
  EXPECT_TRUE(head.BadLength) << "which of two lengths the body keeps to is open";
  for (const char *line :
       {"HTTP/1.1 200x\r\n", "HTTP/1.1 20 OK\r\n", "HTTP/1.1 099 OK\r\n", "HTTP/1.1\r\n"}) {
    head.Take(line);
    EXPECT_TRUE(head.Status == 0 && head.ContentLength == -1 && !head.BadLength) << line;
  }
}
