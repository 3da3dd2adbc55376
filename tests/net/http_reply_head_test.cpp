// The reading of a reply's header lines: the status line and the announced length.
#include <gtest/gtest.h>

#include "net/http_get.h"

using kv::net::THttpReplyHead;

TEST(HttpReplyHead, ReadsStatusAndLengthAndDistrustsLengthsThatDiffer) {
  THttpReplyHead head;
  for (const char *line : {"HTTP/1.1 302 Found\r\n", "Content-Length: 0\r\n", "http/1.0 200\r\n",
                           "content-length:\t5000 \r\n", "Content-Length: 5000\r\n"})
    head.Take(line);
  EXPECT_EQ(head.Status, 200);
  EXPECT_EQ(head.ContentLength, 5000) << "the same length twice is still that length";
  EXPECT_FALSE(head.BadLength);
  head.Take("Content-Length: 4990\r\n");
  EXPECT_TRUE(head.BadLength) << "which of two lengths the body keeps to is open";

  for (const char *line :
       {"HTTP/1.1 200x\r\n", "HTTP/1.1 20 OK\r\n", "HTTP/1.1 099 OK\r\n", "HTTP/1.1\r\n"}) {
    head.Take(line);
    EXPECT_EQ(head.Status, 0) << line;
    EXPECT_EQ(head.ContentLength, -1) << line;
    EXPECT_FALSE(head.BadLength) << line;
  }
}
