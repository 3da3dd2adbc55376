#include "net/socket_api.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "net/socket_errors.h"

using namespace kv::net;

TEST(SocketLibrary, UseCountKeepsItLoadedUntilTheLastUnload) {
  // The layer's own start-up holds one reference.
  const int base = SocketLibraryUseCount();
  ASSERT_GE(base, 1);
  EXPECT_TRUE(LoadSocketLibrary(""));
  EXPECT_TRUE(LoadSocketLibrary("ws2_32.dll"));
  EXPECT_EQ(SocketLibraryUseCount(), base + 2);
  EXPECT_TRUE(UnloadSocketLibrary());
  EXPECT_TRUE(SocketLibraryLoaded());
  EXPECT_TRUE(PrimaryHasAddressInfo());
  EXPECT_TRUE(UnloadSocketLibrary());
  EXPECT_EQ(SocketLibraryUseCount(), base);

  for (int i = 0; i < base; ++i)
    UnloadSocketLibrary();
  EXPECT_FALSE(SocketLibraryLoaded());
  EXPECT_TRUE(UnloadSocketLibrary()); // at 0 it stays at 0
  EXPECT_EQ(SocketLibraryUseCount(), 0);
  for (int i = 0; i < base; ++i)
    LoadSocketLibrary();
  EXPECT_EQ(SocketLibraryUseCount(), base);
}

TEST(WaitSet, HoldsAtMost64Handles) {
  TFdSet set;
  FdSetClear(set);
  for (int i = 0; i < 64; ++i)
    FdSetAdd(set, 100 + i);
  EXPECT_EQ(set.fd_count, 64u);
  FdSetAdd(set, 999);
  EXPECT_EQ(set.fd_count, 64u);
  EXPECT_EQ(set.fd_array[63], 163);
  FdSetClear(set);
  EXPECT_EQ(set.fd_count, 0u);
}

TEST(WaitSet, WaitsForReadabilityWithATimeLimit) {
  int fds[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  TFdSet set;
  FdSetAdd(set, fds[0]);
  EXPECT_EQ(FdSetWait(set, false, 20), 0);
  EXPECT_EQ(FdSetWait(set, true, 20), 1);
  ASSERT_EQ(::write(fds[1], "x", 1), 1);
  EXPECT_EQ(FdSetWait(set, false, 1000), 1);
  ::close(fds[0]);
  ::close(fds[1]);
}

TEST(SocketAddress, SizeFollowsTheFamily) {
  TVarSin a{};
  EXPECT_EQ(AddressSize(a), 0u);
  a.sa.sa_family = AF_INET;
  EXPECT_EQ(AddressSize(a), 16u);
  a.sa.sa_family = AF_INET6;
  EXPECT_EQ(AddressSize(a), 28u);
  in6_addr any{}, loop{};
  SetIPv6Any(any);
  SetIPv6Loopback(loop);
  EXPECT_TRUE(IN6_IS_ADDR_UNSPECIFIED(&any));
  EXPECT_TRUE(IN6_IS_ADDR_LOOPBACK(&loop));
}

TEST(SocketCalls, FailuresReportWinsockCodes) {
  TVarSin a{};
  a.sin.sin_family = AF_INET;
  a.sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(SockBind(-1, a), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEBADF);
  const TSocket s = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(s, 0);
  // Port 1 on loopback: nobody listens there in a test environment.
  a.sin.sin_port = htons(1);
  EXPECT_EQ(SockConnect(s, a, 2000), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);
  ::close(s);
}

TEST(SocketCalls, HostNameIsTheSystemsName) {
  char expected[256] = {};
  ASSERT_EQ(::gethostname(expected, sizeof expected - 1), 0);
  EXPECT_EQ(HostName(), expected);
}
